#include "core/base/directories.h"

namespace mdm {

DirectoryAnswer AskDirectory(Platform& platform, DirKind kind, std::string& directory) {
  char buffer[MAX_PATH] = {};
  std::uint32_t length = 0;
  switch (kind) {
    case DIR_WINDOWS:
    case DIR_INF: length = platform.GetWindowsDirectoryA(buffer, MAX_PATH); break;
    case DIR_SYSTEM: length = platform.GetSystemDirectoryA(buffer, MAX_PATH); break;
    case DIR_TEMP: length = platform.GetTempPathA(MAX_PATH, buffer); break;
    default: break;
  }
  directory.clear();
  if (length == 0) return DirectoryAnswer::Failed;
  if (length >= MAX_PATH) return DirectoryAnswer::TooLong;
  directory = buffer;
  if (kind == DIR_INF) directory += "\\INF";
  if (directory.size() >= MAX_PATH) directory.clear();
  return directory.empty() ? DirectoryAnswer::TooLong : DirectoryAnswer::Known;
}

}  // namespace mdm
