// The file stage, the first of both deliverables: the files a plan names,
// each in its folder, and the product folder emptied and removed.
#pragma once

#include <string>
#include <vector>

#include "core/record/change_log.h"
#include "core/base/directories.h"
#include "core/record/outcome.h"
#include "core/platform/platform.h"

namespace mdm {

// One file to delete, or (empty fileName) one directory to purge: the base
// directory of `kind`, then `subdirectory` when it is not empty.
struct FileEntry {
  DirKind kind = DIR_END;
  std::string subdirectory;
  std::string fileName;
};

// The highest DirKind that a deliverable composes: mdmclean knows the
// temporary directory, the library stops at DIR_INF.
struct FileRemovalSettings {
  DirKind highestKind;
};
constexpr FileRemovalSettings PROGRAM_FILE_REMOVAL{DIR_TEMP};
constexpr FileRemovalSettings LIBRARY_FILE_REMOVAL{DIR_INF};

// The entry's full path: Known; TooLong when its kind is not composed by
// this deliverable or the path does not fit MAX_PATH (the entry is then
// skipped); Failed when the platform would not tell its base directory.
DirectoryAnswer NameEntry(Platform& platform, const FileRemovalSettings& settings,
                          const FileEntry& entry, std::string& path);

inline bool ComposeEntryPath(Platform& platform, const FileRemovalSettings& settings,
                             const FileEntry& entry, std::string& path) {
  return NameEntry(platform, settings, entry, path) == DirectoryAnswer::Known;
}

// Deletes one file; the log says whether it went ("removed <what> <path>")
// or why not, and `outcome` counts it unless it was not there. Non-zero when
// it went.
int DeleteFileLogged(Platform& platform, ChangeLog& log, StageOutcome& outcome, ItemKind kind,
                     const char* path);

// Deletes every file of `directory` (never descending), then the directory;
// 1 when the directory itself was removed.
int PurgeDirectory(Platform& platform, const char* directory, ChangeLog& log,
                   StageOutcome& outcome);

// Tells the product's NVRAM window, then handles the entries in order up to
// the first DIR_END entry or the end: each file and folder that went, and
// each that stayed.
StageOutcome RemoveAllEntries(Platform& platform, const FileRemovalSettings& settings,
                              const std::vector<FileEntry>& table, ChangeLog& log = NoChangeLog());

}  // namespace mdm
