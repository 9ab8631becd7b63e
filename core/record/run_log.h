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
//               before, up to 9 ("MDMCLEA1.REG", "HVLIB321.REG").
// The ten names are slots, newest first. A name held by a folder, a read-only
// file or a file that is not a REGEDIT4 file of ours is passed over, never
// written into or moved, and the log says so; the undo files of ours move one
// usable slot up to make room, and the one in the last usable slot goes. An
// undo file of ours that a stopped run left empty or cut short within its
// first line holds no key: it goes. When no undo can be kept (no usable slot,
// a full disk, no Windows directory), no key goes: the log says why, and the
// keys count as remaining.
#pragma once

#include <string>

#include "core/record/change_log.h"
#include "core/record/outcome.h"
#include "core/platform/platform.h"

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

  using ChangeLog::Line;
  void Line(const std::string& text) override;
  bool KeepForUndo(const std::string& keyPath, std::string& why) override;
  bool KeepValueForUndo(const std::string& keyPath, const std::string& valueName,
                        std::string& why) override;

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
    // Writes `text` whole at the end and flushes it to disk. False when any
    // of it was not written or not flushed; what was written of it is cut
    // off again where that can be done.
    bool WriteWhole(const std::string& text);
    // False when the text, or part of it, was not written.
    bool Write(const std::string& text);
    void Close();

   private:
    Platform& platform_;
    FileHandle handle_ = INVALID_FILE_HANDLE;
  };

  bool OpenUndo(std::string& why);
  // Where this run's undo file goes: the first usable slot, emptied by
  // moving the undo files of ours one usable slot up; empty when no slot can
  // be had.
  std::string MakeRoomForUndo();
  bool WriteUndo(const std::string& text, std::string& why);
  bool StoredPath(const std::string& keyPath, std::string& stored, std::string& why);
  // The REGEDIT4 text of `keyPath` (only `onlyValue` of it when given; with
  // its whole subtree otherwise), read whole; false, with `why`, when
  // something of it cannot be read or written as REGEDIT4 text.
  bool UndoText(const std::string& keyPath, const std::string* onlyValue, std::string& text,
                std::string& why);

  Platform& platform_;
  std::string directory_;  // the Windows directory; empty when unknown
  std::string name_;
  OutputFile log_;
  OutputFile undo_;
  bool undoTried_ = false;
  std::string undoRefused_;  // why no undo file could be had
};

}  // namespace mdm
