#include "common/file_removal.h"

#include "common/file_search.h"
#include "common/product.h"
#include "common/text.h"

namespace mdm {

namespace {

// Tells the product's NVRAM program to let go of its files, and waits for it.
void NotifyNvramWindow(Platform& platform, ChangeLog& log) {
  const WindowHandle window =
      platform.FindWindowA(product::NVRAM_WINDOW_CLASS, product::NVRAM_WINDOW_TITLE);
  if (window == 0) {
    log.Line("no NVRAM window to notify");
    return;
  }
  platform.SendMessageA(window, product::NVRAM_RELEASE_MESSAGE, 0, 0);
  log.Line("notified the NVRAM window");
}

bool IsDotEntry(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

}  // namespace

int DeleteFileLogged(Platform& platform, ChangeLog& log, const char* what, const char* path) {
  const int removed = platform.DeleteFileA(path);
  LogRemoval(log, what, path, removed != 0, removed != 0 ? 0 : platform.GetLastError());
  return removed;
}

bool ComposeEntryPath(Platform& platform, const FileRemovalSettings& settings,
                      const FileEntry& entry, std::string& path) {
  path.clear();
  if (entry.kind <= DIR_END || entry.kind > settings.highestKind) return false;
  std::string base;
  if (!QueryDirectory(platform, entry.kind, base)) return false;
  // The separator goes in without looking at the base's end: a temporary
  // directory path thus holds two backslashes in a row, which Windows accepts.
  char buffer[MAX_PATH];
  if (!entry.subdirectory.empty()) {
    if (!Compose(buffer, "%s\\%s", base.c_str(), entry.subdirectory.c_str())) return false;
    base = buffer;
  }
  if (!entry.fileName.empty()) {
    if (!Compose(buffer, "%s\\%s", base.c_str(), entry.fileName.c_str())) return false;
    base = buffer;
  }
  path = base;
  return true;
}

int PurgeDirectory(Platform& platform, const char* directory, ChangeLog& log) {
  char pattern[MAX_PATH];
  if (Compose(pattern, "%s\\*.*", directory)) {
    // The search is closed before the directory goes: it would hold it.
    ForEachFound(platform, pattern, [&](const FindData& found) {
      if (IsDotEntry(found.fileName)) return;
      // Subdirectory names go to the file deletion too, which refuses them:
      // the purge never descends.
      char member[MAX_PATH];
      if (Compose(member, "%s\\%s", directory, found.fileName)) DeleteFileLogged(platform, log, "file", member);
    });
  }
  const bool removed = platform.RemoveDirectoryA(directory) != 0;
  LogRemoval(log, "folder", directory, removed, removed ? 0 : platform.GetLastError());
  return removed ? 1 : 0;
}

int RemoveAllEntries(Platform& platform, const FileRemovalSettings& settings,
                     const std::vector<FileEntry>& table, ChangeLog& log) {
  NotifyNvramWindow(platform, log);
  int flag = 1;
  for (const FileEntry& entry : table) {
    if (entry.kind == DIR_END) break;
    std::string path;
    const bool composed = ComposeEntryPath(platform, settings, entry, path);
    if (!entry.fileName.empty()) {
      // A failed deletion never clears the flag.
      if (composed && DeleteFileLogged(platform, log, "file", path.c_str())) flag = 1;
    } else {
      // A directory that cannot be named is a purge that failed.
      flag = composed ? PurgeDirectory(platform, path.c_str(), log) : 0;
    }
  }
  return flag;
}

}  // namespace mdm
