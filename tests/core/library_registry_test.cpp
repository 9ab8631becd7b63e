// The library's device registry cleanup: built-in names, INF names recorded.
#include <gtest/gtest.h>

#include <string>

#include "emulator/machine.h"
#include "hvlib32/library_plan.h"
#include "tests/support/package_registry.h"
#include "tests/support/sample_outcome.h"

namespace mdm::hvlib32 {
namespace {

struct LibraryCase : test::RegistryStageTest {
  void InstallPackage(bool withModemLink = true) {
    test::InstallPackageRegistry(machine, withModemLink);
    machine.AddKey("Enum\\Root\\MDMGEN\\0000");
    machine.AddKey("Enum\\MODEMWAVE\\OTHER\\ROOT&MODEM&0001");
  }

  void RunStage() { RegistryStageTest::RunStage(LibraryPlan()); }
};

TEST_F(LibraryCase, RecordsTheInfNamesAndRemovesThePackage) {
  InstallPackage();
  RunStage();
  EXPECT_EQ(found.outcome.remaining.size(), 0u);
  EXPECT_EQ(found.inf.modemInfPath, "OEM5.INF");
  EXPECT_EQ(found.inf.portInfPath, "OEM6.INF");
  EXPECT_EQ(found.inf.rootInfPath, "OEM4.INF");  // read before the cut to the class branch
  EXPECT_EQ(found.comPort, "0002");
  // The sample's keys, no more: the wave class key and audio VxD key (no
  // voice device here), the other wave device and the standard modem stay.
  test::ExpectKeysGoneInOrder(test::DeletedKeys(machine),
                              test::Sample(test::Deliverable::Library).keys);
  EXPECT_EQ(machine.OpenKeyCount(), 0u);
}

TEST_F(LibraryCase, TakesEveryIsapnpCandidate) {
  machine.AddKey("Enum\\ISAPNP\\QRM1001\\1");
  machine.AddKey("Enum\\ISAPNP\\QRM1003\\1");
  machine.AddKey("Enum\\ISAPNP\\QRM0100\\1");
  machine.AddKey("Enum\\ISAPNP\\QRM1002\\1");
  RunStage();
  for (const char* id : {"QRM1001", "QRM1003", "QRM0100"})
    EXPECT_FALSE(machine.HasKey(std::string("Enum\\ISAPNP\\") + id)) << id;
  EXPECT_TRUE(machine.HasKey("Enum\\ISAPNP\\QRM1002"));
}

// The modem added again after its link went stale: the library finds its
// class key by the product's section, and the device that names it.
TEST_F(LibraryCase, AMissingModemLinkIsSearchedForBySection) {
  InstallPackage(/*withModemLink=*/false);
  machine.SetString(kClass + "Modem\\0001", "InfSection", "Quillnet");
  RunStage();
  EXPECT_EQ(found.inf.modemInfPath, "OEM5.INF");
  EXPECT_FALSE(machine.HasKey(kClass + "Modem\\0001"));
  EXPECT_FALSE(machine.HasKey("Enum\\Root\\MDMGEN\\0001"));
  EXPECT_TRUE(machine.HasKey("Enum\\Root\\MDMGEN\\0000"));
}

TEST_F(LibraryCase, AClassKeyWithoutInfPathStillGoesAndItsFieldIsEmptied) {
  InstallPackage();
  machine.RegDeleteKeyA(HKEY_LOCAL_MACHINE, (kClass + "Ports\\0001").c_str());
  machine.SetString(kClass + "Ports\\0001", "DriverDesc", "no InfPath");
  RunStage();
  EXPECT_EQ(found.inf.portInfPath, "");
  EXPECT_FALSE(machine.HasKey(kClass + "Ports\\0001"));
}

// The root device's "Driver" names another class, and an empty modem link
// would once have read "Driver" from the root of the registry: neither may
// take another class with it.
TEST_F(LibraryCase, OnlyThePackagesOwnClassGoesWhole) {
  InstallPackage();
  machine.SetString(kInstance, "Driver", "Display\\0000");
  machine.SetString(kInstance, "ConnectedToModem", "");
  machine.SetString("", "Driver", "Net\\0000");
  machine.AddKey(kClass + "Display\\0000");
  machine.AddKey(kClass + "Net\\0000");
  RunStage();
  EXPECT_TRUE(machine.HasKey(kClass + "Display\\0000"));
  EXPECT_TRUE(machine.HasKey(kClass + "Net\\0000"));
  EXPECT_FALSE(machine.HasKey(kClass + "Quillnet"));  // the package's own, by its name
  EXPECT_EQ(found.inf.rootInfPath, "");
  EXPECT_FALSE(machine.HasKey("Enum\\Root\\Quillnet"));
}

TEST_F(LibraryCase, TheWaveKeyIsTheOneTheLinkNamesIfAny) {
  InstallPackage();
  machine.RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Enum\\MODEMWAVE\\QNWAVE");
  RunStage();
  EXPECT_TRUE(machine.HasKey("Enum\\MODEMWAVE\\OTHER"));

  // An empty link or one that names a shared root deletes nothing.
  for (const char* link :
       {"", "Enum", "Enum\\Root\\MDMGEN", "Enum\\PCI", "SOFTWARE\\Microsoft\\Windows"}) {
    emu::Machine other;
    other.SetString(kInstance, "ConnectedToWave", link);
    other.AddKey("Enum\\Root\\MDMGEN\\0000");
    other.AddKey("Enum\\MODEMWAVE\\OTHER");
    other.AddKey("Enum\\PCI\\VEN_1234\\0");
    other.AddKey("SOFTWARE\\Microsoft\\Windows\\CurrentVersion");
    LibraryPlan().registry.stage(other, LibraryPlan().registry, LibraryPlan().inf.match, NoChangeLog());
    EXPECT_TRUE(other.HasKey("Enum\\Root\\MDMGEN\\0000")) << link;
    EXPECT_TRUE(other.HasKey("Enum\\MODEMWAVE\\OTHER")) << link;
    EXPECT_TRUE(other.HasKey("Enum\\PCI\\VEN_1234\\0")) << link;
    EXPECT_TRUE(other.HasKey("SOFTWARE\\Microsoft\\Windows\\CurrentVersion")) << link;
  }
}

}  // namespace
}  // namespace mdm::hvlib32
