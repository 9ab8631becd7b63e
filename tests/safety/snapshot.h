// The state of an emulated machine as bytes (every key's REGEDIT4 block,
// every file's content) and its comparison with what a run must leave.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "emulator/machine.h"
#include "tests/safety/expectation.h"
#include "tests/safety/generator.h"

namespace mdm::safety {

struct Snapshot {
  std::map<std::string, std::string> keys;  // folded path -> the key's exported block
  struct Entry {
    std::string path;                    // stored case
    std::optional<std::string> content;  // nullopt for a directory
  };
  std::map<std::string, Entry> files;  // folded path
};

Snapshot TakeSnapshot(const emu::Machine& machine, const std::set<char>& drives);

// Every difference between the machine after a run and the expectation, one
// line each; empty when the run did exactly what it must.
std::vector<std::string> CheckRun(const GeneratedMachine& generated, Deliverable deliverable,
                                  const Expectation& expected, const Snapshot& before,
                                  emu::Machine& after);

// Lines of a profile file's text other than the named key's line (and other
// than the section's header when `withHeader` is false): what a write of that
// key must leave as it was.
std::vector<std::string> LinesBesides(const std::optional<std::string>& text,
                                      const std::string& section, const std::string& key,
                                      bool withHeader);
// The same, without the line of each of `keys`.
std::vector<std::string> LinesBesides(const std::optional<std::string>& text,
                                      const std::string& section,
                                      const std::vector<std::string>& keys, bool withHeader);

}  // namespace mdm::safety
