// The INI list stage of both deliverables on an emulated Windows 95 machine
// (Windows directory C:\WINDOWS, system directory C:\WINDOWS\SYSTEM).
#include <gtest/gtest.h>

#include <string>

#include "core/stages/ini_lists.h"
#include "emulator/machine.h"
#include "hvlib32/library_plan.h"
#include "mdmclean/program_plan.h"
#include "tests/support/test_platform.h"

namespace mdm {
namespace {

constexpr const char* WIN_INI = "C:\\WINDOWS\\WIN.INI";
constexpr const char* SYSTEM_INI = "C:\\WINDOWS\\SYSTEM.INI";

class IniListsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    config.productFiles = {"QUILLNET.EXE"};
    config.modemName = "QNMODEM";
  }

  std::string Value(const char* file, const char* section, const char* key) {
    std::string buffer(8192, '\0');
    const auto count = machine.GetPrivateProfileStringA(
        section, key, "", buffer.data(), static_cast<std::uint32_t>(buffer.size()), file);
    return buffer.substr(0, count);
  }
  std::string Load() { return Value("win.ini", "windows", "load"); }
  std::string Drivers() { return Value("system.ini", "boot", "drivers"); }

  // True when the file holds the key as a line of its own, even with an empty value.
  bool HasKeyLine(const char* file, const std::string& key) {
    const std::string content = machine.ReadFile(file).value_or("");
    return content.find("\n" + key + "=") != std::string::npos || content.rfind(key + "=", 0) == 0;
  }

  StageOutcome RunProgramStage() { return CleanIniLists(spy, mdmclean::ProgramPlan(config).lists); }
  StageOutcome RunLibraryStage() { return CleanIniLists(spy, hvlib32::LibraryPlan().lists); }

  int ProfileWrites() const {
    int writes = 0;
    for (const auto& entry : machine.Journal()) {
      writes += entry.kind == emu::JournalEntry::Kind::ProfileWritten ? 1 : 0;
    }
    return writes;
  }

  emu::Machine machine;
  test::TestPlatform spy{machine};
  mdmclean::Configuration config;
};

TEST_F(IniListsTest, ProgramCutsBothEntriesAndKeepsEverythingElseByteForByte) {
  const std::string winIni =
      "[windows]\r\n"
      "load=C:\\WINDOWS\\SYSTEM\\QUILLNET.101\\QUILLNET.EXE c:\\tools\\other.exe\r\n"
      "run=\r\n"
      "NullPort=None\r\n"
      "\r\n"
      "[Desktop]\r\n"
      "Wallpaper=(None)\r\n";
  const std::string systemIni =
      "[boot]\r\n"
      "shell=Explorer.exe\r\n"
      "drivers=mmsystem.dll quillnet.101\\qnmodem.drv power.drv\r\n"
      "[386Enh]\r\n"
      "device=*vmm\r\n";
  machine.AddFile(WIN_INI, winIni);
  machine.AddFile(SYSTEM_INI, systemIni);

  RunProgramStage();

  EXPECT_EQ(machine.ReadFile(WIN_INI).value_or(""),
            "[windows]\r\n"
            "load=c:\\tools\\other.exe\r\n"
            "run=\r\n"
            "NullPort=None\r\n"
            "\r\n"
            "[Desktop]\r\n"
            "Wallpaper=(None)\r\n");
  EXPECT_EQ(machine.ReadFile(SYSTEM_INI).value_or(""),
            "[boot]\r\n"
            "shell=Explorer.exe\r\n"
            "drivers=mmsystem.dll power.drv\r\n"
            "[386Enh]\r\n"
            "device=*vmm\r\n");
}

TEST_F(IniListsTest, AbsentKeysEndUpPresentAndEmptyWithoutTouchingTheSystemDirectory) {
  machine.AddFile(WIN_INI, "[windows]\r\nrun=\r\n");  // system.ini absent altogether

  RunProgramStage();

  EXPECT_TRUE(HasKeyLine(WIN_INI, "load"));
  // Windows 95 makes no file to hold an empty value.
  EXPECT_FALSE(machine.FileExists(SYSTEM_INI));
  EXPECT_EQ(Load(), "");
  EXPECT_EQ(Drivers(), "");
  EXPECT_EQ(Value("win.ini", "windows", "run"), "");
  EXPECT_EQ(spy.Count("GetSystemDirectoryA"), 0);
}

TEST_F(IniListsTest, LinesWithoutThePackagesEntriesAreNotRewritten) {
  const std::string winIni = "[windows]\r\nload = a.exe \"C:\\Program Files\\B\\b.exe\"\r\n";
  const std::string systemIni = "[boot]\r\ndrivers=mmsystem.dll\r\n";
  machine.AddFile(WIN_INI, winIni);
  machine.AddFile(SYSTEM_INI, systemIni);

  const StageOutcome outcome = RunProgramStage();

  EXPECT_EQ(machine.ReadFile(WIN_INI), winIni);
  EXPECT_EQ(machine.ReadFile(SYSTEM_INI), systemIni);
  EXPECT_EQ(ProfileWrites(), 0);
  EXPECT_TRUE(outcome.removed.empty());
}

// A line of quoted long names comes back from the profile read without its
// first and last quote; the entries of other programs keep their quotes and
// letter case, and every one of the package's entries goes.
TEST_F(IniListsTest, QuotedAndRepeatedEntries) {
  machine.AddFile(
      WIN_INI,
      "[windows]\r\nload=\"C:\\PROGRA~1\\ACME\\ACME.EXE\" "
      "C:\\WINDOWS\\SYSTEM\\QUILLNET.101\\QUILLNET.EXE \"C:\\Program Files\\Other\\tray.exe\" "
      "c:\\windows\\system\\quillnet.101\\quillnet.exe\r\n");
  machine.AddFile(SYSTEM_INI,
                  "[boot]\r\ndrivers=QUILLNET.101\\qnmodem.drv Sound.drv "
                  "quillnet.101\\QNMODEM.DRV\r\n");

  const StageOutcome outcome = RunProgramStage();

  EXPECT_EQ(machine.ReadFile(WIN_INI),
            "[windows]\r\nload=\"C:\\PROGRA~1\\ACME\\ACME.EXE\" "
            "\"C:\\Program Files\\Other\\tray.exe\" \r\n");
  EXPECT_EQ(Drivers(), "Sound.drv");
  EXPECT_EQ(outcome.removed.size(), 4u);
  EXPECT_TRUE(outcome.remaining.empty());
}

// A line that cannot be written keeps the entries: they stay, and say why.
TEST_F(IniListsTest, EntriesOfALineThatCannotBeWrittenStay) {
  machine.AddFile(SYSTEM_INI, "[boot]\r\ndrivers=QUILLNET.101\\QNMODEM.DRV b.drv\r\n");
  machine.SetReadOnly(SYSTEM_INI);

  const StageOutcome outcome = RunProgramStage();

  EXPECT_EQ(Drivers(), "QUILLNET.101\\QNMODEM.DRV b.drv");
  ASSERT_EQ(outcome.remaining.size(), 1u);
  EXPECT_EQ(outcome.remaining[0].path, "system.ini [boot] drivers: QUILLNET.101\\QNMODEM.drv");
  EXPECT_EQ(outcome.remaining[0].why.rfind("the line was not written, error ", 0), 0u);
}

TEST_F(IniListsTest, ALineLongerThanAPathBufferIsReadAndWrittenWhole) {
  std::string head;
  std::string tail;
  for (int i = 0; i < 40; ++i) head += "C:\\APPS\\HEAD" + std::to_string(i) + ".EXE ";
  for (int i = 0; i < 40; ++i) tail += " C:\\APPS\\TAIL" + std::to_string(i) + ".EXE";
  ASSERT_GT(head.size() + tail.size(), 1000u);
  machine.AddFile(WIN_INI, "[windows]\r\nload=" + head +
                               "C:\\WINDOWS\\SYSTEM\\QUILLNET.101\\QUILLNET.EXE" + tail + "\r\n");
  machine.AddFile(SYSTEM_INI,
                  "[boot]\r\ndrivers=" + tail.substr(1) + " QUILLNET.101\\QNMODEM.DRV\r\n");

  RunProgramStage();

  EXPECT_EQ(Load(), head + tail.substr(1));
  EXPECT_EQ(Drivers(), tail.substr(1));  // the reader trims the blank left at the end
}

TEST_F(IniListsTest, AnEntryThatDoesNotFitIsSkippedAndTheStageGoesOn) {
  config.productFiles = {std::string(240, 'L') + ".EXE"};  // with the directory: > 259
  machine.AddFile(WIN_INI, "[windows]\r\nload=c:\\windows\\system\\quillnet.101\\x.exe\r\n");
  machine.AddFile(SYSTEM_INI, "[boot]\r\ndrivers=QUILLNET.101\\QNMODEM.DRV b.drv\r\n");

  RunProgramStage();

  EXPECT_EQ(Load(), "c:\\windows\\system\\quillnet.101\\x.exe");
  EXPECT_EQ(Drivers(), "b.drv");
}

TEST_F(IniListsTest, AnEmptyLoadProgramNameCutsNoDirectoryParts) {
  config.productFiles = {""};
  machine.AddFile(WIN_INI, "[windows]\r\nload=c:\\windows\\system\\quillnet.101\\other.exe\r\n");

  RunProgramStage();

  EXPECT_EQ(Load(), "c:\\windows\\system\\quillnet.101\\other.exe");
}

TEST_F(IniListsTest, LibraryCutsItsThreeLoadEntriesInOrderReadingTheSystemDirectoryOnce) {
  // Were the relative entry tried first, it would leave "C:\WINDOWS\SYSTEM\" behind.
  machine.AddFile(WIN_INI,
                  "[windows]\r\nload=C:\\WINDOWS\\SYSTEM\\QUILLNET.101\\PRELDR.EXE "
                  "c:\\windows\\system\\quillnet.101\\quillnet.exe quillnet.101\\preldr.exe "
                  "notepad.exe\r\n");
  machine.AddFile(SYSTEM_INI, "[boot]\r\ndrivers=mmsystem.dll QUILLNET.101\\QUILLNET.DRV\r\n");

  RunLibraryStage();

  EXPECT_EQ(Load(), "notepad.exe");
  EXPECT_EQ(Drivers(), "mmsystem.dll");
  EXPECT_EQ(spy.Count("GetSystemDirectoryA"), 1);
}

TEST_F(IniListsTest, LibraryRelativeEntryTakesAWholeFullPathThatItEnds) {
  // The stub under another Windows directory goes whole; X.EXE stays itself.
  machine.AddFile(WIN_INI,
                  "[windows]\r\nload=D:\\OLDWIN\\SYSTEM\\QUILLNET.101\\PRELDR.EXE X.EXE\r\n");

  RunLibraryStage();

  EXPECT_EQ(Load(), "X.EXE");
}

TEST_F(IniListsTest, LibraryReadsNoSystemDirectoryForAnEmptyLoadLine) {
  machine.AddFile(SYSTEM_INI, "[boot]\r\ndrivers=QUILLNET.101\\QUILLNET.DRV\r\n");

  RunLibraryStage();

  EXPECT_EQ(Drivers(), "");
  EXPECT_EQ(spy.Count("GetSystemDirectoryA"), 0);
}

}  // namespace
}  // namespace mdm
