// The file-removal table, the directory purge and the walk over a table: the
// first stage of both deliverables.
#pragma once

#include <cstdint>
#include <string>

#include "common/platform.h"

namespace mdm {

enum DirKind : std::int32_t {
  DIR_END = 0,
  DIR_WINDOWS = 1,
  DIR_SYSTEM = 2,
  DIR_INF = 3,
  DIR_TEMP = 4,
};

// One file to delete, or (empty fileName) one directory to purge.
struct FileEntry {
  std::int32_t kind;
  char subdirectory[MAX_PATH];
  char fileName[MAX_PATH];
};

// The highest DirKind that a deliverable composes: mdmclean knows the
// temporary directory, the library stops at DIR_INF.
struct FileRemovalSettings {
  std::int32_t highestKind;
};
constexpr FileRemovalSettings PROGRAM_FILE_REMOVAL{DIR_TEMP};
constexpr FileRemovalSettings LIBRARY_FILE_REMOVAL{DIR_INF};

// The product's NVRAM window, told before any file goes.
constexpr const char* NVRAM_WINDOW_CLASS = "QN_NVRAMCLASS";
constexpr const char* NVRAM_WINDOW_TITLE = "Quillnet NVRAM";
constexpr std::uint32_t NVRAM_RELEASE_MESSAGE = 0x0401;

// The entry's full path; false when its kind is not composed by this
// deliverable or the path does not fit MAX_PATH (the entry is then skipped).
bool ComposeEntryPath(Platform& platform, const FileRemovalSettings& settings,
                      const FileEntry& entry, std::string& path);

// 1 when the directory itself was removed.
int PurgeDirectory(Platform& platform, const char* directory);

int RemoveAllEntries(Platform& platform, const FileRemovalSettings& settings,
                     const FileEntry* table);

}  // namespace mdm
