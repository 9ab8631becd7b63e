// The library's INF stage: recorded names, then the provider copies in every
// case, the INF rules that every recorded name must pass, and the built-in
// match rule.
#include <string>

#include "core/package/product.h"
#include "hvlib32/library_plan.h"
#include "tests/inf/inf_fixture.h"

namespace mdm::test {
namespace {

class LibraryInfTest : public InfStageTest {
 protected:
  void SetUp() override {
    InfStageTest::SetUp();
    found.portInfPath = "OEM10.INF";
    found.modemInfPath = "OEM11.INF";
    found.rootInfPath = "OEM12.INF";
    // Recorded files and provider copies of a class the scan leaves alone:
    // not the package's, whoever recorded their names.
    for (const char* name : {"OEM10.INF", "OEM11.INF", "OEM12.INF"}) {
      AddInf(INF_DIR, name, InfText("Net"));
    }
    for (const char* name : product::PROVIDER_INF_NAMES) AddInf(OTHER_DIR, name, InfText("Net"));
  }
  StageOutcome Run() { return CleanInfFiles(spy, hvlib32::LibraryPlan().inf, found, log); }

  void ExpectRecordedNames(bool present) {
    for (const char* name : {"OEM10.INF", "OEM11.INF", "OEM12.INF"}) {
      EXPECT_EQ(Exists(INF_DIR, name), present) << name;
    }
  }
  void ExpectProviderCopies(bool present) {
    for (const char* name : product::PROVIDER_INF_NAMES)
      EXPECT_EQ(Exists(OTHER_DIR, name), present) << name;
  }

  static std::string Port(const std::string& std) { return InfText("Ports", "[Std]\r\n" + std); }

  RecordedInfNames found;
  test::LogLines log;
};

TEST_F(LibraryInfTest, OemRootOnWindows95TriesTheRecordedNamesInstead) {
  for (const char* name : product::PACKAGE_INF_NAMES) AddInf(INF_DIR, name, InfText("Net"));
  AddInf(INF_DIR, "OEM11.INF", InfText("Quillnet"));

  Run();

  for (const char* name : product::PACKAGE_INF_NAMES) EXPECT_FALSE(Exists(INF_DIR, name)) << name;
  // The package's recorded file goes by its name, before the scan; the
  // others are someone else's and stay.
  EXPECT_FALSE(Exists(INF_DIR, "OEM11.INF"));
  EXPECT_LT(spy.IndexOf("DeleteFileA C:\\WINDOWS\\INF\\OEM11.INF"),
            spy.IndexOf("FindFirstFileA C:\\WINDOWS\\INF\\oem*.inf"));
  EXPECT_TRUE(Exists(INF_DIR, "OEM10.INF"));
  EXPECT_TRUE(Exists(INF_DIR, "OEM12.INF"));
  EXPECT_TRUE(
      log.Has("refused INF file C:\\WINDOWS\\INF\\OEM10.INF (not one of the package's INF files)"));
  // The provider copies go as well: whether they go must not hang on a
  // record that a stopped run may have deleted with its class key.
  ExpectProviderCopies(false);
}

// The package's devices installed from Windows' own INF files record those
// names: they stay, although their content would match, since the rules take
// only "oem*.inf" files and the package's own names from "INF".
TEST_F(LibraryInfTest, RecordedNamesOfWindowsOwnInfFilesStay) {
  const std::string described = "[Strings]\r\nQuillnet.DeviceDesc=\"Quillnet Modem\"\r\n";
  AddInf(INF_DIR, "MDMGEN.INF", InfText("Modem", described));
  AddInf(INF_DIR, "MSPORTS.INF", Port("%Quillnet.DeviceDesc%=ComPort,QUILLNET\r\n"));
  found.portInfPath = "MSPORTS.INF";
  found.modemInfPath = "mdmgen.inf";

  Run();

  EXPECT_TRUE(Exists(INF_DIR, "MDMGEN.INF"));
  EXPECT_TRUE(Exists(INF_DIR, "MSPORTS.INF"));
  EXPECT_EQ(spy.Count("DeleteFileA C:\\WINDOWS\\INF\\MDMGEN.INF"), 0);
  EXPECT_EQ(spy.Count("DeleteFileA C:\\WINDOWS\\INF\\MSPORTS.INF"), 0);
}

TEST_F(LibraryInfTest, LowerCaseOemRootDeletesTheProviderCopies) {
  found.rootInfPath = "oem12.inf";
  AddInf(INF_DIR, "oem12.inf", InfText("Net"));

  Run();

  ExpectProviderCopies(false);
  EXPECT_TRUE(Exists(INF_DIR, "oem12.inf"));
  EXPECT_TRUE(Exists(INF_DIR, "OEM10.INF"));
  EXPECT_TRUE(Exists(INF_DIR, "OEM11.INF"));
}

TEST_F(LibraryInfTest, AnotherVersionDeletesTheProviderCopies) {
  machine.SetVersion(4, 10, 1998);

  Run();

  ExpectProviderCopies(false);
  ExpectRecordedNames(true);
}

TEST_F(LibraryInfTest, RecordedNamesThatAreNotPlainFileNamesDeleteNothing) {
  machine.AddFile("C:\\WINDOWS\\OEM.INF", "keep");
  found.portInfPath = ".";
  found.modemInfPath = "..";
  for (const char* root : {"..\\OEM.INF", "../OEM.INF", "C:OEM.INF"}) {
    SCOPED_TRACE(root);
    found.rootInfPath = root;
    spy.calls.clear();

    Run();

    // Only the package's and the provider's names were tried.
    EXPECT_EQ(spy.Count("DeleteFileA "), static_cast<int>(2 * product::INF_NAME_COUNT));
    EXPECT_TRUE(machine.FileExists("C:\\WINDOWS\\OEM.INF"));
  }
}

TEST_F(LibraryInfTest, EmptyRecordedNamesDeleteNothing) {
  found.portInfPath.clear();
  found.modemInfPath.clear();
  AddInf(INF_DIR, "OEM12.INF", InfText("Quillnet"));
  spy.calls.clear();

  Run();

  ExpectProviderCopies(false);
  EXPECT_FALSE(Exists(INF_DIR, "OEM12.INF"));
  EXPECT_TRUE(Exists(INF_DIR, "OEM10.INF"));
  // The package's names, then the root's, then the scan's one.
  EXPECT_EQ(DeleteAttempts(INF_DIR), static_cast<int>(product::INF_NAME_COUNT) + 1);
}

TEST_F(LibraryInfTest, PortsFilesGoByTheirPortDescription) {
  AddInf(INF_DIR, "oem1.inf", Port("%Quillnet.DeviceDesc%=ComPort,QUILLNET\r\n"));
  AddInf(INF_DIR, "oem2.inf", Port("%Quillnet.DeviceDesc%=comport,quillnet\r\n"));
  AddInf(INF_DIR, "oem3.inf", Port("%Quillnet.DeviceDesc%=ComPort, QUILLNET\r\n"));
  AddInf(INF_DIR, "oem4.inf", Port("%QRMPort.DeviceDesc%=ComPort,QUILLNET\r\n"));
  AddInf(INF_DIR, "oem5.inf",
         Port("%Quillnet.DeviceDesc%=SerialPort\r\n"
              "%QRMPort.DeviceDesc%=ComPort,QUILLNET\r\n"));
  AddInf(INF_DIR, "oem6.inf", Port("Other=ComPort,QUILLNET\r\n"));

  Run();

  EXPECT_FALSE(Exists(INF_DIR, "oem1.inf"));
  EXPECT_FALSE(Exists(INF_DIR, "oem2.inf"));
  EXPECT_TRUE(Exists(INF_DIR, "oem3.inf"));
  EXPECT_FALSE(Exists(INF_DIR, "oem4.inf"));  // the fallback description
  EXPECT_TRUE(Exists(INF_DIR, "oem5.inf"));   // the first description wins when present
  EXPECT_TRUE(Exists(INF_DIR, "oem6.inf"));
}

TEST_F(LibraryInfTest, ClassRulesOfTheProduct) {
  const std::string described = "[Strings]\r\nQuillnet.DeviceDesc=\"Quillnet Modem\"\r\n";
  AddInf(OTHER_DIR, "a.inf", InfText("QUILLNET"));
  AddInf(OTHER_DIR, "b.inf", InfText("Modem", described));
  AddInf(OTHER_DIR, "c.inf", InfText("Modem", "[Strings]\r\nOther.DeviceDesc=x\r\n"));
  AddInf(OTHER_DIR, "d.inf",
         InfText("MEDIA", described + "[Std]\r\n%Quillnet.DeviceDesc%=ComPort,QUILLNET\r\n"));
  AddInf(OTHER_DIR, "e.inf", InfText("", described));

  Run();

  EXPECT_FALSE(Exists(OTHER_DIR, "a.inf"));
  EXPECT_FALSE(Exists(OTHER_DIR, "b.inf"));
  EXPECT_TRUE(Exists(OTHER_DIR, "c.inf"));
  EXPECT_TRUE(Exists(OTHER_DIR, "d.inf"));
  EXPECT_TRUE(Exists(OTHER_DIR, "e.inf"));
}

}  // namespace
}  // namespace mdm::test
