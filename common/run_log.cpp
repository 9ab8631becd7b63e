#include "common/run_log.h"

#include <vector>

#include "common/directories.h"
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
  return RegeditValueLine(value.name.data(), value.type, value.data.data(), value.size, CRLF) + CRLF;
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

void RunLog::OutputFile::Write(const std::string& text) {
  if (!IsOpen() || text.empty()) return;
  std::uint32_t written = 0;
  // A full disk or a failing write loses the text, nothing else.
  platform_.WriteFile(handle_, text.data(), static_cast<std::uint32_t>(text.size()), &written);
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

// The undo file keeps everything ever removed: it is never started afresh.
bool RunLog::OpenUndo() {
  if (!undoTried_) {
    undoTried_ = true;
    constexpr std::uint32_t NEVER = 0xFFFFFFFF;
    if (!directory_.empty() && undo_.OpenEmpty(directory_ + "\\" + name_ + ".REG", NEVER)) {
      undo_.Write(std::string(REGEDIT_HEADER) + CRLF + CRLF);
    }
  }
  return undo_.IsOpen();
}

// Parents before children: importing the text creates them in that order.
void RunLog::AppendKeyForUndo(const std::string& keyPath) {
  std::vector<std::string> children;
  {
    ScopedKey key(platform_, keyPath, KEY_READ);
    if (!key.IsOpen()) return;
    undo_.Write(KeyText(key.Get(), keyPath, nullptr));
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
  undo_.Write(KeyText(key.Get(), keyPath, &valueName));
  undo_.Flush();
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
