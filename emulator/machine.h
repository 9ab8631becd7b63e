// An emulated Windows 95 machine for the host build: registry of
// HKEY_LOCAL_MACHINE, drives, profile files, Windows/system/temp directories,
// version, top-level windows, and a journal of every change.
//
// The machine lives in memory; tests build as many as they like. A machine
// image on disk (a folder: settings file, REGEDIT4 registry, one folder per
// drive) is loaded with LoadImage and written back with SaveImage.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/platform/platform.h"

namespace mdm::emu {

// One change made through the platform interface, in the order made.
struct JournalEntry {
  enum class Kind {
    FileDeleted,       // subject: the file's full path as stored (its own case)
    DirectoryRemoved,  // subject: the directory's full path
    KeyDeleted,        // subject: the key path below HKEY_LOCAL_MACHINE, stored case
    KeyCreated,        // subject: the key path
    ValueSet,          // subject: key path, detail: value name ("" for default)
    ProfileWritten,    // subject: profile file path, detail: "section\key=value"
    MessageSent,       // subject: "class/title", detail: "msg=0x0401 wParam=0 lParam=0",
                       // then " not answered: hung" or " not answered in <n> ms"
    FileWritten,       // subject: the file's full path, detail: "created", "N bytes at P"
                       // or "end at P"
    FileMoved,         // subject: the file's full path before, detail: after
  };
  Kind kind;
  std::string subject;
  std::string detail;
};

std::string ToString(const JournalEntry& entry);

using MessageHandler = std::function<std::intptr_t(std::uint32_t message, std::uintptr_t wParam,
                                                   std::intptr_t lParam)>;

// How long a window takes to handle a message, on the machine's own clock
// (GetLocalTime moves on by what a sender waits); a hung window handles none
// while the sender waits, and Windows knows it for hung.
struct WindowTiming {
  std::uint32_t answersAfterMs = 0;
  bool hung = false;
};

class Machine final : public Platform {
 public:
  // A bare Windows 95 machine: drive C:, Windows directory C:\WINDOWS, system
  // directory C:\WINDOWS\SYSTEM, temporary path C:\WINDOWS\TEMP\ (all three
  // folders exist), version 4.0 build 950, working directory C:\WORK (exists),
  // an empty registry.
  Machine();
  ~Machine() override;
  Machine(const Machine&) = delete;
  Machine& operator=(const Machine&) = delete;

  // ---- Image on disk.
  // Throws std::runtime_error with a readable message on a malformed image.
  static std::unique_ptr<Machine> LoadImage(const std::string& directory);
  void SaveImage(const std::string& directory) const;

  // ---- Settings (not journaled).
  void SetWindowsDirectory(const std::string& path);
  void SetSystemDirectory(const std::string& path);
  void SetTempPath(const std::string& path);  // with trailing backslash
  // Version 4 answers every call as Windows 95 (4.0) or 98 (4.10) was recorded
  // to; version 5 and up as the NT family, the way Wine answers.
  void SetVersion(std::uint32_t major, std::uint32_t minor, std::uint32_t build = 950);
  void SetWorkingDirectory(const std::string& path);
  std::string WorkingDirectory() const;
  // A top-level window whose procedure is `handler`, called synchronously by
  // SendMessageTimeoutA when it answers in time; a message it does not answer
  // in time reaches it only after the sender has gone on, so not here.
  void AddWindow(const std::string& className, const std::string& title, MessageHandler handler,
                 WindowTiming timing = {});

  // ---- Registry set-up and inspection (paths below HKEY_LOCAL_MACHINE, not journaled).
  void AddKey(const std::string& path);  // creates missing parents too
  void SetValue(const std::string& keyPath, const std::string& name, std::uint32_t type,
                const std::vector<unsigned char>& data);  // creates the key
  void SetString(const std::string& keyPath, const std::string& name, const std::string& value);
  void SetDword(const std::string& keyPath, const std::string& name, std::uint32_t value);
  bool HasKey(const std::string& path) const;
  bool HasValue(const std::string& keyPath, const std::string& name) const;
  // REG_SZ data without its terminator; nullopt when key or value is absent.
  std::optional<std::string> GetString(const std::string& keyPath, const std::string& name) const;
  // The key cannot be opened (every open fails with ERROR_ACCESS_DENIED), but is
  // still enumerated and can be deleted with its parent.
  void DenyOpen(const std::string& path);
  // The whole registry as REGEDIT4 text: keys in enumeration order, values
  // sorted case-blind.
  std::string ExportRegistry() const;
  void ImportRegistry(const std::string& regeditText);  // throws on malformed text

  // ---- File set-up and inspection (full Windows paths, not journaled).
  void AddFile(const std::string& path, const std::string& content = {});  // creates parents
  void AddDirectory(const std::string& path);                              // creates parents
  void RemoveFile(const std::string& path);  // set-up: gone whatever its attributes; absent is fine
  void SetReadOnly(const std::string& path, bool readOnly = true);
  // Held by a running program or by another program's open handle:
  // DeleteFileA treats it as an open file; MoveFileA and CreateFileA refuse it.
  void SetInUse(const std::string& path, bool inUse = true);
  // What DeleteFileA does with a file that is open through CreateFileA or in
  // use. Windows 95 and 98 delete it (Platform SDK, April 2000: "In Windows
  // 95/98, DeleteFile deletes such files"); the NT family refuses. Each
  // version starts with its own way. Set to false, every version refuses with
  // ERROR_SHARING_VIOLATION (what Wine answers in Windows 95 mode): the way an
  // older Win32 help text describes ("The file must, however, be closed before
  // any attempt to delete it will succeed"), so that tests can run both.
  void SetDeletesOpenFiles(bool deletes);
  // Every write to a file fails with ERROR_DISK_FULL, writing nothing.
  void SetDiskFull(bool full = true);
  // What GetLocalTime reports; 2 June 1997, 09:30:00 until set.
  void SetLocalTime(const SystemTime& time);
  bool FileExists(const std::string& path) const;
  bool DirectoryExists(const std::string& path) const;
  std::optional<std::string> ReadFile(const std::string& path) const;
  // Every file and directory below `root`, full paths in stored case, sorted.
  std::vector<std::string> ListTree(const std::string& root = "C:\\") const;

  // ---- Journal.
  const std::vector<JournalEntry>& Journal() const;
  void ClearJournal();

  // ---- Platform.
  std::int32_t RegOpenKeyExA(RegKey parent, const char* subKey, std::uint32_t access,
                             RegKey* result) override;
  std::int32_t RegCreateKeyA(RegKey parent, const char* subKey, RegKey* result) override;
  std::int32_t RegCloseKey(RegKey key) override;
  std::int32_t RegDeleteKeyA(RegKey parent, const char* subKey) override;
  std::int32_t RegEnumKeyA(RegKey key, std::uint32_t index, char* name,
                           std::uint32_t nameSize) override;
  std::int32_t RegQueryValueExA(RegKey key, const char* valueName, std::uint32_t* type,
                                unsigned char* data, std::uint32_t* dataSize) override;
  std::int32_t RegQueryValueA(RegKey key, const char* subKey, char* data,
                              std::int32_t* dataSize) override;
  std::int32_t RegEnumValueA(RegKey key, std::uint32_t index, char* valueName,
                             std::uint32_t* valueNameSize, std::uint32_t* type, unsigned char* data,
                             std::uint32_t* dataSize) override;
  std::int32_t RegSetValueExA(RegKey key, const char* valueName, std::uint32_t type,
                              const unsigned char* data, std::uint32_t dataSize) override;
  std::uint32_t GetPrivateProfileStringA(const char* section, const char* key,
                                         const char* defaultValue, char* buffer, std::uint32_t size,
                                         const char* fileName) override;
  int WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                 const char* fileName) override;
  std::uint32_t GetWindowsDirectoryA(char* buffer, std::uint32_t size) override;
  std::uint32_t GetSystemDirectoryA(char* buffer, std::uint32_t size) override;
  std::uint32_t GetTempPathA(std::uint32_t size, char* buffer) override;
  int GetVersionExA(VersionInfo* info) override;
  FindHandle FindFirstFileA(const char* pattern, FindData* data) override;
  int FindNextFileA(FindHandle handle, FindData* data) override;
  int FindClose(FindHandle handle) override;
  int DeleteFileA(const char* path) override;
  int RemoveDirectoryA(const char* path) override;
  std::uint32_t GetLastError() override;
  FileHandle CreateFileA(const char* path, std::uint32_t access, std::uint32_t shareMode,
                         std::uint32_t creation, std::uint32_t attributes) override;
  int WriteFile(FileHandle file, const void* data, std::uint32_t size,
                std::uint32_t* written) override;
  int ReadFile(FileHandle file, void* data, std::uint32_t size, std::uint32_t* read) override;
  std::uint32_t SetFilePointer(FileHandle file, std::int32_t distance,
                               std::uint32_t method) override;
  std::uint32_t GetFileSize(FileHandle file) override;
  int SetEndOfFile(FileHandle file) override;
  int FlushFileBuffers(FileHandle file) override;
  int CloseHandle(FileHandle file) override;
  void GetLocalTime(SystemTime* time) override;
  int MoveFileA(const char* from, const char* to) override;
  WindowHandle FindWindowA(const char* className, const char* windowName) override;
  std::intptr_t SendMessageTimeoutA(WindowHandle window, std::uint32_t message,
                                    std::uintptr_t wParam, std::intptr_t lParam,
                                    std::uint32_t flags, std::uint32_t timeout,
                                    std::uintptr_t* result) override;

  // Handles and searches still open (tests check that every one was closed).
  std::size_t OpenKeyCount() const;
  // The process that made the calls has ended: Windows closes every key,
  // search and file it left open.
  void EndProcess();
  std::size_t OpenSearchCount() const;
  std::size_t OpenFileCount() const;

  // Every RegOpenKeyExA call in order: the key asked for (below
  // HKEY_LOCAL_MACHINE, as the caller spelled it), the access requested and
  // the result. The access is recorded, not enforced, as on Windows 95.
  struct KeyOpen {
    std::string path;
    std::uint32_t access;
    std::int32_t result;
  };
  const std::vector<KeyOpen>& KeyOpenLog() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace mdm::emu
