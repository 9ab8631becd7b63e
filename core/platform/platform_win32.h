// The real platform: every operation passes straight through to the ANSI
// Win32 API of the machine the program runs on.
//
// This header does not include <windows.h>, so that code using it keeps the
// platform constants of core/platform/platform.h.
#pragma once

#include "core/platform/platform.h"

namespace mdm {

// Its state is the family of Windows, read once when it is made, and the
// keys, searches and files it opened that nobody closed yet: a call that the
// runtime ends early (rt::GuardedCall, runtime/guard.h) skips the closes of
// its frames, so each run or export call makes an instance of its own outside
// the guarded call, and the destructor closes what is still open.
class Win32Platform final : public Platform {
 public:
  Win32Platform();
  ~Win32Platform() override;
  Win32Platform(const Win32Platform&) = delete;
  Win32Platform& operator=(const Win32Platform&) = delete;

  // True on the NT family, false on Windows 95 and 98 (and when the version
  // could not be read).
  bool IsNt() const { return nt_; }

  std::int32_t RegOpenKeyExA(RegKey parent, const char* subKey, std::uint32_t access,
                             RegKey* result) override;
  std::int32_t RegCreateKeyA(RegKey parent, const char* subKey, RegKey* result) override;
  std::int32_t RegCloseKey(RegKey key) override;
  // Deletes the whole subtree: in one call on Windows 95, subkeys first on
  // the NT family, where the API alone refuses a key that has subkeys.
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

 private:
  bool nt_ = false;
  // A fixed ledger needs no memory. The stages hold a few handles at a time;
  // one beyond the capacity is simply not tracked.
  template <typename Handle, int Capacity>
  struct Ledger {
    Handle open[Capacity] = {};
    void Add(Handle handle);
    void Remove(Handle handle);
  };
  Ledger<RegKey, 16> keys_;
  Ledger<FindHandle, 4> searches_;
  Ledger<FileHandle, 4> files_;
};

}  // namespace mdm
