// A platform that lets a run look at everything and change nothing. Each
// change the run asks for is refused, and noted when it would have changed
// the machine: a file or folder there to delete, a key to delete, a profile
// value to rewrite with other text. A plan run on it tells whether anything
// it removes is left, by the very rules of the run.
#pragma once

#include "core/platform/platform.h"

namespace mdm {

class DryRun final : public Platform {
 public:
  explicit DryRun(Platform& machine) : machine_(machine) {}

  bool WouldChange() const { return wouldChange_; }

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

 private:
  // Refuses a change; `changes` says whether it would have changed the machine.
  int Refuse(bool changes);
  bool IsThere(const char* path);

  Platform& machine_;
  // The error of the last refused change: access denied for one that would
  // have changed the machine, not found for one with nothing to change;
  // 0 after a search, whose end the machine tells.
  std::uint32_t lastError_ = ERROR_ACCESS_DENIED;
  bool wouldChange_ = false;
};

}  // namespace mdm
