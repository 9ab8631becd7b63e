// mdmclean's device registry cleanup on small machines built for each case.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/registry_keys.h"
#include "emulator/machine.h"
#include "mdmclean/device_registry_config.h"
#include "mdmclean/stages.h"
#include "tests/support/package_registry.h"

namespace mdm::cleaner {
namespace {

using Kind = emu::JournalEntry::Kind;

const std::string& kClass = test::kClassRoot;
const std::string& kInstance = test::kRootInstance;

// The package as the configured run sees it, with one bystander beside each
// thing the stage deletes.
struct Case : ::testing::Test {
  emu::Machine machine;
  UninstallContext context;
  ProgramTables tables;

  void SetUp() override {
    context.modemName = "Quillnet";
    context.voiceName = "QuillnetVoice";
    std::snprintf(tables.PnpKeyList[0], 32, "Enum\\ISAPNP\\QRM1001");
    std::snprintf(tables.VendorKeyPath, 256, "SOFTWARE\\QRMeridian\\Quillnet");
  }

  void InstallPackage() {
    test::InstallPackageRegistry(machine);
    AddBystanders();
  }

  void AddBystanders() {
    machine.SetString("Enum\\Root\\MDMGEN\\0000", "Driver", "Modem\\0000");
    machine.SetString(kClass + "Modem\\0000", "InfSection", "Gen28800");
    machine.SetString(kClass + "MEDIA\\0000", "InfSection", "SB16");
    machine.SetString(kClass + "Ports\\0000", "InfSection", "ComPort");
    machine.AddKey("System\\CurrentControlSet\\control\\MediaResources\\wave\\sb16.drv<0000>");
    machine.AddKey("Enum\\ISAPNP\\CTL0031\\1A2B3C4D");
    machine.AddKey("SOFTWARE\\QRMeridian\\QuillnetFax");
    machine.AddKey("System\\CurrentControlSet\\Services\\VxD\\VCOMM");
  }

  int RunStage() { return CleanDeviceRegistry(machine, context, tables); }

  std::vector<std::string> DeletedKeys() const {
    std::vector<std::string> keys;
    for (const auto& entry : machine.Journal()) {
      if (entry.kind == Kind::KeyDeleted) keys.push_back(entry.subject);
    }
    return keys;
  }

  void ExpectBystandersKept() const {
    for (const char* key : {"Enum\\Root\\MDMGEN", "Enum\\Root\\MDMGEN\\0000", "Enum\\ISAPNP\\CTL0031",
                            "SOFTWARE\\QRMeridian\\QuillnetFax",
                            "System\\CurrentControlSet\\Services\\VxD\\VCOMM",
                            "System\\CurrentControlSet\\control\\MediaResources\\wave\\sb16.drv<0000>"}) {
      EXPECT_TRUE(machine.HasKey(key)) << key;
    }
    for (const char* cls : {"Modem\\0000", "MEDIA\\0000", "Ports\\0000"}) {
      EXPECT_TRUE(machine.HasKey(kClass + cls)) << cls;
    }
    EXPECT_EQ(machine.OpenKeyCount(), 0u);
  }
};

TEST_F(Case, RemovesTheWholePackageAndTheRootKeyLast) {
  InstallPackage();
  EXPECT_EQ(RunStage(), 1);
  const std::vector<std::string> expected = {
      kClass + "Modem\\0001",
      kClass + "Ports\\0001",
      kClass + "Quillnet",
      "System\\CurrentControlSet\\control\\MediaResources\\wave\\serwvdrv.drv<0001>",
      "System\\CurrentControlSet\\Services\\VxD\\QNAUDIO",
      kClass + "MEDIA\\0001",
      "Enum\\Root\\MDMGEN\\0002",
      "SOFTWARE\\QRMeridian\\Quillnet",
      "Enum\\ISAPNP\\QRM1001",
      "Enum\\Root\\MDMGEN\\0001",
      "Enum\\MODEMWAVE",
      "Enum\\Root\\Quillnet"};
  EXPECT_EQ(DeletedKeys(), expected);
  EXPECT_EQ(context.comPort, "0002");
  ExpectBystandersKept();
}

TEST_F(Case, NothingLeftOfThePackageDeletesNothingAndReportsFailure) {
  AddBystanders();
  EXPECT_EQ(RunStage(), 0);  // only because the ISAPNP fallback key is absent
  EXPECT_TRUE(DeletedKeys().empty());
  ExpectBystandersKept();
}

TEST_F(Case, OnlyTheFirstPresentPnpKeyGoesAndTheFallbackOnlyWhenNoneIs) {
  std::snprintf(tables.PnpKeyList[1], 32, "Enum\\ISAPNP\\QRM1003");
  machine.AddKey("Enum\\ISAPNP\\QRM1001\\1");
  machine.AddKey("Enum\\ISAPNP\\QRM1003\\1");
  machine.AddKey("Enum\\ISAPNP\\QRM0100\\1");
  RunStage();
  EXPECT_FALSE(machine.HasKey("Enum\\ISAPNP\\QRM1001"));
  EXPECT_TRUE(machine.HasKey("Enum\\ISAPNP\\QRM1003"));
  EXPECT_TRUE(machine.HasKey("Enum\\ISAPNP\\QRM0100"));

  RunStage();  // QRM1001 gone: the second listed key is next, the fallback still untouched
  EXPECT_FALSE(machine.HasKey("Enum\\ISAPNP\\QRM1003"));
  EXPECT_TRUE(machine.HasKey("Enum\\ISAPNP\\QRM0100"));

  RunStage();
  EXPECT_FALSE(machine.HasKey("Enum\\ISAPNP\\QRM0100"));
}

TEST_F(Case, MissingLinksFallBackToAnExactInfSectionSearch) {
  AddBystanders();
  machine.AddKey(kInstance);
  machine.SetString(kClass + "Modem\\0001", "InfSection", "Quillnet");
  machine.SetString(kClass + "MEDIA\\0001", "InfSection", "QuillnetVoice");
  machine.AddKey("System\\CurrentControlSet\\control\\MediaResources\\wave\\serwvdrv.drv<0001>");
  RunStage();
  EXPECT_FALSE(machine.HasKey(kClass + "Modem\\0001"));
  EXPECT_FALSE(machine.HasKey(kClass + "MEDIA\\0001"));
  EXPECT_FALSE(machine.HasKey(
      "System\\CurrentControlSet\\control\\MediaResources\\wave\\serwvdrv.drv<0001>"));
  ExpectBystandersKept();
}

TEST_F(Case, TheInfSectionMustMatchInCaseAndAnUnopenableKeyEndsTheSearch) {
  AddBystanders();
  machine.AddKey(kInstance);
  machine.SetString(kClass + "Modem\\0001", "InfSection", "QUILLNET");
  RunStage();
  EXPECT_TRUE(machine.HasKey(kClass + "Modem\\0001"));

  machine.SetString(kClass + "Modem\\0001", "InfSection", "Quillnet");
  machine.DenyOpen(kClass + "Modem\\0000");
  RunStage();
  EXPECT_TRUE(machine.HasKey(kClass + "Modem\\0001"));
}

TEST_F(Case, AnEmptyVoiceNameSearchesNothing) {
  AddBystanders();
  context.voiceName.clear();
  machine.AddKey(kInstance);
  machine.SetString(kClass + "MEDIA\\0002", "InfSection", "");
  machine.AddKey("System\\CurrentControlSet\\control\\MediaResources\\wave\\serwvdrv.drv<0002>");
  machine.AddKey("System\\CurrentControlSet\\Services\\VxD\\QNAUDIO");
  RunStage();
  EXPECT_TRUE(machine.HasKey(kClass + "MEDIA\\0002"));
  EXPECT_TRUE(machine.HasKey("System\\CurrentControlSet\\Services\\VxD\\QNAUDIO"));
}

TEST_F(Case, ComPortDeviceGoesEvenWithoutTheSoftwareKey) {
  machine.SetString("SOFTWARE\\QRMeridian\\Quillnet\\1.0\\ComPort", "", "0002");
  machine.AddKey("Enum\\Root\\MDMGEN\\0002");
  machine.DenyOpen("SOFTWARE\\QRMeridian\\Quillnet");  // opens as if absent
  const DeviceRegistryConfig config = MakeRegistryConfig(context, tables);
  DeviceRegistryCleanup stage(machine, config, context.comPort);
  EXPECT_EQ(stage.RemoveSoftwareKey(), 1);
  EXPECT_FALSE(machine.HasKey("Enum\\Root\\MDMGEN\\0002"));
  EXPECT_EQ(context.comPort, "0002");
}

TEST_F(Case, ValuesThatWouldNameOtherDevicesDeleteNothing) {
  AddBystanders();
  // Empty link values, an empty "Driver", a root "Driver" without a
  // backslash, and an empty COM port would each name a root of others.
  machine.SetString(kInstance, "ConnectedToModem", "");
  machine.SetString(kInstance, "ConnectedToPort", "Enum\\ISAPNP\\QRM1001\\0A1B2C3D");
  machine.SetString(kInstance, "ConnectedToWave", "Enum\\MODEMWAVE\\QNWAVE");
  machine.SetString(kInstance, "Driver", "Modem");
  machine.SetString("Enum\\ISAPNP\\QRM1001\\0A1B2C3D", "Driver", "");
  machine.SetString("Enum\\MODEMWAVE\\QNWAVE\\ROOT&MODEM&0000", "Driver", "\\");
  machine.SetString("SOFTWARE\\QRMeridian\\Quillnet\\1.0\\ComPort", "", "");
  const std::size_t before = machine.ExportRegistry().size();
  RunStage();
  ExpectBystandersKept();
  EXPECT_TRUE(machine.HasKey(kClass.substr(0, kClass.size() - 1)));
  EXPECT_TRUE(machine.HasKey(kClass + "Modem"));
  // Only the package's own keys went.
  for (const std::string& key : DeletedKeys()) {
    EXPECT_TRUE(key == "SOFTWARE\\QRMeridian\\Quillnet" || key == "Enum\\ISAPNP\\QRM1001" ||
                key == "Enum\\MODEMWAVE" || key == "Enum\\Root\\Quillnet")
        << key;
  }
  EXPECT_LT(machine.ExportRegistry().size(), before);
}

TEST_F(Case, LongNamesAreHeldWhole) {
  context.modemName = std::string(60, 'Q');
  const std::string instance = "Enum\\Root\\" + context.modemName + "\\0000";
  const std::string driver = "QuillnetControllerClass\\0000";  // wider than 19 characters
  machine.SetString(instance, "Driver", driver);
  machine.SetString(kClass + driver, "InfPath", "OEM4.INF");
  machine.AddKey(kClass + "QuillnetControllerClassic\\0000");
  RunStage();
  EXPECT_FALSE(machine.HasKey(kClass + "QuillnetControllerClass"));
  EXPECT_TRUE(machine.HasKey(kClass + "QuillnetControllerClassic"));
  EXPECT_FALSE(machine.HasKey("Enum\\Root\\" + context.modemName));
}

TEST(IsRemovableKeyPath, RefusesEmptyComponentsAndSharedRoots) {
  for (const char* refused :
       {"", "Enum", "SOFTWARE", "\\Enum\\Root\\X", "Enum\\Root\\X\\", "Enum\\\\Root",
        "Enum\\PCI", "SOFTWARE\\Microsoft", "System\\Setup",
        "enum\\root", "Enum\\ISAPNP", "Enum\\Root\\MDMGEN", "System\\CurrentControlSet",
        "System\\CurrentControlSet\\Services", "SYSTEM\\CurrentControlSet\\Services\\Class",
        "System\\CurrentControlSet\\Services\\Class\\modem",
        "System\\CurrentControlSet\\Services\\Class\\MEDIA",
        "System\\CurrentControlSet\\Services\\Class\\Ports"}) {
    EXPECT_FALSE(IsRemovableKeyPath(refused)) << refused;
  }
  for (const char* allowed : {"Enum\\MODEMWAVE", "Enum\\Root\\Quillnet", "Enum\\Root\\MDMGEN\\0002",
                              "System\\CurrentControlSet\\Services\\Class\\Modem\\0001",
                              "SOFTWARE\\QRMeridian\\Quillnet"}) {
    EXPECT_TRUE(IsRemovableKeyPath(allowed)) << allowed;
  }
  EXPECT_TRUE(IsRemovableKeyPath("enum\\Root\\MDMGEN\\0001", ENUM_BRANCH));
  EXPECT_FALSE(IsRemovableKeyPath("SOFTWARE\\QRMeridian\\QuillnetFax", ENUM_BRANCH));
  EXPECT_FALSE(IsRemovableKeyPath("EnumX\\Root\\Y", ENUM_BRANCH));
}

TEST_F(Case, ALinkOutsideTheDeviceBranchIsNotDeleted) {
  InstallPackage();
  machine.SetString(kInstance, "ConnectedToModem", "SOFTWARE\\QRMeridian\\QuillnetFax");
  machine.SetString("SOFTWARE\\QRMeridian\\QuillnetFax", "Driver", "Modem\\0001");
  machine.SetString(kInstance, "ConnectedToPort", "Enum\\PCI");
  machine.SetString("Enum\\PCI\\VEN_1234\\0", "Driver", "Ports\\0000");
  RunStage();
  EXPECT_TRUE(machine.HasKey("SOFTWARE\\QRMeridian\\QuillnetFax"));
  EXPECT_TRUE(machine.HasKey("Enum\\PCI\\VEN_1234\\0"));
  ExpectBystandersKept();
}

}  // namespace
}  // namespace mdm::cleaner
