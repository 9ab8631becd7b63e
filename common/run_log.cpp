#include "common/run_log.h"

#include <vector>

#include "common/directories.h"
#include "common/file_search.h"
#include "common/regedit_text.h"
#include "common/registry_keys.h"
#include "common/text.h"

namespace mdm {

namespace {

constexpr const char* CRLF = "\r\n";

std::string LocalDateAndTime(Platform& platform) {
  SystemTime now;
  platform.GetLocalTime(&now);
  char text[32];
  Compose(text, "%04u-%02u-%02u %02u:%02u:%02u", unsigned{now.year}, unsigned{now.month},
          unsigned{now.day}, unsigned{now.hour}, unsigned{now.minute}, unsigned{now.second});
  return text;
}

std::string ValueLine(const WholeValue& value) {
  return RegeditValueLine(value.name.data(), value.type, value.data.data(), value.size, CRLF) +
         CRLF;
}

}  // namespace

bool RunLog::OutputFile::OpenEmpty(const std::string& path, std::uint32_t startAfreshAbove) {
  handle_ = platform_.CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL);
  if (!IsOpen()) return false;
  const std::uint32_t size = platform_.GetFileSize(handle_);
  if (size > startAfreshAbove) {
    platform_.SetFilePointer(handle_, 0, FILE_BEGIN);
    platform_.SetEndOfFile(handle_);
  } else {
    platform_.SetFilePointer(handle_, 0, FILE_END);
  }
  return size == 0 || size > startAfreshAbove;
}

bool RunLog::OutputFile::Write(const std::string& text) {
  if (!IsOpen()) return false;
  if (text.empty()) return true;
  std::uint32_t written = 0;
  // A full disk or a failing write loses the text, nothing else.
  return platform_.WriteFile(handle_, text.data(), static_cast<std::uint32_t>(text.size()),
                             &written) != 0 &&
         written == text.size();
}

void RunLog::OutputFile::Flush() {
  if (IsOpen()) platform_.FlushFileBuffers(handle_);
}

void RunLog::OutputFile::Close() {
  if (IsOpen()) platform_.CloseHandle(handle_);
  handle_ = INVALID_FILE_HANDLE;
}

RunLog::RunLog(Platform& platform, const char* name, const std::string& heading)
    : platform_(platform), name_(name), log_(platform), undo_(platform) {
  // Without a Windows directory there is no place for either file.
  if (!QueryDirectory(platform_, DIR_WINDOWS, directory_)) return;
  log_.OpenEmpty(directory_ + "\\" + name_ + ".LOG", LOG_SIZE_LIMIT);
  Line(heading + ", " + LocalDateAndTime(platform_));
}

RunLog::~RunLog() = default;

void RunLog::Line(const std::string& text) { log_.Write(text + CRLF); }

std::string RunLog::UndoPath(const std::string& directory, const std::string& name, int age) {
  if (age == 0) return directory + "\\" + name + ".REG";
  return directory + "\\" + name.substr(0, 7) + static_cast<char>('0' + age) + ".REG";
}

// A file that begins as the undo files begin; a folder, or a file that
// cannot be read, is not.
bool RunLog::IsUndoFileOfOurs(const std::string& path) {
  const FileHandle file = platform_.CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ,
                                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
  if (file == INVALID_FILE_HANDLE) return false;
  const std::string header = std::string(REGEDIT_HEADER) + CRLF;
  char start[16] = {};
  std::uint32_t read = 0;
  platform_.ReadFile(file, start, static_cast<std::uint32_t>(header.size()), &read);
  platform_.CloseHandle(file);
  return read == header.size() && header.compare(0, read, start, read) == 0;
}

std::string RunLog::MakeRoomForUndo() {
  const auto path = [&](int age) { return UndoPath(directory_, name_, age); };
  const std::string latest = path(0);
  const bool latestIsOurs = !PathExists(platform_, latest) || IsUndoFileOfOurs(latest);
  if (!latestIsOurs) {
    Line(latest + " is not an undo file of ours; it stays as it is");
  } else if (!PathExists(platform_, latest)) {
    return latest;
  }
  // The oldest goes, and each earlier one moves one age up, as long as they
  // are ours; one that is not blocks the move of those before it.
  const std::string oldest = path(EARLIER_UNDO_FILES);
  if (PathExists(platform_, oldest) && IsUndoFileOfOurs(oldest))
    platform_.DeleteFileA(oldest.c_str());
  for (int age = EARLIER_UNDO_FILES - 1; age >= 1; --age) {
    if (!PathExists(platform_, path(age))) continue;
    if (PathExists(platform_, path(age + 1)) || !IsUndoFileOfOurs(path(age)) ||
        !platform_.MoveFileA(path(age).c_str(), path(age + 1).c_str())) {
      break;
    }
  }
  if (PathExists(platform_, path(1))) return {};
  if (!latestIsOurs) return path(1);
  return platform_.MoveFileA(latest.c_str(), path(1).c_str()) ? latest : std::string();
}

// Each run that changes something keeps its undo in a file of its own.
bool RunLog::OpenUndo() {
  if (undoTried_) return undo_.IsOpen();
  undoTried_ = true;
  const std::string path = directory_.empty() ? std::string() : MakeRoomForUndo();
  if (!path.empty() && undo_.OpenEmpty(path, 0) &&
      undo_.Write(std::string(REGEDIT_HEADER) + CRLF + CRLF)) {
    Line("undo file of this run: " + path);
    return true;
  }
  undo_.Close();
  char why[24] = "";
  if (!path.empty()) Compose(why, " (error %u)", static_cast<unsigned>(platform_.GetLastError()));
  Line("no undo file can be kept" +
       (path.empty() ? std::string(": earlier undo files are in the way") : " in " + path + why) +
       "; the keys removed cannot be imported back");
  return false;
}

void RunLog::WriteUndo(const std::string& text) {
  if (undo_.Write(text) || undoIncomplete_) return;
  undoIncomplete_ = true;
  char line[64];
  Compose(line, "the undo file is incomplete from here on (error %u)",
          static_cast<unsigned>(platform_.GetLastError()));
  Line(line);
}

// Parents before children: importing the text creates them in that order.
void RunLog::AppendKeyForUndo(const std::string& keyPath) {
  std::vector<std::string> children;
  {
    ScopedKey key(platform_, keyPath, KEY_READ);
    if (!key.IsOpen()) return;
    WriteUndo(KeyText(key.Get(), keyPath, nullptr));
    ForEachSubkeyName(platform_, key.Get(), MAX_PATH, [&](const char* child) {
      children.push_back(child);
      return true;
    });
  }
  // The key is closed first: a deep tree holds one key open at a time.
  for (const std::string& child : children) AppendKeyForUndo(keyPath + "\\" + child);
}

void RunLog::KeepForUndo(const std::string& keyPath) {
  if (!OpenUndo()) return;
  AppendKeyForUndo(keyPath);
  undo_.Flush();
}

void RunLog::KeepValueForUndo(const std::string& keyPath, const std::string& valueName) {
  if (!OpenUndo()) return;
  ScopedKey key(platform_, keyPath, KEY_READ);
  if (!key.IsOpen()) return;
  WriteUndo(KeyText(key.Get(), keyPath, &valueName));
  undo_.Flush();
}

void RunLog::Finish(const std::string& outcome, const StageOutcome& stages) {
  for (const OutcomeItem& item : stages.remaining) {
    Line(std::string("remaining ") + KindName(item.kind) + " " + item.path + " (" + item.why + ")");
  }
  char count[24];
  Compose(count, ", %u remaining", static_cast<unsigned>(stages.remaining.size()));
  Line(outcome + count);
}

std::string RunLog::KeyText(RegKey key, const std::string& keyPath, const std::string* onlyValue) {
  std::string text = RegeditKeyLine(keyPath) + CRLF;
  WholeValue value;
  for (std::uint32_t index = 0; EnumValueWhole(platform_, key, index, value) == ERROR_SUCCESS;
       ++index) {
    if (onlyValue == nullptr || EqualsAsciiCaseBlind(value.name.data(), onlyValue->c_str())) {
      text += ValueLine(value);
    }
  }
  return text + CRLF;
}

}  // namespace mdm
