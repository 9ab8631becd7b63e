// Hostile mdminfo.ini files: each ends in its intended result, and a
// refused configuration changes nothing on the machine but the result code.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "tests/safety/harness.h"

namespace mdm::safety {
namespace {

using namespace std::string_literals;

GeneratedMachine InstalledMachine(std::uint64_t seed = 11) {
  Variation variation;
  variation.fullPackage = true;
  variation.productNames = true;
  return Generate(seed, variation);
}

std::string Join(const std::vector<std::string>& items) {
  std::string joined;
  for (std::size_t i = 0; i < items.size(); ++i) joined += (i ? "," : "") + items[i];
  return joined;
}

// A complete configuration text for `meaning`, with the package's sections.
std::string Text(const Configuration& c) {
  return "[FileNames]\r\nsystem_dir=" + Join(c.systemFiles) +
         "\r\nquillnet101_dir=" + Join(c.productFiles) +
         "\r\n[RegistryKeys]\r\nPnpID=" + Join(c.pnpIds) + "\r\nVendor=" + c.vendor +
         "\r\nModemName=" + c.modemName + "\r\nVoiceName=" + c.voiceName +
         "\r\n[NewInstallFiles]\r\nFileNames=A.EXE\r\nINFFiles=A.INF\r\n[Progress]\r\nResult=-"
         "1\r\n";
}

// The machine with `text` as its mdminfo.ini, meaning what `meaning` says.
void Configure(GeneratedMachine& g, const std::string& text, Configuration meaning) {
  meaning.text = text;
  g.config = meaning;
  g.model.AddFile(g.ConfigFile(), text, Owner::Frame);
}

Configuration Refused() {
  Configuration refused;
  refused.complete = false;
  return refused;
}

Outcome Check(const GeneratedMachine& g, const std::string& what) {
  Outcome outcome = RunAndCheck(g, Deliverable::Program);
  EXPECT_TRUE(outcome.problems.empty()) << what << "\n"
                                        << Report(g, Deliverable::Program, outcome.problems);
  return outcome;
}

TEST(HostileConfiguration, EmptyBinaryAndShapelessFilesAreRefusedAndChangeNothing) {
  std::mt19937 random(5);
  std::string binary(4096, '\0');
  for (char& c : binary) c = static_cast<char>(random());
  std::string wide = "\xff\xfe";  // UTF-16, which the profile functions do not read
  for (char c : std::string("[FileNames]\r\nsystem_dir=QUILLNET.CPL\r\n"))
    wide += std::string{c, '\0'};
  const std::vector<std::string> texts = {
      "", binary, "system_dir=QUILLNET.CPL\r\nPnpID=QRM1001\r\n", "[FileNames]", wide};
  for (const std::string& text : texts) {
    GeneratedMachine g = InstalledMachine();
    Configure(g, text, Refused());
    EXPECT_EQ(Check(g, "text of " + std::to_string(text.size()) + " bytes").result, 1);
  }
}

TEST(HostileConfiguration, AHugeFileWithTheKeysAtItsEndStillLoads) {
  GeneratedMachine g = InstalledMachine();
  Configuration meaning = g.config;
  std::string text;
  for (int i = 0; i < 20000; ++i)
    text += "[Filler" + std::to_string(i) + "]\r\nkey=" + std::string(60, 'x') + "\r\n";
  Configure(g, text + Text(meaning), meaning);
  EXPECT_EQ(Check(g, "huge file").result, 0);
}

TEST(HostileConfiguration, MoreThanTheTablesHoldIsRefusedNotCut) {
  const GeneratedMachine base = InstalledMachine();
  auto attempt = [&](Configuration c, bool accepted, const std::string& what) {
    GeneratedMachine g = base;
    const std::string text = Text(c);
    Configure(g, text, accepted ? c : Refused());
    EXPECT_EQ(Check(g, what).result, accepted ? 0 : 1) << what;
  };
  Configuration c = base.config;
  c.voiceName = "QuillnetVoice";

  Configuration names = c;
  names.systemFiles = {"QUILLNET.CPL", "quillnet.vxd"};
  for (int i = 0; i < 13; ++i) names.systemFiles.push_back("EXTRA" + std::to_string(i) + ".DLL");
  names.productFiles = {"PRELDR.EXE", "QUILLNET.DRV", "QUILLNET.EXE"};
  attempt(names, true, "18 file names");
  names.systemFiles.push_back("ONEMORE.DLL");
  attempt(names, false, "19 file names");

  Configuration ids = c;
  ids.pnpIds.clear();
  for (int i = 0; i < 18; ++i) ids.pnpIds.push_back("QRM9" + std::to_string(100 + i));
  ids.pnpIds.push_back("QRM1001");
  attempt(ids, true, "19 IDs");
  ids.pnpIds.insert(ids.pnpIds.begin(), "QRM8888");
  attempt(ids, false, "20 IDs");

  Configuration longId = c;
  longId.pnpIds = {"QRM1001", std::string(19, 'I')};
  attempt(longId, true, "an ID of 19 characters");
  longId.pnpIds = {"QRM1001", std::string(20, 'I')};
  attempt(longId, false, "an ID of 20 characters");

  Configuration longValue = c;
  longValue.systemFiles = {"QUILLNET.CPL", std::string(250, 'L')};
  attempt(longValue, false, "a value of 263 characters");

  Configuration wide = c;
  wide.vendor = std::string(246 - wide.modemName.size(), 'V');
  attempt(wide, false, "vendor and modem name of 246 characters");
}

TEST(HostileConfiguration, EmptyItemsAreSkippedAndNeverNameAWholeFolderOrBranch) {
  const GeneratedMachine base = InstalledMachine();
  Configuration c = base.config;
  c.systemFiles = {"QUILLNET.CPL", "quillnet.vxd"};
  c.productFiles = {"QUILLNET.DRV", "PRELDR.EXE"};
  c.pnpIds = {"QRM1001"};
  c.voiceName = "QuillnetVoice";

  GeneratedMachine g = base;
  std::string text = Text(c);
  auto replace = [&](const std::string& from, const std::string& to) {
    text.replace(text.find(from), from.size(), to);
  };
  replace("system_dir=QUILLNET.CPL,quillnet.vxd", "system_dir=,QUILLNET.CPL,,quillnet.vxd,");
  replace("quillnet101_dir=QUILLNET.DRV,PRELDR.EXE", "quillnet101_dir=QUILLNET.DRV,,PRELDR.EXE,,");
  replace("PnpID=QRM1001", "PnpID=,,QRM1001,");
  Configure(g, text, c);  // the start-up program is the last item that is not empty
  EXPECT_EQ(Check(g, "empty items").result, 0);

  for (const char* onlyEmpty : {"system_dir=,,,", "quillnet101_dir=,", "PnpID=,,"}) {
    GeneratedMachine refused = base;
    std::string bad = Text(c);
    const std::string key = std::string(onlyEmpty).substr(0, std::string(onlyEmpty).find('=') + 1);
    const std::size_t at = bad.find(key);
    bad.replace(at, bad.find("\r\n", at) - at, onlyEmpty);
    Configure(refused, bad, Refused());
    EXPECT_EQ(Check(refused, onlyEmpty).result, 1) << onlyEmpty;
  }
}

// A zero byte ends a value as the program reads it, whatever count the
// profile read reports; an item after it would be an empty name, which as a
// file entry would purge the whole system directory.
TEST(HostileConfiguration, AZeroByteEndsTheValue) {
  const GeneratedMachine base = InstalledMachine();
  Configuration c = base.config;
  c.systemFiles = {"QUILLNET.CPL"};
  c.productFiles = {"QUILLNET.DRV", "QUILLNET.EXE"};
  c.pnpIds = {"QRM1001"};
  c.voiceName = "QuillnetVoice";
  std::string text = Text(c);
  auto append = [&](const std::string& key, const std::string& tail) {
    const std::size_t end = text.find("\r\n", text.find(key));
    text.insert(end, tail);
  };
  append("system_dir=", ",\0TASKMON.EXE"s);
  append("quillnet101_dir=", ",\0\0KEEP.EXE"s);
  append("PnpID=", ",\0M0999"s);
  GeneratedMachine g = base;
  Configure(g, text, c);
  EXPECT_EQ(Check(g, "zero bytes after the items").result, 0);

  GeneratedMachine refused = base;
  std::string empty = Text(c);
  const std::size_t at = empty.find("system_dir=") + std::string("system_dir=").size();
  empty.insert(at, "\0"s);
  Configure(refused, empty, Refused());
  EXPECT_EQ(Check(refused, "a value that starts with a zero byte").result, 1);
}

TEST(HostileConfiguration, BlanksStayPartOfAnItem) {
  GeneratedMachine g = InstalledMachine();
  Configuration c = g.config;
  c.systemFiles = {"QUILLNET.CPL", " quillnet.vxd"};  // names no file: the blank counts
  c.voiceName = "QuillnetVoice";
  Configure(g, Text(c), c);
  EXPECT_EQ(Check(g, "blank after a comma").result, 0);
}

TEST(HostileConfiguration, DuplicateSectionsAreReadFromTheFirst) {
  GeneratedMachine g = InstalledMachine();
  Configuration c = g.config;
  c.voiceName = "QuillnetVoice";
  // Read from the second section, these would delete Microsoft's own key.
  const std::string second =
      "[RegistryKeys]\r\nVendor=Microsoft\r\nModemName=Windows\r\nPnpID=CTL0031\r\n";
  Configure(g, Text(c) + second, c);
  EXPECT_EQ(Check(g, "duplicate section").result, 0);
}

TEST(HostileConfiguration, AFileWithoutItsLastLineEndKeepsEveryByte) {
  for (bool withProgress : {true, false}) {
    GeneratedMachine g = InstalledMachine();
    Configuration c = g.config;
    c.voiceName = "QuillnetVoice";
    std::string text = Text(c);
    if (!withProgress) text.erase(text.find("[Progress]"));
    text.erase(text.size() - 2);  // no "\r\n" after the last line
    Configure(g, text, c);
    EXPECT_EQ(Check(g, withProgress ? "unterminated Result" : "unterminated INFFiles").result, 0);
  }
}

// A list item is a file name: one that climbs out of its folder, names
// another drive or holds a wildcard would delete what the package never
// owned, such as win.ini itself.
TEST(HostileConfiguration, FileNamesThatLeaveTheirFolderAreRefused) {
  const GeneratedMachine base = InstalledMachine();
  for (const char* name :
       {"..\\WIN.INI", "..\\..\\AUTOEXEC.BAT", "C:\\IO.SYS", "QUILLNET.101\\..\\..\\SYSTEM.INI",
        "..", ".", "*.*", "TASK?MON.EXE", "/WIN.INI"}) {
    for (bool product : {false, true}) {
      GeneratedMachine g = base;
      g.model.AddFile("C:\\AUTOEXEC.BAT", "@ECHO OFF\r\n", Owner::Bystander);
      g.model.AddFile("C:\\IO.SYS", "io", Owner::Bystander);
      Configuration c = base.config;
      c.voiceName = "QuillnetVoice";
      (product ? c.productFiles : c.systemFiles).push_back(name);
      Configure(g, Text(c), Refused());
      EXPECT_EQ(Check(g, name).result, 1) << name;
    }
  }
}

}  // namespace
}  // namespace mdm::safety
