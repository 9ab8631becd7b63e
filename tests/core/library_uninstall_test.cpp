// The library's Uninstall run over the sample machine and its variations.
#include <gtest/gtest.h>

#include <string>

#include "emulator/machine.h"
#include "hvlib32/exports.h"
#include "hvlib32/library_plan.h"
#include "tests/support/run_logs.h"
#include "tests/support/sample_outcome.h"

namespace mdm::hvlib32 {
namespace {

using Kind = emu::JournalEntry::Kind;
const std::string kSystem = "C:\\WINDOWS\\SYSTEM\\";
const std::string kProduct = kSystem + "QUILLNET.101\\";

std::unique_ptr<emu::Machine> SampleMachine() {
  return emu::Machine::LoadImage(MDM_SAMPLE_MACHINE);
}

std::string Profile(emu::Machine& machine, const char* file, const char* section, const char* key) {
  char buffer[1024] = {};
  const std::uint32_t count =
      machine.GetPrivateProfileStringA(section, key, "\x01", buffer, sizeof buffer, file);
  return std::string(buffer, count);
}

TEST(LibraryPlan, HoldsTheProductFilesInTheirOrderAndCase) {
  const char* expected[][2] = {{"", "QUILLNET.CPL"},
                               {"", "quillnet.vxd"},
                               {"QUILLNET.101", "QUILLNET.EXE"},
                               {"QUILLNET.101", "QUILLNET.DRV"},
                               {"QUILLNET.101", ""}};
  const RemovalPlan plan = LibraryPlan();
  ASSERT_EQ(plan.files.size(), 5u);
  for (int row = 0; row < 5; ++row) {
    EXPECT_EQ(plan.files[row].kind, DIR_SYSTEM) << row;
    EXPECT_EQ(plan.files[row].subdirectory, expected[row][0]) << row;
    EXPECT_EQ(plan.files[row].fileName, expected[row][1]) << row;
  }
}

TEST(Uninstall, RemovesThePackageOfTheSampleMachine) {
  auto machine = SampleMachine();
  Uninstall(*machine);
  test::ExpectSampleOutcome(MDM_SAMPLE_MACHINE, *machine, test::Deliverable::Library);
  EXPECT_EQ(machine->OpenKeyCount(), 0u);
  EXPECT_EQ(machine->OpenSearchCount(), 0u);
}

// Run both ways: Windows 95 deletes the file in use; a machine that refuses
// keeps it. The read-only file stays either way.
TEST(Uninstall, ALockedFileStaysAndEveryLaterRowAndStageStillRuns) {
  for (const bool deletesInUse : {false, true}) {
    SCOPED_TRACE(deletesInUse ? "files in use deleted" : "files in use refused");
    auto machine = SampleMachine();
    machine->SetDeletesOpenFiles(deletesInUse);
    machine->SetInUse(kSystem + "QUILLNET.CPL");
    machine->SetReadOnly(kProduct + "QUILLNET.EXE");
    Uninstall(*machine);
    EXPECT_EQ(machine->FileExists(kSystem + "QUILLNET.CPL"), !deletesInUse);
    EXPECT_FALSE(machine->FileExists(kSystem + "QUILLNET.VXD"));
    EXPECT_FALSE(machine->FileExists(kProduct + "QUILLNET.DRV"));
    EXPECT_FALSE(machine->FileExists(kProduct + "QNVRAM.DAT"));
    EXPECT_TRUE(machine->FileExists(kProduct + "QUILLNET.EXE"));
    EXPECT_TRUE(machine->DirectoryExists(kSystem + "QUILLNET.101"));
    EXPECT_FALSE(machine->HasKey("Enum\\Root\\Quillnet"));
    EXPECT_FALSE(machine->FileExists("C:\\WINDOWS\\INF\\QNMODEM.INF"));
  }
}

TEST(Uninstall, ASubdirectoryKeepsTheProductFolder) {
  auto machine = SampleMachine();
  machine->AddFile(kProduct + "LOGS\\CALLS.LOG");
  Uninstall(*machine);
  EXPECT_FALSE(machine->FileExists(kProduct + "QNVRAM.DAT"));
  EXPECT_TRUE(machine->FileExists(kProduct + "LOGS\\CALLS.LOG"));
}

TEST(Uninstall, ASecondCallStartsEmptyAndFindsOnlyWhatTheFirstLeft) {
  auto machine = SampleMachine();
  Uninstall(*machine);
  const std::string registry = machine->ExportRegistry();
  const auto files = machine->ListTree();
  machine->ClearJournal();
  Uninstall(*machine);
  EXPECT_EQ(machine->ExportRegistry(), registry);
  EXPECT_EQ(machine->ListTree(), files);
  for (const auto& entry : test::WithoutRunLogs(machine->Journal())) {
    EXPECT_TRUE(entry.kind == Kind::MessageSent || entry.kind == Kind::ProfileWritten)
        << emu::ToString(entry);
  }
}

TEST(Uninstall, OnAMachineWithoutThePackageOnlyTheIniLinesAreWritten) {
  emu::Machine machine;
  machine.AddFile("C:\\WINDOWS\\WIN.INI", "[windows]\r\n");
  machine.AddFile("C:\\WINDOWS\\SYSTEM.INI", "[boot]\r\n");
  machine.AddFile("C:\\WINDOWS\\INF\\OEM1.INF", "[Version]\r\nClass=Net\r\n");
  machine.AddKey("Enum\\Root\\MDMGEN\\0000");
  Uninstall(machine);
  EXPECT_TRUE(machine.FileExists("C:\\WINDOWS\\INF\\OEM1.INF"));
  EXPECT_TRUE(machine.HasKey("Enum\\Root\\MDMGEN\\0000"));
  EXPECT_EQ(Profile(machine, "win.ini", "windows", "load"), "");
  EXPECT_EQ(Profile(machine, "system.ini", "boot", "drivers"), "");
  int profileWrites = 0;
  for (const auto& entry : test::WithoutRunLogs(machine.Journal())) {
    ASSERT_EQ(entry.kind, Kind::ProfileWritten) << emu::ToString(entry);
    ++profileWrites;
  }
  EXPECT_EQ(profileWrites, 2);
}

}  // namespace
}  // namespace mdm::hvlib32
