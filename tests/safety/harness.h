// One run of a deliverable on a generated machine, checked against its
// expectation: the piece every safety test shares.
#pragma once

#include <string>
#include <vector>

#include "tests/safety/expectation.h"
#include "tests/safety/generator.h"

namespace mdm::safety {

struct Outcome {
  Expectation expected;
  std::vector<std::string> problems;  // empty: the run did exactly what it must
  int result = -1;                    // mdmclean's result code
};

Outcome RunAndCheck(const GeneratedMachine& g, Deliverable who);

// The problems of a failed run, with the seed that repeats it.
std::string Report(const GeneratedMachine& g, Deliverable who,
                   const std::vector<std::string>& problems);

}  // namespace mdm::safety
