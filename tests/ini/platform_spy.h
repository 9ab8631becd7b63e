// A platform that forwards every call to an emulated machine and notes the
// calls whose count or order the stage tests check (the machine's journal
// records only changes, not queries or failed attempts).
#pragma once

#include <string>
#include <vector>

#include "common/platform.h"

namespace mdm::test {

class PlatformSpy final : public Platform {
 public:
  explicit PlatformSpy(Platform& inner) : inner_(inner) {}

  // "GetSystemDirectoryA", "DeleteFileA <path> -> <result>", "GetLastError",
  // "GetPrivateProfileStringA <file> [<section>] <key> size=<n>".
  std::vector<std::string> calls;

  int Count(const std::string& prefix) const {
    int n = 0;
    for (const std::string& call : calls) n += call.rfind(prefix, 0) == 0 ? 1 : 0;
    return n;
  }

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
                                         const char* defaultValue, char* buffer,
                                         std::uint32_t size, const char* fileName) override {
    calls.push_back(std::string("GetPrivateProfileStringA ") + fileName + " [" + section + "] " +
                    key + " size=" + std::to_string(size));
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
    calls.push_back("GetSystemDirectoryA");
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
  int DeleteFileA(const char* path) override {
    const int result = inner_.DeleteFileA(path);
    calls.push_back(std::string("DeleteFileA ") + path + " -> " + std::to_string(result));
    return result;
  }
  int RemoveDirectoryA(const char* path) override { return inner_.RemoveDirectoryA(path); }
  std::uint32_t GetLastError() override {
    calls.push_back("GetLastError");
    return inner_.GetLastError();
  }
  WindowHandle FindWindowA(const char* className, const char* windowName) override {
    return inner_.FindWindowA(className, windowName);
  }
  std::intptr_t SendMessageA(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                             std::intptr_t lParam) override {
    return inner_.SendMessageA(window, message, wParam, lParam);
  }

 private:
  Platform& inner_;
};

}  // namespace mdm::test
