// The change log and the undo file of both deliverables' runs, on emulated
// machines: the log names every removal in the order made, the undo file
// brings every removed key back byte for byte, and neither changes the run.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "core/package/product.h"
#include "core/ownership/ownership.h"
#include "core/record/run_log.h"
#include "emulator/machine.h"
#include "hvlib32/library_plan.h"
#include "hvlib32/exports.h"
#include "mdmclean/run.h"
#include "tests/support/run_logs.h"
#include "tests/support/test_platform.h"

namespace mdm {
namespace {

using Kind = emu::JournalEntry::Kind;

std::unique_ptr<emu::Machine> SampleMachine() {
  return emu::Machine::LoadImage(MDM_SAMPLE_MACHINE);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(text.substr(start, end - start));
  }
  EXPECT_EQ(start, text.size()) << "every line ends in CRLF";
  return lines;
}

std::string Upper(std::string text) {
  for (char& c : text) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  return text;
}

// The removals the journal holds, as the log words them (letter case aside:
// the log names a file as the run spelled it).
std::vector<std::string> JournalRemovals(const emu::Machine& machine) {
  std::vector<std::string> removals;
  for (const emu::JournalEntry& entry : machine.Journal()) {
    const bool inf = entry.subject.find("\\INF\\") != std::string::npos;
    if (entry.kind == Kind::KeyDeleted) removals.push_back(Upper("removed key " + entry.subject));
    if (entry.kind == Kind::FileDeleted) {
      removals.push_back(Upper((inf ? "removed INF file " : "removed file ") + entry.subject));
    }
    if (entry.kind == Kind::DirectoryRemoved)
      removals.push_back(Upper("removed folder " + entry.subject));
  }
  return removals;
}

std::vector<std::string> LoggedRemovals(const std::vector<std::string>& lines) {
  std::vector<std::string> removals;
  for (const std::string& line : lines) {
    if (line.rfind("removed ", 0) == 0) removals.push_back(Upper(line));
  }
  return removals;
}

// Each deliverable on the sample machine: the log opens with the deliverable,
// its version and the machine's time, names every removal in the order the
// machine saw them, and ends with the result; importing the undo file gives
// back every removed key with every value.
TEST(RunLog, NamesEveryRemovalInOrderAndTheUndoFileBringsTheKeysBack) {
  struct Deliverable {
    const char* name;
    const char* heading;
    const char* last;
    void (*run)(emu::Machine&);
  };
  const Deliverable deliverables[] = {
      {"MDMCLEAN", "mdmclean ", "result 0 (done), 0 remaining",
       [](emu::Machine& m) { mdmclean::RunUninstall(m); }},
      {"HVLIB32", "HVLIB32 ", "done, 0 remaining", [](emu::Machine& m) { hvlib32::Uninstall(m); }},
  };
  for (const Deliverable& d : deliverables) {
    SCOPED_TRACE(d.name);
    auto machine = SampleMachine();
    const std::string before = machine->ExportRegistry();
    machine->ClearJournal();
    d.run(*machine);

    const std::vector<std::string> lines =
        Lines(machine->ReadFile(std::string("C:\\WINDOWS\\") + d.name + ".LOG").value_or(""));
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines.front().rfind(d.heading + std::string(product::VERSION), 0), 0u)
        << lines.front();
    EXPECT_NE(lines.front().find(", 1997-06-02 09:30:00"), std::string::npos) << lines.front();
    EXPECT_EQ(lines.back(), d.last);
    EXPECT_EQ(LoggedRemovals(lines), JournalRemovals(*machine));
    EXPECT_GT(LoggedRemovals(lines).size(), 10u);

    machine->ImportRegistry(*machine->ReadFile(std::string("C:\\WINDOWS\\") + d.name + ".REG"));
    EXPECT_EQ(machine->ExportRegistry(), before);
  }
}

// The serial number change keeps the link value it rewrites and the instance
// key it removes: importing the undo file gives both back as they were, and
// the log names the call, each change and the result.
TEST(RunLog, TheSerialNumberChangeKeepsTheLinkAndTheOldInstanceForUndo) {
  auto machine = SampleMachine();
  const std::string oldKey = "Enum\\ISAPNP\\QRM1001\\0A1B2C3D";
  const std::string newKey = "Enum\\ISAPNP\\QRM1001\\5678EF01";
  const std::string before = machine->ExportRegistry();
  EXPECT_EQ(hvlib32::ChangeW95SerialNumber(*machine, "0A1B2C3D", "5678EF01"), 0);
  ASSERT_FALSE(machine->HasKey(oldKey));
  const std::vector<std::string> lines = Lines(*machine->ReadFile("C:\\WINDOWS\\HVLIB32.LOG"));
  EXPECT_EQ(
      lines[0].rfind("HVLIB32 " + std::string(product::VERSION) + " ChangeW95SerialNumber, ", 0),
      0u);
  // The new key first, then the link, then the old key goes: the link
  // always names a key that is there. The log names the key regedit
  // cannot take back.
  const std::vector<std::string> expected = {
      "moving serial number 0A1B2C3D to 5678EF01",
      "copied " + oldKey + " to " + newKey,
      "made key " + newKey + "; after importing the undo file, delete it by hand",
      "undo file of this run: C:\\WINDOWS\\HVLIB32.REG",
      "rewrote Enum\\Root\\Quillnet\\0000 ConnectedToPort: " + oldKey + " -> " + newKey,
      "removed key " + oldKey,
      "result 0"};
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.end()), expected);

  machine->ImportRegistry(*machine->ReadFile("C:\\WINDOWS\\HVLIB32.REG"));
  machine->RegDeleteKeyA(HKEY_LOCAL_MACHINE, newKey.c_str());
  EXPECT_EQ(machine->ExportRegistry(), before);
}

// Every kind of value a key can hold goes into the undo file in a form that
// imports to the same bytes, below key names that need care of their own.
TEST(RunLog, TheUndoFileKeepsEveryValueFormatByteForByte) {
  emu::Machine machine;
  const std::string key = "Enum\\Root\\Quillnet\\0000 [1]";
  machine.SetString(key, "Driver", "Quillnet\\0000");
  machine.SetString(key, "", "default \"quoted\" text");
  machine.SetString(key, "back\\slash \"name\"", "C:\\WINDOWS\\SYSTEM\\");
  machine.SetDword(key, "ConfigFlags", 0x2a);
  machine.SetValue(key, "Short", REG_DWORD, {1, 2});
  machine.SetValue(key, "Binary", REG_BINARY, std::vector<unsigned char>(300, 0xA5));
  machine.SetValue(key, "Empty", REG_BINARY, {});
  machine.SetValue(key, "Multi", REG_MULTI_SZ, {'a', 0, 'b', 0, 0});
  machine.SetValue(key, "Expand", REG_EXPAND_SZ, {'%', 'W', '%', 0});
  machine.SetValue(key, "NoEnd", REG_SZ, {'x', 'y'});
  machine.SetValue(key, "Lines", REG_SZ, {'a', '\r', '\n', 'b', 0});
  machine.SetValue(key, "Odd", 0x1234, {7});
  machine.SetString(key + "\\Sub]Key", "Name", "value");
  machine.AddKey(key + "\\Empty");
  const std::string before = machine.ExportRegistry();
  {
    RunLog log(machine, "TEST", "test");
    const PackageIdentity identity;
    StageOutcome outcome;
    EXPECT_EQ(RemoveKey(KeyGuard(machine, identity, log), outcome, "Enum\\Root\\Quillnet",
                        {"Enum\\Root\\Quillnet", 0}, Marks::None),
              KeyRemoval::Deleted);
  }
  ASSERT_FALSE(machine.HasKey("Enum\\Root\\Quillnet"));
  const std::string undo = *machine.ReadFile("C:\\WINDOWS\\TEST.REG");
  EXPECT_EQ(undo.rfind("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Enum\\Root\\Quillnet]\r\n\r\n", 0),
            0u);
  for (const char* line :
       {"\"ConfigFlags\"=dword:0000002a\r\n", "@=\"default \\\"quoted\\\" text\"\r\n",
        "\"back\\\\slash \\\"name\\\"\"=\"C:\\\\WINDOWS\\\\SYSTEM\\\\\"\r\n",
        "\"Short\"=hex(4):01,02\r\n", "\"Multi\"=hex(7):61,00,62,00,00\r\n", "\"Empty\"=hex:\r\n",
        "\"Odd\"=hex(1234):07\r\n",
        "[HKEY_LOCAL_MACHINE\\Enum\\Root\\Quillnet\\0000 [1]\\Sub]Key]\r\n"}) {
    EXPECT_NE(undo.find(line), std::string::npos) << line;
  }
  for (const std::string& line : Lines(undo)) EXPECT_LE(line.size(), 80u) << line;
  machine.ImportRegistry(undo);
  EXPECT_EQ(machine.ExportRegistry(), before);
}

// A log that has grown beyond 64 KiB starts afresh; a smaller one grows.
TEST(RunLog, TheLogStartsAfreshBeyond64KiB) {
  for (const std::size_t earlier :
       {std::size_t{100}, std::size_t{LOG_SIZE_LIMIT}, std::size_t{LOG_SIZE_LIMIT} + 1}) {
    SCOPED_TRACE(earlier);
    auto machine = SampleMachine();
    const std::string old(earlier, 'x');
    machine->AddFile("C:\\WINDOWS\\MDMCLEAN.LOG", old);
    mdmclean::RunUninstall(*machine);
    const std::string log = *machine->ReadFile("C:\\WINDOWS\\MDMCLEAN.LOG");
    const bool afresh = earlier > LOG_SIZE_LIMIT;
    EXPECT_EQ(log.rfind("mdmclean ", 0) == 0, afresh);
    EXPECT_EQ(log.rfind(old, 0) == 0, !afresh);
  }
}

// Each run that changes something keeps its own undo file: the latest as
// MDMCLEAN.REG, the ones before as MDMCLEA1.REG (one run back) to
// MDMCLEA9.REG. Importing the latest gives back the machine as it was before
// the latest run; importing the older ones newest first walks further back,
// even when Windows gave the package's slots to another modem in between.
TEST(RunLog, EachRunThatChangesSomethingKeepsItsOwnUndoFile) {
  auto machine = SampleMachine();
  const std::string installed = machine->ExportRegistry();
  const auto undo = [&](int age) {
    return machine->ReadFile(RunLog::UndoPath("C:\\WINDOWS", "MDMCLEAN", age));
  };
  // The earlier release appended every run to one file: it is an undo file of ours.
  machine->AddFile("C:\\WINDOWS\\MDMCLEAN.REG", "REGEDIT4\r\n\r\n");
  mdmclean::RunUninstall(*machine);
  const std::string removed = machine->ExportRegistry();
  // Installed again, and meanwhile Windows gave Modem\0001 to another modem.
  machine->ImportRegistry(installed);
  machine->SetString("System\\CurrentControlSet\\Services\\Class\\Modem\\0001", "DriverDesc",
                     "Acme 56K");
  const std::string reinstalled = machine->ExportRegistry();
  mdmclean::RunUninstall(*machine);
  // A run that changes nothing leaves every undo file as it is.
  const std::string latest = *undo(0);
  mdmclean::RunUninstall(*machine);
  EXPECT_EQ(undo(0), latest);

  EXPECT_EQ(undo(2), "REGEDIT4\r\n\r\n");
  EXPECT_FALSE(undo(3).has_value());
  const std::string last = *machine->ReadFile("C:\\WINDOWS\\MDMCLEAN.LOG");
  EXPECT_NE(last.find("\r\nundo file of this run: C:\\WINDOWS\\MDMCLEAN.REG\r\n"),
            std::string::npos);
  // The latest alone gives back the machine before the latest run, the
  // newer modem's values included; the one before walks back further.
  machine->ImportRegistry(*undo(0));
  EXPECT_EQ(machine->ExportRegistry(), reinstalled);
  machine->ImportRegistry(*undo(1));
  EXPECT_EQ(machine->ExportRegistry(), installed);
  EXPECT_NE(undo(0)->find("\"DriverDesc\"=\"Acme 56K\""), std::string::npos);
  EXPECT_EQ(undo(1)->find("Acme 56K"), std::string::npos);
  (void)removed;

  // Ten runs later the oldest went: nine earlier files are kept.
  for (int run = 0; run < 10; ++run) {
    machine->ImportRegistry(installed);
    mdmclean::RunUninstall(*machine);
  }
  for (int age = 0; age <= EARLIER_UNDO_FILES; ++age) EXPECT_TRUE(undo(age).has_value()) << age;
  EXPECT_FALSE(machine->FileExists("C:\\WINDOWS\\MDMCLEA0.REG"));
  for (int age = 0; age <= EARLIER_UNDO_FILES; ++age) {
    EXPECT_NE(undo(age)->find("Enum\\Root\\Quillnet"), std::string::npos) << age;
  }
}

// The undo files' names are slots, newest first. A folder, a read-only file
// or another's file at a name is passed over and stays as it is; the undo
// files of ours move up around it, and the one in the last usable slot goes,
// never another's. An undo file a stopped run left without a key goes.
TEST(RunLog, UndoFilesMoveAroundNamesThatAreNotTheirs) {
  const std::string ours = "REGEDIT4\r\n\r\n";
  const auto slot = [](int age) { return RunLog::UndoPath("C:\\WINDOWS", "MDMCLEAN", age); };
  struct Layout {
    const char* name;
    std::vector<std::pair<int, std::string>> files;  // age and content; "<dir>" a folder
    std::vector<int> readOnly;
    int runs;
    const char* undoOfLastRun;
  };
  const Layout layouts[] = {
      {"another's notes at the latest name", {{0, "my own notes\r\n"}}, {}, 1, "MDMCLEA1.REG"},
      {"a read-only undo file of ours", {{0, ours}}, {0}, 1, "MDMCLEA1.REG"},
      {"a folder, another's file and a read-only file among ours",
       {{0, ours + "0"}, {1, "<dir>"}, {2, ours + "2"}, {3, ours + "3"}, {5, "notes"},
        {9, ours + "9"}},
       {9},
       1,
       "MDMCLEAN.REG"},
      {"an empty undo file a stopped run left", {{0, ""}}, {}, 1, "MDMCLEAN.REG"},
      {"one cut short in its first line", {{0, "REGED"}, {1, ours + "1"}}, {}, 1,
       "MDMCLEAN.REG"},
      {"another's notes at the oldest name", {{9, "notes of someone else\r\n"}}, {}, 12,
       "MDMCLEAN.REG"},
  };
  for (const Layout& layout : layouts) {
    SCOPED_TRACE(layout.name);
    auto machine = SampleMachine();
    const std::string installed = machine->ExportRegistry();
    for (const auto& [age, content] : layout.files) {
      if (content == "<dir>") {
        machine->AddDirectory(slot(age));
      } else {
        machine->AddFile(slot(age), content);
      }
    }
    for (int age : layout.readOnly) machine->SetReadOnly(slot(age));
    for (int run = 0; run < layout.runs; ++run) {
      machine->ImportRegistry(installed);
      EXPECT_EQ(mdmclean::RunUninstall(*machine), mdmclean::RESULT_DONE);
      EXPECT_FALSE(machine->HasKey("Enum\\Root\\Quillnet"));
    }
    const std::string log = *machine->ReadFile("C:\\WINDOWS\\MDMCLEAN.LOG");
    EXPECT_NE(log.find(std::string("undo file of this run: C:\\WINDOWS\\") +
                       layout.undoOfLastRun + "\r\n"),
              std::string::npos)
        << log;
    // What is not ours is where it was, as it was.
    for (const auto& [age, content] : layout.files) {
      const bool another = content == "<dir>" || content.rfind("REGEDIT4", 0) != 0 ||
                           std::count(layout.readOnly.begin(), layout.readOnly.end(), age);
      if (content == "<dir>") {
        EXPECT_TRUE(machine->DirectoryExists(slot(age))) << age;
      } else if (another && !content.empty() && std::string("REGEDIT4").rfind(content, 0) != 0) {
        EXPECT_EQ(machine->ReadFile(slot(age)), content) << age;
      }
    }
    // The latest undo file of ours gives back what the last run removed.
    machine->ImportRegistry(
        *machine->ReadFile(std::string("C:\\WINDOWS\\") + layout.undoOfLastRun));
    EXPECT_EQ(machine->ExportRegistry(), installed);
  }
}

// The undo files of ours kept their order around the names passed over.
TEST(RunLog, UndoFilesOfOursKeepTheirOrderAroundOthers) {
  auto machine = SampleMachine();
  const auto slot = [](int age) { return RunLog::UndoPath("C:\\WINDOWS", "MDMCLEAN", age); };
  machine->AddDirectory(slot(1));
  machine->AddFile(slot(5), "notes");
  for (int age : {0, 2, 3}) machine->AddFile(slot(age), "REGEDIT4\r\n\r\n; " + std::to_string(age));
  mdmclean::RunUninstall(*machine);
  EXPECT_EQ(machine->ReadFile(slot(2)), "REGEDIT4\r\n\r\n; 0");
  EXPECT_EQ(machine->ReadFile(slot(3)), "REGEDIT4\r\n\r\n; 2");
  EXPECT_EQ(machine->ReadFile(slot(4)), "REGEDIT4\r\n\r\n; 3");
  EXPECT_EQ(machine->ReadFile(slot(5)), "notes");
  EXPECT_NE(machine->ReadFile(slot(0))->find("Enum\\Root\\Quillnet"), std::string::npos);
}

// No key goes without its whole undo text on disk: with a full disk, or no
// name left for an undo file, every key stays, counts as remaining, and the
// log says why before the first key would have gone.
TEST(RunLog, WithoutAnUndoFileNoKeyGoes) {
  for (int way = 0; way < 2; ++way) {
    SCOPED_TRACE(way == 0 ? "disk full" : "folders at every name");
    auto machine = SampleMachine();
    const std::string installed = machine->ExportRegistry();
    if (way == 0) {
      machine->AddFile("C:\\WINDOWS\\MDMCLEAN.LOG", "");
      machine->SetDiskFull();
    } else {
      for (int age = 0; age <= EARLIER_UNDO_FILES; ++age) {
        machine->AddDirectory(RunLog::UndoPath("C:\\WINDOWS", "MDMCLEAN", age));
      }
    }
    EXPECT_EQ(mdmclean::RunUninstall(*machine), mdmclean::RESULT_DONE);
    EXPECT_EQ(machine->ExportRegistry(), installed);
    if (way == 1) {
      const std::string config = *machine->ReadFile("C:\\QNSETUP\\mdminfo.ini");
      EXPECT_EQ(config.find("Remaining=0"), std::string::npos) << config;
      const std::string log = *machine->ReadFile("C:\\WINDOWS\\MDMCLEAN.LOG");
      EXPECT_NE(log.find("no undo file can be kept: the undo files' names are all taken or "
                         "cannot be freed; no key goes"),
                std::string::npos)
          << log;
      EXPECT_NE(log.find("\r\nkept key System\\CurrentControlSet\\Services\\Class\\Modem\\0001 (its "
                         "undo cannot be kept: the undo files' names are all taken"),
                std::string::npos);
      EXPECT_NE(log.find("\r\nresult 0 (done), 12 remaining\r\n"), std::string::npos);
    }
  }
}

// A disk that fills part way through the run: whatever write it fills at,
// every key that went comes back from the undo file.
TEST(RunLog, ADiskThatFillsDuringTheRunLosesNoKeyWithoutItsUndo) {
  int writes = 0;
  {
    auto machine = SampleMachine();
    test::TestPlatform counting(*machine);
    mdmclean::RunUninstall(counting);
    writes = counting.Count("WriteFile");
  }
  ASSERT_GT(writes, 20);
  for (int n = 1; n <= writes; ++n) {
    SCOPED_TRACE(n);
    auto machine = SampleMachine();
    const std::string installed = machine->ExportRegistry();
    // The disk fills just before the n-th file write.
    test::TestPlatform filling(*machine, /*recording=*/false);
    int written = 0;
    filling.before = [&](const std::string& call) {
      if (call == "WriteFile" && ++written == n) machine->SetDiskFull();
    };
    EXPECT_EQ(mdmclean::RunUninstall(filling), mdmclean::RESULT_DONE);
    machine->SetDiskFull(false);
    if (const auto undo = machine->ReadFile("C:\\WINDOWS\\MDMCLEAN.REG")) {
      machine->ImportRegistry(*undo);
    }
    EXPECT_EQ(machine->ExportRegistry(), installed);
  }
}

// A key whose subtree holds a name that REGEDIT4 text would read otherwise
// (a line break in it would start a key of the attacker's choosing) stays.
TEST(RunLog, AKeyRegeditCannotCarryStays) {
  auto machine = SampleMachine();
  const std::string key = "SOFTWARE\\QRMeridian\\Quillnet\\x\r\n"
                          "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion]\r\n"
                          "\"Version\"=\"injected\"";
  machine->AddKey(key);
  EXPECT_EQ(mdmclean::RunUninstall(*machine), mdmclean::RESULT_DONE);
  EXPECT_TRUE(machine->HasKey(key));
  EXPECT_EQ(machine->ReadFile("C:\\WINDOWS\\MDMCLEAN.REG")->find("injected"), std::string::npos);
  EXPECT_NE(machine->ReadFile("C:\\QNSETUP\\mdminfo.ini")->find("Remaining=1\r\n"),
            std::string::npos);
}

// Logs that cannot be written leave the run as it would have been: the same
// result, the same changes in the same order.
TEST(RunLog, ALogThatCannotBeWrittenChangesNothingElse) {
  auto reference = SampleMachine();
  const int expected = mdmclean::RunUninstall(*reference);
  const auto changes = [](const emu::Machine& machine) {
    std::vector<std::string> text;
    for (const auto& entry : test::WithoutRunLogs(machine.Journal()))
      text.push_back(emu::ToString(entry));
    return text;
  };
  for (int way = 0; way < 2; ++way) {
    SCOPED_TRACE(way);
    auto machine = SampleMachine();
    if (way == 0) {  // read-only files
      for (const char* file : {"C:\\WINDOWS\\MDMCLEAN.LOG", "C:\\WINDOWS\\MDMCLEAN.REG"}) {
        machine->AddFile(file, "kept\r\n");
        machine->SetReadOnly(file);
      }
    } else {  // folders where the files would go
      machine->AddDirectory("C:\\WINDOWS\\MDMCLEAN.LOG");
      machine->AddDirectory("C:\\WINDOWS\\MDMCLEAN.REG");
    }
    EXPECT_EQ(mdmclean::RunUninstall(*machine), expected);
    EXPECT_EQ(changes(*machine), changes(*reference));
    EXPECT_EQ(machine->ExportRegistry(), reference->ExportRegistry());
    EXPECT_EQ(machine->OpenFileCount(), 0u);
    if (way == 0) {
      EXPECT_EQ(*machine->ReadFile("C:\\WINDOWS\\MDMCLEAN.LOG"), "kept\r\n");
    }
  }
}

}  // namespace
}  // namespace mdm
