// The change log and the undo file of a deliverable's run, both in the
// Windows directory:
//   <name>.LOG  plain text, CRLF: a first line with the deliverable, its
//               version and the local date and time, then one line per event
//               in order. A log that has grown beyond 64 KiB is started
//               afresh at the beginning of a run.
//   <name>.REG  REGEDIT4 text of every key (with its subtree) and value the
//               run removes or rewrites, each written and flushed before the
//               change; runs append to it. Importing it with regedit brings
//               them back.
// A file that cannot be opened or written (read-only, disk full, no Windows
// directory) is passed over: the run goes on and changes what it would have.
#pragma once

#include <string>

#include "common/change_log.h"
#include "common/platform.h"

namespace mdm {

// The log is started afresh when it has grown beyond this.
constexpr std::uint32_t LOG_SIZE_LIMIT = 64 * 1024;

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
    void Write(const std::string& text);
    void Flush();
    void Close();

   private:
    Platform& platform_;
    FileHandle handle_ = INVALID_FILE_HANDLE;
  };

  bool OpenUndo();
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
};

}  // namespace mdm
