// A setup program's use of the kit under Wine: kit_client, compiled from the
// kit's header and linked with the win64 import library, loads HVLIB32.dll
// through its import table and calls GetBaseAddr95, and reads the version
// resources of both images of both builds with GetFileVersionInfoA, the
// call installers use before they replace a file. (wine64 cannot start the
// win32 images, but it reads their resources; the win32 build's own run
// under 32-bit Wine costs a minute a process.)
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "core/package/product_names.h"
#include "core/package/version.h"
#include "tests/kit/kit_commands.h"
#include "tests/wine/wine_prefix.h"
#include "tests/wine_mdmclean/wine_machine.h"

namespace mdm::kit {
namespace {

using wine::WinePrefix;

// What every image's resource must say, apart from its type and file name.
std::vector<std::string> VersionFields(const std::string& originalName) {
  const std::string version = MDM_VERSION_TEXT;
  const std::string fixed = std::to_string(MDM_VERSION_MAJOR) + "." +
                            std::to_string(MDM_VERSION_MINOR) + "." +
                            std::to_string(MDM_VERSION_PATCH) + ".0";
  return {"file=" + fixed,
          "product=" + fixed,
          " CompanyName=\"" MDM_COMPANY_NAME "\"",
          " FileVersion=\"" + version + "\"",
          " OriginalFilename=\"" + originalName + "\"",
          " ProductName=\"" MDM_PRODUCT_NAME "\"",
          " ProductVersion=\"" + version + "\""};
}

// What QNSETUP.EXE tells of its run on the sample machine.
std::string ExpectedSetupReport() {
  return "GetBaseAddr95 0 0x2F8\r\n"
         "ChangeW95SerialNumber 0\r\n"
         "MDMCLEAN exit code 0 Result 0 Remaining 0\r\n"
         "Uninstall done\r\n";
}

// kit_client's line for `file`, without the line end.
std::string LineFor(const std::string& output, const std::string& head) {
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind(head, 0) == 0) return line;
  }
  return "";
}

TEST(KitUnderWine, SetupProgramCallsGetBaseAddr95ByImportAndReadsEveryVersion) {
  MDM_REQUIRE_WINE();
  MDM_REQUIRE_WIN64_EXE(dll64, "HVLIB32.dll");
  MDM_REQUIRE_WIN64_EXE(exe64, "mdmclean.exe");
  MDM_REQUIRE_WIN32_EXE(dll32, "HVLIB32.dll");
  MDM_REQUIRE_WIN32_EXE(exe32, "mdmclean.exe");

  TempDir scratch("kit-wine");
  const fs::path client = scratch.Path() / "kit_client.exe";
  const Command build =
      BuildClient(MDM_X86_64_GCC, "-x c -std=c89", MDM_HVLIB32_HEADER_DIR,
                  fs::path(dll64).parent_path() / "libhvlib32.a", client, scratch.Path());
  ASSERT_EQ(build.status, 0) << build.output;

  WinePrefix prefix;
  prefix.ImportRegistry(
      "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\QRMeridian\\Quillnet\\1.0\\Base]\r\n"
      "@=\"0x2F8\"\r\n");
  // The client finds the DLL beside itself, as a setup program would.
  prefix.WriteFile("C:\\kit\\kit_client.exe", Slurp(client));
  prefix.WriteFile("C:\\kit\\HVLIB32.dll", Slurp(dll64));
  prefix.WriteFile("C:\\kit\\mdmclean.exe", Slurp(exe64));
  prefix.WriteFile("C:\\kit\\win32\\HVLIB32.dll", Slurp(dll32));
  prefix.WriteFile("C:\\kit\\win32\\mdmclean.exe", Slurp(exe32));

  const wine::RunResult run = prefix.Run(prefix.HostPath("C:\\kit\\kit_client.exe"),
                                         {"base", "version", "win32\\mdmclean.exe",
                                          "win32\\HVLIB32.dll", "mdmclean.exe", "HVLIB32.dll"},
                                         "C:\\kit");
  ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
  EXPECT_EQ(LineFor(run.out, "GetBaseAddr95 "), "GetBaseAddr95 0 \"0x2F8\"") << run.out;

  struct Image {
    const char* path;
    const char* name;
    const char* type;  // VFT_APP or VFT_DLL
  };
  for (const Image& image : {Image{"win32\\mdmclean.exe", "mdmclean.exe", "type=1"},
                             Image{"win32\\HVLIB32.dll", "HVLIB32.dll", "type=2"},
                             Image{"mdmclean.exe", "mdmclean.exe", "type=1"},
                             Image{"HVLIB32.dll", "HVLIB32.dll", "type=2"}}) {
    const std::string line = LineFor(run.out, std::string("version ") + image.path + " ");
    ASSERT_FALSE(line.empty()) << image.path << " missing in\n" << run.out << run.err;
    std::vector<std::string> fields = VersionFields(image.name);
    fields.push_back(image.type);
    for (const std::string& field : fields) {
      EXPECT_NE(line.find(field), std::string::npos) << field << " not in " << line;
    }
    // Worded per image; present is what counts here.
    EXPECT_EQ(line.find("FileDescription=\"<none>\""), std::string::npos) << line;
    EXPECT_EQ(line.find("FileDescription=\"\""), std::string::npos) << line;
  }
}

// The kit's NSIS example, built for amd64-unicode with the win64 images, run
// silently as a setup program runs it on the sample machine: it reads the
// base address, moves the serial number, removes the package with
// MDMCLEAN.EXE and reads Result=0 and Remaining=0, and calls Uninstall.
TEST(KitUnderWine, TheNsisExampleRemovesThePackage) {
  MDM_REQUIRE_WINE();
  MDM_REQUIRE_WIN64_EXE(setup, "QNSETUP.EXE");
  WinePrefix prefix;
  wine::LayDownSampleMachine(prefix, "", /*withMdminfo=*/false);
  prefix.WriteFile("C:\\QNSETUP\\QNSETUP.EXE", Slurp(setup));
  const auto before = wine::Snapshot(prefix);

  const wine::RunResult run =
      prefix.Run(prefix.HostPath("C:\\QNSETUP\\QNSETUP.EXE"), {"/S"}, "C:\\QNSETUP");
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(prefix.ReadFile("C:\\QNSETUP\\QNSETUP.TXT"), ExpectedSetupReport());
  wine::ExpectRemoved(wine::SampleRemoval(/*program=*/true), before, wine::Snapshot(prefix));
}

}  // namespace
}  // namespace mdm::kit
