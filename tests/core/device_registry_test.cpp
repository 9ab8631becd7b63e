// mdmclean's device registry cleanup on small machines built for each case.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/base/registry_keys.h"
#include "emulator/machine.h"
#include "mdmclean/program_plan.h"
#include "tests/support/package_registry.h"
#include "tests/support/sample_outcome.h"

namespace mdm::mdmclean {
namespace {

// The package as the configured run sees it, with one bystander beside each
// thing the stage deletes.
struct Case : test::RegistryStageTest {
  Configuration config;

  void SetUp() override {
    config.modemName = "Quillnet";
    config.voiceName = "QuillnetVoice";
    config.pnpIds = {"QRM1001"};
    config.vendor = "QRMeridian";
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

  void RunStage() { RegistryStageTest::RunStage(ProgramPlan(config)); }

  std::vector<std::string> DeletedKeys() const { return test::DeletedKeys(machine); }

  void ExpectBystandersKept() const {
    for (const char* key :
         {"Enum\\Root\\MDMGEN", "Enum\\Root\\MDMGEN\\0000", "Enum\\ISAPNP\\CTL0031",
          "SOFTWARE\\QRMeridian\\QuillnetFax", "System\\CurrentControlSet\\Services\\VxD\\VCOMM",
          "System\\CurrentControlSet\\control\\MediaResources\\wave\\sb16.drv<0000>"}) {
      EXPECT_TRUE(machine.HasKey(key)) << key;
    }
    for (const char* cls : {"Modem\\0000", "MEDIA\\0000", "Ports\\0000"}) {
      EXPECT_TRUE(machine.HasKey(kClass + cls)) << cls;
    }
    EXPECT_EQ(machine.OpenKeyCount(), 0u);
  }
};

// The sample machine's package registry: its keys go as the sample's
// outcome states them, and the stage tells each as it goes.
TEST_F(Case, RemovesTheWholePackageAndTheRootKeyLast) {
  InstallPackage();
  RunStage();
  test::ExpectKeysGoneInOrder(DeletedKeys(), test::Sample(test::Deliverable::Program).keys);
  std::vector<std::string> told;
  for (const OutcomeItem& item : found.outcome.removed) told.push_back(item.path);
  EXPECT_EQ(told, DeletedKeys());
  EXPECT_EQ(found.outcome.remaining.size(), 0u);
  EXPECT_EQ(found.comPort, "0002");
  ExpectBystandersKept();
}

TEST_F(Case, NothingLeftOfThePackageDeletesNothing) {
  AddBystanders();
  RunStage();
  EXPECT_TRUE(DeletedKeys().empty());
  EXPECT_TRUE(found.outcome.removed.empty());
  ExpectBystandersKept();
}

// Every card of the package's IDs goes in one run, the fallback ID's too,
// each with the port driver key its "Driver" names: a card Windows found
// again under another ID leaves nothing behind.
TEST_F(Case, EveryPnpKeyGoesWithItsCardsPortKeys) {
  AddBystanders();
  config.pnpIds.push_back("QRM1003");
  machine.SetString("Enum\\ISAPNP\\QRM1001\\1", "Driver", "Ports\\0001");
  machine.SetString("Enum\\ISAPNP\\QRM1003\\1", "Driver", "Ports\\0002");
  machine.SetString("Enum\\ISAPNP\\QRM1003\\2", "Driver", "Modem\\0000");  // no port
  machine.AddKey("Enum\\ISAPNP\\QRM0100\\1");
  machine.AddKey(kClass + "Ports\\0001");
  machine.AddKey(kClass + "Ports\\0002");
  RunStage();
  for (const char* gone : {"Enum\\ISAPNP\\QRM1001", "Enum\\ISAPNP\\QRM1003", "Enum\\ISAPNP\\QRM0100"})
    EXPECT_FALSE(machine.HasKey(gone)) << gone;
  EXPECT_FALSE(machine.HasKey(kClass + "Ports\\0001"));
  EXPECT_FALSE(machine.HasKey(kClass + "Ports\\0002"));
  ExpectBystandersKept();
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
  config.voiceName.clear();
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
  RunStage();
  EXPECT_FALSE(machine.HasKey("Enum\\Root\\MDMGEN\\0002"));
  EXPECT_EQ(found.comPort, "0002");
}

TEST_F(Case, LongNamesAreHeldWhole) {
  config.modemName = std::string(60, 'Q');
  const std::string instance = "Enum\\Root\\" + config.modemName + "\\0000";
  const std::string driver = config.modemName + "\\0000";  // wider than 19 characters
  machine.SetString(instance, "Driver", driver);
  machine.SetString(kClass + driver, "InfPath", "OEM4.INF");
  machine.AddKey(kClass + config.modemName + "ic\\0000");
  RunStage();
  EXPECT_FALSE(machine.HasKey(kClass + config.modemName));
  EXPECT_TRUE(machine.HasKey(kClass + config.modemName + "ic"));
  EXPECT_FALSE(machine.HasKey("Enum\\Root\\" + config.modemName));
}

// Each link's "Driver" value leads to a deletion only when the class key it
// names has that link's shape: an instance of the link's own class, or for
// the root device the package's own class, whole. The same "Driver" decides
// whether the linked modem device is one whose key may go.
TEST_F(Case, EachLinkDeletesOnlyAClassKeyOfItsOwnShape) {
  struct Example {
    const char* link;     // the link value, or "" for the root device's own "Driver"
    const char* driver;   // the class key name it leads to
    const char* removed;  // the class key that goes, or null when nothing may
  };
  const Example examples[] = {
      {"ConnectedToModem", "Modem\\0003", "Modem\\0003"},
      {"ConnectedToModem", "modem\\0003", "Modem\\0003"},
      {"ConnectedToModem", "Net\\0000", nullptr},
      {"ConnectedToModem", "Modem\\0003\\Sub", nullptr},
      {"ConnectedToModem", "Modem", nullptr},
      {"ConnectedToPort", "Ports\\0003", "Ports\\0003"},
      {"ConnectedToPort", "Modem\\0003", nullptr},
      {"ConnectedToWave", "MEDIA\\0003", "MEDIA\\0003"},
      {"ConnectedToWave", "Display\\0000", nullptr},
      {"", "Quillnet\\0000", nullptr},
      {"", "QUILLNET\\0001", nullptr},
      {"", "Net\\0000", nullptr},
      {"", "Display\\0000", nullptr},
      {"", "Modem\\0003", nullptr},
      {"", "Quillnet", nullptr},
      {"", "Quillnet\\0000\\Sub", nullptr},
  };
  for (const Example& example : examples) {
    SCOPED_TRACE(std::string(example.link) + " -> " + example.driver);
    emu::Machine machine;
    for (const char* key : {"Modem\\0003\\Sub", "Ports\\0003", "MEDIA\\0003", "Net\\0000",
                            "Display\\0000", "Quillnet\\0000\\Sub", "Quillnet\\0001"}) {
      machine.AddKey(kClass + key);
    }
    // Each link names a device where its kind lies: the port is the
    // package's ISA card.
    const std::string link = example.link;
    const std::string device =
        link == "ConnectedToPort" ? "Enum\\ISAPNP\\QRM1001\\0009" : "Enum\\Root\\MDMGEN\\0009";
    if (link.empty()) {
      machine.SetString(kInstance, "Driver", example.driver);
    } else {
      machine.SetString(kInstance, example.link,
                        link == "ConnectedToWave" ? "Enum\\MODEMWAVE\\QNWAVE" : device);
      machine.SetString(device, "Driver", example.driver);
      machine.SetString("Enum\\MODEMWAVE\\QNWAVE\\ROOT&MODEM&0000", "Driver", example.driver);
    }
    ProgramPlan(config).registry.stage(machine, ProgramPlan(config).registry,
                                       ProgramPlan(config).inf.match, NoChangeLog());
    // The package's own class goes by its name, whatever any "Driver" says.
    EXPECT_FALSE(machine.HasKey(kClass + "Quillnet"));
    std::vector<std::string> classKeysGone;
    for (const std::string& key : test::DeletedKeys(machine)) {
      if (key.rfind(kClass, 0) == 0 && key != kClass + "Quillnet")
        classKeysGone.push_back(key.substr(kClass.size()));
    }
    if (example.removed == nullptr) {
      EXPECT_EQ(classKeysGone, std::vector<std::string>{});
    } else {
      EXPECT_EQ(classKeysGone, std::vector<std::string>{example.removed});
    }
    // The linked modem device goes with it only when it is a modem.
    if (example.link == std::string("ConnectedToModem")) {
      EXPECT_EQ(machine.HasKey(device), example.removed == nullptr);
    }
    EXPECT_TRUE(machine.HasKey(kClass + "Net\\0000"));
    EXPECT_TRUE(machine.HasKey(kClass + "Display\\0000"));
  }
}

TEST_F(Case, ValuesThatWouldNameOtherDevicesDeleteNothing) {
  AddBystanders();
  // Link values that name no device instance, an empty "Driver", a root
  // "Driver" without an instance, and an empty COM port would each name a
  // root of others.
  machine.SetString(kInstance, "ConnectedToPort", "Enum\\ISAPNP\\QRM1001\\0A1B2C3D");
  machine.SetString(kInstance, "ConnectedToWave", "Enum\\MODEMWAVE\\QNWAVE");
  machine.SetString(kInstance, "Driver", "Modem");
  machine.SetString("Enum\\ISAPNP\\QRM1001\\0A1B2C3D", "Driver", "");
  machine.SetString("Enum\\MODEMWAVE\\QNWAVE\\ROOT&MODEM&0000", "Driver", "\\");
  machine.SetString("SOFTWARE\\QRMeridian\\Quillnet\\1.0\\ComPort", "", "");
  for (const char* modemLink : {"Enum", "SOFTWARE\\QRMeridian\\QuillnetFax", "Enum\\PCI",
                                "Enum\\Root\\MDMGEN\\0000\\Sub\\Deeper"}) {
    machine.SetString(kInstance, "ConnectedToModem", modemLink);
    machine.SetString(modemLink, "Driver", "Modem\\0000");
  }
  const std::size_t before = machine.ExportRegistry().size();
  RunStage();
  ExpectBystandersKept();
  EXPECT_TRUE(machine.HasKey(kClass.substr(0, kClass.size() - 1)));
  EXPECT_TRUE(machine.HasKey(kClass + "Modem"));
  EXPECT_TRUE(machine.HasKey("Enum\\PCI"));
  // Only the package's own keys went.
  for (const std::string& key : DeletedKeys()) {
    EXPECT_TRUE(key == "SOFTWARE\\QRMeridian\\Quillnet" || key == "Enum\\ISAPNP\\QRM1001" ||
                key == "Enum\\MODEMWAVE" || key == "Enum\\Root\\Quillnet")
        << key;
  }
  EXPECT_LT(machine.ExportRegistry().size(), before);
}

// An empty link is a missing one: the modem link searches its class, and
// "Driver" is never read from the root of the registry.
TEST_F(Case, AnEmptyLinkIsAMissingLink) {
  AddBystanders();
  machine.SetString("", "Driver", "Modem\\0000");
  machine.SetString(kInstance, "ConnectedToModem", "");
  machine.SetString(kInstance, "ConnectedToPort", "");
  machine.SetString(kClass + "Modem\\0003", "InfSection", "Quillnet");
  RunStage();
  EXPECT_FALSE(machine.HasKey(kClass + "Modem\\0003"));
  ExpectBystandersKept();
}

// A plan is a value: one that names an ISAPNP key of the wrong shape (here
// an instance below an ID) sees it refused; the other IDs' keys go.
TEST_F(Case, AnIsapnpKeyOfTheWrongShapeIsRefused) {
  DeviceRegistryPlan plan = ProgramPlan(config).registry;
  plan.isapnpIds = {"QRM1001\\0A1B2C3D", "QRM0100"};
  machine.AddKey("Enum\\ISAPNP\\QRM1001\\0A1B2C3D");
  machine.AddKey("Enum\\ISAPNP\\QRM0100\\1");
  plan.stage(machine, plan, ProgramPlan(config).inf.match, NoChangeLog());
  EXPECT_TRUE(machine.HasKey("Enum\\ISAPNP\\QRM1001\\0A1B2C3D"));
  EXPECT_FALSE(machine.HasKey("Enum\\ISAPNP\\QRM0100"));
}

TEST(KeyShape, MatchesComponentByComponentAndRefusesSharedRoots) {
  const KeyShape instance{"System\\CurrentControlSet\\Services\\Class\\Modem", 1};
  EXPECT_TRUE(HasShape("System\\CurrentControlSet\\Services\\Class\\Modem\\0001", instance));
  EXPECT_TRUE(HasShape("SYSTEM\\currentcontrolset\\SERVICES\\class\\modem\\x y", instance));
  for (const char* refused : {"System\\CurrentControlSet\\Services\\Class\\Modem",
                              "System\\CurrentControlSet\\Services\\Class\\Modem\\0001\\Sub",
                              "System\\CurrentControlSet\\Services\\Class\\Modem\\",
                              "\\System\\CurrentControlSet\\Services\\Class\\Modem\\1",
                              "System\\CurrentControlSet\\Services\\Class\\Modems\\0001",
                              "System\\CurrentControlSet\\Services\\Class\\\\Modem\\0001"}) {
    EXPECT_FALSE(HasShape(refused, instance)) << refused;
  }
  // The roots that hold others' keys stay refused whatever the shape allows.
  emu::Machine machine;
  machine.AddKey("Enum\\Root\\MDMGEN\\0000");
  const PackageIdentity identity;
  const KeyGuard guard(machine, identity, NoChangeLog());
  StageOutcome outcome;
  for (const char* root : {"Enum\\Root\\MDMGEN", "enum\\root\\mdmgen", "ENUM\\ROOT\\Mdmgen"}) {
    EXPECT_EQ(RemoveKey(guard, outcome, root, {"Enum", 2}, Marks::None), KeyRemoval::Refused) << root;
  }
  EXPECT_EQ(RemoveKey(guard, outcome, "Enum\\Root\\Other", {"Enum", 2}, Marks::None), KeyRemoval::Absent);
  EXPECT_TRUE(machine.HasKey("Enum\\Root\\MDMGEN\\0000"));
}

}  // namespace
}  // namespace mdm::mdmclean
