// A platform that passes every call on to another one. The run that changes
// nothing and the test doubles derive from it and override only the calls
// they refuse, watch or make fail; it lives beside the seam so that whatever
// the seam gains, they pass on.
#pragma once

#include "core/platform/platform.h"

namespace mdm {

class ForwardingPlatform : public Platform {
 public:
  explicit ForwardingPlatform(Platform& inner) : inner_(inner) {}

 protected:
  Platform& Inner() const { return inner_; }

 public:

  std::int32_t RegOpenKeyExA(RegKey parent, const char* subKey, std::uint32_t access,
                             RegKey* result) override {
    return inner_.RegOpenKeyExA(parent, subKey, access, result);
  }
  std::int32_t RegCreateKeyA(RegKey parent, const char* subKey, RegKey* result) override {
    return inner_.RegCreateKeyA(parent, subKey, result);
  }
  std::int32_t RegCloseKey(RegKey key) override { return inner_.RegCloseKey(key); }
  std::int32_t RegDeleteKeyA(RegKey parent, const char* subKey) override {
    return inner_.RegDeleteKeyA(parent, subKey);
  }
  std::int32_t RegEnumKeyA(RegKey key, std::uint32_t index, char* name,
                           std::uint32_t nameSize) override {
    return inner_.RegEnumKeyA(key, index, name, nameSize);
  }
  std::int32_t RegQueryValueExA(RegKey key, const char* valueName, std::uint32_t* type,
                                unsigned char* data, std::uint32_t* dataSize) override {
    return inner_.RegQueryValueExA(key, valueName, type, data, dataSize);
  }
  std::int32_t RegQueryValueA(RegKey key, const char* subKey, char* data,
                              std::int32_t* dataSize) override {
    return inner_.RegQueryValueA(key, subKey, data, dataSize);
  }
  std::int32_t RegEnumValueA(RegKey key, std::uint32_t index, char* valueName,
                             std::uint32_t* valueNameSize, std::uint32_t* type, unsigned char* data,
                             std::uint32_t* dataSize) override {
    return inner_.RegEnumValueA(key, index, valueName, valueNameSize, type, data, dataSize);
  }
  std::int32_t RegSetValueExA(RegKey key, const char* valueName, std::uint32_t type,
                              const unsigned char* data, std::uint32_t dataSize) override {
    return inner_.RegSetValueExA(key, valueName, type, data, dataSize);
  }
  std::uint32_t GetPrivateProfileStringA(const char* section, const char* key,
                                         const char* defaultValue, char* buffer, std::uint32_t size,
                                         const char* fileName) override {
    return inner_.GetPrivateProfileStringA(section, key, defaultValue, buffer, size, fileName);
  }
  int WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                 const char* fileName) override {
    return inner_.WritePrivateProfileStringA(section, key, value, fileName);
  }
  std::uint32_t GetWindowsDirectoryA(char* buffer, std::uint32_t size) override {
    return inner_.GetWindowsDirectoryA(buffer, size);
  }
  std::uint32_t GetSystemDirectoryA(char* buffer, std::uint32_t size) override {
    return inner_.GetSystemDirectoryA(buffer, size);
  }
  std::uint32_t GetTempPathA(std::uint32_t size, char* buffer) override {
    return inner_.GetTempPathA(size, buffer);
  }
  int GetVersionExA(VersionInfo* info) override { return inner_.GetVersionExA(info); }
  FindHandle FindFirstFileA(const char* pattern, FindData* data) override {
    return inner_.FindFirstFileA(pattern, data);
  }
  int FindNextFileA(FindHandle handle, FindData* data) override {
    return inner_.FindNextFileA(handle, data);
  }
  int FindClose(FindHandle handle) override { return inner_.FindClose(handle); }
  int DeleteFileA(const char* path) override { return inner_.DeleteFileA(path); }
  int RemoveDirectoryA(const char* path) override { return inner_.RemoveDirectoryA(path); }
  std::uint32_t GetLastError() override { return inner_.GetLastError(); }
  FileHandle CreateFileA(const char* path, std::uint32_t access, std::uint32_t shareMode,
                         std::uint32_t creation, std::uint32_t attributes) override {
    return inner_.CreateFileA(path, access, shareMode, creation, attributes);
  }
  int WriteFile(FileHandle file, const void* data, std::uint32_t size,
                std::uint32_t* written) override {
    return inner_.WriteFile(file, data, size, written);
  }
  std::uint32_t SetFilePointer(FileHandle file, std::int32_t distance,
                               std::uint32_t method) override {
    return inner_.SetFilePointer(file, distance, method);
  }
  std::uint32_t GetFileSize(FileHandle file) override { return inner_.GetFileSize(file); }
  int SetEndOfFile(FileHandle file) override { return inner_.SetEndOfFile(file); }
  int FlushFileBuffers(FileHandle file) override { return inner_.FlushFileBuffers(file); }
  int CloseHandle(FileHandle file) override { return inner_.CloseHandle(file); }
  void GetLocalTime(SystemTime* time) override { inner_.GetLocalTime(time); }
  WindowHandle FindWindowA(const char* className, const char* windowName) override {
    return inner_.FindWindowA(className, windowName);
  }
  std::intptr_t SendMessageTimeoutA(WindowHandle window, std::uint32_t message,
                                    std::uintptr_t wParam, std::intptr_t lParam,
                                    std::uint32_t flags, std::uint32_t timeout,
                                    std::uintptr_t* result) override {
    return inner_.SendMessageTimeoutA(window, message, wParam, lParam, flags, timeout, result);
  }
  int MoveFileA(const char* from, const char* to) override { return inner_.MoveFileA(from, to); }
  int ReadFile(FileHandle file, void* data, std::uint32_t size, std::uint32_t* read) override {
    return inner_.ReadFile(file, data, size, read);
  }

 private:
  Platform& inner_;
};

}  // namespace mdm
