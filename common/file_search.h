// A directory search that closes itself, and a walk over what it finds.
#pragma once

#include <string>

#include "common/platform.h"

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

// Something, a file or a folder, is at `path`.
inline bool PathExists(Platform& platform, const char* path) {
  return ScopedSearch(platform, path).Found();
}
inline bool PathExists(Platform& platform, const std::string& path) {
  return PathExists(platform, path.c_str());
}

// A file, not a folder, is at `path`.
inline bool FileExists(Platform& platform, const char* path) {
  ScopedSearch search(platform, path);
  return search.Found() && (search.Current().attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// Calls visit(found) for every entry the search for `pattern` yields, in its
// order ("." and ".." included); the search is closed when this returns.
template <typename Visit>
void ForEachFound(Platform& platform, const char* pattern, Visit visit) {
  ScopedSearch search(platform, pattern);
  if (!search.Found()) return;
  do {
    visit(search.Current());
  } while (search.Next());
}

}  // namespace mdm
