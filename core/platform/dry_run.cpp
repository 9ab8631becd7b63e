#include "core/platform/dry_run.h"

#include <string>
#include <vector>

namespace mdm {

int DryRun::Refuse(bool changes) {
  wouldChange_ = wouldChange_ || changes;
  lastError_ = changes ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
  return 0;
}

bool DryRun::IsThere(const char* path) {
  FindData found;
  const FindHandle search = Inner().FindFirstFileA(path, &found);
  if (search == INVALID_FIND_HANDLE) return false;
  Inner().FindClose(search);
  return true;
}

std::int32_t DryRun::RegCreateKeyA(RegKey, const char*, RegKey*) { return ERROR_ACCESS_DENIED; }
// A stage deletes only a key it found there.
std::int32_t DryRun::RegDeleteKeyA(RegKey, const char*) {
  Refuse(true);
  return ERROR_ACCESS_DENIED;
}
std::int32_t DryRun::RegSetValueExA(RegKey, const char*, std::uint32_t, const unsigned char*,
                                    std::uint32_t) {
  Refuse(true);
  return ERROR_ACCESS_DENIED;
}
// Writing back the text that is there, or nothing where nothing is, changes
// nothing of the package's.
int DryRun::WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                       const char* fileName) {
  const std::string wanted = value == nullptr ? std::string() : value;
  std::vector<char> now(wanted.size() + 2, '\0');
  const std::uint32_t count = Inner().GetPrivateProfileStringA(
      section, key, "", now.data(), static_cast<std::uint32_t>(now.size()), fileName);
  return Refuse(count != wanted.size() || wanted.compare(0, count, now.data(), count) != 0);
}
int DryRun::DeleteFileA(const char* path) { return Refuse(IsThere(path)); }
int DryRun::RemoveDirectoryA(const char* path) { return Refuse(IsThere(path)); }
int DryRun::MoveFileA(const char*, const char*) { return 0; }

FileHandle DryRun::CreateFileA(const char*, std::uint32_t, std::uint32_t, std::uint32_t,
                               std::uint32_t) {
  return INVALID_FILE_HANDLE;
}
int DryRun::WriteFile(FileHandle, const void*, std::uint32_t, std::uint32_t*) { return 0; }
int DryRun::ReadFile(FileHandle, void*, std::uint32_t, std::uint32_t*) { return 0; }
std::uint32_t DryRun::SetFilePointer(FileHandle, std::int32_t, std::uint32_t) {
  return 0xFFFFFFFFu;
}
std::uint32_t DryRun::GetFileSize(FileHandle) { return 0xFFFFFFFFu; }
int DryRun::SetEndOfFile(FileHandle) { return 0; }
int DryRun::FlushFileBuffers(FileHandle) { return 0; }
int DryRun::CloseHandle(FileHandle) { return 0; }
std::intptr_t DryRun::SendMessageTimeoutA(WindowHandle, std::uint32_t, std::uintptr_t,
                                          std::intptr_t, std::uint32_t, std::uint32_t,
                                          std::uintptr_t*) {
  return 0;
}

FindHandle DryRun::FindFirstFileA(const char* pattern, FindData* data) {
  lastError_ = 0;
  return Inner().FindFirstFileA(pattern, data);
}
int DryRun::FindNextFileA(FindHandle handle, FindData* data) {
  lastError_ = 0;
  return Inner().FindNextFileA(handle, data);
}
std::uint32_t DryRun::GetLastError() {
  return lastError_ != 0 ? lastError_ : Inner().GetLastError();
}

}  // namespace mdm
