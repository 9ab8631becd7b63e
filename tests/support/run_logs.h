// A run's own change log and undo files in the Windows directory
// (MDMCLEAN.LOG and .REG, HVLIB32.LOG and .REG, and the earlier undo files
// MDMCLEA1.REG to MDMCLEA9.REG, HVLIB321.REG to HVLIB329.REG): tests that
// check what a run changed on the machine leave them out, and read them where
// they test them.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "core/record/change_log.h"
#include "emulator/machine.h"

namespace mdm::test {

inline bool IsRunLogFile(const std::string& path) {
  std::string name = path.substr(path.find_last_of('\\') + 1);
  for (char& c : name) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  for (const char* own : {"MDMCLEAN.LOG", "MDMCLEAN.REG", "HVLIB32.LOG", "HVLIB32.REG"}) {
    if (name == own) return true;
  }
  for (const char* stem : {"MDMCLEA", "HVLIB32"}) {
    if (name.size() == 12 && name.compare(0, 7, stem) == 0 && name[7] >= '1' && name[7] <= '9' &&
        name.compare(8, 4, ".REG") == 0) {
      return true;
    }
  }
  return false;
}

inline std::vector<emu::JournalEntry> WithoutRunLogs(
    const std::vector<emu::JournalEntry>& journal) {
  using Kind = emu::JournalEntry::Kind;
  std::vector<emu::JournalEntry> changes;
  std::copy_if(journal.begin(), journal.end(), std::back_inserter(changes),
               [](const emu::JournalEntry& entry) {
                 const bool fileChange = entry.kind == Kind::FileWritten ||
                                         entry.kind == Kind::FileMoved ||
                                         entry.kind == Kind::FileDeleted;
                 return !fileChange || !IsRunLogFile(entry.subject);
               });
  return changes;
}

// A change log that keeps its lines, for tests that check what a stage told.
class LogLines final : public ChangeLog {
 public:
  using ChangeLog::Line;
  void Line(const std::string& text) override { lines.push_back(text); }
  bool KeepForUndo(const std::string&, std::string&) override { return true; }
  bool KeepValueForUndo(const std::string&, const std::string&, std::string&) override {
    return true;
  }
  bool Has(const std::string& line) const {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
  std::vector<std::string> lines;
};

}  // namespace mdm::test
