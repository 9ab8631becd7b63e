#include "common/directories.h"

namespace mdm {

namespace {

bool Fits(std::uint32_t length) { return length != 0 && length < MAX_PATH; }

}  // namespace

bool QueryDirectory(Platform& platform, DirKind kind, std::string& directory) {
  char buffer[MAX_PATH] = {};
  bool fits = false;
  switch (kind) {
    case DIR_WINDOWS:
    case DIR_INF: fits = Fits(platform.GetWindowsDirectoryA(buffer, MAX_PATH)); break;
    case DIR_SYSTEM: fits = Fits(platform.GetSystemDirectoryA(buffer, MAX_PATH)); break;
    case DIR_TEMP: fits = Fits(platform.GetTempPathA(MAX_PATH, buffer)); break;
    default: break;
  }
  directory = fits ? buffer : "";
  if (fits && kind == DIR_INF) directory += "\\INF";
  if (directory.size() >= MAX_PATH) directory.clear();
  return !directory.empty();
}

}  // namespace mdm
