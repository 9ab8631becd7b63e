// HVLIB32.dll of the win64 build under Wine in Windows 95 mode: hvprobe loads
// it with LoadLibraryA, as the product's installer does, and calls Uninstall,
// one prefix per test: on the sample machine, what the call takes is the
// sample's outcome (tests/support/sample_outcome.h) with what the test lays
// down over it; on a machine without the package, and then with a few
// remnants of one (a product folder holding a subdirectory, the later ISAPNP
// candidates, a start-up entry below another folder).
//
// Wine writes a profile file anew from what it parsed, without blank lines
// (measured), where Windows 95 edits it in place; INI files are therefore
// compared modulo blank lines.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "tests/support/sample_outcome.h"
#include "tests/wine/wine_prefix.h"
#include "tests/wine_mdmclean/wine_machine.h"

namespace mdm::wine {
namespace {

namespace fs = std::filesystem;

const char* const kWinIni = "C:\\windows\\win.ini";
const char* const kSystemIni = "C:\\windows\\system.ini";
const char* const kOtherDir = "C:\\windows\\inf\\Other";
const char* const kProductDir = "C:\\windows\\system32\\QUILLNET.101";
const char* const kReport = "C:\\probe.txt";

const char* const kOneCall =
    "resolve ChangeW95SerialNumber ordinal 1 same\n"
    "resolve GetBaseAddr95 ordinal 2 same\n"
    "resolve Uninstall ordinal 3 same\n"
    "uninstall done\n"
    "unload ok\n";

const std::string kHklm = "HKEY_LOCAL_MACHINE\\";
const std::string kClass = "System\\CurrentControlSet\\Services\\Class\\";

std::set<std::string> FullKeys(std::initializer_list<std::string> relative) {
  std::set<std::string> keys;
  for (const std::string& key : relative) keys.insert(Lower(kHklm + key));
  return keys;
}

std::string WithoutBlankLines(const std::string& text) { return AsWineRewrites(text); }

class UninstallUnderWine : public ::testing::Test {
 protected:
  void SetUp() override {
    MDM_REQUIRE_WINE();
    MDM_REQUIRE_WIN64_EXE(exe, "hvprobe.exe");
    MDM_REQUIRE_WIN64_EXE(library, "HVLIB32.dll");
    MDM_REQUIRE_WIN64_EXE(window, "nvram-window.exe");
    probe = exe;
    nvramWindow = window;
    prefix = std::make_unique<WinePrefix>();
    // A stale template would keep win.ini's [windows] section in the registry.
    ASSERT_EQ(prefix->ExportRegistry(kHklm + "Software\\Microsoft\\Windows NT\\CurrentVersion\\"
                                             "IniFileMapping\\win.ini"),
              "");
  }

  // One load of the library and one Uninstall call through its name.
  void CallUninstall() {
    const RunResult run = prefix->Run(probe, {kReport, "uninstall"});
    const std::string report = prefix->ReadFile(kReport).value_or("<no report>");
    EXPECT_EQ(run.exitCode, 0) << report << run.err;
    EXPECT_EQ(report, kOneCall);
  }

  // One call made by the installer's copy of hvprobe, started by the owner of
  // the product's NVRAM window; returns that program's report of the
  // messages its window handled and of the `watched` files missing then.
  std::string CallUninstallUnderNvramWindow(const std::vector<std::string>& watched) {
    // Beside each other, as the installer keeps them: LoadLibraryA looks in
    // the program's folder first.
    prefix->WriteFile("C:\\QNSETUP\\hvprobe.exe", HostFile(probe));
    prefix->WriteFile("C:\\QNSETUP\\HVLIB32.dll", HostFile(Win64Exe("HVLIB32.dll")));
    std::vector<std::string> args{"C:\\nvram-report.txt"};
    args.insert(args.end(), watched.begin(), watched.end());
    args.insert(args.end(), {"--", "C:\\QNSETUP\\hvprobe.exe", kReport, "uninstall"});
    const RunResult run = prefix->Run(nvramWindow, args, "C:\\QNSETUP");
    const std::string report = prefix->ReadFile("C:\\nvram-report.txt").value_or("<no report>");
    EXPECT_EQ(run.exitCode, 0) << report << run.err;
    EXPECT_EQ(prefix->ReadFile(kReport).value_or("<no report>"), kOneCall);
    return report;
  }

  // One call on the sample machine with the history `layDown` lays over it.
  void CallOnHistory(std::vector<Situation> (*layDown)(WinePrefix&)) {
    LayDownSampleMachine(*prefix, "", /*withMdminfo=*/false);
    const std::vector<Situation> situations = layDown(*prefix);
    const auto before = Snapshot(*prefix);
    CallUninstall();
    const std::string log = prefix->ReadFile("C:\\windows\\HVLIB32.LOG").value_or("");
    EXPECT_NE(log.find("\r\ndone, 0 remaining\r\n"), std::string::npos) << log;
    ExpectSituations(situations, /*program=*/false, before, Snapshot(*prefix));
  }

  std::string probe;
  std::string nvramWindow;
  std::unique_ptr<WinePrefix> prefix;
};

// INF files beside the sample's, one per rule of the library's scan. Their
// names fit "oem*.inf", so only their content decides.
const std::map<std::string, std::string> kScannedInfFiles = {
    {"OEM10.INF",
     "[Version]\r\nClass=Ports\r\n[Std]\r\n%Quillnet.DeviceDesc%=comport,quillnet\r\n"},
    {"OEM11.INF",
     "[Version]\r\nClass=Ports\r\n[Std]\r\n%Quillnet.DeviceDesc%=ComPort, QUILLNET\r\n"},
    {"OEM12.INF", "[Version]\r\nClass=Ports\r\n[Std]\r\n%QRMPort.DeviceDesc%=ComPort,QUILLNET\r\n"},
    {"OEM13.INF",
     "[Version]\r\nClass=Ports\r\n[Std]\r\n%Quillnet.DeviceDesc%=ComPort,ACME\r\n"
     "%QRMPort.DeviceDesc%=ComPort,QUILLNET\r\n"},
    {"OEM14.INF", "[Version]\r\nClass=QUILLNET\r\n"},
    {"OEM15.INF", "[Version]\r\nClass=Modem\r\n[Strings]\r\nQuillnet.DeviceDesc=\r\n"},
    {"OEM16.INF",
     "[Version]\r\nClass=MEDIA\r\n[Std]\r\n%Quillnet.DeviceDesc%=ComPort,QUILLNET\r\n"
     "[Strings]\r\nQuillnet.DeviceDesc=\"Quillnet Voice\"\r\n"},
    {"OEM17.INF", "[Version]\r\nSignature=\"$CHICAGO$\"\r\n[Strings]\r\nQuillnet.DeviceDesc=x\r\n"},
};

// The sample machine with an INF file beside its own for each rule of the
// scan, a recorded modem INF name that no rule calls the package's (it does
// not fit "oem*.inf" and its content does not match: recorded or not, it
// stays), a provider-named copy whose content does not match (only a
// deletion by name takes it), a first row that cannot be deleted (every
// later row and stage must still run), and the start-up stub under its full
// path as well as relative to the system directory, so that each of the
// three load-line removals finds its entry; after one call of Uninstall made
// by the installer's copy of hvprobe, started by the NVRAM window's owner.
class UninstallOnTheSample : public UninstallUnderWine {
 protected:
  void SetUp() override {
    UninstallUnderWine::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    LayDownSampleMachine(*prefix, /*mdmcleanExe=*/"", /*withMdminfo=*/false);
    prefix->ImportRegistry("REGEDIT4\r\n\r\n[" + kHklm + kClass + "Modem\\0001]\r\n" +
                           "\"InfPath\"=\"QNMDM.INF\"\r\n");
    prefix->WriteFile("C:\\windows\\inf\\QNMDM.INF", "[Version]\r\nClass=Modem\r\n");
    for (const auto& [name, content] : kScannedInfFiles) {
      prefix->WriteFile(std::string(kInfDir) + "\\" + name, content);
    }
    prefix->WriteFile(
        std::string(kOtherDir) + "\\Q.R. Meridian, Inc.QNPORT.INF",
        "[Version]\r\nClass=Ports\r\n[Std]\r\n%Quillnet.DeviceDesc%=ComPort, QUILLNET\r\n");
    prefix->SetReadOnly("C:\\windows\\system32\\QUILLNET.CPL");
    prefix->WriteFile(kWinIni,
                      WithValue(*prefix->ReadFile(kWinIni), "load",
                                "C:\\windows\\system32\\QUILLNET.101\\PRELDR.EXE "
                                "C:\\windows\\system32\\QUILLNET.101\\QUILLNET.EXE "
                                "C:\\windows\\system32\\TASKMON.EXE QUILLNET.101\\PRELDR.EXE"));
    before = Snapshot(*prefix);
    roots = ExportPackageRoots(*prefix);
    listings = FolderListings(*prefix);
    report = CallUninstallUnderNvramWindow(Watched());
  }

  // The sample's outcome with what this machine adds to it: the scan's
  // matches (Modem with the description, Ports with either port
  // description, class Quillnet) and the provider-named copy go, the
  // read-only first row stays.
  static Removal Expected() {
    Removal removal = SampleRemoval(/*program=*/false);
    removal.files.erase("QUILLNET.CPL");
    removal.infFiles.insert(
        {"OEM10.INF", "OEM12.INF", "OEM14.INF", "Other\\Q.R. Meridian, Inc.QNPORT.INF"});
    return removal;
  }
  static std::vector<std::string> Watched() {
    std::vector<std::string> paths;
    for (const std::string& file : Expected().files) paths.push_back(kSystemDir + ("\\" + file));
    for (const std::string& inf : Expected().infFiles) paths.push_back(kInfDir + ("\\" + inf));
    return paths;
  }

  std::string report;
  std::map<std::string, std::string> before, roots;
  std::set<std::string> listings;
};

TEST_F(UninstallOnTheSample, TellsTheNvramWindowOnceBeforeAnyDeletion) {
  EXPECT_EQ(report, "message 1 wParam=0 lParam=0 missing=0\nmessages 1\nchild exit 0\n");
}

// Deleting the recorded names instead of the provider-named copies proves
// that Wine in Windows 95 mode reports version 4.0. Of Wine's own keys and
// files in the package's roots and folders none went, none came.
TEST_F(UninstallOnTheSample, RemovesThePackageAndWhatTheScanMatchesAndKeepsTheReadOnlyRow) {
  ExpectRemoved(Expected(), before, Snapshot(*prefix));
  ExpectKeysRemoved(Expected(), roots, ExportPackageRoots(*prefix));
  ExpectListingsLose(Expected(), listings, FolderListings(*prefix));
}

// The read-only QUILLNET.CPL stays: one of the package's things remains.
TEST_F(UninstallOnTheSample, TheLogNamesEveryRemovalInOrderAndWhatStayed) {
  ExpectSampleLog(*prefix, /*program=*/false, "done, 1 remaining",
                  {"refused file C:\\windows\\system32\\QUILLNET.CPL (error 5)",
                   "refused INF file C:\\windows\\INF\\QNMDM.INF (not one of the package's INF "
                   "files)"});
}

TEST_F(UninstallOnTheSample, ASecondCallFindsNothingTheFirstCouldHaveTaken) {
  const auto cleaned = Snapshot(*prefix);
  CallUninstall();
  const auto after = Snapshot(*prefix);
  EXPECT_EQ(Differences(cleaned, after), std::vector<std::string>{}) << Explain(cleaned, after);
}

TEST_F(UninstallOnTheSample, RegeditOfTheUndoFileBringsBackEveryRemovedKey) {
  prefix->ImportRegistry(*prefix->ReadFile("C:\\windows\\HVLIB32.REG"));
  EXPECT_EQ(ExportPackageRoots(*prefix), roots);
}

// The sample machine with every part of the package taken away, bystanders
// kept, and both INI files replaced by `winIni` and `systemIni`.
void LayDownMachineWithoutPackage(WinePrefix& prefix, const std::string& winIni,
                                  const std::string& systemIni) {
  LayDownSampleMachine(prefix, /*mdmcleanExe=*/"", /*withMdminfo=*/false);
  const test::SampleOutcome& outcome = test::Sample(test::Deliverable::Program);
  std::string removal = "REGEDIT4\r\n";
  for (const test::GoneKey& key : outcome.keys) removal += "\r\n[-" + kHklm + key.path + "]\r\n";
  prefix.ImportRegistry(removal);
  for (const auto* names : {&outcome.files, &outcome.folders}) {
    for (const std::string& name : *names)
      fs::remove_all(prefix.HostPath(kSystemDir + ("\\" + name)));
  }
  for (const std::string& name : outcome.infGone) {
    fs::remove_all(prefix.HostPath(std::string(kInfDir) + "\\" + name));
  }
  prefix.WriteFile(kWinIni, winIni);
  prefix.WriteFile(kSystemIni, systemIni);
}

TEST_F(UninstallUnderWine, WithoutThePackageOnlyTheIniLinesAreWrittenBack) {
  // No "load" key; a "drivers" line without the package's driver.
  const std::string winIni =
      "[windows]\r\nrun=\r\nNullPort=None\r\n\r\n[Desktop]\r\nWallpaper=(None)\r\n";
  const std::string systemIni =
      "[boot]\r\nshell=Explorer.exe\r\ndrivers=mmsystem.dll msacm.drv\r\n\r\n[386Enh]\r\n"
      "device=*vcomm\r\n";
  LayDownMachineWithoutPackage(*prefix, winIni, systemIni);
  {
    SCOPED_TRACE("no package: the absent load line written empty, nothing else changed");
    const auto before = Snapshot(*prefix);
    CallUninstall();
    const auto after = Snapshot(*prefix);
    EXPECT_EQ(Differences(before, after),
              (std::vector<std::string>{"file C:\\windows\\win.ini (changed)"}))
        << Explain(before, after);
    EXPECT_EQ(WithoutBlankLines(*prefix->ReadFile(kWinIni)),
              "[windows]\r\nrun=\r\nNullPort=None\r\nload=\r\n[Desktop]\r\nWallpaper=(None)\r\n");
    EXPECT_EQ(*prefix->ReadFile(kSystemIni), systemIni);
  }
  {
    SCOPED_TRACE(
        "remnants: a product folder holding a subdirectory, later ISAPNP candidates, "
        "the stub below another folder");
    prefix->WriteFile(std::string(kProductDir) + "\\QUILLNET.EXE", "exe");
    prefix->WriteFile(std::string(kProductDir) + "\\QNVRAM.DAT", "nvram");
    prefix->WriteFile(std::string(kProductDir) + "\\LOGS\\SESSION.LOG", "log");
    prefix->ImportRegistry("REGEDIT4\r\n\r\n[" + kHklm + "Enum\\ISAPNP\\QRM1003\\11111111]\r\n" +
                           "\"Class\"=\"Ports\"\r\n\r\n[" + kHklm +
                           "Enum\\ISAPNP\\QRM0100\\22222222]\r\n\"Class\"=\"Ports\"\r\n");
    prefix->WriteFile(kWinIni, WithValue(*prefix->ReadFile(kWinIni), "load",
                                         "C:\\windows\\system32\\TASKMON.EXE "
                                         "D:\\QNOLD\\QUILLNET.101\\PRELDR.EXE"));
    const std::string enumBefore = prefix->ExportRegistry(kHklm + "Enum");
    const auto before = Snapshot(*prefix);

    CallUninstall();

    const auto after = Snapshot(*prefix);
    EXPECT_EQ(
        Differences(before, after),
        (std::vector<std::string>{"file C:\\windows\\system32\\QUILLNET.101\\QNVRAM.DAT (gone)",
                                  "file C:\\windows\\system32\\QUILLNET.101\\QUILLNET.EXE (gone)",
                                  "file C:\\windows\\win.ini (changed)",
                                  "registry HKEY_LOCAL_MACHINE\\Enum (changed)"}))
        << Explain(before, after);
    EXPECT_EQ(prefix->ListDir(kProductDir), std::vector<std::string>{"LOGS"});
    EXPECT_EQ(prefix->ListDir(std::string(kProductDir) + "\\LOGS"),
              std::vector<std::string>{"SESSION.LOG"});
    // Every present candidate goes.
    EXPECT_EQ(prefix->ExportRegistry(kHklm + "Enum"),
              WithoutSections(enumBefore, FullKeys({"Enum\\ISAPNP\\QRM1003",
                                                    "Enum\\ISAPNP\\QRM1003\\11111111",
                                                    "Enum\\ISAPNP\\QRM0100",
                                                    "Enum\\ISAPNP\\QRM0100\\22222222"})));
    // The relative entry ends the stub's full path below another folder: the
    // whole entry goes, not only its end.
    EXPECT_EQ(WithoutBlankLines(*prefix->ReadFile(kWinIni)),
              "[windows]\r\nrun=\r\nNullPort=None\r\n"
              "load=C:\\windows\\system32\\TASKMON.EXE \r\n"
              "[Desktop]\r\nWallpaper=(None)\r\n");
  }
}

// The package's records lead to another modem, Windows' own INF file and a
// second voice modem, and the load line holds quoted long names: only the
// package goes.
TEST_F(UninstallUnderWine, RecordsLeadingToOthersTakeNothingOfTheirs) {
  LayDownSampleMachine(*prefix, "", /*withMdminfo=*/false);
  LayDownRecordsOfOthers(*prefix);
  const auto before = Snapshot(*prefix);
  CallUninstall();
  ExpectRemoved(RecordsOfOthersRemoval(/*program=*/false), before, Snapshot(*prefix));
}

// The histories of the mdmclean Wine tests: the library takes and keeps the same.
TEST_F(UninstallUnderWine, HistoriesLoseEveryInstallCardAndCopyButNotTheVendorsNewerModem) {
  CallOnHistory(LayDownHistories);
}

TEST_F(UninstallUnderWine, AModemAddedAgainGoesAndTheStandardModemInItsSlotsStays) {
  CallOnHistory(LayDownModemAddedAgain);
}

// ChangeW95SerialNumber looks before it changes: a prefix of the serial
// number names no key, and the call that fails changes nothing; the serial
// number in other letter case names the same key and the same link.
TEST_F(UninstallUnderWine, TheSerialNumberMoveChecksBeforeItChanges) {
  LayDownSampleMachine(*prefix, "", /*withMdminfo=*/false);
  const std::string rootLink =
      "values Enum\\Root\\Quillnet\\0000 result=0\n"
      "  Class=Quillnet\n"
      "  ConnectedToModem=Enum\\Root\\MDMGEN\\0001\n"
      "  ConnectedToPort=Enum\\ISAPNP\\QRM1001\\";
  const std::string rest =
      "\n  ConnectedToWave=Enum\\MODEMWAVE\\QNWAVE\n"
      "  DeviceDesc=Quillnet Modem Controller\n"
      "  Driver=Quillnet\\0000\n";
  const RunResult run = prefix->Run(
      probe, {kReport, "change", "0A1B", "5678EF01", "values", "Enum\\Root\\Quillnet\\0000",
              "change", "0a1b2c3d", "5678EF01", "values", "Enum\\Root\\Quillnet\\0000", "values",
              "Enum\\ISAPNP\\QRM1001\\0A1B2C3D"});
  const std::string report = prefix->ReadFile(kReport).value_or("<no report>");
  EXPECT_EQ(run.exitCode, 0) << report << run.err;
  EXPECT_EQ(report,
            "resolve ChangeW95SerialNumber ordinal 1 same\n"
            "resolve GetBaseAddr95 ordinal 2 same\n"
            "resolve Uninstall ordinal 3 same\n"
            "change 0A1B 5678EF01 result=2\n" +
                rootLink + "0A1B2C3D" + rest + "change 0a1b2c3d 5678EF01 result=0\n" + rootLink +
                "5678EF01" + rest +
                "values Enum\\ISAPNP\\QRM1001\\0A1B2C3D result=2\n"
                "unload ok\n");
}

}  // namespace
}  // namespace mdm::wine
