// What a run tells of its changes as it makes them: a line for each event,
// for the change log, and the keys and values it is about to remove or
// rewrite, for the undo file (core/record/run_log.h). A stage given no log uses
// NoChangeLog(), which keeps nothing and refuses nothing: only tests of a
// stage's own logic run without an undo file. Writing a log line never
// changes what a run does; keeping the undo text decides whether a key may go.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace mdm {

class ChangeLog {
 public:
  // One event, in the order the run meets them.
  virtual void Line(const std::string& text) = 0;
  // The same, its parts one after another.
  void Line(std::initializer_list<std::string_view> parts);
  // Puts the undo text of `keyPath` (below HKEY_LOCAL_MACHINE) with its whole
  // subtree on disk, just before the key is deleted. False, with `why`, when
  // the text could not be read whole, carried faithfully or written and
  // flushed whole: the key must then stay.
  virtual bool KeepForUndo(const std::string& keyPath, std::string& why) = 0;
  // The same for one value of `keyPath` ("" the default value), just before
  // it is rewritten.
  virtual bool KeepValueForUndo(const std::string& keyPath, const std::string& valueName,
                                std::string& why) = 0;

 protected:
  ~ChangeLog() = default;
};

ChangeLog& NoChangeLog();

// "removed <what> <path>"; "absent <what> <path> (error N)" when it was not
// there; otherwise "refused <what> <path> (error N)".
void LogRemoval(ChangeLog& log, const char* what, const std::string& path, bool removed,
                std::uint32_t error);

}  // namespace mdm
