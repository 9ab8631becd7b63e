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
  EXPECT_STREQ(buffer, "xxxxxxx");                                       // and nothing copied
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

  EXPECT_EQ(machine.SendMessageA(window, 0x0401, 0, 0), 7);
  EXPECT_EQ(handled, std::vector<std::uint32_t>{0x0401});
  ASSERT_EQ(machine.Journal().size(), 2u);
  EXPECT_EQ(emu::ToString(machine.Journal()[0]),
            "MessageSent QN_NVRAMCLASS/Quillnet NVRAM msg=0x0401 wParam=0 lParam=0");
  EXPECT_EQ(machine.Journal()[1].kind, emu::JournalEntry::Kind::ProfileWritten);

  EXPECT_EQ(machine.SendMessageA(0x999, 0x0401, 0, 0), 0);  // journaled, delivered nowhere
  EXPECT_EQ(machine.Journal().size(), 3u);
  machine.ClearJournal();
  EXPECT_TRUE(machine.Journal().empty());
}

}  // namespace
}  // namespace mdm
