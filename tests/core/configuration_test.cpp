#include <gtest/gtest.h>

#include <string>

#include "emulator/machine.h"
#include "mdmclean/stages.h"

namespace mdm::cleaner {
namespace {

constexpr const char* kConfigPath = "C:\\WORK\\mdminfo.ini";

struct Values {
  std::string systemDir = "QUILLNET.CPL,quillnet.vxd";
  std::string productDir = "PRELDR.EXE,QUILLNET.EXE";
  std::string pnpId = "QRM1001,QRM1003";
  std::string vendor = "QRMeridian";
  std::string modemName = "Quillnet";
  std::string voiceName = "QuillnetVoice";
  std::string newFiles = "QUILLNET.EXE";
  std::string newInfs = "QNMODEM.INF";
};

std::string ConfigText(const Values& v) {
  return "[FileNames]\r\nsystem_dir=" + v.systemDir + "\r\nquillnet101_dir=" + v.productDir +
         "\r\n[RegistryKeys]\r\nPnpID=" + v.pnpId + "\r\nVendor=" + v.vendor +
         "\r\nModemName=" + v.modemName + "\r\nVoiceName=" + v.voiceName +
         "\r\n[NewInstallFiles]\r\nFileNames=" + v.newFiles + "\r\nINFFiles=" + v.newInfs + "\r\n";
}

struct Loaded {
  int result;
  std::unique_ptr<ProgramTables> tables = std::make_unique<ProgramTables>();
  UninstallContext context;
};

void Load(const Values& values, Loaded& out) {
  emu::Machine machine;
  machine.AddFile(kConfigPath, ConfigText(values));
  out.result = LoadConfiguration(machine, out.context, *out.tables);
  EXPECT_TRUE(machine.Journal().empty()) << "the loader must not change anything";
}

int LoadResult(const Values& values) {
  Loaded loaded;
  Load(values, loaded);
  return loaded.result;
}

TEST(LoadConfiguration, FillsTheTablesInOrder) {
  Loaded loaded;
  Load(Values{}, loaded);
  ASSERT_EQ(loaded.result, 1);
  const FileEntry* table = loaded.tables->FileRemovalTable;
  const char* expected[][2] = {{"", "QUILLNET.CPL"},
                               {"", "quillnet.vxd"},
                               {"QUILLNET.101", "PRELDR.EXE"},
                               {"QUILLNET.101", "QUILLNET.EXE"},
                               {"QUILLNET.101", ""}};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(table[i].kind, DIR_SYSTEM) << i;
    EXPECT_STREQ(table[i].subdirectory, expected[i][0]) << i;
    EXPECT_STREQ(table[i].fileName, expected[i][1]) << i;
  }
  EXPECT_EQ(table[5].kind, DIR_END);
  EXPECT_STREQ(loaded.tables->PnpKeyList[0], "Enum\\ISAPNP\\QRM1001");
  EXPECT_STREQ(loaded.tables->PnpKeyList[1], "Enum\\ISAPNP\\QRM1003");
  EXPECT_STREQ(loaded.tables->PnpKeyList[2], "");
  EXPECT_STREQ(loaded.tables->VendorKeyPath, "SOFTWARE\\QRMeridian\\Quillnet");
  EXPECT_EQ(loaded.context.modemName, "Quillnet");
  EXPECT_EQ(loaded.context.voiceName, "QuillnetVoice");
  EXPECT_EQ(loaded.context.loadProgramName, "QUILLNET.EXE");
  EXPECT_EQ(loaded.context.comPort, "");
}

TEST(LoadConfiguration, ListItemsKeepTheirBlanksAndEmptyItemsAreDropped) {
  Values values;
  values.systemDir = ",A.DLL,, B.DLL,";
  values.productDir = "ONLY.EXE";
  values.pnpId = ",QRM1001,";
  Loaded loaded;
  Load(values, loaded);
  ASSERT_EQ(loaded.result, 1);
  EXPECT_STREQ(loaded.tables->FileRemovalTable[0].fileName, "A.DLL");
  EXPECT_STREQ(loaded.tables->FileRemovalTable[1].fileName, " B.DLL");
  EXPECT_STREQ(loaded.tables->FileRemovalTable[2].fileName, "ONLY.EXE");
  EXPECT_EQ(loaded.context.loadProgramName, "ONLY.EXE");
  EXPECT_STREQ(loaded.tables->PnpKeyList[0], "Enum\\ISAPNP\\QRM1001");
  EXPECT_STREQ(loaded.tables->PnpKeyList[1], "");

  // A list of nothing but commas has no item: the load fails rather than
  // purging the system directory or opening the whole ISAPNP branch.
  values.systemDir = ",,";
  EXPECT_EQ(LoadResult(values), 0);
  values = Values{};
  values.pnpId = ",";
  EXPECT_EQ(LoadResult(values), 0);
}

TEST(LoadConfiguration, EveryRequiredKeyMustHoldAValue) {
  std::string Values::*required[] = {&Values::systemDir, &Values::productDir, &Values::pnpId,
                                     &Values::vendor,    &Values::modemName,  &Values::newFiles,
                                     &Values::newInfs};
  for (auto member : required) {
    Values values;
    values.*member = "";
    EXPECT_EQ(LoadResult(values), 0) << ConfigText(values);
  }
  Values noVoice;
  noVoice.voiceName = "";
  EXPECT_EQ(LoadResult(noVoice), 1);

  emu::Machine machine;  // no mdminfo.ini at all
  ProgramTables tables;
  UninstallContext context;
  EXPECT_EQ(LoadConfiguration(machine, context, tables), 0);
}

TEST(LoadConfiguration, RefusesWhatTheTablesCannotHoldInsteadOfCutting) {
  auto names = [](int count) {
    std::string list;
    for (int i = 0; i < count; ++i) list += (i ? "," : "") + std::string("F") + std::to_string(i);
    return list;
  };
  Values values;
  values.systemDir = names(16);
  values.productDir = names(2);
  EXPECT_EQ(LoadResult(values), 1);  // 18 names fit
  values.productDir = names(3);
  EXPECT_EQ(LoadResult(values), 0);

  values = Values{};
  values.pnpId = names(19);
  EXPECT_EQ(LoadResult(values), 1);
  values.pnpId = names(20);
  EXPECT_EQ(LoadResult(values), 0);
  values.pnpId = std::string(19, 'P');
  EXPECT_EQ(LoadResult(values), 1);
  values.pnpId = std::string(20, 'P');
  EXPECT_EQ(LoadResult(values), 0);

  values = Values{};
  values.vendor = std::string(200, 'V');
  values.modemName = std::string(45, 'M');
  EXPECT_EQ(LoadResult(values), 1);  // 245 together
  values.modemName = std::string(46, 'M');
  EXPECT_EQ(LoadResult(values), 0);

  // A value wider than 255 characters would be seen cut, its last name
  // shortened into another file's name.
  values = Values{};
  values.systemDir = std::string(250, 'A') + ",B.DLL";
  EXPECT_EQ(LoadResult(values), 0);
  values.systemDir = std::string(249, 'A') + ",B.DL";  // exactly 255
  EXPECT_EQ(LoadResult(values), 1);
  // Lists the run never reads may be as long as they like.
  values = Values{};
  values.newFiles = std::string(600, 'X');
  EXPECT_EQ(LoadResult(values), 1);
}

}  // namespace
}  // namespace mdm::cleaner
