// The emulated machine against wine64: the same conformance program, compiled
// for both, must print the same lines in Windows 95 mode and in the NT mode,
// except the differences listed and explained in expected_differences.txt.
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "tests/conformance/line_diff.h"
#include "tests/wine/wine_prefix.h"

namespace mdm::conformance {
namespace {

const char* const kRoot = "C:\\mdmconf";

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void Spill(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// The host program's output; `version` ("5.1.2600") selects the NT mode.
std::string RunOnEmulator(const std::string& version, const char* name) {
  const std::string out = std::string(MDM_CONFORMANCE_OUT) + "/" + name;
  const std::string command = std::string("'") + MDM_HOST_CONFORMANCE + "' '" + kRoot + "' " +
                              version + " > '" + out + "' 2> '" + out + ".err'";
  EXPECT_EQ(std::system(command.c_str()), 0) << Slurp(out + ".err");
  return Slurp(out);
}

std::string RunUnderWine(const std::string& exe, const std::string& version, const char* name) {
  wine::WinePrefix prefix;
  if (!version.empty()) {
    prefix.Run("reg", {"add", "HKCU\\Software\\Wine", "/v", "Version", "/d", version, "/f"});
  }
  wine::RunResult result = prefix.Run(exe, {kRoot}, "C:\\");
  EXPECT_EQ(result.exitCode, 0) << result.err;
  Spill(std::string(MDM_CONFORMANCE_OUT) + "/" + name, result.out);
  return result.out;
}

// Every line that differs must be a difference expected_differences.txt
// explains; one file serves both modes.
void ExpectOnlyExplainedDifferences(const std::string& host, const std::string& wine) {
  std::string error;
  auto expected = ParseExpectedDifferences(Slurp(MDM_EXPECTED_DIFFERENCES), &error);
  ASSERT_EQ(error, "") << MDM_EXPECTED_DIFFERENCES;
  ASSERT_FALSE(host.empty());
  ASSERT_FALSE(wine.empty());

  std::set<std::size_t> used;
  for (const LineDifference& difference : DiffLines(SplitLines(host), SplitLines(wine))) {
    bool explained = false;
    for (std::size_t i = 0; i < expected.size(); ++i) {
      if (expected[i].line == difference) {
        explained = true;
        used.insert(i);
      }
    }
    EXPECT_TRUE(explained) << "unexplained difference ('-' emulator, '+' Wine):\n"
                           << difference.side << " " << difference.text;
  }
  // An entry that does not occur is kept out of the way, not failed: it may
  // belong to the other mode, or the emulator may have come to follow Wine.
  for (std::size_t i = 0; i < expected.size(); ++i) {
    if (used.count(i) == 0) {
      std::cout << "note: expected difference not seen: " << expected[i].line.side << " "
                << expected[i].line.text << "\n";
    }
  }
}

TEST(PlatformConformance, EmulatorPrintsWhatWineInWindows95ModePrints) {
  MDM_REQUIRE_WINE();
  MDM_REQUIRE_WIN64_EXE(exe, "conformance.exe");
  ExpectOnlyExplainedDifferences(RunOnEmulator("", "conformance-host.txt"),
                                 RunUnderWine(exe, "", "conformance-wine.txt"));
}

// The NT mode against Wine acting as Windows XP. On the NT family
// RegDeleteKeyA refuses a key with subkeys; the real platform must still
// remove the whole subtree there.
TEST(PlatformConformance, EmulatorsNtModePrintsWhatWineInNtModePrints) {
  MDM_REQUIRE_WINE();
  MDM_REQUIRE_WIN64_EXE(exe, "conformance.exe");
  const std::string wine = RunUnderWine(exe, "winxp", "conformance-wine-winxp.txt");
  ExpectOnlyExplainedDifferences(RunOnEmulator("5.1.2600", "conformance-host-nt.txt"), wine);
  auto lines = SplitLines(wine);
  auto has = [&](const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  };
  EXPECT_TRUE(
      has("sys.version size=148 ok=1 major=5 minor=1 build-low=2600 build-high=0x0 "
          "platform=2 csd=\"Service Pack 3\""));
  EXPECT_TRUE(has("reg.delete subtree rc=0"));
  EXPECT_TRUE(has("reg.open deleted-subtree rc=2"));
  EXPECT_TRUE(has("reg.open deleted-leaf rc=2"));
  EXPECT_TRUE(has("reg.delete root rc=0"));
  EXPECT_TRUE(has("reg.open deleted-root rc=2"));
}

}  // namespace
}  // namespace mdm::conformance
