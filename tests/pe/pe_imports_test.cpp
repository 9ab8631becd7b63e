// Static audit of the deliverables' Windows images (mdmclean.exe and
// HVLIB32.dll), read with objdump. The win32 images must load and run on a bare
// Windows 95 machine with a P5 Pentium: only reviewed entry points of the
// system's own DLLs, subsystem and OS version 4.0, no P6-or-later instruction,
// and a small size. The win64 images (run under Wine) import the same list.
// Other programs in the build folders are test tools and are not audited.
#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr std::uintmax_t kMaxWin32ImageBytes = 64 * 1024;

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string Join(const std::vector<std::string>& items, const char* separator = ", ") {
  std::string joined;
  for (const std::string& item : items) joined += (joined.empty() ? "" : separator) + item;
  return joined;
}

std::vector<std::string> Lines(std::istream& in) {
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> Lines(const std::string& text) {
  std::istringstream in(text);
  return Lines(in);
}

// objdump's output goes to a file that is read afterwards, never through a
// pipe: a disassembly is long, and a stuck reader must not hang the test.
std::vector<std::string> Objdump(const std::string& objdump, const std::string& options,
                                 const std::string& file) {
  const std::string out =
      (fs::temp_directory_path() / ("mdm-objdump-" + std::to_string(getpid()) + ".txt")).string();
  const std::string command =
      "'" + objdump + "' " + options + " '" + file + "' > '" + out + "' 2>&1";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  std::ifstream in(out);
  std::vector<std::string> lines = Lines(in);
  fs::remove(out);
  return lines;
}

// ---- Import table and header fields (objdump -p) ----

struct Import {
  std::string dll;
  std::string name;  // empty for an import by ordinal
  std::string ordinal;
};

struct Headers {
  std::string format;  // "file format pei-i386" line
  std::string fields;  // "Magic 010b", "MajorSubsystemVersion 4" and the like, one a line
  std::vector<std::string> dlls;
  std::vector<Import> imports;
};

// In a "DLL Name:" block each entry reads "<vma> <hint> <name>"; an import by
// ordinal reads "<vma> <ordinal> <none>".
Headers ParseHeaders(const std::vector<std::string>& lines) {
  Headers headers;
  bool inBlock = false;
  std::string previous;  // first word of the line before
  for (const std::string& line : lines) {
    std::istringstream words(line);
    std::string first, second, third;
    words >> first >> second >> third;
    if (line.find("file format") != std::string::npos) headers.format = line;
    if (first == "Magic" || first.find("Version") != std::string::npos) {
      headers.fields += first + " " + second + "\n";
    }
    if (first == "DLL" && second == "Name:") {
      headers.dlls.push_back(third);
      inBlock = false;
    } else if (first == "vma:" && previous == "DLL") {
      inBlock = true;
    } else if (first.empty()) {
      inBlock = false;
    } else if (inBlock) {
      headers.imports.push_back({headers.dlls.back(), third == "<none>" ? "" : third, second});
    }
    previous = first;
  }
  return headers;
}

// ---- The reviewed list of Windows 95 entry points ----

using AllowList = std::map<std::string, std::set<std::string>>;  // lower-case DLL -> names

// "A" or "W" closes the name of a function that has both forms.
bool IsWideEntryPoint(const std::string& name) {
  return name.size() >= 2 && name.back() == 'W' &&
         std::islower(static_cast<unsigned char>(name[name.size() - 2]));
}

struct ListFile {
  AllowList allowed;
  std::vector<std::string> problems;
};

ListFile LoadAllowList() {
  static const std::set<std::string> kSystemDlls = {"kernel32.dll", "user32.dll", "advapi32.dll"};
  static const std::set<std::string> kWideConverters = {"MultiByteToWideChar",
                                                        "WideCharToMultiByte"};
  static const std::regex kGroup(R"(^\[(\S+)\]$)");
  static const std::regex kEntryPoint(R"(^[A-Za-z_][A-Za-z0-9_]*$)");
  ListFile list;
  std::ifstream in(MDM_WINDOWS95_IMPORTS);
  if (!in) list.problems.push_back("cannot read " MDM_WINDOWS95_IMPORTS);
  std::string dll;
  int number = 0;
  for (std::string line; std::getline(in, line);) {
    ++number;
    line = line.substr(0, line.find('#'));
    std::istringstream words(line);
    std::string entry, extra;
    if (!(words >> entry)) continue;
    const std::string where = "line " + std::to_string(number) + ": ";
    std::smatch match;
    if (std::regex_match(entry, match, kGroup)) {
      dll = Lower(match[1]);
      if (!kSystemDlls.count(dll)) list.problems.push_back(where + "DLL " + entry);
    } else if (words >> extra || !std::regex_match(entry, kEntryPoint)) {
      list.problems.push_back(where + "not one entry point: " + line);
    } else if (dll.empty()) {
      list.problems.push_back(where + entry + " before any [DLL] group");
    } else if (IsWideEntryPoint(entry) && !kWideConverters.count(entry)) {
      list.problems.push_back(where + entry + " is a W function (a stub on Windows 95)");
    } else if (!list.allowed[dll].insert(entry).second) {
      list.problems.push_back(where + entry + " listed twice");
    }
  }
  return list;
}

// One failure per DLL, naming every finding, so a report shows the whole table.
void ExpectReviewedImports(const std::string& file, const Headers& headers) {
  const ListFile list = LoadAllowList();
  ASSERT_TRUE(list.problems.empty()) << Join(list.problems, "\n");
  EXPECT_FALSE(headers.dlls.empty()) << file << ": no import table found";
  std::map<std::string, std::vector<std::string>> unlisted, all;
  for (const Import& import : headers.imports) {
    const std::string shown = import.name.empty() ? "ordinal " + import.ordinal : import.name;
    all[import.dll].push_back(shown);
    auto group = list.allowed.find(Lower(import.dll));
    if (import.name.empty() || group == list.allowed.end() || !group->second.count(import.name)) {
      unlisted[import.dll].push_back(shown);
    }
  }
  for (const std::string& dll : std::set<std::string>(headers.dlls.begin(), headers.dlls.end())) {
    if (!list.allowed.count(Lower(dll))) {
      ADD_FAILURE() << file << " imports " << dll << ", not a Windows 95 system DLL it may use ("
                    << all[dll].size() << " functions): " << Join(all[dll]);
    } else if (!unlisted[dll].empty()) {
      ADD_FAILURE() << file << " imports from " << dll << " " << unlisted[dll].size()
                    << " entry points not on tests/pe/windows95_imports.txt: "
                    << Join(unlisted[dll]);
    }
  }
}

// ---- Instructions a P5 Pentium (Pentium, Pentium MMX, AMD K6) lacks ----

// clang-format off
enum Category {
  kCmov, kFcmov, kFcomi, kLongNop, kSysenter, kFxsave, kRdpmc, kSse, kVectorRegister,
  kCategories
};
const std::array<const char*, kCategories> kCategoryNames = {
    "CMOVcc", "FCMOVcc", "FCOMI/FCOMIP/FUCOMI/FUCOMIP", "long NOP (nopw/nopl, 0F 1F)",
    "SYSENTER/SYSEXIT", "FXSAVE/FXRSTOR", "RDPMC", "SSE instruction",
    "MMX/SSE register operand"};
// clang-format on

// Executable sections: objdump -h prints the flags, CODE among them, on the
// line after the section's own.
std::vector<std::string> CodeSections(const std::vector<std::string>& lines) {
  static const std::regex kSection(R"(^\s*\d+\s+(\S+)\s+[0-9a-fA-F]+\s)");
  static const std::regex kCodeFlag(R"(\bCODE\b)");
  std::vector<std::string> sections;
  std::string current;
  for (const std::string& line : lines) {
    std::smatch match;
    if (std::regex_search(line, match, kSection)) {
      current = match[1];
    } else if (!current.empty() && std::regex_search(line, kCodeFlag)) {
      sections.push_back(current);
      current.clear();
    }
  }
  return sections;
}

// Sorts one disassembled instruction ("cs nopw 0x0(%eax,%eax,1)") into the
// first category it belongs to, or returns kCategories when a P5 has it.
// x87 stores such as fstps end in "ps" too; they are not SSE.
Category Classify(const std::string& instruction) {
  static const std::set<std::string> kPrefixes = {
      "cs",   "ds",  "es",   "fs",   "gs",    "ss",    "data16", "data32",  "addr16",   "addr32",
      "lock", "rep", "repz", "repe", "repnz", "repne", "bnd",    "notrack", "xacquire", "xrelease"};
  static const std::set<std::string> kSseOnly = {
      "ldmxcsr",    "stmxcsr",    "sfence",     "lfence",     "mfence",
      "clflush",    "movnti",     "maskmovq",   "movntq",     "prefetchnta",
      "prefetcht0", "prefetcht1", "prefetcht2", "vzeroupper", "vzeroall"};
  static const std::regex kPackedOrScalar(R"(^[a-eg-z][a-z0-9]*(ps|pd|ss|sd)$)");
  static const std::regex kVectorOperand(R"(%[xyz]?mm\d)");
  std::istringstream words(instruction);
  std::string mnemonic;
  while (words >> mnemonic && kPrefixes.count(mnemonic)) {
  }
  std::string operands;
  std::getline(words, operands);
  operands.erase(0, operands.find_first_not_of(' '));
  auto starts = [&](const char* head) { return mnemonic.rfind(head, 0) == 0; };

  if (starts("cmov")) return kCmov;
  if (starts("fcmov")) return kFcmov;
  if (mnemonic == "fcomi" || mnemonic == "fcomip" || mnemonic == "fucomi" ||
      mnemonic == "fucomip") {
    return kFcomi;
  }
  if (mnemonic == "nopw" || mnemonic == "nopl" || (mnemonic == "nop" && !operands.empty())) {
    return kLongNop;
  }
  if (mnemonic == "sysenter" || mnemonic == "sysexit") return kSysenter;
  if (starts("fxsave") || starts("fxrstor")) return kFxsave;
  if (mnemonic == "rdpmc") return kRdpmc;
  if (kSseOnly.count(mnemonic) || starts("fisttp") ||
      (mnemonic != "lss" && std::regex_match(mnemonic, kPackedOrScalar))) {
    return kSse;
  }
  if (mnemonic == "emms" || mnemonic == "femms" || std::regex_search(operands, kVectorOperand)) {
    return kVectorRegister;
  }
  return kCategories;
}

struct Finding {
  int count = 0;
  std::vector<std::string> firstAddresses;
};
using Findings = std::array<Finding, kCategories>;

// Reads "  401000:\t0f 47 c2\tcmova  %edx,%eax" lines; lines that only carry
// the rest of a long instruction's bytes have no third field.
Findings AuditDisassembly(const std::vector<std::string>& lines) {
  static const std::regex kInstruction(R"(^\s*([0-9a-fA-F]+):\t[^\t]*\t(.+)$)");
  Findings findings;
  for (const std::string& line : lines) {
    std::smatch match;
    if (!std::regex_match(line, match, kInstruction)) continue;
    const Category category = Classify(match[2]);
    if (category == kCategories) continue;
    Finding& finding = findings[category];
    if (++finding.count <= 3) finding.firstAddresses.push_back(match[1]);
  }
  return findings;
}

std::string Describe(const Findings& findings) {
  std::string text;
  for (int c = 0; c < kCategories; ++c) {
    if (findings[c].count == 0) continue;
    text += "\n  " + std::string(kCategoryNames[c]) + ": " + std::to_string(findings[c].count) +
            " (first at " + Join(findings[c].firstAddresses) + ")";
  }
  return text;
}

// ---- The images ----

std::string ImagePath(const char* folder, const std::string& image, const char* preset) {
  const std::string path = std::string(folder) + "/" + image;
  if (!fs::is_regular_file(path)) {
    ADD_FAILURE() << path << " is missing: build the " << preset << " preset first (cmake --preset "
                  << preset << " && cmake --build --preset " << preset << ")";
    return "";
  }
  return path;
}

std::string ParamName(const testing::TestParamInfo<std::string>& info) {
  std::string name = info.param;
  std::replace(name.begin(), name.end(), '.', '_');
  return name;
}

class Win32Image : public testing::TestWithParam<std::string> {};
class Win64Image : public testing::TestWithParam<std::string> {};

TEST_P(Win32Image, ImportsOnlyReviewedWindows95EntryPoints) {
  const std::string file = ImagePath(MDM_WIN32_BIN_DIR, GetParam(), "win32");
  if (file.empty()) return;
  ExpectReviewedImports(file, ParseHeaders(Objdump(MDM_I686_OBJDUMP, "-p", file)));
}

TEST_P(Win32Image, IsPE32ForWindows95) {
  const std::string file = ImagePath(MDM_WIN32_BIN_DIR, GetParam(), "win32");
  if (file.empty()) return;
  const Headers headers = ParseHeaders(Objdump(MDM_I686_OBJDUMP, "-p", file));
  EXPECT_NE(headers.format.find("pei-i386"), std::string::npos) << file << ": " << headers.format;
  // Windows 95 refuses an image that asks for a later subsystem or OS version.
  for (const char* field : {"Magic 010b", "MajorSubsystemVersion 4", "MinorSubsystemVersion 0",
                            "MajorOSystemVersion 4", "MinorOSystemVersion 0"}) {
    EXPECT_NE(headers.fields.find(std::string(field) + "\n"), std::string::npos)
        << file << " lacks " << field << ":\n"
        << headers.fields;
  }
}

TEST_P(Win32Image, RunsOnAP5Pentium) {
  const std::string file = ImagePath(MDM_WIN32_BIN_DIR, GetParam(), "win32");
  if (file.empty()) return;
  const std::vector<std::string> sections = CodeSections(Objdump(MDM_I686_OBJDUMP, "-h", file));
  ASSERT_FALSE(sections.empty()) << file << ": no executable section found";
  std::string options = "-d";
  for (const std::string& section : sections) options += " -j '" + section + "'";
  const Findings findings = AuditDisassembly(Objdump(MDM_I686_OBJDUMP, options, file));
  int total = 0;
  for (const Finding& finding : findings) total += finding.count;
  EXPECT_EQ(total, 0) << file << ": " << total << " instructions a P5 Pentium lacks in "
                      << Join(sections) << ":" << Describe(findings);
}

TEST_P(Win32Image, FitsIn64KiB) {
  const std::string file = ImagePath(MDM_WIN32_BIN_DIR, GetParam(), "win32");
  if (file.empty()) return;
  const std::uintmax_t size = fs::file_size(file);
  // The figure, for the README and the size audit of each change.
  std::cout << file << ": " << size << " bytes" << std::endl;
  RecordProperty("bytes", std::to_string(size));
  EXPECT_LE(size, kMaxWin32ImageBytes) << file << " is " << size << " bytes on disk";
}

TEST_P(Win64Image, IsPE32PlusWithReviewedImports) {
  const std::string file = ImagePath(MDM_WIN64_BIN_DIR, GetParam(), "win64");
  if (file.empty()) return;
  const Headers headers = ParseHeaders(Objdump(MDM_X86_64_OBJDUMP, "-p", file));
  EXPECT_NE(headers.format.find("pei-x86-64"), std::string::npos) << file << ": " << headers.format;
  EXPECT_NE(headers.fields.find("Magic 020b\n"), std::string::npos) << file << ":\n"
                                                                    << headers.fields;
  ExpectReviewedImports(file, headers);
}

const auto kDeliverables = testing::Values("mdmclean.exe", "HVLIB32.dll");
INSTANTIATE_TEST_SUITE_P(Deliverables, Win32Image, kDeliverables, ParamName);
INSTANTIATE_TEST_SUITE_P(Deliverables, Win64Image, kDeliverables, ParamName);

// ---- The list and the readers themselves: a reader that misses a finding
// would pass every image ----

TEST(Windows95ImportList, NamesOnlyAnsiEntryPointsOfTheThreeSystemDlls) {
  const ListFile list = LoadAllowList();
  EXPECT_TRUE(list.problems.empty()) << MDM_WINDOWS95_IMPORTS << ":\n" << Join(list.problems, "\n");
  EXPECT_EQ(list.allowed.size(), 3u);
  EXPECT_TRUE(IsWideEntryPoint("CreateFileW"));
  EXPECT_FALSE(IsWideEntryPoint("FindWindowA"));
  EXPECT_FALSE(IsWideEntryPoint("MultiByteToWideChar"));
}

TEST(ObjdumpReading, ImportTableByNameAndByOrdinal) {
  const Headers headers =
      ParseHeaders(Lines("Magic\t\t\t010b\t(PE32)\n"
                         "\tDLL Name: KERNEL32.dll\n"
                         "\tvma:  Hint/Ord Member-Name Bound-To\n"
                         "\t423a8\t  136  CloseHandle\n"
                         "\n"
                         " 00042028\t00042128 00000000 00000000 00042938 00042280\n"
                         "\n"
                         "\tDLL Name: foo.dll\n"
                         "\tvma:  Hint/Ord Member-Name Bound-To\n"
                         "\t80000005\t    5  <none>\n"
                         "\n"));
  EXPECT_EQ(headers.fields, "Magic 010b\n");
  ASSERT_EQ(headers.imports.size(), 2u);
  EXPECT_EQ(headers.imports[0].dll, "KERNEL32.dll");
  EXPECT_EQ(headers.imports[0].name, "CloseHandle");
  EXPECT_EQ(headers.imports[1].dll, "foo.dll");
  EXPECT_EQ(headers.imports[1].name, "");
  EXPECT_EQ(headers.imports[1].ordinal, "5");
}

TEST(ObjdumpReading, InstructionsAP5Lacks) {
  const Findings findings =
      AuditDisassembly(Lines("  40472c:\t0f 47 c2             \tcmova  %edx,%eax\n"
                             "  404730:\tda c1                \tfcmovb %st(1),%st\n"
                             "  404732:\tdf f1                \tfcomip %st(1),%st\n"
                             "  404734:\t66 2e 0f 1f 84 00 00 \tcs nopw 0x0(%eax,%eax,1)\n"
                             "  40473b:\t00 00 00 \n"
                             "  40473e:\t0f 34                \tsysenter\n"
                             "  404740:\t0f ae 00             \tfxsave (%eax)\n"
                             "  404743:\t0f 33                \trdpmc\n"
                             "  404745:\t0f 57 c0             \txorps  %xmm0,%xmm0\n"
                             "  404748:\t0f ae 18             \tstmxcsr (%eax)\n"
                             "  40474b:\t0f 6f c1             \tmovq   %mm1,%mm0\n"
                             "  40474e:\t0f 77                \temms\n"
                             // A P5 has all of these.
                             "  404750:\td9 1c 24             \tfstps  (%esp)\n"
                             "  404753:\tdf 1c 24             \tfistps (%esp)\n"
                             "  404756:\t0f b2 00             \tlss    (%eax),%eax\n"
                             "  404759:\t0f a2                \tcpuid\n"
                             "  40475b:\tf3 90                \tpause\n"
                             "  40475d:\t90                   \tnop\n"
                             "  40475e:\tf3 ab                \trep stos %eax,%es:(%edi)\n"));
  const std::array<int, kCategories> expected = {1, 1, 1, 1, 1, 1, 1, 2, 2};
  for (int c = 0; c < kCategories; ++c) {
    EXPECT_EQ(findings[c].count, expected[c]) << kCategoryNames[c];
  }
  EXPECT_EQ(findings[kCmov].firstAddresses, std::vector<std::string>{"40472c"});
}

}  // namespace
