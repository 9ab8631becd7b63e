// A platform that lets a run look at everything and change nothing. Each
// change the run asks for is refused, and noted when it would have changed
// the machine: a file or folder there to delete, a key to delete, a profile
// value to rewrite with other text. A plan run on it tells whether anything
// it removes is left, by the very rules of the run.
#pragma once

#include "core/platform/forwarding_platform.h"

namespace mdm {

class DryRun final : public ForwardingPlatform {
 public:
  explicit DryRun(Platform& machine) : ForwardingPlatform(machine) {}

  bool WouldChange() const { return wouldChange_; }

  // Changes, refused.
  std::int32_t RegCreateKeyA(RegKey parent, const char* subKey, RegKey* result) override;
  std::int32_t RegDeleteKeyA(RegKey parent, const char* subKey) override;
  std::int32_t RegSetValueExA(RegKey key, const char* valueName, std::uint32_t type,
                              const unsigned char* data, std::uint32_t dataSize) override;
  int WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                 const char* fileName) override;
  int DeleteFileA(const char* path) override;
  int RemoveDirectoryA(const char* path) override;
  int MoveFileA(const char* from, const char* to) override;
  // No log, no undo: nothing is written.
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
  // The NVRAM program is told only by the run that removes its files.
  std::intptr_t SendMessageTimeoutA(WindowHandle window, std::uint32_t message,
                                    std::uintptr_t wParam, std::intptr_t lParam,
                                    std::uint32_t flags, std::uint32_t timeout,
                                    std::uintptr_t* result) override;
  // A refused change's error, or the machine's after a search.
  FindHandle FindFirstFileA(const char* pattern, FindData* data) override;
  int FindNextFileA(FindHandle handle, FindData* data) override;
  std::uint32_t GetLastError() override;

 private:
  // Refuses a change; `changes` says whether it would have changed the machine.
  int Refuse(bool changes);
  bool IsThere(const char* path);

  // The error of the last refused change: access denied for one that would
  // have changed the machine, not found for one with nothing to change;
  // 0 after a search, whose end the machine tells.
  std::uint32_t lastError_ = ERROR_ACCESS_DENIED;
  bool wouldChange_ = false;
};

}  // namespace mdm
