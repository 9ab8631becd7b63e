// Settings of the machine: directories, version, top-level windows and the
// journal of messages.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "emulator/machine.h"

namespace mdm {
namespace {

TEST(Machine, ABareMachineHasItsFoldersAndNothingElse) {
  emu::Machine machine;
  char buffer[MAX_PATH];
  EXPECT_EQ(machine.GetWindowsDirectoryA(buffer, MAX_PATH), 10u);
  EXPECT_STREQ(buffer, "C:\\WINDOWS");
  EXPECT_EQ(machine.GetSystemDirectoryA(buffer, MAX_PATH), 17u);
  EXPECT_STREQ(buffer, "C:\\WINDOWS\\SYSTEM");
  EXPECT_EQ(machine.GetTempPathA(MAX_PATH, buffer), 16u);
  EXPECT_STREQ(buffer, "C:\\WINDOWS\\TEMP\\");
  for (const char* folder : {"C:\\WINDOWS\\SYSTEM", "C:\\WINDOWS\\TEMP", "C:\\WORK"}) {
    EXPECT_TRUE(machine.DirectoryExists(folder)) << folder;
  }
  EXPECT_EQ(machine.ExportRegistry(), "REGEDIT4\n\n");
  EXPECT_EQ(machine.WorkingDirectory(), "C:\\WORK");
}

TEST(Machine, DirectoryQueriesReportTheSizeNeededWhenTheBufferIsShort) {
  emu::Machine machine;
  char buffer[8] = "xxxxxxx";
  EXPECT_EQ(machine.GetWindowsDirectoryA(buffer, sizeof buffer), 11u);  // terminator counted
  EXPECT_STREQ(buffer, "xxxxxxx");                                      // and nothing copied
}

TEST(Machine, VersionQueryNeedsTheRecordSize) {
  emu::Machine machine;
  VersionInfo info;
  EXPECT_EQ(machine.GetVersionExA(&info), 0);  // size 0
  info.size = VERSION_INFO_SIZE;
  ASSERT_EQ(machine.GetVersionExA(&info), 1);
  EXPECT_EQ(info.majorVersion, 4u);
  EXPECT_EQ(info.minorVersion, 0u);
  EXPECT_EQ(info.platformId, 1u);
  EXPECT_EQ(info.buildNumber, 0x040003B6u);  // Windows 95 puts the version in the high word
  machine.SetVersion(4, 10, 1998);
  info.size = 156;  // the extended record is accepted too
  ASSERT_EQ(machine.GetVersionExA(&info), 1);
  EXPECT_EQ(info.minorVersion, 10u);
}

TEST(Machine, WindowsAreFoundCaseBlindAndMessagesDeliveredSynchronously) {
  emu::Machine machine;
  machine.AddFile("C:\\WINDOWS\\SYSTEM\\QNVRAM.DAT", "nvram");
  std::vector<std::uint32_t> handled;
  machine.AddWindow("Other", "Quillnet NVRAM", nullptr);
  machine.AddWindow("QN_NVRAMCLASS", "Quillnet NVRAM",
                    [&](std::uint32_t message, std::uintptr_t, std::intptr_t) -> std::intptr_t {
                      handled.push_back(message);
                      // The owner saves its state before the sender goes on.
                      machine.WritePrivateProfileStringA("nvram", "saved", "1", "qn.ini");
                      return 7;
                    });
  EXPECT_EQ(machine.FindWindowA("qn_nvramclass", "QUILLNET NVRAM"),
            machine.FindWindowA("QN_NVRAMCLASS", nullptr));
  EXPECT_EQ(machine.FindWindowA("QN_NVRAMCLASS", "Other title"), 0u);
  const WindowHandle window = machine.FindWindowA("QN_NVRAMCLASS", "Quillnet NVRAM");
  ASSERT_NE(window, 0u);

  std::uintptr_t reply = 0;
  EXPECT_NE(machine.SendMessageTimeoutA(window, 0x0401, 0, 0, SMTO_ABORTIFHUNG, 20000, &reply), 0);
  EXPECT_EQ(reply, 7u);
  EXPECT_EQ(handled, std::vector<std::uint32_t>{0x0401});
  ASSERT_EQ(machine.Journal().size(), 2u);
  EXPECT_EQ(emu::ToString(machine.Journal()[0]),
            "MessageSent QN_NVRAMCLASS/Quillnet NVRAM msg=0x0401 wParam=0 lParam=0");
  EXPECT_EQ(machine.Journal()[1].kind, emu::JournalEntry::Kind::ProfileWritten);

  // Journaled, delivered nowhere.
  EXPECT_EQ(machine.SendMessageTimeoutA(0x999, 0x0401, 0, 0, 0, 20000, &reply), 0);
  EXPECT_EQ(machine.Journal().size(), 3u);
  machine.ClearJournal();
  EXPECT_TRUE(machine.Journal().empty());
}

// A window that takes longer than the sender waits, or one Windows knows
// for hung, handles nothing while the sender waits; the sender's clock moves
// on by what it waited.
TEST(Windows, SlowAndHungWindowsAreWaitedForAtMostTheTimeout) {
  emu::Machine machine;
  int handled = 0;
  const auto handler = [&](std::uint32_t, std::uintptr_t, std::intptr_t) -> std::intptr_t {
    return ++handled;
  };
  machine.AddWindow("Slow", "", handler, {1500, false});
  machine.AddWindow("Sleeper", "", handler, {100000, false});
  machine.AddWindow("Hung", "", handler, {0, true});
  const auto clock = [&] {
    SystemTime now;
    machine.GetLocalTime(&now);
    return ((now.hour * 60 + now.minute) * 60 + now.second) * 1000 + now.milliseconds;
  };
  struct Case {
    const char* window;
    std::uint32_t flags;
    bool answered;
    int waited;
    const char* detail;
  };
  const Case cases[] = {
      {"Slow", SMTO_ABORTIFHUNG, true, 1500, ""},
      {"Sleeper", SMTO_ABORTIFHUNG, false, 20000, " not answered in 20000 ms"},
      {"Hung", SMTO_ABORTIFHUNG, false, 0, " not answered: hung"},
      {"Hung", 0, false, 20000, " not answered in 20000 ms"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.window) + (c.flags != 0 ? " aborting if hung" : ""));
    machine.ClearJournal();
    const int before = clock();
    const std::intptr_t sent = machine.SendMessageTimeoutA(machine.FindWindowA(c.window, nullptr),
                                                           0x0401, 0, 0, c.flags, 20000, nullptr);
    EXPECT_EQ(sent != 0, c.answered);  // the last error left: the calls table's row
    EXPECT_EQ(clock() - before, c.waited);
    ASSERT_EQ(machine.Journal().size(), 1u);
    EXPECT_EQ(machine.Journal()[0].detail, std::string("msg=0x0401 wParam=0 lParam=0") + c.detail);
  }
  EXPECT_EQ(handled, 1);
}

}  // namespace
}  // namespace mdm
