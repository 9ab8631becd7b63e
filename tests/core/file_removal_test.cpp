#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/stages/file_removal.h"
#include "emulator/machine.h"
#include "tests/support/run_logs.h"

namespace mdm {
namespace {

using emu::JournalEntry;
using emu::Machine;

FileEntry File(std::int32_t kind, const char* subdirectory, const char* name) {
  return {static_cast<DirKind>(kind), subdirectory, name};
}

const FileEntry kEnd{};

std::vector<std::string> Deleted(const Machine& machine) {
  std::vector<std::string> paths;
  for (const JournalEntry& entry : machine.Journal()) {
    if (entry.kind == JournalEntry::Kind::FileDeleted ||
        entry.kind == JournalEntry::Kind::DirectoryRemoved) {
      paths.push_back(entry.subject);
    }
  }
  return paths;
}

TEST(ComposeEntryPath, BuildsEachKindAndRefusesWhatDoesNotFit) {
  Machine machine;
  std::string path;
  ASSERT_TRUE(
      ComposeEntryPath(machine, PROGRAM_FILE_REMOVAL, File(DIR_INF, "", "QNMODEM.INF"), path));
  EXPECT_EQ(path, "C:\\WINDOWS\\INF\\QNMODEM.INF");
  ASSERT_TRUE(
      ComposeEntryPath(machine, PROGRAM_FILE_REMOVAL, File(DIR_SYSTEM, "QUILLNET.101", ""), path));
  EXPECT_EQ(path, "C:\\WINDOWS\\SYSTEM\\QUILLNET.101");
  // The separator goes in blindly after the temporary path's own backslash.
  ASSERT_TRUE(ComposeEntryPath(machine, PROGRAM_FILE_REMOVAL, File(DIR_TEMP, "", "A.TMP"), path));
  EXPECT_EQ(path, "C:\\WINDOWS\\TEMP\\\\A.TMP");
  // The library does not compose the temporary directory; nobody composes past it.
  EXPECT_FALSE(ComposeEntryPath(machine, LIBRARY_FILE_REMOVAL, File(DIR_TEMP, "", "A.TMP"), path));
  EXPECT_FALSE(ComposeEntryPath(machine, PROGRAM_FILE_REMOVAL, File(5, "", "A.TMP"), path));
  // "C:\WINDOWS\SYSTEM" + "\" + 242 = 260 characters do not fit 260 bytes:
  // refused, not cut.
  const std::string longName(242, 'N');
  EXPECT_FALSE(ComposeEntryPath(machine, PROGRAM_FILE_REMOVAL,
                                File(DIR_SYSTEM, "", longName.c_str()), path));
  EXPECT_TRUE(path.empty());
  const std::string fitting(241, 'N');
  EXPECT_TRUE(
      ComposeEntryPath(machine, PROGRAM_FILE_REMOVAL, File(DIR_SYSTEM, "", fitting.c_str()), path));
}

TEST(PurgeDirectory, DeletesFilesButNeverDescendsOrTouchesDotEntries) {
  Machine machine;
  machine.AddFile("C:\\WINDOWS\\SYSTEM\\QUILLNET.101\\A.DAT", "a");
  machine.AddFile("C:\\WINDOWS\\SYSTEM\\QUILLNET.101\\NODOT", "b");
  machine.AddFile("C:\\WINDOWS\\SYSTEM\\QUILLNET.101\\LOGS\\X.LOG", "c");
  StageOutcome outcome;
  EXPECT_EQ(PurgeDirectory(machine, "C:\\WINDOWS\\SYSTEM\\QUILLNET.101", NoChangeLog(), outcome),
            0);
  EXPECT_FALSE(machine.FileExists("C:\\WINDOWS\\SYSTEM\\QUILLNET.101\\A.DAT"));
  EXPECT_FALSE(machine.FileExists("C:\\WINDOWS\\SYSTEM\\QUILLNET.101\\NODOT"));
  EXPECT_TRUE(machine.FileExists("C:\\WINDOWS\\SYSTEM\\QUILLNET.101\\LOGS\\X.LOG"));
  EXPECT_TRUE(machine.DirectoryExists("C:\\WINDOWS\\SYSTEM\\QUILLNET.101"));
  for (const std::string& path : Deleted(machine)) {
    EXPECT_EQ(path.find("\\."), std::string::npos) << path;
  }
  EXPECT_EQ(machine.OpenSearchCount(), 0u);

  machine.AddFile("C:\\EMPTY\\ONLY.TXT");
  EXPECT_EQ(PurgeDirectory(machine, "C:\\EMPTY", NoChangeLog(), outcome), 1);
  EXPECT_FALSE(machine.DirectoryExists("C:\\EMPTY"));
  EXPECT_EQ(PurgeDirectory(machine, "C:\\NOWHERE", NoChangeLog(), outcome), 0);
}

TEST(RemoveAllEntries, WalksInTableOrderAndStopsAtTheFirstEnd) {
  Machine machine;
  machine.AddFile("C:\\WINDOWS\\SYSTEM\\QUILLNET.CPL");
  machine.AddFile("C:\\WINDOWS\\SYSTEM\\QUILLNET.101\\QUILLNET.EXE");
  machine.AddFile("C:\\WINDOWS\\SYSTEM\\QUILLNET.101\\EXTRA.DAT");
  machine.AddFile("C:\\WINDOWS\\SYSTEM\\AFTER.DLL");
  const std::vector<FileEntry> table = {
      File(DIR_SYSTEM, "", "QUILLNET.CPL"), File(DIR_SYSTEM, "QUILLNET.101", "QUILLNET.EXE"),
      File(DIR_SYSTEM, "QUILLNET.101", ""), kEnd, File(DIR_SYSTEM, "", "AFTER.DLL")};
  RemoveAllEntries(machine, PROGRAM_FILE_REMOVAL, table);
  const std::vector<std::string> expected = {
      "C:\\WINDOWS\\SYSTEM\\QUILLNET.CPL", "C:\\WINDOWS\\SYSTEM\\QUILLNET.101\\QUILLNET.EXE",
      "C:\\WINDOWS\\SYSTEM\\QUILLNET.101\\EXTRA.DAT", "C:\\WINDOWS\\SYSTEM\\QUILLNET.101"};
  EXPECT_EQ(Deleted(machine), expected);
  EXPECT_TRUE(machine.FileExists("C:\\WINDOWS\\SYSTEM\\AFTER.DLL"));
}

// Run both ways: Windows 95 deletes a file in use; a machine set to refuse
// keeps it, and with it the folder that holds it.
TEST(RemoveAllEntries, WhatWindowsRefusesStaysAndTheWalkGoesOn) {
  for (const bool deletesInUse : {false, true}) {
    SCOPED_TRACE(deletesInUse ? "files in use deleted" : "files in use refused");
    Machine machine;
    machine.SetDeletesOpenFiles(deletesInUse);
    machine.AddFile("C:\\WINDOWS\\SYSTEM\\RO.DLL");
    machine.AddFile("C:\\WINDOWS\\SYSTEM\\BUSY.DLL");
    machine.AddFile("C:\\WINDOWS\\SYSTEM\\QUILLNET.101\\BUSY.EXE");
    machine.AddFile("C:\\WINDOWS\\SYSTEM\\LAST.DLL");
    machine.SetReadOnly("C:\\WINDOWS\\SYSTEM\\RO.DLL");
    machine.SetInUse("C:\\WINDOWS\\SYSTEM\\BUSY.DLL");
    machine.SetInUse("C:\\WINDOWS\\SYSTEM\\QUILLNET.101\\BUSY.EXE");
    const std::vector<FileEntry> table = {
        File(DIR_SYSTEM, "", "RO.DLL"), File(DIR_SYSTEM, "", "BUSY.DLL"),
        File(DIR_SYSTEM, "QUILLNET.101", ""), File(DIR_SYSTEM, "", "LAST.DLL"), kEnd};
    const StageOutcome outcome = RemoveAllEntries(machine, PROGRAM_FILE_REMOVAL, table);
    EXPECT_TRUE(machine.FileExists("C:\\WINDOWS\\SYSTEM\\RO.DLL"));
    EXPECT_EQ(machine.FileExists("C:\\WINDOWS\\SYSTEM\\BUSY.DLL"), !deletesInUse);
    EXPECT_EQ(machine.FileExists("C:\\WINDOWS\\SYSTEM\\QUILLNET.101\\BUSY.EXE"), !deletesInUse);
    EXPECT_FALSE(machine.FileExists("C:\\WINDOWS\\SYSTEM\\LAST.DLL"));
    // What stayed is told with its error, the folder holding a file in use
    // among it; what went is told; a missing file is neither.
    std::vector<std::string> stayed;
    for (const OutcomeItem& item : outcome.remaining) stayed.push_back(item.path + " " + item.why);
    std::vector<std::string> removed;
    for (const OutcomeItem& item : outcome.removed) removed.push_back(item.path);
    if (deletesInUse) {
      EXPECT_EQ(stayed, std::vector<std::string>{"C:\\WINDOWS\\SYSTEM\\RO.DLL error 5"});
      EXPECT_EQ(removed,
                (std::vector<std::string>{
                    "C:\\WINDOWS\\SYSTEM\\BUSY.DLL", "C:\\WINDOWS\\SYSTEM\\QUILLNET.101\\BUSY.EXE",
                    "C:\\WINDOWS\\SYSTEM\\QUILLNET.101", "C:\\WINDOWS\\SYSTEM\\LAST.DLL"}));
    } else {
      EXPECT_EQ(stayed,
                (std::vector<std::string>{"C:\\WINDOWS\\SYSTEM\\RO.DLL error 5",
                                          "C:\\WINDOWS\\SYSTEM\\BUSY.DLL error 32",
                                          "C:\\WINDOWS\\SYSTEM\\QUILLNET.101\\BUSY.EXE error 32",
                                          "C:\\WINDOWS\\SYSTEM\\QUILLNET.101 error 145"}));
      EXPECT_EQ(removed, std::vector<std::string>{"C:\\WINDOWS\\SYSTEM\\LAST.DLL"});
    }
    const std::vector<FileEntry> missing = {File(DIR_SYSTEM, "", "GONE.DLL"),
                                            File(DIR_SYSTEM, "NOWHERE", ""), kEnd};
    const StageOutcome none = RemoveAllEntries(machine, PROGRAM_FILE_REMOVAL, missing);
    EXPECT_TRUE(none.removed.empty() && none.remaining.empty());
  }
}

TEST(RemoveAllEntries, TellsTheNvramWindowOnceBeforeAnythingGoes) {
  Machine machine;
  machine.AddFile("C:\\WINDOWS\\SYSTEM\\QUILLNET.CPL");
  int messages = 0;
  bool fileStillThere = false;
  machine.AddWindow("QN_NVRAMCLASS", "Quillnet NVRAM",
                    [&](std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
                      ++messages;
                      EXPECT_EQ(message, 0x0401u);
                      EXPECT_EQ(wParam, 0u);
                      EXPECT_EQ(lParam, 0);
                      fileStillThere = machine.FileExists("C:\\WINDOWS\\SYSTEM\\QUILLNET.CPL");
                      return std::intptr_t{0};
                    });
  // A window of the same class with another title is not the product's.
  int strangers = 0;
  machine.AddWindow("QN_NVRAMCLASS", "Other", [&](std::uint32_t, std::uintptr_t, std::intptr_t) {
    ++strangers;
    return std::intptr_t{0};
  });
  const std::vector<FileEntry> table = {File(DIR_SYSTEM, "", "QUILLNET.CPL"), kEnd};
  RemoveAllEntries(machine, LIBRARY_FILE_REMOVAL, table);
  EXPECT_EQ(messages, 1);
  EXPECT_TRUE(fileStillThere);
  EXPECT_EQ(strangers, 0);

  const std::vector<FileEntry> empty = {kEnd};
  RemoveAllEntries(machine, LIBRARY_FILE_REMOVAL, empty);
  EXPECT_EQ(messages, 2);
}

// A window that does not answer (busy past the wait, or hung: the reason
// people run an uninstaller) holds the stage at most 20 seconds, and a hung
// one not at all; the files go all the same, and the log says so.
TEST(RemoveAllEntries, AWindowThatDoesNotAnswerIsWaitedForAtMostTwentySeconds) {
  struct Case {
    emu::WindowTiming timing;
    int waitedMs;
    const char* logLine;
  };
  const Case cases[] = {
      {{19000, false}, 19000, "notified the NVRAM window"},
      {{100000, false}, 20000, "the NVRAM window did not answer within 20 s (error 0); going on"},
      {{0, true}, 0, "the NVRAM window is hung, Windows says (error 0); going on without waiting"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.waitedMs);
    Machine machine;
    machine.AddFile("C:\\WINDOWS\\SYSTEM\\QUILLNET.CPL");
    bool handled = false;
    machine.AddWindow(
        "QN_NVRAMCLASS", "Quillnet NVRAM",
        [&](std::uint32_t, std::uintptr_t, std::intptr_t) {
          handled = true;
          return std::intptr_t{0};
        },
        c.timing);
    SystemTime before;
    machine.GetLocalTime(&before);
    test::LogLines log;
    RemoveAllEntries(machine, LIBRARY_FILE_REMOVAL, {File(DIR_SYSTEM, "", "QUILLNET.CPL"), kEnd},
                     log);
    SystemTime after;
    machine.GetLocalTime(&after);
    const auto ms = [](const SystemTime& t) {
      return (t.minute * 60 + t.second) * 1000 + t.milliseconds;
    };
    EXPECT_EQ(ms(after) - ms(before), c.waitedMs);
    EXPECT_EQ(handled, c.waitedMs == 19000);
    EXPECT_EQ(log.lines.front(), c.logLine);
    EXPECT_FALSE(machine.FileExists("C:\\WINDOWS\\SYSTEM\\QUILLNET.CPL"));
  }
}

}  // namespace
}  // namespace mdm
