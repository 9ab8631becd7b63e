// Runs that converge: whatever call a run of either deliverable or of the
// serial move stopped after, one more whole run ends where one uninterrupted
// run ends, tells the truth, and the undo files give back every key; and
// whatever single call fails, nothing goes without its undo, nothing else
// changes and what stayed is told.
//
// Generated machines: MDM_SWEEP_MACHINES=<n> (default 200) and
// MDM_SWEEP_FIRST_SEED=<n>; MDM_SAFETY_SEED=<n> repeats one.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "tests/safety/generator.h"
#include "tests/safety/sweep.h"

namespace mdm::safety {
namespace {

std::uint64_t EnvNumber(const char* name, std::uint64_t fallback) {
  const char* text = std::getenv(name);
  return text != nullptr && *text != '\0' ? std::strtoull(text, nullptr, 10) : fallback;
}

SweptMachine Sample() {
  SweptMachine m;
  m.description = "the sample machine";
  m.make = [] { return emu::Machine::LoadImage(MDM_SAMPLE_MACHINE); };
  m.drives = {'C'};
  return m;
}

SweptMachine FromSeed(std::uint64_t seed) {
  auto g = std::make_shared<GeneratedMachine>(Generate(seed));
  SweptMachine m;
  m.description = "seed " + std::to_string(seed) + " (" + g->description + ")";
  m.make = [g] { return g->model.Build(); };
  m.drives = g->model.Drives();
  // The serial the package's card was installed under, when it has one.
  for (const auto& [folded, key] : g->model.Keys()) {
    const std::string prefix = "enum\\isapnp\\qrm1001\\";
    if (folded.compare(0, prefix.size(), prefix) == 0 &&
        folded.find('\\', prefix.size()) == std::string::npos) {
      m.oldSerial = key.path.substr(prefix.size());
      break;
    }
  }
  return m;
}

std::vector<SweptMachine> GeneratedMachines() {
  if (std::getenv("MDM_SAFETY_SEED") != nullptr) return {FromSeed(EnvNumber("MDM_SAFETY_SEED", 1))};
  const std::uint64_t first = EnvNumber("MDM_SWEEP_FIRST_SEED", 1);
  std::vector<SweptMachine> machines;
  for (std::uint64_t i = 0; i < EnvNumber("MDM_SWEEP_MACHINES", 200); ++i)
    machines.push_back(FromSeed(first + i));
  return machines;
}

void Expect(const SweepFigures& figures, const char* what) {
  const std::size_t shown = EnvNumber("MDM_SWEEP_SHOW", 10);
  for (std::size_t i = 0; i < figures.problems.size() && i < shown; ++i)
    ADD_FAILURE() << figures.problems[i];
  if (figures.problems.size() > shown)
    ADD_FAILURE() << figures.problems.size() << " problems in all";
  std::printf("%s: %zu points, %zu machines left by a stop, %zu converge\n", what, figures.points,
              figures.states, figures.converged);
}

class StopSweep : public testing::TestWithParam<Work> {};

TEST_P(StopSweep, OnTheSampleMachineEveryStopIsFinishedByTheNextRun) {
  const SweepFigures figures = safety::StopSweep(Sample(), GetParam());
  EXPECT_EQ(figures.converged, figures.points);
  Expect(figures, Name(GetParam()));
}

TEST_P(StopSweep, OnGeneratedMachinesEveryStopIsFinishedByTheNextRun) {
  SweepFigures all;
  std::size_t machines = 0;
  for (const SweptMachine& m : GeneratedMachines()) {
    const SweepFigures figures = safety::StopSweep(m, GetParam());
    all.points += figures.points;
    all.states += figures.states;
    all.converged += figures.converged;
    all.problems.insert(all.problems.end(), figures.problems.begin(), figures.problems.end());
    ++machines;
    if (all.problems.size() >= 10) break;
  }
  EXPECT_EQ(all.converged, all.points);
  Expect(all,
         (std::string(Name(GetParam())) + " on " + std::to_string(machines) + " generated machines")
             .c_str());
}

INSTANTIATE_TEST_SUITE_P(Runs, StopSweep,
                         testing::Values(Work::Program, Work::Library, Work::SerialMove),
                         [](const auto& info) { return std::string(Name(info.param)); });

class FaultSweep : public testing::TestWithParam<Work> {};

TEST_P(FaultSweep, NoKeyGoesWithoutItsUndoAndWhatStaysIsTold) {
  SweepFigures all;
  std::vector<SweptMachine> machines = {Sample()};
  for (std::uint64_t seed = 1; seed <= EnvNumber("MDM_FAULT_MACHINES", 20); ++seed)
    machines.push_back(FromSeed(seed));
  for (const SweptMachine& m : machines) {
    const SweepFigures figures = safety::FaultSweep(m, GetParam());
    all.points += figures.points;
    all.keysWithoutUndo += figures.keysWithoutUndo;
    all.untold += figures.untold;
    all.problems.insert(all.problems.end(), figures.problems.begin(), figures.problems.end());
  }
  EXPECT_EQ(all.keysWithoutUndo, 0u);
  EXPECT_EQ(all.untold, 0u);
  for (std::size_t i = 0; i < all.problems.size() && i < 10; ++i) ADD_FAILURE() << all.problems[i];
  std::printf(
      "%s: %zu faults tried on %zu machines; keys gone without undo: %zu; stayed untold: %zu\n",
      Name(GetParam()), all.points, machines.size(), all.keysWithoutUndo, all.untold);
}

INSTANTIATE_TEST_SUITE_P(Runs, FaultSweep,
                         testing::Values(Work::Program, Work::Library, Work::SerialMove),
                         [](const auto& info) { return std::string(Name(info.param)); });

}  // namespace
}  // namespace mdm::safety
