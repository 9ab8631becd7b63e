// What a Machine holds; shared by the files that implement its parts.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "emulator/file_tree.h"
#include "emulator/machine.h"
#include "emulator/registry_tree.h"

namespace mdm::emu {

constexpr std::uint32_t FILE_SHARE_WRITE = 0x00000002;

// Win32 error codes the emulated machine sets or returns beyond platform.h.
constexpr std::uint32_t ERROR_NOT_SAME_DEVICE = 17;
constexpr std::uint32_t ERROR_NO_MORE_FILES = 18;
constexpr std::uint32_t ERROR_ALREADY_EXISTS = 183;
constexpr std::uint32_t ERROR_SHARING_VIOLATION = 32;
constexpr std::uint32_t ERROR_INSUFFICIENT_BUFFER = 122;
constexpr std::uint32_t ERROR_INVALID_NAME = 123;
constexpr std::uint32_t ERROR_DIR_NOT_EMPTY = 145;
constexpr std::uint32_t ERROR_BAD_PATHNAME = 161;
constexpr std::uint32_t ERROR_FILENAME_EXCED_RANGE = 206;
constexpr std::uint32_t ERROR_DIRECTORY = 267;
constexpr std::uint32_t ERROR_NOACCESS = 998;
constexpr std::uint32_t ERROR_INVALID_USER_BUFFER = 1784;
constexpr std::uint32_t ERROR_BADKEY = 1010;
constexpr std::uint32_t ERROR_KEY_DELETED = 1018;
constexpr std::uint32_t ERROR_INVALID_WINDOW_HANDLE = 1400;

struct Window {
  std::string className;
  std::string title;
  MessageHandler handler;
  WindowTiming timing;
};

struct Search {
  WinPath directory;
  std::vector<FindData> entries;
  std::size_t next = 0;
};

// A file opened by CreateFileA, and where the next read or write goes.
struct OpenFile {
  WinPath path;
  std::size_t position = 0;
  bool forReading = false;
  std::uint32_t shareMode = 0;
  // The file after DeleteFileA took it from its folder while this handle
  // was open: reads and writes go on there, where nothing else sees them.
  std::shared_ptr<FileNode> deleted;
};

struct Machine::State {
  RegistryTree registry;
  FileTree files;

  std::string windowsDirectory = "C:\\WINDOWS";
  std::string systemDirectory = "C:\\WINDOWS\\SYSTEM";
  std::string tempPath = "C:\\WINDOWS\\TEMP\\";
  std::string workingDirectory = "C:\\WORK";
  std::uint32_t major = 4;
  std::uint32_t minor = 0;
  std::uint32_t build = 950;

  std::vector<Window> windows;
  std::vector<JournalEntry> journal;
  std::vector<KeyOpen> keyOpens;
  std::map<FindHandle, Search> searches;
  FindHandle nextSearch = 0x1000;
  std::map<FileHandle, OpenFile> openFiles;
  FileHandle nextFile = 0x2000;
  bool diskFull = false;
  std::optional<bool> deletesOpenFiles;  // set: overrides the version's way
  SystemTime localTime{1997, 6, 1, 2, 9, 30, 0, 0};
  std::uint32_t lastError = 0;

  // Windows 95 and 98 (version 4) answer as those systems were recorded to;
  // from version 5 (the NT family) the calls keep the answers Wine gives.
  bool Windows9x() const { return major < 5; }
  bool Windows98() const { return major == 4 && minor >= 10; }
  // Whether DeleteFileA deletes a file that is open or in use (see
  // Machine::SetDeletesOpenFiles).
  bool DeletesOpenFiles() const { return deletesOpenFiles.value_or(Windows9x()); }

  // Moves the clock on; days and months stay as they are.
  void Advance(std::uint32_t milliseconds);

  void Record(JournalEntry::Kind kind, std::string subject, std::string detail = {}) {
    journal.push_back(JournalEntry{kind, std::move(subject), std::move(detail)});
  }

  // Whether a file handle is open on `path` that `lets` does not let by.
  template <typename Lets>
  bool HeldOpen(const WinPath& path, Lets lets) const {
    for (const auto& [handle, opened] : openFiles) {
      if (!opened.deleted && SamePath(opened.path, path) && !lets(opened)) return true;
    }
    return false;
  }
  // Whether any file handle is open on `path`.
  bool IsOpen(const WinPath& path) const {
    return HeldOpen(path, [](const OpenFile&) { return false; });
  }

  // A file or folder at `path`, or null with the last error of a lookup
  // that failed: the name missing, or a folder on the way.
  FileNode* Existing(const WinPath& path) {
    Lookup lookup;
    FileNode* node = files.Find(path, &lookup);
    if (node == nullptr) {
      lastError = lookup == Lookup::NoFile ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
    }
    return node;
  }

  // The open file behind a handle and its node; nulls, and the last error
  // set, for a handle that is not open.
  std::pair<OpenFile*, FileNode*> Opened(FileHandle handle);
  // Takes a file from its folder; handles still open on it keep it.
  void Unlink(const WinPath& path, FileNode* file);

  WinPath WorkingPath() const;
  // A path the way the Win32 file functions resolve it, or nullopt.
  std::optional<WinPath> Resolve(const std::string& path) const;
  // As Resolve, for the set-up functions: throws std::invalid_argument.
  WinPath ResolveOrThrow(const std::string& path) const;
};

}  // namespace mdm::emu
