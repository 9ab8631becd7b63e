// The export table of the Windows builds of HVLIB32.dll, as objdump reads it:
// the module name, the three plain names with ordinals 1 to 3, and of
// resources only the version resource. What the images import is audited in
// tests/pe: none of them loads a resource.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct ExportTable {
  std::string moduleName;
  int ordinalBase = -1;
  std::map<std::string, int> ordinals;  // name -> ordinal
};

std::string RunObjdump(const std::string& options, const std::string& path) {
  const std::string command = std::string(MDM_PE_OBJDUMP) + " " + options + " '" + path + "' 2>&1";
  std::string output;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char chunk[4096];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) output.append(chunk, n);
    pclose(pipe);
  }
  return output;
}

// Reads the interpreted export section. binutils prints the name table either
// as "[   0] Name" (index from the ordinal base) or, in newer versions, as
// "[   0] +base[   1] 0000 Name" (the ordinal itself).
ExportTable ParseExports(const std::string& dump) {
  ExportTable table;
  std::istringstream lines(dump);
  std::string line;
  bool inNameTable = false;
  const std::regex moduleLine(R"(^Name\s+[0-9a-fA-F]+\s+(\S+)\s*$)");
  const std::regex baseLine(R"(^Ordinal Base\s+(\d+)\s*$)");
  const std::regex nameEntry(
      R"(^\s*\[\s*(\d+)\]\s+(?:\+base\[\s*(\d+)\]\s+[0-9a-fA-F]+\s+)?(\S+)\s*$)");
  std::smatch match;
  while (std::getline(lines, line)) {
    if (std::regex_match(line, match, moduleLine)) table.moduleName = match[1];
    if (std::regex_match(line, match, baseLine)) table.ordinalBase = std::stoi(match[1]);
    if (line.rfind("[Ordinal/Name Pointer] Table", 0) == 0) {
      inNameTable = true;
      continue;
    }
    if (inNameTable) {
      if (!std::regex_match(line, match, nameEntry)) {
        inNameTable = false;
        continue;
      }
      const int ordinal =
          match[2].matched ? std::stoi(match[2]) : std::stoi(match[1]) + table.ordinalBase;
      table.ordinals[match[3]] = ordinal;
    }
  }
  return table;
}

// The resource types of the .rsrc directory that objdump -p prints depth
// first, each level indented by one more space: "000  Type Table: ...", then
// per type "010   Entry: ID: 0x000010, ..." followed by its subtree. A type
// named by a string reads "name".
std::vector<std::string> ResourceTypes(const std::string& dump) {
  std::vector<std::string> types;
  const std::regex typeEntry(R"(^[0-9a-fA-F]+ {3}Entry: (?:ID: (0x[0-9a-fA-F]+)|name))");
  std::istringstream lines(dump);
  std::smatch match;
  for (std::string line; std::getline(lines, line);) {
    if (std::regex_search(line, match, typeEntry)) {
      types.push_back(match[1].matched ? match[1].str() : "name");
    }
  }
  return types;
}

bool Exists(const std::string& path) { return std::ifstream(path).good(); }

void CheckDll(const std::string& binDir, const std::string& preset, const std::string& format) {
  const std::string dll = binDir + "/HVLIB32.dll";
  ASSERT_TRUE(Exists(dll)) << dll << " is missing: build the " << preset << " preset first ("
                           << "cmake --preset " << preset << " && cmake --build --preset " << preset
                           << ")";
  const std::string headers = RunObjdump("-p", dll);
  ASSERT_NE(headers.find("file format " + format), std::string::npos) << headers.substr(0, 300);

  const ExportTable table = ParseExports(headers);
  EXPECT_EQ(table.moduleName, "HVLIB32.dll");
  const std::map<std::string, int> expected = {
      {"ChangeW95SerialNumber", 1}, {"GetBaseAddr95", 2}, {"Uninstall", 3}};
  EXPECT_EQ(table.ordinals, expected) << "export table as objdump shows it:\n" << headers;

  // The version resource (type 16) and no string, dialog, bitmap or other one.
  EXPECT_EQ(ResourceTypes(headers), std::vector<std::string>{"0x000010"}) << headers;
}

TEST(ExportTable, Win32BuildHasPlainNamesAndOrdinals) {
  CheckDll(MDM_WIN32_BIN_DIR, "win32", "pei-i386");
}

TEST(ExportTable, Win64BuildHasPlainNamesAndOrdinals) {
  CheckDll(MDM_WIN64_BIN_DIR, "win64", "pei-x86-64");
}

TEST(ExportTable, ParserReadsBothObjdumpLayouts) {
  const std::string older =
      "Name \t\t\t\t00007046 HVLIB32.dll\nOrdinal Base \t\t\t1\n"
      "[Ordinal/Name Pointer] Table\n\t[   0] ChangeW95SerialNumber\n\t[   2] Uninstall\n\n";
  const std::string newer =
      "Name \t\t\t\t00007046 HVLIB32.dll\nOrdinal Base \t\t\t1\n"
      "[Ordinal/Name Pointer] Table -- Ordinal Base 1\n"
      "\t[   0] +base[   1]  0000 ChangeW95SerialNumber\n"
      "\t[   2] +base[   3]  0002 Uninstall\n\n";
  const std::map<std::string, int> expected = {{"ChangeW95SerialNumber", 1}, {"Uninstall", 3}};
  EXPECT_EQ(ParseExports(older).ordinals, expected);
  EXPECT_EQ(ParseExports(newer).ordinals, expected);
  EXPECT_EQ(ParseExports(newer).moduleName, "HVLIB32.dll");
}

TEST(ExportTable, ParserReadsTheResourceTypes) {
  const std::string dump =
      "The .rsrc Resource Directory section:\n"
      "000  Type Table: Char: 0, Time: 00000000, Ver: 0/0, Num Names: 1, IDs: 2\n"
      "010   Entry: name: [val: 00000080 len 3]: BIN, Value: 0x80000028\n"
      "028    Name Table: Char: 0, Time: 00000000, Ver: 0/0, Num Names: 0, IDs: 1\n"
      "038     Entry: ID: 0x000001, Value: 0x80000048\n"
      "048      Language Table: Char: 0, Time: 00000000, Ver: 0/0, Num Names: 0, IDs: 1\n"
      "058       Entry: ID: 0x000409, Value: 0x000060\n"
      "018   Entry: ID: 0x000006, Value: 0x80000070\n"
      "020   Entry: ID: 0x000010, Value: 0x80000090\n";
  const std::vector<std::string> expected = {"name", "0x000006", "0x000010"};
  EXPECT_EQ(ResourceTypes(dump), expected);
  EXPECT_TRUE(ResourceTypes("no resources\n").empty());
}

}  // namespace
