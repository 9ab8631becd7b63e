#include "common/ini_lists.h"

#include <cstring>
#include <string_view>

#include "common/directories.h"
#include "common/text.h"

namespace mdm {

namespace {

// A line is first read into the classic path-sized buffer; a longer value makes
// the buffer grow instead of being cut, so the other programs' entries at its
// end survive the write-back. The ceiling only guards against a platform that
// never stops filling the buffer.
constexpr std::size_t FIRST_LINE_BUFFER_SIZE = MAX_PATH;
constexpr std::size_t LARGEST_LINE_BUFFER_SIZE = std::size_t{1} << 20;

struct ProfileLine {
  const char* fileName;
  const char* section;
  const char* key;
};

constexpr ProfileLine LOAD_LINE{"win.ini", "windows", "load"};
constexpr ProfileLine DRIVERS_LINE{"system.ini", "boot", "drivers"};

// The whole value of the key. The platform reports a cut value as a count of
// size - 1, so the buffer grows while the count reaches that mark. False when
// the value cannot be read whole.
bool ReadWholeValue(Platform& platform, const ProfileLine& where, std::string& value) {
  std::vector<char> buffer(FIRST_LINE_BUFFER_SIZE);
  for (;;) {
    const std::uint32_t size = static_cast<std::uint32_t>(buffer.size());
    const std::uint32_t count = platform.GetPrivateProfileStringA(where.section, where.key, "",
                                                                  buffer.data(), size,
                                                                  where.fileName);
    if (count < size - 1) {
      value.assign(buffer.data(), count);
      return true;
    }
    if (buffer.size() >= LARGEST_LINE_BUFFER_SIZE) return false;
    buffer.resize(buffer.size() * 2);
  }
}

// The system directory, queried on first use and at most once per stage.
class SystemDirectory {
 public:
  explicit SystemDirectory(Platform& platform) : platform_(platform) {}

  // Null when the platform does not report a directory that fits.
  const char* Get() {
    if (!queried_) {
      queried_ = true;
      QueryDirectory(platform_, DIR_SYSTEM, text_);  // empty when there is none
    }
    return text_.empty() ? nullptr : text_.c_str();
  }

 private:
  Platform& platform_;
  bool queried_ = false;
  std::string text_;
};

// The removal's entry in a 260-byte buffer; false when the removal must be
// skipped (an empty entry, no system directory, or an entry that does not fit).
bool ComposeEntry(const ListRemoval& removal, SystemDirectory& systemDirectory,
                  char (&entry)[MAX_PATH]) {
  if (removal.entry.empty()) return false;
  if (!removal.underSystemDirectory) return CopyFits(entry, MAX_PATH, removal.entry.c_str());
  const char* directory = systemDirectory.Get();
  if (directory == nullptr) return false;
  return Compose(entry, "%s\\%s", directory, removal.entry.c_str());
}

void CleanListLine(Platform& platform, const ProfileLine& where,
                   const std::vector<ListRemoval>& removals, SystemDirectory& systemDirectory,
                   ChangeLog& log) {
  std::string line;
  // Writing back a value that could not be read whole would lose its end.
  if (!ReadWholeValue(platform, where, line)) return;
  const std::string before = line;
  if (!line.empty()) {
    for (const ListRemoval& removal : removals) {
      char entry[MAX_PATH];
      if (ComposeEntry(removal, systemDirectory, entry)) {
        RemoveListEntry(line, entry);
      } else {
        // A skipped removal leaves the line as every tried removal does: upper case.
        AsciiUpperInPlace(line);
      }
    }
  }
  const std::string name = std::string(where.fileName) + " [" + where.section + "] " + where.key;
  log.Line(name + " before: " + before);
  platform.WritePrivateProfileStringA(where.section, where.key, line.c_str(), where.fileName);
  log.Line(name + " after: " + line);
}

bool IsListSeparator(char c) { return c == ' ' || c == '\t' || c == ','; }

// Where the entry that the occurrence at `at` stands for begins, or npos when
// the occurrence does not count. It must end the entry, and either be the
// whole entry or the end of a full path (right after a backslash), which
// then goes whole: cutting less would fuse what is left of it with the next
// entry.
std::size_t WholeEntryStart(const std::string& line, std::size_t at, std::size_t length) {
  const std::size_t end = at + length;
  if (end < line.size() && !IsListSeparator(line[end])) return std::string::npos;
  if (at == 0 || IsListSeparator(line[at - 1])) return at;
  if (line[at - 1] != '\\') return std::string::npos;
  std::size_t start = at - 1;
  while (start > 0 && !IsListSeparator(line[start - 1])) --start;
  return start;
}

}  // namespace

int RemoveListEntry(std::string& line, char* entry) {
  AsciiUpperInPlace(line);
  AsciiUpperInPlace(entry);
  const std::string_view wanted(entry);
  if (wanted.empty()) return 0;
  for (std::size_t at = line.find(wanted); at != std::string::npos; at = line.find(wanted, at + 1)) {
    const std::size_t start = WholeEntryStart(line, at, wanted.size());
    if (start == std::string::npos) continue;  // part of another program's entry
    const std::size_t end = at + wanted.size();
    // The separator after the entry goes with it; the one before never.
    const bool somethingFollows = end < line.size();
    line.erase(start, end - start + (somethingFollows ? 1 : 0));
    return 1;
  }
  return 0;
}

int RemoveListEntry(char* line, char* entry) {
  std::string work(line);
  const int removed = RemoveListEntry(work, entry);
  std::memcpy(line, work.c_str(), work.size() + 1);
  return removed;
}

int CleanIniLists(Platform& platform, const IniListRemovals& removals, ChangeLog& log) {
  SystemDirectory systemDirectory(platform);
  CleanListLine(platform, LOAD_LINE, removals.load, systemDirectory, log);
  CleanListLine(platform, DRIVERS_LINE, removals.drivers, systemDirectory, log);
  return 1;
}

}  // namespace mdm
