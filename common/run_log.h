// The change log and the undo files of a deliverable's runs, all in the
// Windows directory:
//   <name>.LOG  plain text, CRLF: a first line with the deliverable, its
//               version and the local date and time, then one line per event
//               in order, the file this run keeps its undo in, what stayed
//               and why, and last the outcome with the number of the
//               package's things that remain. A log that has grown beyond
//               64 KiB is started afresh at the beginning of a run.
//   <name>.REG  the undo file of the latest run that changed something:
//               REGEDIT4 text of every key (with its subtree) and value it
//               removed or rewrote, each written and flushed before the change.
//               Importing it with regedit gives back the machine as it was
//               before that run. A run that changes nothing opens no undo file.
//   <name7><n>.REG  the undo files of the runs before it, <n> = 1 for the one
//               before, up to 9 ("MDMCLEA1.REG", "HVLIB321.REG"): a new
//               undo file moves each one age up, and the tenth goes.
// A file at one of these names that is not a REGEDIT4 file is never written
// into or moved: it stays, and the log says so. A file that cannot be opened
// or written (read-only, disk full, no Windows directory) is passed over: the
// run goes on and changes what it would have; the log says, before the first
// key goes, when no undo can be kept.
#pragma once

#include <string>

#include "common/change_log.h"
#include "common/outcome.h"
#include "common/platform.h"

namespace mdm {

// The log is started afresh when it has grown beyond this.
constexpr std::uint32_t LOG_SIZE_LIMIT = 64 * 1024;

// The undo files kept: the latest and this many before it.
constexpr int EARLIER_UNDO_FILES = 9;

class RunLog final : public ChangeLog {
 public:
  // Opens "<name>.LOG" and writes the first line: `heading`, then the local
  // date and time. The undo file is opened when the first change needs it.
  RunLog(Platform& platform, const char* name, const std::string& heading);
  ~RunLog();
  RunLog(const RunLog&) = delete;
  RunLog& operator=(const RunLog&) = delete;

  void Line(const std::string& text) override;
  void KeepForUndo(const std::string& keyPath) override;
  void KeepValueForUndo(const std::string& keyPath, const std::string& valueName) override;

  // The last lines: each thing of the package's that stayed, with why, then
  // `outcome` and how many remain ("result 0 (done), 2 remaining").
  void Finish(const std::string& outcome, const StageOutcome& stages);

  // "<directory>\<name>.REG" for age 0, the latest; the earlier ones by age.
  static std::string UndoPath(const std::string& directory, const std::string& name, int age);

 private:
  // An open file written from its end; nothing when the open failed.
  class OutputFile {
   public:
    explicit OutputFile(Platform& platform) : platform_(platform) {}
    ~OutputFile() { Close(); }
    // Opens or creates `path`; a file larger than `startAfreshAbove` is
    // emptied. True when the file was opened empty (or emptied).
    bool OpenEmpty(const std::string& path, std::uint32_t startAfreshAbove);
    bool IsOpen() const { return handle_ != INVALID_FILE_HANDLE; }
    // False when the text, or part of it, was not written.
    bool Write(const std::string& text);
    void Flush();
    void Close();

   private:
    Platform& platform_;
    FileHandle handle_ = INVALID_FILE_HANDLE;
  };

  bool OpenUndo();
  // Where this run's undo file goes: the latest name, after the earlier
  // files moved one age up; empty when no place can be made.
  std::string MakeRoomForUndo();
  bool IsUndoFileOfOurs(const std::string& path);
  void WriteUndo(const std::string& text);
  void AppendKeyForUndo(const std::string& keyPath);
  // The key's line and its values (only `onlyValue` when given), as REGEDIT4
  // text with the blank line that ends a key.
  std::string KeyText(RegKey key, const std::string& keyPath, const std::string* onlyValue);

  Platform& platform_;
  std::string directory_;  // the Windows directory; empty when unknown
  std::string name_;
  OutputFile log_;
  OutputFile undo_;
  bool undoTried_ = false;
  bool undoIncomplete_ = false;
};

}  // namespace mdm
