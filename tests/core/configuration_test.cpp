#include <gtest/gtest.h>

#include <string>

#include "emulator/machine.h"
#include "mdmclean/plan.h"

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

std::optional<Configuration> Load(const Values& values) {
  emu::Machine machine;
  machine.AddFile(kConfigPath, ConfigText(values));
  std::optional<Configuration> loaded = LoadConfiguration(machine);
  EXPECT_TRUE(machine.Journal().empty()) << "the loader must not change anything";
  return loaded;
}

int LoadResult(const Values& values) { return Load(values).has_value() ? 1 : 0; }

// The plan is a value: what the program removes for a configuration can be
// read off it without running anything.
TEST(ProgramPlan, FollowsTheConfiguration) {
  const std::optional<Configuration> config = Load(Values{});
  ASSERT_TRUE(config.has_value());
  const RemovalPlan plan = ProgramPlan(*config);
  const char* expected[][2] = {{"", "QUILLNET.CPL"},
                               {"", "quillnet.vxd"},
                               {"QUILLNET.101", "PRELDR.EXE"},
                               {"QUILLNET.101", "QUILLNET.EXE"},
                               {"QUILLNET.101", ""}};
  ASSERT_EQ(plan.files.size(), 5u);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(plan.files[i].kind, DIR_SYSTEM) << i;
    EXPECT_EQ(plan.files[i].subdirectory, expected[i][0]) << i;
    EXPECT_EQ(plan.files[i].fileName, expected[i][1]) << i;
  }
  EXPECT_EQ(plan.fileRemoval.highestKind, DIR_TEMP);

  const DeviceRegistryPlan& registry = plan.registry;
  EXPECT_EQ(registry.deviceName, "Quillnet");
  EXPECT_EQ(registry.links,
            (std::vector<const DeviceLink*>{&LINK_MODEM, &LINK_PORT, &LINK_ROOT, &LINK_WAVE}));
  EXPECT_EQ(registry.modemInfSection, "Quillnet");
  EXPECT_EQ(registry.waveInfSection, "QuillnetVoice");
  EXPECT_EQ(registry.softwareKey, "SOFTWARE\\QRMeridian\\Quillnet");
  EXPECT_EQ(registry.isapnpIds, (std::vector<std::string>{"QRM1001", "QRM1003", "QRM0100"}));
  EXPECT_EQ(registry.stage, &CleanWithVoiceClass);
  EXPECT_FALSE(registry.recordInfPaths);

  // The start-up program (the last product file) by its full path, then every
  // product file by its full path and relative to the system directory,
  // whether the file is still there or not.
  ASSERT_EQ(plan.lists.load.size(), 1 + 2 * config->productFiles.size());
  EXPECT_TRUE(plan.lists.load[0].underSystemDirectory);
  EXPECT_EQ(plan.lists.load[0].entry, "QUILLNET.101\\QUILLNET.EXE");
  for (std::size_t i = 0; i < config->productFiles.size(); ++i) {
    for (int form = 0; form < 2; ++form) {
      EXPECT_EQ(plan.lists.load[1 + 2 * i + form].underSystemDirectory, form == 0);
      EXPECT_EQ(plan.lists.load[1 + 2 * i + form].entry,
                "QUILLNET.101\\" + config->productFiles[i]);
    }
  }
  ASSERT_EQ(plan.lists.drivers.size(), 1u);
  EXPECT_FALSE(plan.lists.drivers[0].underSystemDirectory);
  EXPECT_EQ(plan.lists.drivers[0].entry, "QUILLNET.101\\Quillnet.drv");
  EXPECT_TRUE(plan.lists.alsoEntriesOfDeletedProductFiles);

  EXPECT_EQ(plan.inf.namesAfterPackage, InfNamesAfterPackage::ProviderCopiesWhereOtherExists);
  EXPECT_EQ(plan.inf.match.ownClass, "Quillnet");
  EXPECT_EQ(plan.inf.match.describedClasses, (std::vector<std::string>{"Modem", "Ports", "MEDIA"}));
  EXPECT_EQ(plan.inf.match.descriptionKey, "Quillnet.DeviceDesc");
  EXPECT_EQ(plan.inf.match.portDescription, "");
  EXPECT_EQ(plan.inf.match.readLimit, 260u);
}

TEST(LoadConfiguration, ListItemsKeepTheirBlanksAndEmptyItemsAreDropped) {
  Values values;
  values.systemDir = ",A.DLL,, B.DLL,";
  values.productDir = "ONLY.EXE";
  values.pnpId = ",QRM1001,";
  const std::optional<Configuration> loaded = Load(values);
  ASSERT_TRUE(loaded.has_value());
  EXPECT_EQ(loaded->systemFiles, (std::vector<std::string>{"A.DLL", " B.DLL"}));
  EXPECT_EQ(loaded->productFiles, std::vector<std::string>{"ONLY.EXE"});
  EXPECT_EQ(loaded->pnpIds, std::vector<std::string>{"QRM1001"});

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
  EXPECT_FALSE(LoadConfiguration(machine).has_value());
}

// The vendor, the modem name and each Plug-and-Play ID name one registry key:
// "Microsoft\Windows" with "CurrentVersion" would make the software key a
// whole branch of Windows, and "QRM1001\" a key the ISAPNP step refuses
// before falling back to one nothing named.
TEST(LoadConfiguration, NamesThatAreNotOneKeyNameRefuseTheConfiguration) {
  Values values;
  values.vendor = "Microsoft\\Windows";
  values.modemName = "CurrentVersion";
  EXPECT_EQ(LoadResult(values), 0);
  values = Values{};
  values.modemName = "Quillnet\\0000";
  EXPECT_EQ(LoadResult(values), 0);
  for (const char* ids : {"QRM1001\\", "\\", "QRM1001,QRM1003\\X"}) {
    values = Values{};
    values.pnpId = ids;
    EXPECT_EQ(LoadResult(values), 0) << ids;
  }
}

// A slip in mdminfo.ini must not make Windows' own names the package's:
// "Net" would take "Enum\Root\Net" and the class "Net", "Modem" every other
// vendor's modem INF, "Microsoft" all of "SOFTWARE\Microsoft\<name>", the
// root device ID "*PNP0C01" the system board's "Enum\Root\*PNP0C01", and
// "UNIMODEM.VXD" in system_dir Windows' modem driver.
// Compared case-blind; names that merely start alike are the package's.
TEST(LoadConfiguration, WindowsOwnNamesAreNoPackageNames) {
  struct Slip {
    std::string Values::*member;
    const char* name;
    int loaded;
  };
  const Slip slips[] = {
      {&Values::modemName, "Net", 0},         {&Values::modemName, "Modem", 0},
      {&Values::modemName, "DISPLAY", 0},     {&Values::modemName, "ports", 0},
      {&Values::modemName, "Root", 0},        {&Values::modemName, "isapnp", 0},
      {&Values::modemName, "MODEMWAVE", 0},   {&Values::modemName, "Modems", 1},
      {&Values::modemName, "NetModem", 1},    {&Values::voiceName, "MEDIA", 0},
      {&Values::voiceName, "media", 0},       {&Values::voiceName, "MediaVoice", 1},
      {&Values::vendor, "Microsoft", 0},      {&Values::vendor, "microsoft", 0},
      {&Values::vendor, "Classes", 0},        {&Values::vendor, "Description", 0},
      {&Values::vendor, "Secure", 0},         {&Values::vendor, "Program Groups", 0},
      {&Values::vendor, "Microsoft Labs", 1},
      {&Values::modemName, "*PNP0C01", 0},    {&Values::voiceName, "*PNP0C01", 0},
      {&Values::pnpId, "QRM1001,*PNP0C01", 0}, {&Values::pnpId, "QRM1001,PNP0C01", 1},
      {&Values::systemDir, "QUILLNET.CPL,UNIMODEM.VXD", 0},
      {&Values::systemDir, "kernel32.dll", 0}, {&Values::systemDir, "SERIAL.VXD,quillnet.vxd", 0},
      {&Values::systemDir, "QUILLNET.CPL", 1}, {&Values::systemDir, "UNIMODEM.VXD.BAK", 1},
  };
  for (const Slip& slip : slips) {
    Values values;
    values.*slip.member = slip.name;
    EXPECT_EQ(LoadResult(values), slip.loaded) << slip.name;
  }
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
  values.systemDir = std::string(250, 'A') + ",B.DLL";  // 256
  ASSERT_EQ(values.systemDir.size(), 256u);
  EXPECT_EQ(LoadResult(values), 0);
  values.systemDir = std::string(250, 'A') + ",B.DL";  // exactly 255
  ASSERT_EQ(values.systemDir.size(), 255u);
  EXPECT_EQ(LoadResult(values), 1);
  // Lists the run never reads may be as long as they like.
  values = Values{};
  values.newFiles = std::string(600, 'X');
  EXPECT_EQ(LoadResult(values), 1);
}

}  // namespace
}  // namespace mdm::cleaner
