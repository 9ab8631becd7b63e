#include "tests/safety/harness.h"

#include "hvlib32/exports.h"
#include "hvlib32/library_plan.h"
#include "mdmclean/run.h"
#include "tests/safety/snapshot.h"

namespace mdm::safety {

Outcome RunAndCheck(const GeneratedMachine& g, Deliverable who) {
  auto machine = g.model.Build();
  const Snapshot before = TakeSnapshot(*machine, g.model.Drives());
  Outcome outcome;
  outcome.expected = Expect(g, who);
  if (who == Deliverable::Program) {
    outcome.result = mdmclean::RunUninstall(*machine);
  } else {
    hvlib32::Uninstall(*machine);
  }
  outcome.problems = CheckRun(g, who, outcome.expected, before, *machine);
  if (outcome.result != outcome.expected.result) {
    outcome.problems.push_back("result " + std::to_string(outcome.result) + ", expected " +
                               std::to_string(outcome.expected.result));
  }
  return outcome;
}

std::string Report(const GeneratedMachine& g, Deliverable who,
                   const std::vector<std::string>& problems) {
  std::string text =
      "seed " + std::to_string(g.seed) + " (" + g.description + "), " + Name(who) + ":\n";
  for (const std::string& problem : problems) text += "  " + problem + "\n";
  return text + "repeat with MDM_SAFETY_SEED=" + std::to_string(g.seed);
}

}  // namespace mdm::safety
