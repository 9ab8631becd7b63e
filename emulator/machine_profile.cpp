// The profile functions of the platform over the files of the emulated
// drives. A profile file is an ordinary file there; a write changes only the
// bytes it concerns (see profile_text.h).
//
// Differences from Wine, which the conformance comparison should expect:
// Wine rewrites the whole file from its parsed form on every write, keeps the
// blanks inside "[ name ]" (so such a section is not found), treats a line
// without "=" as a key without value, and cuts one character too many from a
// quoted value that exactly fills the buffer. Windows 95 and 98 further
// differ from the NT family where they were recorded to: a NULL file name
// reads nothing, a file held open is read as nothing, and lists and defaults
// are copied in their own ways (below).
#include <cstring>

#include "emulator/machine.h"
#include "emulator/machine_state.h"
#include "emulator/profile_text.h"

namespace mdm::emu {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// A bare name lives in the Windows directory; anything with a separator or a
// drive is a path, relative ones to the working directory.
std::optional<WinPath> ProfilePath(const std::string& windowsDirectory,
                                   const WinPath& workingDirectory, const char* fileName) {
  const std::string name = fileName != nullptr ? fileName : "win.ini";
  if (name.empty()) return std::nullopt;
  if (name.find_first_of("\\/:") == std::string::npos) {
    return ParseWinPath(windowsDirectory + "\\" + name, workingDirectory);
  }
  return ParseWinPath(name, workingDirectory);
}

// Copies as much as fits, cut to size - 1; the count excludes the terminator.
std::uint32_t CopyCut(const std::string& text, char* buffer, std::uint32_t size) {
  const std::size_t count = text.size() < size - 1 ? text.size() : size - 1;
  std::memcpy(buffer, text.data(), count);
  buffer[count] = '\0';
  return static_cast<std::uint32_t>(count);
}

// A list of names, each with its terminator, and one more at the end. Cut to
// the buffer, the count is size - 2, as Windows reports it; Windows 95 keeps
// `shortBy` (1) character less of the list than the NT family.
std::uint32_t CopyNameList(const std::vector<std::string>& names, char* buffer, std::uint32_t size,
                           std::uint32_t shortBy = 0) {
  std::string list;
  for (const std::string& name : names) list += name + '\0';
  if (list.size() + 1 <= size) {
    std::memcpy(buffer, list.data(), list.size());
    buffer[list.size()] = '\0';
    return static_cast<std::uint32_t>(list.size());
  }
  if (size < 2 + shortBy) {
    buffer[0] = '\0';
    return 0;
  }
  const std::uint32_t kept = size - 2 - shortBy;
  std::memcpy(buffer, list.data(), kept);
  buffer[kept] = '\0';
  buffer[kept + 1] = '\0';
  return size - 2;
}

// The Windows 95 form of a list of section names: whole names only, the
// closing zero counted; cut, the count is still size - 2.
std::uint32_t CopyWholeNames(const std::vector<std::string>& names, char* buffer,
                             std::uint32_t size) {
  std::string list;
  bool cut = false;
  for (const std::string& name : names) {
    if (list.size() + name.size() + 2 > size) {
      cut = true;
      break;
    }
    list += name + '\0';
  }
  if (cut && size < 2) return 0;
  std::memcpy(buffer, list.data(), list.size());
  buffer[list.size()] = '\0';
  return cut ? size - 2 : static_cast<std::uint32_t>(list.size() + 1);
}

std::string TrimTrailing(std::string text) {
  while (!text.empty() && IsBlank(text.back())) text.pop_back();
  return text;
}

}  // namespace

std::uint32_t Machine::GetPrivateProfileStringA(const char* section, const char* key,
                                                const char* defaultValue, char* buffer,
                                                std::uint32_t size, const char* fileName) {
  if (buffer == nullptr || size == 0) return 0;
  const bool windows9x = state_->Windows9x();
  if (windows9x && fileName == nullptr) return 0;  // no file named: Windows 95 copies nothing
  const std::string fallback = TrimTrailing(defaultValue != nullptr ? defaultValue : "");

  std::string text;
  if (const auto path = ProfilePath(state_->windowsDirectory, state_->WorkingPath(), fileName)) {
    // Windows 95 reads nothing from a file someone holds open, unless only
    // for reading and sharing reading.
    const auto onlySharedReading = [](const OpenFile& open) {
      return open.forReading && open.shareMode == FILE_SHARE_READ;
    };
    if (windows9x && state_->HeldOpen(*path, onlySharedReading)) return 0;
    const FileNode* file = state_->files.Find(*path);
    if (file != nullptr && !file->isDirectory) text = file->content;
  }

  // Nothing found copies the default; Windows 95 copies nothing without one.
  auto none = [&] {
    return defaultValue != nullptr || !windows9x ? CopyCut(fallback, buffer, size) : 0u;
  };
  if (section == nullptr) {  // the section names, whatever the key
    const std::vector<std::string> sections = ProfileSectionNames(text);
    return windows9x ? CopyWholeNames(sections, buffer, size)
                     : CopyNameList(sections, buffer, size);
  }
  if (key != nullptr) {
    const auto value = key[0] != '\0' ? FindProfileValue(text, section, key) : std::nullopt;
    return value ? CopyCut(*value, buffer, size) : none();
  }
  const std::vector<std::string> keys = ProfileKeyNames(text, section);
  return keys.empty() ? none() : CopyNameList(keys, buffer, size, windows9x ? 1 : 0);
}

int Machine::WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                        const char* fileName) {
  const bool windows9x = state_->Windows9x();
  const auto path = ProfilePath(state_->windowsDirectory, state_->WorkingPath(), fileName);
  if (!path || path->parts.empty()) {
    state_->lastError = windows9x ? ERROR_PATH_NOT_FOUND : ERROR_ACCESS_DENIED;
    return 0;
  }
  // The flush form: nothing is cached here. Wine reports it as failed (measured).
  if (section == nullptr && key == nullptr && value == nullptr) return 0;
  if (section == nullptr) {
    if (!windows9x) state_->lastError = ERROR_FILE_NOT_FOUND;  // Windows 95 sets none
    return 0;
  }
  // Windows 95 and 98 write at most 32 KB less 2 bytes, and fail a longer
  // string without a last error (Knowledge Base Q230194).
  constexpr std::size_t LONGEST_WINDOWS95_STRING = 32 * 1024 - 2;
  if (windows9x && value != nullptr && std::strlen(value) > LONGEST_WINDOWS95_STRING) return 0;

  // No file is written that is held open without sharing both.
  const auto sharesBoth = [](const OpenFile& open) {
    return (open.shareMode & (FILE_SHARE_READ | FILE_SHARE_WRITE)) ==
           (FILE_SHARE_READ | FILE_SHARE_WRITE);
  };
  if (state_->HeldOpen(*path, sharesBoth)) {
    state_->lastError = ERROR_SHARING_VIOLATION;
    return 0;
  }
  Lookup lookup;
  FileNode* file = state_->files.Find(*path, &lookup);
  if (file != nullptr && (file->isDirectory || file->readOnly)) {
    state_->lastError = ERROR_ACCESS_DENIED;
    return 0;
  }
  // Nothing to delete: Windows 95 makes no file, the NT family an empty one.
  const bool deletes = key == nullptr || value == nullptr;
  if (file == nullptr && deletes && windows9x) return 1;
  if (file == nullptr && windows9x && value[0] == '\0') return 0;  // nor for an empty value
  if (file == nullptr && lookup == Lookup::NoPath) {
    state_->lastError = ERROR_PATH_NOT_FOUND;
    return 0;
  }

  const std::string text = file != nullptr ? file->content : std::string();
  std::string detail = section;
  std::string edited;
  if (key == nullptr) {
    edited = DeleteProfileSection(text, section);
  } else if (value == nullptr) {
    edited = DeleteProfileKey(text, section, key);
    detail += std::string("\\") + key;
  } else {
    const char* start = value;
    while (IsBlank(*start)) ++start;  // leading blanks are not stored
    edited = SetProfileValue(text, section, key, start,
                             windows9x ? NewSectionStyle::Windows95 : NewSectionStyle::Wine);
    detail += std::string("\\") + key + "=" + start;
  }
  if (file == nullptr) file = &state_->files.Find(path->Parent())->Add(path->parts.back(), false);
  file->content = std::move(edited);
  state_->Record(JournalEntry::Kind::ProfileWritten, state_->files.StoredPath(*path), detail);
  return 1;
}

}  // namespace mdm::emu
