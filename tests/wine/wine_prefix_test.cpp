// The test bed itself: prefixes are private, paths resolve as Wine resolves
// them, and what goes in through one door comes back through the other.
#include "tests/wine/wine_prefix.h"

#include <gtest/gtest.h>

namespace mdm::wine {
namespace {

TEST(WinePrefix, RegistryImportComesBackFromExport) {
  MDM_REQUIRE_WINE();
  WinePrefix prefix;
  prefix.ImportRegistry(
      "REGEDIT4\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\Software\\MdmTest\\Child]\r\n"
      "\"Name\"=\"Value\"\r\n"
      "@=\"default\"\r\n"
      "\"Count\"=dword:0000002a\r\n");
  std::string text = prefix.ExportRegistry("HKEY_LOCAL_MACHINE\\Software\\MdmTest");
  EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\Software\\MdmTest\\Child]\n"), std::string::npos)
      << text;
  EXPECT_NE(text.find("\"Name\"=\"Value\"\n"), std::string::npos) << text;
  EXPECT_NE(text.find("@=\"default\"\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\"Count\"=dword:0000002a\n"), std::string::npos) << text;
  EXPECT_EQ(prefix.ExportRegistry("HKEY_LOCAL_MACHINE\\Software\\MdmAbsent"), "");
}

TEST(WinePrefix, WindowsPathsResolveCaseBlindInsideDriveC) {
  MDM_REQUIRE_WINE();
  WinePrefix prefix;
  EXPECT_EQ(prefix.HostPath("C:\\WINDOWS\\WIN.INI"), prefix.Path() + "/drive_c/windows/win.ini");
  EXPECT_TRUE(prefix.Exists("c:\\Windows\\System32"));
  prefix.WriteFile("C:\\Windows\\INF\\Other\\Oem1.inf", "x");
  prefix.WriteFile("C:\\WINDOWS\\inf\\other\\OEM2.INF", "y");
  EXPECT_EQ(prefix.ListDir("C:\\windows\\inf\\other"),
            (std::vector<std::string>{"OEM2.INF", "Oem1.inf"}));
  EXPECT_EQ(prefix.ReadFile("C:\\windows\\inf\\other\\oem1.INF"), "x");
  EXPECT_EQ(prefix.ReadFile("C:\\windows\\inf\\other\\absent.inf"), std::nullopt);
}

TEST(WinePrefix, RunReportsExitCodeOutputAndWorkingDirectory) {
  MDM_REQUIRE_WINE();
  WinePrefix prefix;
  RunResult result = prefix.Run("cmd", {"/c", "cd & exit 3"}, "C:\\Work Dir");
  EXPECT_EQ(result.exitCode, 3) << result.err;
  EXPECT_NE(result.out.find("C:\\Work Dir"), std::string::npos) << result.out;
}

TEST(WinePrefix, ProgramsAreToldTheWindowsVersionOfThePrefix) {
  MDM_REQUIRE_WINE();
  WinePrefix prefix;
  EXPECT_NE(prefix.Run("cmd", {"/c", "ver"}).out.find("Windows 4.0."), std::string::npos);
  prefix.SetWindowsVersion("win98");
  EXPECT_NE(prefix.Run("cmd", {"/c", "ver"}).out.find("Windows 4.10."), std::string::npos);
}

TEST(WinePrefix, ReadOnlyFileIsRefusedByDeleteUntilCleared) {
  MDM_REQUIRE_WINE();
  WinePrefix prefix;
  prefix.WriteFile("C:\\keep.txt", "k");
  prefix.SetReadOnly("C:\\keep.txt");
  prefix.Run("cmd", {"/c", "del C:\\keep.txt"});
  EXPECT_TRUE(prefix.Exists("C:\\keep.txt"));
  prefix.SetReadOnly("C:\\keep.txt", false);
  prefix.Run("cmd", {"/c", "del C:\\keep.txt"});
  EXPECT_FALSE(prefix.Exists("C:\\keep.txt"));
}

// Prefixes share the template's files through hard links; a program that
// rewrites a file in place must not reach the template or another prefix.
TEST(WinePrefix, RewritingWindowsFilesStaysInsideOnePrefix) {
  MDM_REQUIRE_WINE();
  WinePrefix first;
  std::string original = first.ReadFile("C:\\windows\\win.ini").value_or("");
  first.Run("cmd", {"/c", "echo changed>C:\\windows\\win.ini"});
  ASSERT_NE(first.ReadFile("C:\\windows\\win.ini"), original);
  WinePrefix second;
  EXPECT_EQ(second.ReadFile("C:\\windows\\win.ini"), original);
}

}  // namespace
}  // namespace mdm::wine
