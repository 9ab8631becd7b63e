// Removal of the package's entries from the two profile list lines: the "load"
// line of win.ini and the "drivers" line of system.ini. The third stage of both
// deliverables; they differ only in the removals they hand to CleanIniLists.
#pragma once

#include <string>
#include <vector>

#include "common/change_log.h"
#include "common/platform.h"

namespace mdm {

// Upper-cases `line` and `entry` in place (ASCII letters only) and cuts the
// first occurrence of `entry` that stands for a whole entry of the list out
// of `line`, together with the one character after it when something
// follows (its separator). An occurrence counts when it ends at the end of
// the line or before a separator (blank, tab or comma) and either starts
// the line or follows a separator, or follows a backslash: then it is the
// end of a full path, and the whole entry from its start is cut. Other
// occurrences, inside other programs' entries, are passed over. Returns 1
// when an entry was cut, 0 otherwise (an empty entry never occurs). `entry`
// is zero-terminated.
int RemoveListEntry(std::string& line, char* entry);

// The same on a zero-terminated line buffer; the line only ever gets shorter,
// so the buffer that held it holds the result.
int RemoveListEntry(char* line, char* entry);

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
};

// Reads each line whole, applies its removals when the line is not empty, and
// writes the line back in every case (an absent key ends up present and empty).
// The system directory is read at most once, and only for a non-empty line
// with a removal that needs it. Always returns 1.
// The log gets each line before and after.
int CleanIniLists(Platform& platform, const IniListRemovals& removals,
                  ChangeLog& log = NoChangeLog());

}  // namespace mdm
