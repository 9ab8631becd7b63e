// The Windows, system, INF and temporary directories, as the platform
// reports them: the one query every stage uses.
#pragma once

#include <cstdint>
#include <string>

#include "core/platform/platform.h"

namespace mdm {

// The base directories a file entry may name.
enum DirKind : std::int32_t {
  DIR_END = 0,  // ends a file table
  DIR_WINDOWS = 1,
  DIR_SYSTEM = 2,
  DIR_INF = 3,   // "INF" below the Windows directory
  DIR_TEMP = 4,  // ends in a backslash, as the platform reports it
};

// What a directory query gave: the directory, one too long to use, or
// nothing because the query failed.
enum class DirectoryAnswer { Known, TooLong, Failed };

// The directory of `kind`, or the empty text when the platform reports none
// (the query failed) or one that does not fit MAX_PATH. A larger count is
// the size the query would need, with nothing usable in the buffer: taken as
// an empty base, "\name" would name something at the root of the drive.
DirectoryAnswer AskDirectory(Platform& platform, DirKind kind, std::string& directory);

inline bool QueryDirectory(Platform& platform, DirKind kind, std::string& directory) {
  return AskDirectory(platform, kind, directory) == DirectoryAnswer::Known;
}

}  // namespace mdm
