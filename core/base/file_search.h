// A directory search that closes itself, and a walk over what it finds.
#pragma once

#include <string>

#include "core/platform/platform.h"

namespace mdm {

// One search started with FindFirstFileA, closed when the object goes. One
// owner: it is neither copied nor moved.
class ScopedSearch {
 public:
  ScopedSearch(Platform& platform, const char* pattern)
      : platform_(platform), handle_(platform.FindFirstFileA(pattern, &found_)) {}
  ~ScopedSearch() {
    if (Found()) platform_.FindClose(handle_);
  }
  ScopedSearch(const ScopedSearch&) = delete;
  ScopedSearch& operator=(const ScopedSearch&) = delete;

  // The search found something, and Current() holds it.
  bool Found() const { return handle_ != INVALID_FIND_HANDLE; }
  const FindData& Current() const { return found_; }
  // Moves to the next entry; false when there is none.
  bool Next() { return platform_.FindNextFileA(handle_, &found_) != 0; }

 private:
  Platform& platform_;
  FindData found_;
  FindHandle handle_;
};

// What is at a path: a file, a folder, nothing (the search found no such
// name, or no such folder on the way), or unknown (the search failed else).
enum class PathHolds { Nothing, File, Folder, Unknown };

// The last error of a search that found nothing says whether nothing is there.
inline bool FoundNothing(std::uint32_t error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
         error == ERROR_NO_MORE_FILES;
}

inline PathHolds WhatIsAt(Platform& platform, const char* path) {
  const ScopedSearch search(platform, path);
  if (search.Found()) {
    return (search.Current().attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? PathHolds::Folder
                                                                         : PathHolds::File;
  }
  return FoundNothing(platform.GetLastError()) ? PathHolds::Nothing : PathHolds::Unknown;
}

// Something, a file or a folder, is at `path`, or may be.
inline bool PathExists(Platform& platform, const char* path) {
  return WhatIsAt(platform, path) != PathHolds::Nothing;
}
inline bool PathExists(Platform& platform, const std::string& path) {
  return PathExists(platform, path.c_str());
}

// A file, not a folder, is at `path`.
inline bool FileExists(Platform& platform, const char* path) {
  return WhatIsAt(platform, path) == PathHolds::File;
}

// Calls visit(found) for every entry the search for `pattern` yields, in its
// order ("." and ".." included); the search is closed when this returns.
// True when the search went to its end, or found nothing because nothing is
// there; false when the platform failed it part way.
template <typename Visit>
bool ForEachFound(Platform& platform, const char* pattern, Visit visit) {
  ScopedSearch search(platform, pattern);
  if (!search.Found()) return FoundNothing(platform.GetLastError());
  do {
    visit(search.Current());
  } while (search.Next());
  return FoundNothing(platform.GetLastError());
}

}  // namespace mdm
