#include "core/record/run_log.h"

#include <vector>

#include "core/base/directories.h"
#include "core/base/file_search.h"
#include "core/record/regedit_text.h"
#include "core/base/registry_keys.h"
#include "core/base/text.h"

namespace mdm {

namespace {

constexpr const char* CRLF = "\r\n";
constexpr std::uint32_t INVALID_FILE_POSITION = 0xFFFFFFFFu;

std::string LocalDateAndTime(Platform& platform) {
  SystemTime now;
  platform.GetLocalTime(&now);
  char text[32];
  Compose(text, "%04u-%02u-%02u %02u:%02u:%02u", unsigned{now.year}, unsigned{now.month},
          unsigned{now.day}, unsigned{now.hour}, unsigned{now.minute}, unsigned{now.second});
  return text;
}

// What the undo files begin with.
std::string UndoHeader() { return std::string(REGEDIT_HEADER) + CRLF; }

// What a slot of the undo files holds.
enum class Slot {
  Free,
  Ours,
  Empty,    // ours, but a stopped run left it without a key
  Blocked,  // a folder, a read-only file or another's: passed over
};

// What stands at an undo file's name; `why` says why a blocked one is passed over.
Slot Classify(Platform& platform, const std::string& path, std::string& why) {
  std::uint32_t attributes = 0;
  {
    const ScopedSearch search(platform, path.c_str());
    if (!search.Found()) {
      // A name whose search failed for another reason may hold a file.
      const std::uint32_t error = platform.GetLastError();
      if (FoundNothing(error)) return Slot::Free;
      why = Concat({"cannot be looked at", ErrorText(error)});
      return Slot::Blocked;
    }
    attributes = search.Current().attributes;
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    why = "is a folder";
    return Slot::Blocked;
  }
  if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    why = "is read-only";
    return Slot::Blocked;
  }
  const FileHandle file = platform.CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ,
                                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
  if (file == INVALID_FILE_HANDLE) {
    why = Concat({"cannot be read", ErrorText(platform.GetLastError())});
    return Slot::Blocked;
  }
  const std::string header = UndoHeader();
  char start[16] = {};
  std::uint32_t read = 0;
  const bool readable =
      platform.ReadFile(file, start, static_cast<std::uint32_t>(header.size()), &read) != 0;
  platform.CloseHandle(file);
  // Fewer bytes than asked for: the file ends within the first line.
  if (readable && header.compare(0, read, start, read) == 0) {
    return read == header.size() ? Slot::Ours : Slot::Empty;
  }
  why = readable ? "is not an undo file of ours" : "cannot be read";
  return Slot::Blocked;
}

// Sets `why` to "<what> cannot be read (error N)"; false.
bool Unreadable(std::string& why, std::string_view what, long error) {
  why = Concat({what, " cannot be read", ErrorText(error)});
  return false;
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

bool RunLog::OutputFile::WriteWhole(const std::string& text) {
  if (!IsOpen()) return false;
  const std::uint32_t end = platform_.SetFilePointer(handle_, 0, FILE_END);
  if (end != INVALID_FILE_POSITION && Write(text) && platform_.FlushFileBuffers(handle_) != 0) {
    return true;
  }
  // Half a key's text would import as a key cut short.
  if (end != INVALID_FILE_POSITION) {
    platform_.SetFilePointer(handle_, static_cast<std::int32_t>(end), FILE_BEGIN);
    platform_.SetEndOfFile(handle_);
  }
  return false;
}

void RunLog::OutputFile::Close() {
  if (IsOpen()) platform_.CloseHandle(handle_);
  handle_ = INVALID_FILE_HANDLE;
}

RunLog::RunLog(Platform& platform, const char* name, const std::string& heading)
    : platform_(platform), name_(name), log_(platform), undo_(platform) {
  // Without a Windows directory there is no place for either file.
  if (!QueryDirectory(platform_, DIR_WINDOWS, directory_)) return;
  log_.OpenEmpty(Concat({directory_, "\\", name_, ".LOG"}), LOG_SIZE_LIMIT);
  Line(Concat({heading, ", ", LocalDateAndTime(platform_)}));
}

RunLog::~RunLog() = default;

void RunLog::Line(const std::string& text) { log_.Write(text + CRLF); }

std::string RunLog::UndoPath(const std::string& directory, const std::string& name, int age) {
  if (age == 0) return Concat({directory, "\\", name, ".REG"});
  const char digit[] = {static_cast<char>('0' + age), '\0'};
  return Concat({directory, "\\", std::string_view(name).substr(0, 7), digit, ".REG"});
}

std::string RunLog::MakeRoomForUndo() {
  std::string paths[EARLIER_UNDO_FILES + 1];
  int usable[EARLIER_UNDO_FILES + 1];  // ages whose slot is ours or free, newest first
  int count = 0;
  int hole = -1;  // the first free one among them
  for (int age = 0; age <= EARLIER_UNDO_FILES; ++age) {
    const std::string& path = paths[age] = UndoPath(directory_, name_, age);
    std::string why;
    Slot slot = Classify(platform_, path, why);
    if (slot == Slot::Empty) {
      const bool removed = platform_.DeleteFileA(path.c_str()) != 0;
      Line(Concat({removed ? "removed" : "cannot remove", " undo file ", path,
                   ", which a stopped run left without a key"}));
      slot = removed ? Slot::Free : Slot::Blocked;
    }
    if (slot == Slot::Blocked) {
      if (!why.empty()) Line(Concat({path, " ", why, "; it stays as it is"}));
      continue;
    }
    if (slot == Slot::Free && hole < 0) hole = count;
    usable[count++] = age;
  }
  if (count == 0) return {};
  // Without a free slot, the undo file of ours in the last usable one, the
  // oldest, goes; the newer ones move one usable slot up into the hole.
  if (hole < 0) {
    hole = count - 1;
    if (platform_.DeleteFileA(paths[usable[hole]].c_str()) == 0) return {};
  }
  for (int i = hole; i > 0; --i) {
    if (platform_.MoveFileA(paths[usable[i - 1]].c_str(), paths[usable[i]].c_str()) == 0) return {};
  }
  return paths[usable[0]];
}

// Each run that changes something keeps its undo in a file of its own.
bool RunLog::OpenUndo(std::string& why) {
  if (!undoTried_) {
    undoTried_ = true;
    const std::string path = directory_.empty() ? std::string() : MakeRoomForUndo();
    if (directory_.empty()) {
      undoRefused_ = "there is no Windows directory";
    } else if (path.empty()) {
      undoRefused_ = "the undo files' names are all taken or cannot be freed";
    } else if (!undo_.OpenEmpty(path, 0)) {
      undoRefused_ = Concat({path, " cannot be opened", ErrorText(platform_.GetLastError())});
    } else if (!undo_.WriteWhole(UndoHeader() + CRLF)) {
      undoRefused_ = Concat({path, " cannot be written", ErrorText(platform_.GetLastError())});
      undo_.Close();
      platform_.DeleteFileA(path.c_str());
    } else {
      Line(Concat({"undo file of this run: ", path}));
    }
    if (!undoRefused_.empty())
      Line(Concat({"no undo file can be kept: ", undoRefused_, "; no key goes"}));
  }
  why = undoRefused_;
  return undo_.IsOpen();
}

bool RunLog::WriteUndo(const std::string& text, std::string& why) {
  if (undo_.WriteWhole(text)) return true;
  const std::uint32_t error = platform_.GetLastError();
  why = Concat({"the undo file cannot be written",
                ErrorText(error == 0 ? static_cast<std::uint32_t>(ERROR_WRITE_FAULT) : error)});
  return false;
}

// Parents before children: importing the text creates them in that order.
// The key is closed before its children are read: a deep tree holds one key
// open at a time.
bool RunLog::UndoText(const std::string& keyPath, const std::string* onlyValue, std::string& text,
                      std::string& why) {
  std::vector<std::string> children;
  {
    const ScopedKey key(platform_, keyPath, KEY_READ);
    if (!key.IsOpen()) return Unreadable(why, keyPath, key.OpenStatus());
    text += RegeditKeyLine(keyPath) + CRLF;
    WholeValue value;
    bool found = onlyValue == nullptr;
    bool faithful = CarriesFaithfully(LastComponent(keyPath));
    for (std::uint32_t index = 0;; ++index) {
      const std::int32_t status = EnumValueWhole(platform_, key.Get(), index, value);
      if (status == ERROR_NO_MORE_ITEMS) break;
      if (status != ERROR_SUCCESS) return Unreadable(why, keyPath, status);
      if (onlyValue != nullptr && !EqualsAsciiCaseBlind(value.name.data(), onlyValue->c_str())) {
        continue;
      }
      faithful = faithful && CarriesFaithfully(value.name.data());
      found = true;
      text += RegeditValueLine(value.name.data(), value.type, value.data.data(), value.size, CRLF) +
              CRLF;
    }
    text += CRLF;
    if (!faithful) {
      why = Concat({keyPath, " holds a name REGEDIT4 text cannot carry"});
      return false;
    }
    if (!found) return Unreadable(why, keyPath, ERROR_FILE_NOT_FOUND);
    if (onlyValue != nullptr) return true;
    const std::int32_t listed = ListSubkeyNames(platform_, key.Get(), children);
    if (listed != ERROR_SUCCESS) return Unreadable(why, keyPath, listed);
  }
  for (const std::string& child : children) {
    if (!UndoText(Concat({keyPath, "\\", child}), nullptr, text, why)) return false;
  }
  return true;
}

// The key's path with its last name as the registry stores it: importing
// the text makes the key again under that name, letter case and all.
bool RunLog::StoredPath(const std::string& keyPath, std::string& stored, std::string& why) {
  const std::string parent = CutAtLastBackslash(keyPath);
  const bool top = parent == keyPath;
  std::vector<std::string> siblings;
  {
    const ScopedKey key(platform_, top ? std::string() : parent, KEY_READ);
    const std::int32_t status =
        key.IsOpen() ? ListSubkeyNames(platform_, key.Get(), siblings) : key.OpenStatus();
    if (status != ERROR_SUCCESS) return Unreadable(why, parent, status);
  }
  stored = keyPath;
  const std::string name = LastComponent(keyPath);
  for (const std::string& sibling : siblings) {
    if (EqualsAsciiCaseBlind(sibling.c_str(), name.c_str())) {
      stored = top ? sibling : Concat({parent, "\\", sibling});
    }
  }
  return true;
}

bool RunLog::KeepForUndo(const std::string& keyPath, std::string& why) {
  if (!OpenUndo(why)) return false;
  std::string stored;
  std::string text;
  return StoredPath(keyPath, stored, why) && UndoText(stored, nullptr, text, why) &&
         WriteUndo(text, why);
}

bool RunLog::KeepValueForUndo(const std::string& keyPath, const std::string& valueName,
                              std::string& why) {
  if (!OpenUndo(why)) return false;
  std::string text;
  return UndoText(keyPath, &valueName, text, why) && WriteUndo(text, why);
}

void RunLog::Finish(const std::string& outcome, const StageOutcome& stages) {
  for (const OutcomeItem& item : stages.remaining) {
    Line(Concat({"remaining ", KindName(item.kind), " ", item.path, " (", item.why, ")"}));
  }
  char count[24];
  Compose(count, ", %u remaining", static_cast<unsigned>(stages.remaining.size()));
  Line({outcome, count});
}

}  // namespace mdm
