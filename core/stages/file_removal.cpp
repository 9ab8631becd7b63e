#include "core/stages/file_removal.h"

#include "core/base/file_search.h"
#include "core/package/limits.h"
#include "core/package/product.h"
#include "core/base/text.h"

namespace mdm {

namespace {

constexpr std::uint32_t DAY_MS = 24u * 60 * 60 * 1000;

// The local time of day in milliseconds.
std::uint32_t MillisecondsOfDay(Platform& platform) {
  SystemTime now;
  platform.GetLocalTime(&now);
  return ((now.hour * 60u + now.minute) * 60u + now.second) * 1000u + now.milliseconds;
}

// Tells the product's NVRAM program to let go of its files, and waits until
// it has: at most NVRAM_WAIT_MS, and not at all when Windows considers its
// window hung (a hung product is why people run an uninstaller).
void NotifyNvramWindow(Platform& platform, ChangeLog& log) {
  const WindowHandle window =
      platform.FindWindowA(product::NVRAM_WINDOW_CLASS, product::NVRAM_WINDOW_TITLE);
  if (window == 0) {
    log.Line("no NVRAM window to notify");
    return;
  }
  std::uintptr_t reply = 0;
  const std::uint32_t sent = MillisecondsOfDay(platform);
  if (platform.SendMessageTimeoutA(window, product::NVRAM_RELEASE_MESSAGE, 0, 0, SMTO_ABORTIFHUNG,
                                   NVRAM_WAIT_MS, &reply) != 0) {
    log.Line("notified the NVRAM window");
    return;
  }
  const std::uint32_t error = platform.GetLastError();
  // Windows 95 sets no error for either: the time the call took tells a
  // window it knows to be hung (refused at once) from one that did not answer.
  const std::uint32_t waited = (MillisecondsOfDay(platform) + DAY_MS - sent) % DAY_MS;
  char line[128];
  if (waited < NVRAM_WAIT_MS / 2) {
    Compose(line, "the NVRAM window is hung, Windows says (error %u); going on without waiting",
            static_cast<unsigned>(error));
  } else {
    Compose(line, "the NVRAM window did not answer within %u s (error %u); going on",
            static_cast<unsigned>(NVRAM_WAIT_MS / 1000), static_cast<unsigned>(error));
  }
  log.Line(line);
}

// An entry by its names alone: "QUILLNET.101\\QUILLNET.EXE in the system folder".
std::string Described(const FileEntry& entry) {
  static const char* const FOLDERS[] = {"", "Windows", "system", "INF", "temporary"};
  std::string names = entry.subdirectory;
  if (!entry.fileName.empty()) names += (names.empty() ? "" : "\\") + entry.fileName;
  return names + " in the " + FOLDERS[entry.kind] + " folder";
}

bool IsDotEntry(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// Counts one thing the stage went for: gone, stayed with its error, or not
// there at all (not counted); the log hears of it in each case.
void Count(ChangeLog& log, StageOutcome& outcome, ItemKind kind, const char* path, bool removed,
           std::uint32_t error) {
  LogRemoval(log, KindName(kind), path, removed, error);
  if (removed) {
    outcome.Went(kind, path);
  } else if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
    char why[24];
    Compose(why, "error %u", static_cast<unsigned>(error));
    outcome.Stayed(kind, path, why);
  }
}

}  // namespace

int DeleteFileLogged(Platform& platform, ChangeLog& log, StageOutcome& outcome, ItemKind kind,
                     const char* path) {
  const int removed = platform.DeleteFileA(path);
  Count(log, outcome, kind, path, removed != 0, removed != 0 ? 0 : platform.GetLastError());
  return removed;
}

DirectoryAnswer NameEntry(Platform& platform, const FileRemovalSettings& settings,
                          const FileEntry& entry, std::string& path) {
  path.clear();
  if (entry.kind <= DIR_END || entry.kind > settings.highestKind) return DirectoryAnswer::TooLong;
  std::string base;
  const DirectoryAnswer answer = AskDirectory(platform, entry.kind, base);
  if (answer != DirectoryAnswer::Known) return answer;
  // The separator goes in without looking at the base's end: a temporary
  // directory path thus holds two backslashes in a row, which Windows accepts.
  char buffer[MAX_PATH];
  if (!entry.subdirectory.empty()) {
    if (!Compose(buffer, "%s\\%s", base.c_str(), entry.subdirectory.c_str())) {
      return DirectoryAnswer::TooLong;
    }
    base = buffer;
  }
  if (!entry.fileName.empty()) {
    if (!Compose(buffer, "%s\\%s", base.c_str(), entry.fileName.c_str())) {
      return DirectoryAnswer::TooLong;
    }
    base = buffer;
  }
  path = base;
  return DirectoryAnswer::Known;
}

int PurgeDirectory(Platform& platform, const char* directory, ChangeLog& log,
                   StageOutcome& outcome) {
  char pattern[MAX_PATH];
  if (Compose(pattern, "%s\\*.*", directory)) {
    // The search is closed before the directory goes: it would hold it.
    ForEachFound(platform, pattern, [&](const FindData& found) {
      if (IsDotEntry(found.fileName)) return;
      // Subdirectory names go to the file deletion too, which refuses them:
      // the purge never descends.
      char member[MAX_PATH];
      if (Compose(member, "%s\\%s", directory, found.fileName)) {
        DeleteFileLogged(platform, log, outcome, ItemKind::File, member);
      }
    });
  }
  const bool removed = platform.RemoveDirectoryA(directory) != 0;
  Count(log, outcome, ItemKind::Folder, directory, removed, removed ? 0 : platform.GetLastError());
  return removed ? 1 : 0;
}

StageOutcome RemoveAllEntries(Platform& platform, const FileRemovalSettings& settings,
                              const std::vector<FileEntry>& table, ChangeLog& log) {
  NotifyNvramWindow(platform, log);
  StageOutcome outcome;
  for (const FileEntry& entry : table) {
    if (entry.kind == DIR_END) break;
    std::string path;
    // An entry that cannot be named is passed over; one whose folder the
    // platform would not tell may be there, and stays.
    const DirectoryAnswer named = NameEntry(platform, settings, entry, path);
    if (named == DirectoryAnswer::Failed) {
      outcome.Stayed(entry.fileName.empty() ? ItemKind::Folder : ItemKind::File, Described(entry),
                     "its folder cannot be named");
    }
    if (named != DirectoryAnswer::Known) continue;
    if (!entry.fileName.empty()) {
      DeleteFileLogged(platform, log, outcome, ItemKind::File, path.c_str());
    } else {
      PurgeDirectory(platform, path.c_str(), log, outcome);
    }
  }
  return outcome;
}

}  // namespace mdm
