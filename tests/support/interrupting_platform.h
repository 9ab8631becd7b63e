// A platform that numbers every call a run makes and can interrupt the run at
// any of them: stopped after call n (power off, killed, crashed: nothing
// after it reaches the machine), or call n failing once with the error that
// call gives when the machine refuses it. The stop and fault sweeps run a
// deliverable once to count its calls, then once per call point.
#pragma once

#include <cstring>
#include <string>

#include "core/platform/forwarding_platform.h"

namespace mdm::test {

class InterruptingPlatform final : public ForwardingPlatform {
 public:
  explicit InterruptingPlatform(Platform& inner) : ForwardingPlatform(inner) {}

  // Calls 1 to n reach the machine; every later one fails and changes nothing.
  void StopAfter(std::size_t n) { stopAfter_ = n; }
  // Call n fails once, without reaching the machine; the others pass.
  void Fail(std::size_t n) { fail_ = n; }

  std::size_t Calls() const { return calls_; }
  bool Stopped() const { return stopAfter_ != 0 && calls_ > stopAfter_; }
  // The call that failed or was the last to pass before the stop, as "n Name".
  const std::string& Interrupted() const { return interrupted_; }

  std::int32_t RegOpenKeyExA(RegKey parent, const char* subKey, std::uint32_t access,
                             RegKey* result) override {
    if (Refused("RegOpenKeyExA")) return CANT_OPEN;
    return ForwardingPlatform::RegOpenKeyExA(parent, subKey, access, result);
  }
  std::int32_t RegCreateKeyA(RegKey parent, const char* subKey, RegKey* result) override {
    if (Refused("RegCreateKeyA")) return CANT_OPEN;
    return ForwardingPlatform::RegCreateKeyA(parent, subKey, result);
  }
  std::int32_t RegCloseKey(RegKey key) override {
    if (Refused("RegCloseKey")) return BAD_KEY;
    return ForwardingPlatform::RegCloseKey(key);
  }
  std::int32_t RegDeleteKeyA(RegKey parent, const char* subKey) override {
    if (Refused("RegDeleteKeyA")) return CANT_WRITE;
    return ForwardingPlatform::RegDeleteKeyA(parent, subKey);
  }
  std::int32_t RegEnumKeyA(RegKey key, std::uint32_t index, char* name,
                           std::uint32_t nameSize) override {
    if (Refused("RegEnumKeyA")) return CANT_READ;
    return ForwardingPlatform::RegEnumKeyA(key, index, name, nameSize);
  }
  std::int32_t RegQueryValueExA(RegKey key, const char* valueName, std::uint32_t* type,
                                unsigned char* data, std::uint32_t* dataSize) override {
    if (Refused("RegQueryValueExA")) return CANT_READ;
    return ForwardingPlatform::RegQueryValueExA(key, valueName, type, data, dataSize);
  }
  std::int32_t RegQueryValueA(RegKey key, const char* subKey, char* data,
                              std::int32_t* dataSize) override {
    if (Refused("RegQueryValueA")) return CANT_READ;
    return ForwardingPlatform::RegQueryValueA(key, subKey, data, dataSize);
  }
  std::int32_t RegEnumValueA(RegKey key, std::uint32_t index, char* valueName,
                             std::uint32_t* valueNameSize, std::uint32_t* type, unsigned char* data,
                             std::uint32_t* dataSize) override {
    if (Refused("RegEnumValueA")) return CANT_READ;
    return ForwardingPlatform::RegEnumValueA(key, index, valueName, valueNameSize, type, data,
                                             dataSize);
  }
  std::int32_t RegSetValueExA(RegKey key, const char* valueName, std::uint32_t type,
                              const unsigned char* data, std::uint32_t dataSize) override {
    if (Refused("RegSetValueExA")) return CANT_WRITE;
    return ForwardingPlatform::RegSetValueExA(key, valueName, type, data, dataSize);
  }
  // A profile read has no failure of its own: it reads as a missing file.
  std::uint32_t GetPrivateProfileStringA(const char* section, const char* key,
                                         const char* defaultValue, char* buffer, std::uint32_t size,
                                         const char* fileName) override {
    if (Refused("GetPrivateProfileStringA")) {
      if (size == 0) return 0;
      std::strncpy(buffer, defaultValue == nullptr ? "" : defaultValue, size - 1);
      buffer[size - 1] = '\0';
      return static_cast<std::uint32_t>(std::strlen(buffer));
    }
    return ForwardingPlatform::GetPrivateProfileStringA(section, key, defaultValue, buffer, size,
                                                        fileName);
  }
  int WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                 const char* fileName) override {
    if (Refused("WritePrivateProfileStringA", ERROR_ACCESS_DENIED)) return 0;
    return ForwardingPlatform::WritePrivateProfileStringA(section, key, value, fileName);
  }
  std::uint32_t GetWindowsDirectoryA(char* buffer, std::uint32_t size) override {
    if (Refused("GetWindowsDirectoryA")) return 0;
    return ForwardingPlatform::GetWindowsDirectoryA(buffer, size);
  }
  std::uint32_t GetSystemDirectoryA(char* buffer, std::uint32_t size) override {
    if (Refused("GetSystemDirectoryA")) return 0;
    return ForwardingPlatform::GetSystemDirectoryA(buffer, size);
  }
  std::uint32_t GetTempPathA(std::uint32_t size, char* buffer) override {
    if (Refused("GetTempPathA")) return 0;
    return ForwardingPlatform::GetTempPathA(size, buffer);
  }
  int GetVersionExA(VersionInfo* info) override {
    if (Refused("GetVersionExA")) return 0;
    return ForwardingPlatform::GetVersionExA(info);
  }
  FindHandle FindFirstFileA(const char* pattern, FindData* data) override {
    if (Refused("FindFirstFileA", ERROR_ACCESS_DENIED)) return INVALID_FIND_HANDLE;
    return ForwardingPlatform::FindFirstFileA(pattern, data);
  }
  int FindNextFileA(FindHandle handle, FindData* data) override {
    if (Refused("FindNextFileA", ERROR_ACCESS_DENIED)) return 0;
    return ForwardingPlatform::FindNextFileA(handle, data);
  }
  int FindClose(FindHandle handle) override {
    if (Refused("FindClose", ERROR_INVALID_HANDLE)) return 0;
    return ForwardingPlatform::FindClose(handle);
  }
  int DeleteFileA(const char* path) override {
    if (Refused("DeleteFileA", ERROR_ACCESS_DENIED)) return 0;
    return ForwardingPlatform::DeleteFileA(path);
  }
  int RemoveDirectoryA(const char* path) override {
    if (Refused("RemoveDirectoryA", ERROR_ACCESS_DENIED)) return 0;
    return ForwardingPlatform::RemoveDirectoryA(path);
  }
  // Never fails: it reports the error of the call before, a refused one too.
  std::uint32_t GetLastError() override {
    const bool afterRefusal = lastRefused_;
    if (!Passes("GetLastError") || afterRefusal) return lastError_;
    return ForwardingPlatform::GetLastError();
  }
  FileHandle CreateFileA(const char* path, std::uint32_t access, std::uint32_t shareMode,
                         std::uint32_t creation, std::uint32_t attributes) override {
    if (Refused("CreateFileA", ERROR_SHARING_VIOLATION)) return INVALID_FILE_HANDLE;
    return ForwardingPlatform::CreateFileA(path, access, shareMode, creation, attributes);
  }
  int WriteFile(FileHandle file, const void* data, std::uint32_t size,
                std::uint32_t* written) override {
    if (Refused("WriteFile", ERROR_WRITE_FAULT)) {
      if (written != nullptr) *written = 0;
      return 0;
    }
    return ForwardingPlatform::WriteFile(file, data, size, written);
  }
  int ReadFile(FileHandle file, void* data, std::uint32_t size, std::uint32_t* read) override {
    if (Refused("ReadFile", ERROR_READ_FAULT)) {
      if (read != nullptr) *read = 0;
      return 0;
    }
    return ForwardingPlatform::ReadFile(file, data, size, read);
  }
  std::uint32_t SetFilePointer(FileHandle file, std::int32_t distance,
                               std::uint32_t method) override {
    if (Refused("SetFilePointer", ERROR_INVALID_PARAMETER)) return 0xFFFFFFFFu;
    return ForwardingPlatform::SetFilePointer(file, distance, method);
  }
  std::uint32_t GetFileSize(FileHandle file) override {
    if (Refused("GetFileSize", ERROR_INVALID_HANDLE)) return 0xFFFFFFFFu;
    return ForwardingPlatform::GetFileSize(file);
  }
  int SetEndOfFile(FileHandle file) override {
    if (Refused("SetEndOfFile", ERROR_WRITE_FAULT)) return 0;
    return ForwardingPlatform::SetEndOfFile(file);
  }
  int FlushFileBuffers(FileHandle file) override {
    if (Refused("FlushFileBuffers", ERROR_WRITE_FAULT)) return 0;
    return ForwardingPlatform::FlushFileBuffers(file);
  }
  int CloseHandle(FileHandle file) override {
    if (Refused("CloseHandle", ERROR_INVALID_HANDLE)) return 0;
    return ForwardingPlatform::CloseHandle(file);
  }
  // Never fails; a stopped process reads no clock.
  void GetLocalTime(SystemTime* time) override {
    if (Passes("GetLocalTime")) ForwardingPlatform::GetLocalTime(time);
  }
  int MoveFileA(const char* from, const char* to) override {
    if (Refused("MoveFileA", ERROR_ACCESS_DENIED)) return 0;
    return ForwardingPlatform::MoveFileA(from, to);
  }
  WindowHandle FindWindowA(const char* className, const char* windowName) override {
    if (Refused("FindWindowA")) return 0;
    return ForwardingPlatform::FindWindowA(className, windowName);
  }
  std::intptr_t SendMessageTimeoutA(WindowHandle window, std::uint32_t message,
                                    std::uintptr_t wParam, std::intptr_t lParam,
                                    std::uint32_t flags, std::uint32_t timeout,
                                    std::uintptr_t* result) override {
    if (Refused("SendMessageTimeoutA", ERROR_TIMEOUT)) return 0;
    return ForwardingPlatform::SendMessageTimeoutA(window, message, wParam, lParam, flags, timeout,
                                                   result);
  }

 private:
  // Registry errors of a machine that cannot read or write its registry.
  static constexpr std::int32_t BAD_KEY = 1010;
  static constexpr std::int32_t CANT_OPEN = 1011;
  static constexpr std::int32_t CANT_READ = 1012;
  static constexpr std::int32_t CANT_WRITE = 1013;
  static constexpr std::uint32_t ERROR_SHARING_VIOLATION = 32;
  static constexpr std::uint32_t ERROR_WRITE_FAULT = 29;
  static constexpr std::uint32_t ERROR_READ_FAULT = 30;

  // Numbers the call; true when it passes on to the machine.
  bool Passes(const char* name) {
    ++calls_;
    lastRefused_ = false;
    if (stopAfter_ != 0 && calls_ == stopAfter_) interrupted_ = Named(name);
    if (stopAfter_ != 0 && calls_ > stopAfter_) return false;
    if (calls_ == fail_) {
      interrupted_ = Named(name);
      return false;
    }
    return true;
  }
  // True when the call must fail; `error` is what GetLastError then reports.
  bool Refused(const char* name, std::uint32_t error = 0) {
    if (Passes(name)) return false;
    lastError_ = error;
    lastRefused_ = true;
    return true;
  }
  std::string Named(const char* name) const { return std::to_string(calls_) + " " + name; }

  std::size_t calls_ = 0;
  std::size_t stopAfter_ = 0;
  std::size_t fail_ = 0;
  std::uint32_t lastError_ = 0;
  bool lastRefused_ = false;
  std::string interrupted_;
};

}  // namespace mdm::test
