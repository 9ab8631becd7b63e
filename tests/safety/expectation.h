// What a run of each deliverable must leave on a generated machine, worked out
// from the generator's own record of the machine and the rules of each stage,
// never by running the code under test.
#pragma once

#include <optional>
#include <set>
#include <string>

#include "tests/safety/generator.h"

namespace mdm::safety {

enum class Deliverable { Program, Library };

const char* Name(Deliverable deliverable);

struct Expectation {
  int result = -1;  // mdmclean's result code; -1 for the library
  bool resultWritten = false;  // mdminfo.ini holds the result afterwards
  std::set<std::string> deletedKeys;          // folded paths, each with its subtree
  std::set<std::string> deletedFiles;         // folded full paths
  std::set<std::string> removedDirectories;   // folded full paths
  // The values the list lines are written back with; nullopt: not written.
  std::optional<std::string> loadLine;
  std::optional<std::string> driversLine;
  int messages = 0;  // notifications of the NVRAM window
};

Expectation Expect(const GeneratedMachine& machine, Deliverable deliverable);

// The cut of one entry out of a list line: both upper-cased, the first whole
// entry it stands for (or the full path it ends) removed with the one
// character after it; occurrences inside other entries are passed over.
std::string CutListEntry(const std::string& line, const std::string& entry);

}  // namespace mdm::safety
