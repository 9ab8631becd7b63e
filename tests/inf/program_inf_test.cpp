// mdmclean's INF stage: names, the platform test for "INF\Other", the match
// rule driven by the configured modem name, and the stage result.
#include <string>
#include <vector>

#include "core/package/product.h"
#include "mdmclean/program_plan.h"
#include "tests/inf/inf_fixture.h"

namespace mdm::test {
namespace {

constexpr const char* MODEM = "Quillnet 56K";

class ProgramInfTest : public InfStageTest {
 protected:
  void SetUp() override {
    InfStageTest::SetUp();
    config.modemName = MODEM;
  }
  StageOutcome Run() { return CleanInfFiles(spy, mdmclean::ProgramPlan(config).inf, {}); }

  static std::string Described(const std::string& deviceClass) {
    return InfText(deviceClass, "[Strings]\r\nQuillnet 56K.DeviceDesc=\"Quillnet 56K Modem\"\r\n");
  }

  mdmclean::Configuration config;
};

TEST_F(ProgramInfTest, ClassNamingTheModemDeletesInAnyLetterCaseInBothFolders) {
  AddInf(INF_DIR, "oem1.inf", InfText("QUILLNET 56k"));
  AddInf(OTHER_DIR, "Vendor.inf", InfText("quillnet 56K"));

  Run();

  EXPECT_FALSE(Exists(INF_DIR, "oem1.inf"));
  EXPECT_FALSE(Exists(OTHER_DIR, "Vendor.inf"));
}

TEST_F(ProgramInfTest, GenericClassesGoOnlyWithTheModemDescription) {
  int n = 0;
  for (const char* generic : {"Modem", "modem", "Ports", "MEDIA"}) {
    const std::string with = "oem" + std::to_string(++n) + ".inf";
    const std::string without = "oem" + std::to_string(++n) + ".inf";
    const std::string empty = "oem" + std::to_string(++n) + ".inf";
    AddInf(INF_DIR, with, Described(generic));
    AddInf(INF_DIR, without, InfText(generic, "[Strings]\r\nOther.DeviceDesc=\"Other\"\r\n"));
    AddInf(INF_DIR, empty, InfText(generic, "[Strings]\r\nQuillnet 56K.DeviceDesc=\r\n"));
  }

  Run();

  n = 0;
  for (const char* generic : {"Modem", "modem", "Ports", "MEDIA"}) {
    SCOPED_TRACE(generic);
    EXPECT_FALSE(Exists(INF_DIR, "oem" + std::to_string(++n) + ".inf"));
    EXPECT_TRUE(Exists(INF_DIR, "oem" + std::to_string(++n) + ".inf"));
    EXPECT_TRUE(Exists(INF_DIR, "oem" + std::to_string(++n) + ".inf"));
  }
}

TEST_F(ProgramInfTest, OtherClassesAndFilesWithoutAClassStay) {
  AddInf(INF_DIR, "oem3.inf", Described("Net"));
  AddInf(INF_DIR, "oem4.inf", InfText(""));
  AddInf(OTHER_DIR, "junk.inf", "not a profile file at all");

  Run();

  EXPECT_TRUE(Exists(INF_DIR, "oem3.inf"));
  EXPECT_TRUE(Exists(INF_DIR, "oem4.inf"));
  EXPECT_TRUE(Exists(OTHER_DIR, "junk.inf"));
}

TEST_F(ProgramInfTest, OnlyPackageNamesAndOemFilesAreTouchedInTheInfFolder) {
  for (const char* name : product::PACKAGE_INF_NAMES) AddInf(INF_DIR, name, InfText("Net"));
  AddInf(INF_DIR, "MDMGEN.INF", InfText(MODEM));

  // The package names go by name alone, so the scan deleted nothing.
  Run();

  for (const char* name : product::PACKAGE_INF_NAMES) EXPECT_FALSE(Exists(INF_DIR, name)) << name;
  EXPECT_TRUE(Exists(INF_DIR, "MDMGEN.INF"));
  EXPECT_EQ(spy.Count("GetPrivateProfileStringA C:\\WINDOWS\\INF\\MDMGEN.INF"), 0);
}

// Windows matches "oem*.inf" against 8.3 aliases too: a long name whose alias
// fits is examined like any oem file, and its content decides.
TEST_F(ProgramInfTest, ALongNameFoundThroughItsShortAliasIsJudgedByContent) {
  AddInf(INF_DIR, "oemsetup.information", Described("Modem"));
  AddInf(INF_DIR, "oemother.information", InfText("Net"));
  Run();
  EXPECT_FALSE(Exists(INF_DIR, "oemsetup.information"));
  EXPECT_TRUE(Exists(INF_DIR, "oemother.information"));
}

TEST_F(ProgramInfTest, ProviderCopiesGoByNameOnWindows95WithAnOtherFolder) {
  for (const char* name : product::PROVIDER_INF_NAMES) AddInf(OTHER_DIR, name, InfText("Net"));

  Run();

  for (const char* name : product::PROVIDER_INF_NAMES)
    EXPECT_FALSE(Exists(OTHER_DIR, name)) << name;
}

// Windows 98 keeps provider-named copies as Windows 95 does, and reuses them.
TEST_F(ProgramInfTest, Windows98LosesTheProviderCopiesAndTheScanOfTheOtherFolder) {
  machine.SetVersion(4, 10, 1998);
  for (const char* name : product::PROVIDER_INF_NAMES) AddInf(OTHER_DIR, name, InfText("Net"));
  AddInf(OTHER_DIR, "Q.R. Meridian, Inc.QNMODEM2.INF", Described("Modem"));

  Run();

  for (const char* name : product::PROVIDER_INF_NAMES) EXPECT_FALSE(Exists(OTHER_DIR, name)) << name;
  EXPECT_FALSE(Exists(OTHER_DIR, "Q.R. Meridian, Inc.QNMODEM2.INF"));
}

TEST_F(ProgramInfTest, WithoutAnOtherFolderNothingThereIsDeletedByName) {
  emu::Machine bare;  // no INF\Other folder at all
  bare.AddFile("C:\\WINDOWS\\INF\\oem1.inf", Described("Modem"));
  TestPlatform bareSpy(bare);

  CleanInfFiles(bareSpy, mdmclean::ProgramPlan(config).inf, {});

  EXPECT_FALSE(bare.FileExists("C:\\WINDOWS\\INF\\oem1.inf"));
  EXPECT_EQ(bareSpy.Count("DeleteFileA C:\\WINDOWS\\INF\\Other\\"), 0);
  EXPECT_EQ(bare.OpenSearchCount(), 0u);
}

// Every INF file of the package is told: gone, or stayed with its error.
TEST_F(ProgramInfTest, TheOutcomeTellsWhatWentAndWhatStayed) {
  AddInf(INF_DIR, "oem1.inf", Described("Modem"));
  machine.SetReadOnly(std::string(INF_DIR) + "oem1.inf");
  AddInf(OTHER_DIR, "b.inf", Described("Modem"));
  AddInf(INF_DIR, "QNPORT.INF", InfText("Net"));  // one of the package's names

  const StageOutcome outcome = Run();

  EXPECT_TRUE(Exists(INF_DIR, "oem1.inf"));
  EXPECT_FALSE(Exists(OTHER_DIR, "b.inf"));
  ASSERT_EQ(outcome.remaining.size(), 1u);
  EXPECT_EQ(outcome.remaining[0].path, std::string(INF_DIR) + "oem1.inf");
  EXPECT_EQ(outcome.remaining[0].why, "error 5");
  std::vector<std::string> removed;
  for (const OutcomeItem& item : outcome.removed) removed.push_back(item.path);
  EXPECT_EQ(removed, (std::vector<std::string>{std::string(INF_DIR) + "QNPORT.INF",
                                               std::string(OTHER_DIR) + "b.inf"}));
}

TEST_F(ProgramInfTest, ALongModemNameKeepsItsDescriptionKeyWhole) {
  config.modemName = std::string(300, 'Q');
  const std::string wholeKey = config.modemName + ".DeviceDesc";
  // What a 260-byte key buffer would have made of it.
  const std::string cutKey = wholeKey.substr(0, 259);
  AddInf(INF_DIR, "oem1.inf", InfText("Modem", "[Strings]\r\n" + wholeKey + "=x\r\n"));
  AddInf(INF_DIR, "oem2.inf", InfText("Modem", "[Strings]\r\n" + cutKey + "=x\r\n"));

  Run();

  EXPECT_FALSE(Exists(INF_DIR, "oem1.inf"));
  EXPECT_TRUE(Exists(INF_DIR, "oem2.inf"));
}

TEST_F(ProgramInfTest, AFileWhosePathDoesNotFitIsSkipped) {
  const std::string windows = "C:\\" + std::string(200, 'W');
  machine.SetWindowsDirectory(windows);
  const std::string inf = windows + "\\INF\\";
  const std::string longName = "oem" + std::string(60, 'x') + ".inf";  // path > 259
  // The file that a path cut to 259 characters would name instead.
  const std::string decoy = (inf + longName).substr(0, 259);
  machine.AddFile(inf + longName, Described("Modem"));
  machine.AddFile(decoy, Described("Modem"));
  machine.AddFile(inf + "oem2.inf", Described("Modem"));

  Run();

  EXPECT_TRUE(machine.FileExists(inf + longName));
  EXPECT_TRUE(machine.FileExists(decoy));
  EXPECT_FALSE(machine.FileExists(inf + "oem2.inf"));
}

TEST_F(ProgramInfTest, AClassOf258CharactersIsReadWholeUnderTheProgramLimit) {
  config.modemName = std::string(258, 'Q');
  AddInf(INF_DIR, "oem1.inf", InfText(config.modemName));

  Run();

  EXPECT_FALSE(Exists(INF_DIR, "oem1.inf"));
}

}  // namespace
}  // namespace mdm::test
