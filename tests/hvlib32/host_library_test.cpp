// The host build of the library, HVLIB32.so, loaded with dlopen as hvcall
// loads it: its three C exports work on the machine image that MDM_MACHINE
// names and write their changes back into it, and nothing else is exported.

#include <dlfcn.h>
#include <stdlib.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "emulator/machine.h"

namespace {

using GetBaseAddr95Fn = std::int32_t (*)(char*);
using ChangeW95SerialNumberFn = std::int32_t (*)(const char*, const char*);

const std::string ISAPNP = "Enum\\ISAPNP\\QRM1001\\";

class HostLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/hvlib32-image-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    image = pattern;
    mdm::emu::Machine machine;
    machine.SetString("SOFTWARE\\QRMeridian\\Quillnet\\1.0\\Base", "", "0x3E8");
    machine.SetString("Enum\\Root\\Quillnet\\0000", "ConnectedToPort", ISAPNP + "1234ABCD");
    machine.SetString(ISAPNP + "1234ABCD", "DeviceDesc", "Quillnet serial port");
    machine.SaveImage(image);
    setenv("MDM_MACHINE", image.c_str(), 1);
    library = dlopen(HVLIB32_SO, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
  }
  void TearDown() override {
    if (library != nullptr) dlclose(library);
    unsetenv("MDM_MACHINE");
    std::filesystem::remove_all(image);
  }

  std::string image;
  void* library = nullptr;
};

TEST_F(HostLibraryTest, ExportsWorkOnTheImageAndSaveItBack) {
  auto getBase = reinterpret_cast<GetBaseAddr95Fn>(dlsym(library, "GetBaseAddr95"));
  auto change = reinterpret_cast<ChangeW95SerialNumberFn>(dlsym(library, "ChangeW95SerialNumber"));
  ASSERT_NE(getBase, nullptr);
  ASSERT_NE(change, nullptr);
  ASSERT_NE(dlsym(library, "Uninstall"), nullptr);

  char address[40];
  EXPECT_EQ(getBase(address), 0);
  EXPECT_STREQ(address, "0x3E8");
  EXPECT_EQ(change("1234ABCD", "5678EF01"), 0);
  EXPECT_EQ(change("1234ABCD", nullptr), 87);

  std::unique_ptr<mdm::emu::Machine> after = mdm::emu::Machine::LoadImage(image);
  EXPECT_EQ(after->GetString("Enum\\Root\\Quillnet\\0000", "ConnectedToPort"), ISAPNP + "5678EF01");
  EXPECT_EQ(after->GetString(ISAPNP + "5678EF01", "DeviceDesc"), "Quillnet serial port");
  EXPECT_FALSE(after->HasKey(ISAPNP + "1234ABCD"));
}

TEST_F(HostLibraryTest, WithoutAMachineTheServicesReportItAndTouchNothing) {
  auto getBase = reinterpret_cast<GetBaseAddr95Fn>(dlsym(library, "GetBaseAddr95"));
  auto uninstall = reinterpret_cast<void (*)()>(dlsym(library, "Uninstall"));
  ASSERT_NE(getBase, nullptr);
  ASSERT_NE(uninstall, nullptr);
  setenv("MDM_MACHINE", (image + "/absent").c_str(), 1);
  char address[40] = "stale";
  EXPECT_EQ(getBase(address), 2);
  EXPECT_STREQ(address, "");
  uninstall();  // returns quietly
  EXPECT_FALSE(std::filesystem::exists(image + "/absent"));
}

TEST_F(HostLibraryTest, OnlyTheThreeExportsAreVisible) {
  // The embedded core and emulator stay inside the shared object.
  EXPECT_EQ(dlsym(library, "_ZN3mdm5hvlib13GetBaseAddr95ERNS_8PlatformEPc"), nullptr);
}

TEST_F(HostLibraryTest, HvcallCallsAnExportAndPrintsItsResult) {
  const std::string command =
      "MDM_MACHINE='" + image + "' '" + HVCALL + "' '" + HVLIB32_SO + "' GetBaseAddr95 2>&1";
  std::string output;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char chunk[512];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) output.append(chunk, n);
    EXPECT_EQ(pclose(pipe), 0) << output;
  }
  EXPECT_EQ(output, "GetBaseAddr95: result 0, base address \"0x3E8\"\n");
}

}  // namespace
