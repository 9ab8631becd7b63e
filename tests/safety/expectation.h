// What a run of each deliverable must leave on a generated machine, worked out
// from the generator's own record of the machine and the rules of each stage,
// never by running the code under test.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "tests/safety/generator.h"

namespace mdm::safety {

enum class Deliverable { Program, Library };

const char* Name(Deliverable deliverable);

struct Expectation {
  int result = -1;             // mdmclean's result code; -1 for the library
  bool resultWritten = false;  // mdminfo.ini holds the result afterwards
  // The package's things the run went for and could not remove, each once:
  // mdmclean writes their number beside its result.
  int remaining = 0;
  std::set<std::string> deletedKeys;         // folded paths, each with its subtree
  std::set<std::string> deletedFiles;        // folded full paths
  std::set<std::string> removedDirectories;  // folded full paths
  // The values the list lines are written back with; nullopt: not written.
  std::optional<std::string> loadLine;
  std::optional<std::string> driversLine;
  int messages = 0;  // notifications of the NVRAM window
  // Records followed and keys reached that were kept because they carry the
  // mark of another device: how often the run met others' keys.
  int keptForAnothersMark = 0;
  // What of the package is left after the run, each with why the rules keep
  // it ("a read-only file", "an INF file named by another's class key, which
  // stays" ...); an empty reason: nothing in the rules keeps it.
  std::map<std::string, std::string> residues;
};

Expectation Expect(const GeneratedMachine& machine, Deliverable deliverable);

// The cut of one entry out of a list line: every entry of the line that it
// stands for, letters compared case-blind (the entry itself, or a full path
// that it ends after a backslash; a long name in quotes counts by what is
// between its quotes), goes whole with its quotes and the one character after
// it. Everything else keeps its exact text.
std::string CutListEntry(const std::string& line, const std::string& entry);

// The entries of a list line as written: runs between blanks, tabs and
// commas, a long name in double quotes being one entry with its quotes.
std::vector<std::string> ListEntries(const std::string& line);

// The entries of a list line as a run reads them from the text after "=":
// a value wholly in quotes is read without them.
std::vector<std::string> ReadListEntries(const std::string& fileText);

}  // namespace mdm::safety
