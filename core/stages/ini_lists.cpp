#include "core/stages/ini_lists.h"

#include <algorithm>
#include <vector>

#include "core/base/directories.h"
#include "core/base/text.h"

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

// A default no list line holds: what a read gives back for an absent key.
constexpr const char* ABSENT = "?*?";

// Nothing read is asked once more with a default of its own: the key is
// absent when that default comes back, empty when nothing does, and anything
// else means the first read failed (a profile read has no error of its own)
// and writing back nothing would lose the line.
bool ReadsAsNothing(Platform& platform, const ProfileLine& where) {
  char again[8] = {};
  const std::uint32_t count = platform.GetPrivateProfileStringA(
      where.section, where.key, ABSENT, again, sizeof again, where.fileName);
  return count == 0 || EqualsAsciiCaseBlind(again, ABSENT);
}

// The whole value of the key. The platform reports a cut value as a count of
// size - 1, so the buffer grows while the count reaches that mark. False when
// the value cannot be read whole.
bool ReadWholeValue(Platform& platform, const ProfileLine& where, std::string& value) {
  std::vector<char> buffer(FIRST_LINE_BUFFER_SIZE);
  for (;;) {
    const std::uint32_t size = static_cast<std::uint32_t>(buffer.size());
    const std::uint32_t count = platform.GetPrivateProfileStringA(
        where.section, where.key, "", buffer.data(), size, where.fileName);
    if (count == 0) {
      value.clear();
      return ReadsAsNothing(platform, where);
    }
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
      failed_ = AskDirectory(platform_, DIR_SYSTEM, text_) == DirectoryAnswer::Failed;
    }
    return text_.empty() ? nullptr : text_.c_str();
  }
  // The platform would not tell it: entries below it may be in a line.
  bool Failed() const { return failed_; }

 private:
  Platform& platform_;
  bool queried_ = false;
  bool failed_ = false;
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

bool IsListSeparator(char c) { return c == ' ' || c == '\t' || c == ','; }

// Where `wanted` occurs in `text` from `from` on, letters compared case-blind.
std::size_t FindCaseBlind(const std::string& text, const std::string& wanted, std::size_t from) {
  std::string foldedText = text;
  std::string foldedWanted = wanted;
  AsciiUpperInPlace(foldedText);
  AsciiUpperInPlace(foldedWanted);
  return foldedText.find(foldedWanted, from);
}

// The entry [start, end) that the occurrence [at, at + length) stands for,
// its quotes included; false when the occurrence is only part of another
// entry. It must end the entry (at a separator, the line's end or the
// closing quote) and be the whole entry or the end of a full path in it.
bool EntryOfOccurrence(const std::string& line, std::size_t at, std::size_t length,
                       std::size_t& start, std::size_t& end) {
  const auto before = line.begin() + static_cast<std::ptrdiff_t>(at);
  const bool quoted = std::count(line.begin(), before, '"') % 2 == 1;
  end = at + length;
  if (quoted) {
    if (end >= line.size() || line[end] != '"') return false;
    ++end;
    start = line.rfind('"', at - 1);  // the opening quote
    if (start + 1 != at && line[at - 1] != '\\') return false;
  } else {
    start = at;
    if (at > 0 && !IsListSeparator(line[at - 1])) {
      if (line[at - 1] != '\\') return false;
      while (start > 0 && !IsListSeparator(line[start - 1])) --start;
    }
  }
  return end == line.size() || IsListSeparator(line[end]);
}

// The quotes of `text` stand at the edges of its entries: each entry is
// either in quotes or holds none.
bool QuotesPairAtEntryEdges(const std::string& text) {
  std::size_t at = 0;
  while (at < text.size()) {
    if (IsListSeparator(text[at])) {
      ++at;
    } else if (text[at] == '"') {
      const std::size_t close = text.find('"', at + 1);
      if (close == std::string::npos) return false;
      at = close + 1;
      if (at < text.size() && !IsListSeparator(text[at])) return false;
    } else {
      for (; at < text.size() && !IsListSeparator(text[at]); ++at) {
        if (text[at] == '"') return false;
      }
    }
  }
  return true;
}

// The entries the removals cut from the line, in order, the line cut with
// them; `unknown` gets each removal below a system directory the platform
// would not tell.
std::vector<std::string> CutEntries(std::string& line, const std::vector<ListRemoval>& removals,
                                    SystemDirectory& systemDirectory,
                                    std::vector<std::string>& unknown) {
  std::vector<std::string> cut;
  if (line.empty()) return cut;
  for (const ListRemoval& removal : removals) {
    char entry[MAX_PATH];
    if (!ComposeEntry(removal, systemDirectory, entry)) {
      if (removal.underSystemDirectory && systemDirectory.Failed())
        unknown.push_back(Concat({removal.entry, " below the system folder"}));
      continue;
    }
    for (int n = RemoveListEntry(line, entry); n > 0; --n) cut.push_back(entry);
  }
  return cut;
}

// One line as read, and as it is to be written back.
struct EditedLine {
  const ProfileLine* where = nullptr;
  bool read = false;  // the value was read whole
  std::string before;
  std::string line;
  std::vector<std::string> cut;      // the entries cut from it
  std::vector<std::string> unknown;  // removals that could not be tried

  std::string Name() const {
    return Concat({where->fileName, " [", where->section, "] ", where->key});
  }
};

EditedLine Edit(Platform& platform, const ProfileLine& where,
                const std::vector<ListRemoval>& removals, SystemDirectory& systemDirectory) {
  EditedLine edited;
  edited.where = &where;
  std::string value;
  // Writing back a value that could not be read whole would lose its end.
  edited.read = ReadWholeValue(platform, where, value);
  if (!edited.read) return edited;
  edited.line = WithOuterQuotesRestored(value);
  edited.before = edited.line;
  edited.cut = CutEntries(edited.line, removals, systemDirectory, edited.unknown);
  return edited;
}

// Other programs' text is rewritten only when something of the package was
// cut from it; an empty or absent line is written back empty.
void WriteBack(Platform& platform, const EditedLine& edited, ChangeLog& log,
               StageOutcome& outcome) {
  const std::string name = edited.Name();
  if (!edited.read) {
    log.Line({name, " cannot be read whole; it stays as it is"});
    outcome.Stayed(ItemKind::ListEntry, name, "the line cannot be read whole");
    return;
  }
  for (const std::string& entry : edited.unknown) {
    outcome.Stayed(ItemKind::ListEntry, Concat({name, ": ", entry}),
                   "the system folder cannot be named");
  }
  if (edited.cut.empty() && !edited.line.empty()) {
    log.Line({name, " holds nothing of the package: ", edited.line});
    return;
  }
  log.Line({name, " before: ", edited.before});
  const ProfileLine& where = *edited.where;
  const bool written = platform.WritePrivateProfileStringA(
                           where.section, where.key, edited.line.c_str(), where.fileName) != 0;
  char why[48] = "";
  if (!written) Compose(why, "the line was not written, error %u", platform.GetLastError());
  if (written) {
    log.Line({name, " after: ", edited.line});
  } else {
    log.Line({name, " stays: ", why});
  }
  for (const std::string& entry : edited.cut) {
    const std::string item = Concat({name, ": ", entry});
    if (written) {
      outcome.Went(ItemKind::ListEntry, item);
    } else {
      outcome.Stayed(ItemKind::ListEntry, item, why);
    }
  }
}

}  // namespace

int RemoveListEntry(std::string& line, const std::string& entry) {
  if (entry.empty()) return 0;
  int cut = 0;
  for (std::size_t at = FindCaseBlind(line, entry, 0); at != std::string::npos;
       at = FindCaseBlind(line, entry, at)) {
    std::size_t start = 0;
    std::size_t end = 0;
    if (!EntryOfOccurrence(line, at, entry.size(), start, end)) {
      ++at;  // part of another program's entry
      continue;
    }
    // The separator after the entry goes with it; the one before never.
    line.erase(start, end - start + (end < line.size() ? 1 : 0));
    at = start;
    ++cut;
  }
  return cut;
}

std::string WithOuterQuotesRestored(const std::string& value) {
  if (value.find('"') == std::string::npos || QuotesPairAtEntryEdges(value)) return value;
  const std::string quoted = '"' + value + '"';
  return QuotesPairAtEntryEdges(quoted) ? quoted : value;
}

StageOutcome CleanIniLists(Platform& platform, const IniListRemovals& removals, ChangeLog& log) {
  StageOutcome outcome;
  SystemDirectory systemDirectory(platform);
  const EditedLine lines[] = {Edit(platform, LOAD_LINE, removals.load, systemDirectory),
                              Edit(platform, DRIVERS_LINE, removals.drivers, systemDirectory)};
  // A line written back empty goes before any line loses an entry: a run
  // stopped between the two leaves nothing that a run finding no more of
  // the package to remove would have to write.
  for (const EditedLine& edited : lines) {
    if (edited.cut.empty()) WriteBack(platform, edited, log, outcome);
  }
  for (const EditedLine& edited : lines) {
    if (!edited.cut.empty()) WriteBack(platform, edited, log, outcome);
  }
  return outcome;
}

}  // namespace mdm
