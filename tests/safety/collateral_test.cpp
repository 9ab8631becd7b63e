// The collateral-damage property: on every generated machine each deliverable
// removes what the package owns as far as its rules reach, and leaves every
// other key, value, file and list entry byte for byte as it was.
//
// MDM_SAFETY_SEED=<n> repeats one machine; MDM_SAFETY_MACHINES=<n> (and
// MDM_SAFETY_FIRST_SEED=<n>) runs more of them than the default;
// MDM_SAFETY_REPORTS=<n> reports that many failing machines whole (5).
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "hvlib32/exports.h"
#include "hvlib32/library_plan.h"
#include "mdmclean/run.h"
#include "tests/safety/expectation.h"
#include "tests/safety/generator.h"
#include "tests/safety/harness.h"
#include "tests/safety/snapshot.h"

namespace mdm::safety {
namespace {

constexpr int kDefaultMachines = 500;

std::uint64_t EnvNumber(const char* name, std::uint64_t fallback) {
  const char* text = std::getenv(name);
  return text != nullptr && *text != '\0' ? std::strtoull(text, nullptr, 10) : fallback;
}

std::vector<std::uint64_t> Seeds() {
  if (std::getenv("MDM_SAFETY_SEED") != nullptr) return {EnvNumber("MDM_SAFETY_SEED", 1)};
  const std::uint64_t first = EnvNumber("MDM_SAFETY_FIRST_SEED", 1);
  const std::uint64_t count = EnvNumber("MDM_SAFETY_MACHINES", kDefaultMachines);
  std::vector<std::uint64_t> seeds;
  for (std::uint64_t i = 0; i < count; ++i) seeds.push_back(first + i);
  return seeds;
}

// Some problem names one of the items (folded).
bool Mentions(const std::vector<std::string>& problems, const std::vector<std::string>& items) {
  for (const std::string& problem : problems) {
    for (const std::string& item : items) {
      if (Folded(problem).find(item) != std::string::npos) return true;
    }
  }
  return false;
}

// Prints what a note can quote: machines, failures (by history), and what of
// the package stayed, by why, for each deliverable (runs with it, items).
TEST(CollateralDamage, EveryGeneratedMachineLosesOnlyThePackage) {
  int failing = 0;
  std::map<int, int> results;
  std::size_t programDeletions = 0;
  std::size_t libraryDeletions = 0;
  int kept[2] = {};  // keys kept for another device's mark, by deliverable
  // Machines; failures by deliverable, all and those on the history's own keys and files.
  std::map<std::string, std::array<int, 5>> histories;
  std::map<std::string, std::array<int, 4>> residues;  // runs and items by deliverable
  for (std::uint64_t seed : Seeds()) {
    const GeneratedMachine g = Generate(seed);
    bool failed = false;
    std::vector<GeneratedMachine::History> had = g.histories;
    if (had.empty()) had.push_back({"(none)", {}});
    for (const auto& history : had) ++histories[history.name][0];
    for (Deliverable who : {Deliverable::Program, Deliverable::Library}) {
      const Outcome outcome = RunAndCheck(g, who);
      const int w = who == Deliverable::Program ? 0 : 1;
      if (who == Deliverable::Program) ++results[outcome.result];
      (w == 0 ? programDeletions : libraryDeletions) +=
          outcome.expected.deletedKeys.size() + outcome.expected.deletedFiles.size();
      kept[w] += outcome.expected.keptForAnothersMark;
      std::set<std::string> reasons;
      for (const auto& [what, why] : outcome.expected.residues) {
        ++residues[why][2 + w];
        if (reasons.insert(why).second) ++residues[why][w];
      }
      if (outcome.problems.empty()) continue;
      for (const auto& history : had) {
        ++histories[history.name][1 + w];
        histories[history.name][3 + w] += Mentions(outcome.problems, history.items) ? 1 : 0;
      }
      if (failing < static_cast<int>(EnvNumber("MDM_SAFETY_REPORTS", 5)))
        ADD_FAILURE() << Report(g, who, outcome.problems);
      failed = true;
    }
    failing += failed ? 1 : 0;
  }
  std::printf(
      "%zu machines, seeds %llu to %llu: %d failing; mdmclean results 0: %d, 1: %d, 2: %d; "
      "keys kept for another device's mark: mdmclean %d, HVLIB32 %d\n",
      Seeds().size(), static_cast<unsigned long long>(Seeds().front()),
      static_cast<unsigned long long>(Seeds().back()), failing, results[0], results[1], results[2],
      kept[0], kept[1]);
  std::printf(
      "histories: machines, failing runs of mdmclean / HVLIB32 (on its own keys and files)\n");
  for (const auto& [history, n] : histories)
    std::printf("  %-34s %6d  %5d (%5d) / %5d (%5d)\n", history.c_str(), n[0], n[1], n[3], n[2],
                n[4]);
  std::printf("residues: runs (items) of mdmclean / HVLIB32\n");
  for (const auto& [why, n] : residues)
    std::printf("  %-96s %6d (%d) / %6d (%d)\n", why.empty() ? "(NO REASON)" : why.c_str(), n[0],
                n[2], n[1], n[3]);
  EXPECT_EQ(failing, 0);
  if (Seeds().size() >= 100) {
    // The generator must reach every kind of machine, or the property says little.
    EXPECT_GT(results[0], 0);
    EXPECT_GT(results[1], 0);
    EXPECT_GT(results[2], 0);
    EXPECT_GT(programDeletions, Seeds().size());
    EXPECT_GT(libraryDeletions, Seeds().size());
    // And the records of the package must lead to others' keys now and then.
    EXPECT_GT(kept[0], 0);
    EXPECT_GT(kept[1], 0);
  }
}

// The comparison itself must notice damage, or a passing property means nothing.
TEST(CollateralDamage, TheCheckNoticesALostBystanderAndAnUntouchedPackage) {
  GeneratedMachine g = Generate(7);
  auto machine = g.model.Build();
  const Snapshot before = TakeSnapshot(*machine, g.model.Drives());
  Expectation expected = Expect(g, Deliverable::Library);
  hvlib32::Uninstall(*machine);
  ASSERT_EQ(CheckRun(g, Deliverable::Library, expected, before, *machine),
            std::vector<std::string>{});

  machine->RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion");
  machine->DeleteFileA((g.model.settings.systemDirectory + "\\TASKMON.EXE").c_str());
  expected.deletedKeys.insert("enum\\isapnp\\ctl0031");  // pretend it had to go
  const std::vector<std::string> problems =
      CheckRun(g, Deliverable::Library, expected, before, *machine);
  auto mentions = [&](const std::string& text) {
    for (const std::string& problem : problems) {
      if (problem.find(text) != std::string::npos) return true;
    }
    return false;
  };
  EXPECT_TRUE(mentions(
      "collateral damage: bystander key lost: SOFTWARE\\Microsoft\\Windows\\CurrentVersion"));
  EXPECT_TRUE(mentions("TASKMON.EXE"));
  EXPECT_TRUE(mentions("key should be deleted: enum\\isapnp\\ctl0031"));
}

// Names wider than fixed-size fields would hold (a modem name of more than
// 36 characters for the device keys, more than 248 for the INF description
// key) are held whole: the package goes, nothing else does. The root device's
// class differs from the modem's name here, so that branch stays.
TEST(CollateralDamage, LongPackageNamesAreHeldWhole) {
  for (std::size_t length : {37u, 60u, 200u, 240u}) {
    PackageNames names;
    names.modem = "QN" + std::string(length - 2, 'M');
    names.voice = "QV" + std::string(20, 'V');
    names.vendor = "QRM";
    names.rootClass = "QN" + std::string(30, 'C');
    names.pnpIds = {"QRM3001", "QRM3003"};
    names.loadProgram = "QNLONG.EXE";
    for (std::uint64_t seed = 1; seed <= 8; ++seed) {
      Variation variation;
      variation.fullPackage = seed % 2 == 0;
      variation.names = names;
      const GeneratedMachine g = Generate(seed, variation);
      for (Deliverable who : {Deliverable::Program, Deliverable::Library}) {
        const Outcome outcome = RunAndCheck(g, who);
        EXPECT_TRUE(outcome.problems.empty()) << "modem name of " << length << " characters\n"
                                              << Report(g, who, outcome.problems);
      }
    }
  }
}

TEST(CollateralDamage, TheGeneratorRepeatsAMachineFromItsSeed) {
  const GeneratedMachine a = Generate(42);
  const GeneratedMachine b = Generate(42);
  EXPECT_EQ(a.model.Build()->ExportRegistry(), b.model.Build()->ExportRegistry());
  EXPECT_EQ(a.config.text, b.config.text);
  EXPECT_EQ(a.load.Value(), b.load.Value());
}

}  // namespace
}  // namespace mdm::safety
