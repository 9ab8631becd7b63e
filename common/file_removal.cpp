#include "common/file_removal.h"

#include "common/text.h"

namespace mdm {

namespace {

// A directory query succeeded when it reported a length that fits the
// buffer. A larger count is the size it would need, with nothing usable in
// the buffer: taken as an empty base, "\\name" would name the drive's root.
bool Fits(std::uint32_t length) { return length != 0 && length < MAX_PATH; }

// The base directory of an entry's kind, as the platform reports it.
bool QueryBaseDirectory(Platform& platform, std::int32_t kind, char (&base)[MAX_PATH]) {
  base[0] = '\0';
  switch (kind) {
    case DIR_WINDOWS:
      return Fits(platform.GetWindowsDirectoryA(base, MAX_PATH));
    case DIR_SYSTEM:
      return Fits(platform.GetSystemDirectoryA(base, MAX_PATH));
    case DIR_INF: {
      char windows[MAX_PATH] = {};
      if (!Fits(platform.GetWindowsDirectoryA(windows, MAX_PATH))) return false;
      return Compose(base, "%s\\INF", windows);
    }
    case DIR_TEMP:
      return Fits(platform.GetTempPathA(MAX_PATH, base));
    default:
      return false;
  }
}

// Tells the product's NVRAM program to let go of its files, and waits for it.
void NotifyNvramWindow(Platform& platform) {
  const WindowHandle window = platform.FindWindowA(NVRAM_WINDOW_CLASS, NVRAM_WINDOW_TITLE);
  if (window != 0) platform.SendMessageA(window, NVRAM_RELEASE_MESSAGE, 0, 0);
}

bool IsDotEntry(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

}  // namespace

bool ComposeEntryPath(Platform& platform, const FileRemovalSettings& settings,
                      const FileEntry& entry, std::string& path) {
  path.clear();
  if (entry.kind <= DIR_END || entry.kind > settings.highestKind) return false;
  char buffer[MAX_PATH] = {};
  if (!QueryBaseDirectory(platform, entry.kind, buffer)) return false;
  // The separator goes in without looking at the buffer's end: a temporary
  // directory path thus holds two backslashes in a row, which Windows accepts.
  if (entry.subdirectory[0] != '\0') {
    char base[MAX_PATH];
    CopyFits(base, MAX_PATH, buffer);
    if (!Compose(buffer, "%s\\%s", base, entry.subdirectory)) return false;
  }
  if (entry.fileName[0] != '\0') {
    char base[MAX_PATH];
    CopyFits(base, MAX_PATH, buffer);
    if (!Compose(buffer, "%s\\%s", base, entry.fileName)) return false;
  }
  path = buffer;
  return true;
}

int PurgeDirectory(Platform& platform, const char* directory) {
  char pattern[MAX_PATH];
  if (Compose(pattern, "%s\\*.*", directory)) {
    FindData found;
    const FindHandle search = platform.FindFirstFileA(pattern, &found);
    if (search != INVALID_FIND_HANDLE) {
      do {
        if (IsDotEntry(found.fileName)) continue;
        // Subdirectory names go to the file deletion too, which refuses
        // them: the purge never descends.
        char member[MAX_PATH];
        if (Compose(member, "%s\\%s", directory, found.fileName)) platform.DeleteFileA(member);
      } while (platform.FindNextFileA(search, &found));
      platform.FindClose(search);
    }
  }
  return platform.RemoveDirectoryA(directory) ? 1 : 0;
}

int RemoveAllEntries(Platform& platform, const FileRemovalSettings& settings,
                     const FileEntry* table) {
  NotifyNvramWindow(platform);
  int overall = 1;
  for (const FileEntry* entry = table; entry->kind != DIR_END; ++entry) {
    std::string path;
    const bool composed = ComposeEntryPath(platform, settings, *entry, path);
    if (entry->fileName[0] != '\0') {
      if (composed && platform.DeleteFileA(path.c_str())) overall |= 1;
    } else {
      // A directory that cannot be named is a purge that failed.
      overall = composed ? PurgeDirectory(platform, path.c_str()) : 0;
    }
  }
  return overall;
}

}  // namespace mdm
