// Removal of the package's entries from the two profile list lines: the "load"
// line of win.ini and the "drivers" line of system.ini. The third stage of both
// deliverables; they differ only in the removals they hand to CleanIniLists.
#pragma once

#include <string>
#include <vector>

#include "core/record/change_log.h"
#include "core/record/outcome.h"
#include "core/platform/platform.h"

namespace mdm {

// Cuts every occurrence of `entry` that stands for a whole entry of the list
// out of `line`, together with the one character after it when something
// follows (its separator); the separator before an entry never goes. Letters
// compare case-blind (ASCII only); everything left keeps its exact text. An
// entry is separated from the next by a blank, a tab or a comma, or stands in
// double quotes (a long file name with blanks). An occurrence counts when it
// is the whole entry, or the end of a full path (right after a backslash),
// which then goes whole with its quotes: cutting less would fuse what is
// left of it with the next entry. Occurrences inside other programs' entries
// are passed over. Returns how many entries went (an empty entry never
// occurs).
int RemoveListEntry(std::string& line, const std::string& entry);

// The profile reader drops the quotes around a value that begins and ends
// with one, so that a line of quoted entries comes back with its first and
// last quote missing. The text as it stands in the file: `value` with the
// two quotes back when they are what its entries miss.
std::string WithOuterQuotesRestored(const std::string& value);

// One entry to cut from a list line: `entry` itself, or, when
// `underSystemDirectory`, the system directory, a backslash and `entry`
// ("C:\WINDOWS\SYSTEM\QUILLNET.101\QUILLNET.EXE"). An entry that is empty,
// or does not fit MAX_PATH with the directory, is skipped.
struct ListRemoval {
  bool underSystemDirectory;
  std::string entry;
};

// A deliverable's removals for each of the two lines, applied in order, each
// on the line as the one before left it.
struct IniListRemovals {
  std::vector<ListRemoval> load;     // "load" of "windows" in win.ini
  std::vector<ListRemoval> drivers;  // "drivers" of "boot" in system.ini
  // Also from the load line: the entries, by full path and relative to the
  // system directory, of every file the file stage deleted from the product
  // folder (the runner adds them).
  bool alsoEntriesOfDeletedProductFiles = false;
};

// Reads each line whole and applies its removals when the line is not empty.
// A line from which something was cut is written back; an empty or absent one
// is written back empty (an absent key ends up present and empty); any other
// is left as it is. The system directory is read at most once, and only for
// a non-empty line with a removal that needs it. Each entry cut is counted as
// removed, or as remaining when its line could not be written.
// The log gets each line before and after.
StageOutcome CleanIniLists(Platform& platform, const IniListRemovals& removals,
                           ChangeLog& log = NoChangeLog());

}  // namespace mdm
