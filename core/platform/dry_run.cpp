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
  const FindHandle search = machine_.FindFirstFileA(path, &found);
  if (search == INVALID_FIND_HANDLE) return false;
  machine_.FindClose(search);
  return true;
}

std::int32_t DryRun::RegOpenKeyExA(RegKey parent, const char* subKey, std::uint32_t access,
                                   RegKey* result) {
  return machine_.RegOpenKeyExA(parent, subKey, access, result);
}
std::int32_t DryRun::RegCreateKeyA(RegKey, const char*, RegKey*) { return ERROR_ACCESS_DENIED; }
std::int32_t DryRun::RegCloseKey(RegKey key) { return machine_.RegCloseKey(key); }
// A stage deletes only a key it found there.
std::int32_t DryRun::RegDeleteKeyA(RegKey, const char*) {
  Refuse(true);
  return ERROR_ACCESS_DENIED;
}
std::int32_t DryRun::RegEnumKeyA(RegKey key, std::uint32_t index, char* name,
                                 std::uint32_t nameSize) {
  return machine_.RegEnumKeyA(key, index, name, nameSize);
}
std::int32_t DryRun::RegQueryValueExA(RegKey key, const char* valueName, std::uint32_t* type,
                                      unsigned char* data, std::uint32_t* dataSize) {
  return machine_.RegQueryValueExA(key, valueName, type, data, dataSize);
}
std::int32_t DryRun::RegQueryValueA(RegKey key, const char* subKey, char* data,
                                    std::int32_t* dataSize) {
  return machine_.RegQueryValueA(key, subKey, data, dataSize);
}
std::int32_t DryRun::RegEnumValueA(RegKey key, std::uint32_t index, char* valueName,
                                   std::uint32_t* valueNameSize, std::uint32_t* type,
                                   unsigned char* data, std::uint32_t* dataSize) {
  return machine_.RegEnumValueA(key, index, valueName, valueNameSize, type, data, dataSize);
}
std::int32_t DryRun::RegSetValueExA(RegKey, const char*, std::uint32_t, const unsigned char*,
                                    std::uint32_t) {
  Refuse(true);
  return ERROR_ACCESS_DENIED;
}
std::uint32_t DryRun::GetPrivateProfileStringA(const char* section, const char* key,
                                               const char* defaultValue, char* buffer,
                                               std::uint32_t size, const char* fileName) {
  return machine_.GetPrivateProfileStringA(section, key, defaultValue, buffer, size, fileName);
}
// Writing back the text that is there, or nothing where nothing is, changes
// nothing of the package's.
int DryRun::WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                       const char* fileName) {
  const std::string wanted = value == nullptr ? std::string() : value;
  std::vector<char> now(wanted.size() + 2, '\0');
  const std::uint32_t count = machine_.GetPrivateProfileStringA(
      section, key, "", now.data(), static_cast<std::uint32_t>(now.size()), fileName);
  return Refuse(count != wanted.size() || wanted.compare(0, count, now.data(), count) != 0);
}
std::uint32_t DryRun::GetWindowsDirectoryA(char* buffer, std::uint32_t size) {
  return machine_.GetWindowsDirectoryA(buffer, size);
}
std::uint32_t DryRun::GetSystemDirectoryA(char* buffer, std::uint32_t size) {
  return machine_.GetSystemDirectoryA(buffer, size);
}
std::uint32_t DryRun::GetTempPathA(std::uint32_t size, char* buffer) {
  return machine_.GetTempPathA(size, buffer);
}
int DryRun::GetVersionExA(VersionInfo* info) { return machine_.GetVersionExA(info); }
// A search's end or failure is the machine's to tell.
FindHandle DryRun::FindFirstFileA(const char* pattern, FindData* data) {
  lastError_ = 0;
  return machine_.FindFirstFileA(pattern, data);
}
int DryRun::FindNextFileA(FindHandle handle, FindData* data) {
  lastError_ = 0;
  return machine_.FindNextFileA(handle, data);
}
int DryRun::FindClose(FindHandle handle) { return machine_.FindClose(handle); }
int DryRun::DeleteFileA(const char* path) { return Refuse(IsThere(path)); }
int DryRun::RemoveDirectoryA(const char* path) { return Refuse(IsThere(path)); }
std::uint32_t DryRun::GetLastError() {
  return lastError_ != 0 ? lastError_ : machine_.GetLastError();
}
// No log, no undo: nothing is written.
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
void DryRun::GetLocalTime(SystemTime* time) { machine_.GetLocalTime(time); }
int DryRun::MoveFileA(const char*, const char*) { return 0; }
WindowHandle DryRun::FindWindowA(const char* className, const char* windowName) {
  return machine_.FindWindowA(className, windowName);
}
// The NVRAM program is told only by the run that removes its files.
std::intptr_t DryRun::SendMessageTimeoutA(WindowHandle, std::uint32_t, std::uintptr_t,
                                          std::intptr_t, std::uint32_t, std::uint32_t,
                                          std::uintptr_t*) {
  return 0;
}

}  // namespace mdm
