// The runtime of the Windows images, run under Wine: tools/runtime-probe
// checks it from inside and prints a line per finding.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "tests/wine/wine_prefix.h"
#include "tests/wine_mdmclean/wine_machine.h"

namespace mdm::wine {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::vector<std::string> Failures(const std::vector<std::string>& lines) {
  std::vector<std::string> failures;
  for (const std::string& line : lines) {
    if (line.rfind("ok ", 0) != 0 && line.rfind("exit: ", 0) != 0 && line != "main done") {
      failures.push_back(line);
    }
  }
  return failures;
}

// The probe's lines after "main done": what ran after main returned.
std::vector<std::string> AfterMain(const std::vector<std::string>& lines) {
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i] == "main done") return {lines.begin() + i + 1, lines.end()};
  }
  return {};
}

RunResult RunProbe(WinePrefix& prefix, const std::string& mode) {
  const std::string probe = Win64Exe("runtime-probe.exe");
  EXPECT_TRUE(FileExistsOnHost(probe)) << probe << " is missing: build the win64 preset first";
  return prefix.Run(probe, {mode}, kSetupDir);
}

TEST(RuntimeUnderWine, StartsRunsExitHandlersInReverseAndGuardsCalls) {
  MDM_REQUIRE_WINE();
  WinePrefix prefix;
  const RunResult run = RunProbe(prefix, "runtime");
  const std::vector<std::string> lines = Lines(run.out);
  EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
  EXPECT_THAT(Failures(lines), IsEmpty()) << run.out;
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const std::string& line) { return line.rfind("ok ", 0) == 0; }),
            8)
      << run.out;
  EXPECT_THAT(AfterMain(lines), ElementsAre("exit: atexit handler", "exit: static object 2",
                                            "exit: static object 1"));
}

// Each deliverable's work, ended at every allocation: the export reports
// ERROR_NOT_ENOUGH_MEMORY, mdmclean leaves no result, nothing stays open,
// and the calling program lives on until a budget lets the work complete.
TEST(RuntimeUnderWine, WorkEndedAtEveryAllocationLeavesNothingOpen) {
  MDM_REQUIRE_WINE();
  for (const char* mode : {"exports", "program"}) {
    WinePrefix prefix;
    LayDownSampleMachine(prefix, "", true);
    const RunResult run = RunProbe(prefix, mode);
    EXPECT_EQ(run.exitCode, 0) << mode << run.err;
    EXPECT_THAT(Failures(Lines(run.out)), IsEmpty()) << mode << "\n" << run.out;
    EXPECT_THAT(run.out, HasSubstr("completed with a budget")) << mode;
  }
}

}  // namespace
}  // namespace mdm::wine
