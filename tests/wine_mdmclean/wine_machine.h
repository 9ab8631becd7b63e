// The sample machine laid down in a Wine prefix, and the views of it that the
// tests compare before and after a run of mdmclean.exe.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/wine/wine_prefix.h"

namespace mdm::wine {

// Where the setup program leaves mdminfo.ini and starts mdmclean.
inline const char* const kSetupDir = "C:\\QNSETUP";
inline const char* const kMdminfo = "C:\\QNSETUP\\mdminfo.ini";
inline const char* const kSystemDir = "C:\\windows\\system32";
inline const char* const kInfDir = "C:\\windows\\inf";

// The sample image's file at `relative` (e.g. "drive_c/WINDOWS/WIN.INI").
std::string SampleFile(const std::string& relative);
// A file of the host, such as a program the test copies into the prefix.
std::string HostFile(const std::string& path);

// Lays the sample machine down in `prefix`: its registry imported, the
// package's and the bystanders' system files in the system directory (never
// over a file Wine ships), its INF folder, win.ini with the sample's system
// directory replaced by the prefix's, system.ini, and C:\QNSETUP holding
// mdmclean.exe (none when `mdmcleanExe` is empty) and, when `withMdminfo`,
// the sample's mdminfo.ini.
void LayDownSampleMachine(WinePrefix& prefix, const std::string& mdmcleanExe, bool withMdminfo);

// The names of the files the sample puts in the system directory.
std::vector<std::string> SampleSystemFiles();

// `text` with the value of the first `key=` line replaced by `value`.
std::string WithValue(const std::string& text, const std::string& key, const std::string& value);
// mdminfo.ini after a run that wrote `result` and `remaining`: Result's line
// holds the result, and a Remaining line follows it (replaced when there is one).
std::string WithResult(const std::string& text, const std::string& result,
                       const std::string& remaining);
// `text` without the line of `key=`.
std::string WithoutKey(const std::string& text, const std::string& key);
// A profile file as Wine writes it back: Wine saves the whole file from what
// it parsed, and blank lines are not kept (measured). Windows 95 edits the
// file in place and keeps them.
std::string AsWineRewrites(const std::string& text);

// Key names of a regedit export, lower-cased (Wine keeps the case a key was
// first created with, which differs between the sample and Wine's own keys).
std::set<std::string> KeyNames(const std::string& exported);

// The registry roots the package's keys live under.
std::vector<std::string> PackageRegistryRoots();
// The branches a snapshot exports: the roots, of HKEY_LOCAL_MACHINE\Software
// only the vendor's key.
std::vector<std::string> SnapshotBranches();

// What the test laid down where the package's removal works, by name: the
// keys it imported below the package's registry roots, the sample's system
// files, the product folder, the INF files it wrote, win.ini and system.ini.
// Whatever Wine keeps there of its own is left out.
std::map<std::string, std::string> Snapshot(WinePrefix& prefix);
// The registry entries of a snapshot.
std::map<std::string, std::string> RegistryPart(const std::map<std::string, std::string>& snapshot);

// The change log of one run on the sample: it starts with the deliverable's
// name, ends with `last`, every path it says it removed is gone, it names
// the sample's keys in their order, and it holds each of `lines`.
void ExpectSampleLog(WinePrefix& prefix, bool program, const std::string& last,
                     std::initializer_list<const char*> lines);

// The package's registry roots exported whole, Wine's own keys too, as
// Snapshot names its registry entries.
std::map<std::string, std::string> ExportPackageRoots(WinePrefix& prefix);
// The paths of what the system directory, the INF folder and its Other
// folder hold, Wine's own files too.
std::set<std::string> FolderListings(WinePrefix& prefix);

// Names whose content differs between two snapshots, or that only one holds.
std::vector<std::string> Differences(const std::map<std::string, std::string>& before,
                                     const std::map<std::string, std::string>& after);
// Both sides of every entry that differs, for a failure message.
std::string Explain(const std::map<std::string, std::string>& before,
                    const std::map<std::string, std::string>& after);

// What one deliverable removes from a machine laid down from the sample.
struct Removal {
  std::set<std::string> keys;      // lower-cased, below HKEY_LOCAL_MACHINE, each with its subtree
  std::set<std::string> files;     // below the system directory
  std::set<std::string> folders;   // below the system directory
  std::set<std::string> infFiles;  // names in the INF folder (and its Other folder, "Other\\...")
  std::string loadLine;            // win.ini's load value afterwards
  std::string driversLine;         // system.ini's drivers value afterwards
};

// The package's removal from the sample machine (tests/support/sample_outcome.h)
// by mdmclean (`program`) or by the library's Uninstall, in the prefix's folders.
Removal SampleRemoval(bool program);

// The sample machine with four records that lead elsewhere, as a real
// Windows 95 machine has them: the modem link names the standard modem, the
// package's port was installed from Windows' own MSPORTS.INF, a second voice
// modem sits beside the package's, and the load line holds quoted long
// names. Lay down the sample first.
void LayDownRecordsOfOthers(WinePrefix& prefix);
// What each deliverable removes from that machine: the package, and nothing
// the records lead to.
Removal RecordsOfOthersRemoval(bool program);

// One situation of a machine with a history, by name: what of it a run
// must take and what it must leave. Entries are keys below
// HKEY_LOCAL_MACHINE ("Enum\Root\MDMGEN\0003") or files of the INF folder
// ("INF\OEM9.INF", "INF\Other\..."). Both deliverables take the same of each.
struct Situation {
  std::string name;
  std::vector<std::string> gone;
  std::vector<std::string> kept;
};

// The sample machine with a history, laid down over it: the package
// installed twice (a second root device instance linking a second modem), a
// second card QRM1003 beside QRM1001, Windows 98 (4.10) with the provider
// copy of QNPORT.INF in INF\Other, and the vendor's newer modem, from an INF
// file of its own, in the slots the modem link names.
std::vector<Situation> LayDownHistories(WinePrefix& prefix);
// The sample machine after the package's modem was added again: a standard
// modem took MDMGEN\0001 / Modem\0001, which the modem link still names, and
// the package's modem sits at MDMGEN\0003 / Modem\0002.
std::vector<Situation> LayDownModemAddedAgain(WinePrefix& prefix);
// Each situation as its entries say, and the rest of the machine as the
// deliverable's removal of the sample leaves it (ExpectRemoved).
void ExpectSituations(const std::vector<Situation>& situations, bool program,
                      const std::map<std::string, std::string>& before,
                      const std::map<std::string, std::string>& after);

// The run changed exactly what `removal` names: the package's files, keys,
// list entries and INF files gone, every other entry of the snapshot as it was.
void ExpectRemoved(const Removal& removal, const std::map<std::string, std::string>& before,
                   const std::map<std::string, std::string>& after);
// The registry entries of `after` (a Snapshot or ExportPackageRoots) are
// those of `before` without the removal's keys, each laid down, and their
// subkeys: every other key and value as it was, none new.
void ExpectKeysRemoved(const Removal& removal, const std::map<std::string, std::string>& before,
                       const std::map<std::string, std::string>& after);

// Of the folder listings, exactly the removal's files, folders and INF files
// went, and nothing came.
void ExpectListingsLose(const Removal& removal, const std::set<std::string>& before,
                        const std::set<std::string>& after);

// A regedit export without the sections of `removed` (lower-cased key names):
// what the export must read once exactly those keys are gone and every other
// key and value is untouched.
std::string WithoutSections(const std::string& exported, const std::set<std::string>& removed);

}  // namespace mdm::wine
