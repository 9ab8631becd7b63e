// The emulated Windows 95 machine against wine64 in Windows 95 mode: the same
// conformance program, compiled for both, must print the same lines, except
// the differences listed and explained in expected_differences.txt.
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

std::string RunOnEmulator() {
  const std::string out = std::string(MDM_CONFORMANCE_OUT) + "/conformance-host.txt";
  const std::string command = std::string("'") + MDM_HOST_CONFORMANCE + "' '" + kRoot + "' > '" +
                              out + "' 2> '" + out + ".err'";
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

TEST(PlatformConformance, EmulatorPrintsWhatWineInWindows95ModePrints) {
  MDM_REQUIRE_WINE();
  MDM_REQUIRE_WIN64_EXE(exe, "conformance.exe");
  std::string error;
  auto expected = ParseExpectedDifferences(Slurp(MDM_EXPECTED_DIFFERENCES), &error);
  ASSERT_EQ(error, "") << MDM_EXPECTED_DIFFERENCES;

  std::string host = RunOnEmulator();
  std::string wine = RunUnderWine(exe, "", "conformance-wine.txt");
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
  // An entry that no longer occurs is kept out of the way, not failed: the
  // emulator may have come to follow Wine where Windows 95 does the same.
  for (std::size_t i = 0; i < expected.size(); ++i) {
    if (used.count(i) == 0) {
      std::cout << "note: expected difference no longer seen: " << expected[i].line.side << " "
                << expected[i].line.text << "\n";
    }
  }
}

// On the NT family RegDeleteKeyA refuses a key with subkeys; the real platform
// must still remove the whole subtree there.
TEST(PlatformConformance, SubtreeDeleteAlsoWorksWhenWindowsActsAsNt) {
  MDM_REQUIRE_WINE();
  MDM_REQUIRE_WIN64_EXE(exe, "conformance.exe");
  auto lines = SplitLines(RunUnderWine(exe, "winxp", "conformance-wine-winxp.txt"));
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
