// What each deliverable does to the sample machine (sample-machine/), stated
// once. Every test that runs mdmclean or the library's Uninstall on the
// sample, on the emulator, as a host program or under Wine, compares what it
// sees with this.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "emulator/machine.h"
#include "tests/support/run_logs.h"

namespace mdm::test {

enum class Deliverable { Program, Library };

// A key below HKEY_LOCAL_MACHINE that goes with its subtree, and the key
// holding the record that leads to it ("" when only the root device's
// does): that key is checked first and goes after it, so that a stopped
// run leaves no record leading nowhere.
struct GoneKey {
  std::string path;
  std::string record;
};

struct SampleOutcome {
  std::vector<GoneKey> keys;         // in the order they go; the root device's last
  std::vector<std::string> files;    // below the system directory
  std::vector<std::string> folders;  // below the system directory
  std::vector<std::string> infGone;  // below the INF folder ("Other\\..." in its Other folder)
  std::vector<std::string> infKept;
  std::string load;     // win.ini's [windows] load= afterwards (system directory C:\WINDOWS\SYSTEM)
  std::string drivers;  // system.ini's [boot] drivers= afterwards
  unsigned remaining = 0;  // the result is 0, done
};

inline const SampleOutcome& Sample(Deliverable who) {
  static const std::vector<SampleOutcome> outcomes = [] {
    const std::string cls = "System\\CurrentControlSet\\Services\\Class\\";
    const std::string root = "Enum\\Root\\Quillnet";
    const std::string software = "SOFTWARE\\QRMeridian\\Quillnet";
    SampleOutcome program;
    program.keys = {{cls + "Modem\\0001", "Enum\\Root\\MDMGEN\\0001"},  // the modem device's Driver
                    {cls + "Ports\\0001", "Enum\\ISAPNP\\QRM1001"},     // the card's Driver
                    {cls + "Quillnet", root},
                    {"System\\CurrentControlSet\\control\\MediaResources\\wave\\serwvdrv.drv<0001>",
                     cls + "MEDIA\\0001"},
                    {"System\\CurrentControlSet\\Services\\VxD\\QNAUDIO", cls + "MEDIA\\0001"},
                    {cls + "MEDIA\\0001", "Enum\\MODEMWAVE"},  // the wave device's Driver
                    {"Enum\\Root\\MDMGEN\\0002", software},    // the COM port it records
                    {software, ""},
                    {"Enum\\ISAPNP\\QRM1001", root},  // the root device's links
                    {"Enum\\Root\\MDMGEN\\0001", root},
                    {"Enum\\MODEMWAVE", root},
                    {root, ""}};
    program.files = {"QUILLNET.CPL",
                     "QUILLNET.VXD",
                     "QUILLNET.101\\PRELDR.EXE",
                     "QUILLNET.101\\QNVRAM.DAT",
                     "QUILLNET.101\\QUILLNET.DRV",
                     "QUILLNET.101\\QUILLNET.EXE"};
    program.folders = {"QUILLNET.101"};
    program.infGone = {"OEM4.INF",
                       "OEM5.INF",
                       "OEM6.INF",
                       "OEM7.INF",
                       "QNMODEM.INF",
                       "QNPORT.INF",
                       "QUILLNET.INF",
                       "QUILNT2.IN~",
                       "Other\\Q.R. Meridian, Inc.QNMODEM.INF",
                       "Other\\Q.R. Meridian, Inc.QUILLNET.INF"};
    program.infKept = {"MDMGEN.INF",
                       "MSPORTS.INF",
                       "OEM1.INF",
                       "OEM2.INF",
                       "OEM3.INF",
                       "SB16.INF",
                       "Other\\Acme Inc.ACMEMDM.INF"};
    // Both take out the stub relative to the system directory (the program
    // because it deleted the stub's file); the blank before it stays, and the
    // other entries keep their letter case.
    program.load = "C:\\WINDOWS\\SYSTEM\\TASKMON.EXE ";
    program.drivers = "mmsystem.dll msacm.drv";
    // The library has the product's names built in and no voice device: the
    // wave device the link names goes, its class key, resources and INF stay.
    SampleOutcome library = program;
    library.keys = {{cls + "Modem\\0001", "Enum\\Root\\MDMGEN\\0001"},
                    {cls + "Ports\\0001", "Enum\\ISAPNP\\QRM1001"},
                    {cls + "Quillnet", root},
                    {"Enum\\Root\\MDMGEN\\0002", software},
                    {software, ""},
                    {"Enum\\ISAPNP\\QRM1001", root},
                    {"Enum\\Root\\MDMGEN\\0001", root},
                    {"Enum\\MODEMWAVE\\QNWAVE", root},
                    {root, ""}};
    library.infGone.erase(std::find(library.infGone.begin(), library.infGone.end(), "OEM7.INF"));
    library.infKept.push_back("OEM7.INF");
    return std::vector<SampleOutcome>{program, library};
  }();
  return outcomes[who == Deliverable::Program ? 0 : 1];
}

// The keys a change log says its run removed ("removed key ..."), in order.
inline std::vector<std::string> KeysRemovedBy(const std::string& log) {
  std::vector<std::string> keys;
  std::istringstream lines(log);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind("removed key ", 0) == 0) keys.push_back(line.substr(12));
  }
  return keys;
}

// The keys a machine's journal says were deleted, in order.
inline std::vector<std::string> DeletedKeys(const emu::Machine& machine) {
  std::vector<std::string> keys;
  for (const emu::JournalEntry& entry : machine.Journal()) {
    if (entry.kind == emu::JournalEntry::Kind::KeyDeleted) keys.push_back(entry.subject);
  }
  return keys;
}

// `removed`, in the order a run removed them, are the keys of `outcome`:
// each before the key holding its record, the root device's last.
inline void ExpectKeysGoneInOrder(const std::vector<std::string>& removed,
                                  const std::vector<GoneKey>& outcome) {
  std::vector<std::string> expected;
  for (const GoneKey& key : outcome) expected.push_back(key.path);
  std::vector<std::string> sortedRemoved = removed;
  std::sort(expected.begin(), expected.end());
  std::sort(sortedRemoved.begin(), sortedRemoved.end());
  ASSERT_EQ(sortedRemoved, expected);
  const auto at = [&](const std::string& key) {
    return std::find(removed.begin(), removed.end(), key) - removed.begin();
  };
  for (const GoneKey& key : outcome) {
    if (key.record.empty()) continue;
    EXPECT_LT(at(key.path), at(key.record)) << key.path << " goes before " << key.record;
  }
  EXPECT_EQ(removed.back(), outcome.back().path) << "the root device's key goes last";
}

// Every file's content below C:\ and every folder ("<folder>"), the runs'
// own logs and undo files left out.
inline std::map<std::string, std::string> FilesOf(const emu::Machine& machine) {
  std::map<std::string, std::string> files;
  for (const std::string& path : machine.ListTree()) {
    if (!IsRunLogFile(path)) files[path] = machine.ReadFile(path).value_or("<folder>");
  }
  return files;
}

// `after`, the sample image at `image` after one run of `who`, is the image
// as the outcome says, file for file and key for key, and the run's log
// names the keys in their order and the count of what stayed.
inline void ExpectSampleOutcome(const std::string& image, const emu::Machine& after,
                                Deliverable who) {
  const SampleOutcome& outcome = Sample(who);
  const auto expected = emu::Machine::LoadImage(image);
  for (const GoneKey& key : outcome.keys)
    expected->RegDeleteKeyA(HKEY_LOCAL_MACHINE, key.path.c_str());
  for (const std::string& file : outcome.files)
    expected->RemoveFile("C:\\WINDOWS\\SYSTEM\\" + file);
  for (const std::string& folder : outcome.folders)
    expected->RemoveDirectoryA(("C:\\WINDOWS\\SYSTEM\\" + folder).c_str());
  for (const std::string& inf : outcome.infGone) expected->RemoveFile("C:\\WINDOWS\\INF\\" + inf);
  expected->WritePrivateProfileStringA("windows", "load", outcome.load.c_str(), "win.ini");
  expected->WritePrivateProfileStringA("boot", "drivers", outcome.drivers.c_str(), "system.ini");
  const std::string remaining = std::to_string(outcome.remaining);
  if (who == Deliverable::Program) {
    const std::string mdminfo = expected->WorkingDirectory() + "\\mdminfo.ini";
    expected->WritePrivateProfileStringA("Progress", "Remaining", remaining.c_str(),
                                         mdminfo.c_str());
    expected->WritePrivateProfileStringA("Progress", "Result", "0", mdminfo.c_str());
  }
  EXPECT_EQ(after.ExportRegistry(), expected->ExportRegistry());
  EXPECT_EQ(FilesOf(after), FilesOf(*expected));
  std::vector<std::string> infLeft;
  for (const std::string& path : after.ListTree("C:\\WINDOWS\\INF")) {
    if (after.FileExists(path))
      infLeft.push_back(path.substr(std::string("C:\\WINDOWS\\INF\\").size()));
  }
  std::vector<std::string> infKept = outcome.infKept;
  std::sort(infLeft.begin(), infLeft.end());
  std::sort(infKept.begin(), infKept.end());
  EXPECT_EQ(infLeft, infKept);
  const bool program = who == Deliverable::Program;
  const std::string log =
      after.ReadFile(program ? "C:\\WINDOWS\\MDMCLEAN.LOG" : "C:\\WINDOWS\\HVLIB32.LOG")
          .value_or("");
  ExpectKeysGoneInOrder(KeysRemovedBy(log), outcome.keys);
  const std::string last =
      (program ? "result 0 (done), " : "done, ") + remaining + " remaining\r\n";
  EXPECT_EQ(log.substr(log.size() - std::min(log.size(), last.size())), last) << log;
}

}  // namespace mdm::test
