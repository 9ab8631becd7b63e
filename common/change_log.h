// What a run tells of its changes as it makes them: a line for each event,
// for the change log, and the keys and values it is about to remove or
// rewrite, for the undo file (common/run_log.h). A stage given no log uses
// NoChangeLog(), which keeps nothing. Writing a log never changes what a run
// does: a log that cannot be written drops what it is told.
#pragma once

#include <cstdint>
#include <string>

namespace mdm {

class ChangeLog {
 public:
  // One event, in the order the run meets them.
  virtual void Line(const std::string& text) = 0;
  // `keyPath` (below HKEY_LOCAL_MACHINE) with its whole subtree, just before
  // it is deleted.
  virtual void KeepForUndo(const std::string& keyPath) = 0;
  // One value of `keyPath` ("" the default value), just before it is rewritten.
  virtual void KeepValueForUndo(const std::string& keyPath, const std::string& valueName) = 0;

 protected:
  ~ChangeLog() = default;
};

ChangeLog& NoChangeLog();

// "removed <what> <path>"; "absent <what> <path> (error N)" when it was not
// there; otherwise "refused <what> <path> (error N)".
void LogRemoval(ChangeLog& log, const char* what, const std::string& path, bool removed,
                std::uint32_t error);

}  // namespace mdm
