// The kit as the package target leaves it (build/win32/mdmclean-<version>-
// win32.zip): its files at the top level, its text files in CRLF, the header
// compiled as C89 and C++98 and linked with either import library, the
// Microsoft import library in COFF form, and the example configuration one
// that mdmclean accepts.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>
#include <string>

#include "core/package/version.h"
#include "tests/kit/kit_commands.h"
#include "tests/support/sample_outcome.h"

namespace mdm::kit {
namespace {

const std::set<std::string> kKitFiles = {"HVLIB32.dll", "HVLIB32.lib",  "README.TXT",
                                         "hvlib32.h",   "libhvlib32.a", "mdmclean.exe",
                                         "mdminfo.ini", "QNSETUP.NSI"};

// The ZIP unpacked once for every test here; Ok() is false when it could not be.
struct Kit {
  TempDir dir{"kit"};
  Command unpacked =
      Shell("cd '" + dir.Path().string() + "' && '" MDM_CMAKE "' -E tar xf '" MDM_KIT_ZIP "'",
            dir.Path());
  bool Ok() const { return unpacked.status == 0; }
  fs::path File(const std::string& name) const { return dir.Path() / name; }
};

const Kit& TheKit() {
  static const Kit kit;
  return kit;
}

#define MDM_REQUIRE_KIT()                                                              \
  ASSERT_TRUE(TheKit().Ok()) << MDM_KIT_ZIP << " does not unpack (make it with cmake " \
                             << "--build --preset win32 --target package): "           \
                             << TheKit().unpacked.output

bool IsCrlfText(const std::string& text) {
  if (text.empty() || text.find('\n') == std::string::npos) return false;
  for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1)) {
    if (at == 0 || text[at - 1] != '\r') return false;
  }
  return true;
}

// The names and hints objdump -p shows for the imports from HVLIB32.dll.
std::map<std::string, int> HvlibImports(const std::string& dump) {
  std::map<std::string, int> imports;
  std::istringstream lines(dump);
  std::string line;
  bool inBlock = false;
  while (std::getline(lines, line)) {
    if (line.find("DLL Name:") != std::string::npos) {
      inBlock = line.find("DLL Name: HVLIB32.dll") != std::string::npos;
      continue;
    }
    std::istringstream words(line);
    std::string vma, hint, name;
    if (!(words >> vma >> hint >> name)) {
      if (line.find_first_not_of(" \t") == std::string::npos) inBlock = false;
      continue;
    }
    if (inBlock && vma != "vma:") imports[name] = std::stoi(hint);
  }
  return imports;
}

TEST(KitPackage, HoldsEveryFileAtItsTopLevelAndTextInCrlf) {
  MDM_REQUIRE_KIT();
  const Command listing = Shell("'" MDM_CMAKE "' -E tar tf '" MDM_KIT_ZIP "'", TheKit().dir.Path());
  ASSERT_EQ(listing.status, 0) << listing.output;
  std::set<std::string> names;
  std::istringstream lines(listing.output);
  for (std::string name; std::getline(lines, name);) names.insert(name);
  EXPECT_EQ(names, kKitFiles);

  for (const char* text : {"README.TXT", "mdminfo.ini", "hvlib32.h", "QNSETUP.NSI"}) {
    EXPECT_TRUE(IsCrlfText(Slurp(TheKit().File(text)))) << text << " is not CRLF text";
  }
  // The version comes from the one place it is stated.
  for (const char* text : {"README.TXT", "mdminfo.ini", "QNSETUP.NSI"}) {
    EXPECT_NE(Slurp(TheKit().File(text)).find(MDM_VERSION_TEXT), std::string::npos) << text;
  }
}

// The example is a configuration the program takes: on the sample machine it
// finds the package and removes it.
TEST(KitPackage, ExampleConfigurationRemovesThePackageFromTheSampleMachine) {
  MDM_REQUIRE_KIT();
  TempDir machine("kit-machine");
  fs::copy(MDM_SAMPLE_MACHINE, machine.Path(), fs::copy_options::recursive);
  const fs::path setup = machine.Path() / "drive_c" / "QNSETUP";
  fs::copy_file(TheKit().File("mdminfo.ini"), setup / "mdminfo.ini",
                fs::copy_options::overwrite_existing);
  TempDir before("kit-machine-before");
  fs::copy(machine.Path(), before.Path(), fs::copy_options::recursive);
  const Command run = Shell("cd '" + setup.string() + "' && MDM_MACHINE='" +
                                machine.Path().string() + "' '" MDMCLEAN_HOST "'",
                            machine.Path());
  EXPECT_EQ(run.status, 0) << run.output;
  test::ExpectSampleOutcome(before.Path().string(),
                            *emu::Machine::LoadImage(machine.Path().string()),
                            test::Deliverable::Program);
}

TEST(KitHeader, CompilesAsC89AndCxx98AndLinksWithEitherImportLibrary) {
  MDM_REQUIRE_KIT();
  const std::map<std::string, int> expected = {
      {"ChangeW95SerialNumber", 1}, {"GetBaseAddr95", 2}, {"Uninstall", 3}};
  struct Language {
    const char* compiler;
    const char* flags;
  };
  for (const Language& language :
       {Language{MDM_I686_GCC, "-x c -std=c89"}, Language{MDM_I686_GXX, "-x c++ -std=c++98"}}) {
    for (const char* library : {"libhvlib32.a", "HVLIB32.lib"}) {
      SCOPED_TRACE(std::string(language.flags) + " with " + library);
      const fs::path exe = TheKit().dir.Path() / "kit_client.exe";
      const Command build = BuildClient(language.compiler, language.flags, TheKit().dir.Path(),
                                        TheKit().File(library), exe, TheKit().dir.Path());
      ASSERT_EQ(build.status, 0) << build.output;
      const Command dump =
          Shell("'" MDM_I686_OBJDUMP "' -p '" + exe.string() + "'", TheKit().dir.Path());
      // Plain names, and the ordinals of the .def as the loader's hints.
      EXPECT_EQ(HvlibImports(dump.output), expected) << dump.output;
      fs::remove(exe);
    }
  }
}

// Microsoft's linker reads import libraries in the COFF short-import form:
// each member names the decorated symbol a stdcall caller refers to and has
// the import name made from it by dropping the "_" and the "@n".
TEST(KitImportLibraries, MicrosoftLibraryHoldsDecoratedSymbolsOfPlainImports) {
  MDM_REQUIRE_KIT();
  const Command read =
      Shell("'" MDM_LLVM_READOBJ "' --coff-imports '" + TheKit().File("HVLIB32.lib").string() + "'",
            TheKit().dir.Path());
  ASSERT_EQ(read.status, 0) << read.output;
  EXPECT_NE(read.output.find("Arch: i386"), std::string::npos) << read.output;
  for (const char* symbol : {"_ChangeW95SerialNumber@8", "_GetBaseAddr95@4", "_Uninstall@0"}) {
    const std::string entry = std::string("Format: COFF-import-file\nType: code\n") +
                              "Name type: undecorate\nSymbol: __imp_" + symbol +
                              "\nSymbol: " + symbol + "\n";
    EXPECT_NE(read.output.find(entry), std::string::npos) << symbol << " in\n" << read.output;
  }
}

// A reader that took any text for CRLF would pass every file.
TEST(KitTestReaders, CrlfTextHasNoBareLineFeed) {
  EXPECT_TRUE(IsCrlfText("a\r\nb\r\n"));
  EXPECT_FALSE(IsCrlfText("a\r\nb\n"));
  EXPECT_FALSE(IsCrlfText("\nb"));
  EXPECT_FALSE(IsCrlfText("no line end"));
}

}  // namespace
}  // namespace mdm::kit
