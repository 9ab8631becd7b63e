// The test double of the platform: it passes every call on to another
// platform (an emulated machine), numbers the calls and, while `recording`,
// writes each into `calls` as "<name> <what it names>" ("RegOpenKeyExA
// Enum\Root\Quillnet", "DeleteFileA C:\WINDOWS\INF\OEM4.INF"). It can make
// calls fail without reaching the machine, each with the error that call
// gives when the machine refuses it: call n once; every call after n, as
// when the process stops there (power off, killed, crashed); or every call
// of one name, with an error of the test's choosing, until restored. The
// stop and fault sweeps run a deliverable once to count its calls, then
// once per call point.
#pragma once

#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "core/platform/platform.h"

namespace mdm::test {

class TestPlatform final : public Platform {
 public:
  // Without `recording`, no call is written down (the sweeps make millions).
  explicit TestPlatform(Platform& inner, bool recording = true)
      : recording(recording), inner_(inner) {}

  // Calls 1 to n reach the machine; every later one fails and changes nothing.
  void StopAfter(std::size_t n) { stopAfter_ = n; }
  // Call n fails once; the others pass.
  void Fail(std::size_t n) { fail_ = n; }
  // Every call named `name` fails with `error` (a registry call returns it).
  void Fail(const std::string& name, std::uint32_t error) { failing_[name] = error; }
  void Restore(const std::string& name) { failing_.erase(name); }
  // Told the name of every call before it goes on (a disk that fills at a write).
  std::function<void(const std::string& name)> before;

  const bool recording;
  std::vector<std::string> calls;
  // The index of the first call that starts with `prefix`; calls.size() when none.
  std::size_t IndexOf(const std::string& prefix) const {
    std::size_t i = 0;
    while (i < calls.size() && calls[i].rfind(prefix, 0) != 0) ++i;
    return i;
  }
  int Count(const std::string& prefix) const {
    int n = 0;
    for (const std::string& call : calls) n += call.rfind(prefix, 0) == 0 ? 1 : 0;
    return n;
  }

  std::size_t Calls() const { return calls_; }
  bool Stopped() const { return stopAfter_ != 0 && calls_ > stopAfter_; }
  // The call that failed or was the last to pass before the stop, as "n Name".
  const std::string& Interrupted() const { return interrupted_; }

  std::int32_t RegOpenKeyExA(RegKey parent, const char* subKey, std::uint32_t access,
                             RegKey* result) override {
    const std::string path = KeyPath(parent, subKey);
    if (Refused("RegOpenKeyExA", CANT_OPEN, path)) return Status();
    const std::int32_t status = inner_.RegOpenKeyExA(parent, subKey, access, result);
    if (status == ERROR_SUCCESS && recording) paths_[*result] = path;
    return status;
  }
  std::int32_t RegCreateKeyA(RegKey parent, const char* subKey, RegKey* result) override {
    const std::string path = KeyPath(parent, subKey);
    if (Refused("RegCreateKeyA", CANT_OPEN, path)) return Status();
    const std::int32_t status = inner_.RegCreateKeyA(parent, subKey, result);
    if (status == ERROR_SUCCESS && recording) paths_[*result] = path;
    return status;
  }
  std::int32_t RegCloseKey(RegKey key) override {
    if (Refused("RegCloseKey", BAD_KEY, KeyPath(key, nullptr))) return Status();
    paths_.erase(key);
    return inner_.RegCloseKey(key);
  }
  std::int32_t RegDeleteKeyA(RegKey parent, const char* subKey) override {
    if (Refused("RegDeleteKeyA", CANT_WRITE, KeyPath(parent, subKey))) return Status();
    return inner_.RegDeleteKeyA(parent, subKey);
  }
  std::int32_t RegEnumKeyA(RegKey key, std::uint32_t index, char* name,
                           std::uint32_t nameSize) override {
    if (Refused("RegEnumKeyA", CANT_READ, KeyPath(key, nullptr))) return Status();
    return inner_.RegEnumKeyA(key, index, name, nameSize);
  }
  std::int32_t RegQueryValueExA(RegKey key, const char* valueName, std::uint32_t* type,
                                unsigned char* data, std::uint32_t* dataSize) override {
    if (Refused("RegQueryValueExA", CANT_READ, KeyPath(key, nullptr), valueName)) return Status();
    return inner_.RegQueryValueExA(key, valueName, type, data, dataSize);
  }
  std::int32_t RegQueryValueA(RegKey key, const char* subKey, char* data,
                              std::int32_t* dataSize) override {
    if (Refused("RegQueryValueA", CANT_READ, KeyPath(key, subKey))) return Status();
    return inner_.RegQueryValueA(key, subKey, data, dataSize);
  }
  std::int32_t RegEnumValueA(RegKey key, std::uint32_t index, char* valueName,
                             std::uint32_t* valueNameSize, std::uint32_t* type, unsigned char* data,
                             std::uint32_t* dataSize) override {
    if (Refused("RegEnumValueA", CANT_READ, KeyPath(key, nullptr))) return Status();
    return inner_.RegEnumValueA(key, index, valueName, valueNameSize, type, data, dataSize);
  }
  std::int32_t RegSetValueExA(RegKey key, const char* valueName, std::uint32_t type,
                              const unsigned char* data, std::uint32_t dataSize) override {
    if (Refused("RegSetValueExA", CANT_WRITE, KeyPath(key, nullptr), valueName)) return Status();
    return inner_.RegSetValueExA(key, valueName, type, data, dataSize);
  }
  // A profile read has no failure of its own: it reads as a missing file.
  std::uint32_t GetPrivateProfileStringA(const char* section, const char* key,
                                         const char* defaultValue, char* buffer, std::uint32_t size,
                                         const char* fileName) override {
    if (Refused("GetPrivateProfileStringA", 0, Profile(fileName, section, key))) {
      if (size == 0) return 0;
      std::strncpy(buffer, defaultValue == nullptr ? "" : defaultValue, size - 1);
      buffer[size - 1] = '\0';
      return static_cast<std::uint32_t>(std::strlen(buffer));
    }
    return inner_.GetPrivateProfileStringA(section, key, defaultValue, buffer, size, fileName);
  }
  int WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                 const char* fileName) override {
    if (Refused("WritePrivateProfileStringA", ERROR_ACCESS_DENIED, Profile(fileName, section, key)))
      return 0;
    return inner_.WritePrivateProfileStringA(section, key, value, fileName);
  }
  std::uint32_t GetWindowsDirectoryA(char* buffer, std::uint32_t size) override {
    if (Refused("GetWindowsDirectoryA")) return 0;
    return inner_.GetWindowsDirectoryA(buffer, size);
  }
  std::uint32_t GetSystemDirectoryA(char* buffer, std::uint32_t size) override {
    if (Refused("GetSystemDirectoryA")) return 0;
    return inner_.GetSystemDirectoryA(buffer, size);
  }
  std::uint32_t GetTempPathA(std::uint32_t size, char* buffer) override {
    if (Refused("GetTempPathA")) return 0;
    return inner_.GetTempPathA(size, buffer);
  }
  int GetVersionExA(VersionInfo* info) override {
    if (Refused("GetVersionExA")) return 0;
    return inner_.GetVersionExA(info);
  }
  FindHandle FindFirstFileA(const char* pattern, FindData* data) override {
    if (Refused("FindFirstFileA", ERROR_ACCESS_DENIED, pattern)) return INVALID_FIND_HANDLE;
    return inner_.FindFirstFileA(pattern, data);
  }
  int FindNextFileA(FindHandle handle, FindData* data) override {
    if (Refused("FindNextFileA", ERROR_ACCESS_DENIED)) return 0;
    return inner_.FindNextFileA(handle, data);
  }
  int FindClose(FindHandle handle) override {
    if (Refused("FindClose", ERROR_INVALID_HANDLE)) return 0;
    return inner_.FindClose(handle);
  }
  int DeleteFileA(const char* path) override {
    if (Refused("DeleteFileA", ERROR_ACCESS_DENIED, path)) return 0;
    return inner_.DeleteFileA(path);
  }
  int RemoveDirectoryA(const char* path) override {
    if (Refused("RemoveDirectoryA", ERROR_ACCESS_DENIED, path)) return 0;
    return inner_.RemoveDirectoryA(path);
  }
  // Never fails: it reports the error of the call before, a refused one too.
  std::uint32_t GetLastError() override {
    const bool afterRefusal = lastRefused_;
    if (!Passes("GetLastError", nullptr, nullptr) || afterRefusal) return lastError_;
    return inner_.GetLastError();
  }
  FileHandle CreateFileA(const char* path, std::uint32_t access, std::uint32_t shareMode,
                         std::uint32_t creation, std::uint32_t attributes) override {
    if (Refused("CreateFileA", ERROR_SHARING_VIOLATION, path)) return INVALID_FILE_HANDLE;
    return inner_.CreateFileA(path, access, shareMode, creation, attributes);
  }
  int WriteFile(FileHandle file, const void* data, std::uint32_t size,
                std::uint32_t* written) override {
    if (Refused("WriteFile", ERROR_WRITE_FAULT)) {
      if (written != nullptr) *written = 0;
      return 0;
    }
    return inner_.WriteFile(file, data, size, written);
  }
  int ReadFile(FileHandle file, void* data, std::uint32_t size, std::uint32_t* read) override {
    if (Refused("ReadFile", ERROR_READ_FAULT)) {
      if (read != nullptr) *read = 0;
      return 0;
    }
    return inner_.ReadFile(file, data, size, read);
  }
  std::uint32_t SetFilePointer(FileHandle file, std::int32_t distance,
                               std::uint32_t method) override {
    if (Refused("SetFilePointer", ERROR_INVALID_PARAMETER)) return 0xFFFFFFFFu;
    return inner_.SetFilePointer(file, distance, method);
  }
  std::uint32_t GetFileSize(FileHandle file) override {
    if (Refused("GetFileSize", ERROR_INVALID_HANDLE)) return 0xFFFFFFFFu;
    return inner_.GetFileSize(file);
  }
  int SetEndOfFile(FileHandle file) override {
    if (Refused("SetEndOfFile", ERROR_WRITE_FAULT)) return 0;
    return inner_.SetEndOfFile(file);
  }
  int FlushFileBuffers(FileHandle file) override {
    if (Refused("FlushFileBuffers", ERROR_WRITE_FAULT)) return 0;
    return inner_.FlushFileBuffers(file);
  }
  int CloseHandle(FileHandle file) override {
    if (Refused("CloseHandle", ERROR_INVALID_HANDLE)) return 0;
    return inner_.CloseHandle(file);
  }
  // Never fails; a stopped process reads no clock.
  void GetLocalTime(SystemTime* time) override {
    if (Passes("GetLocalTime", nullptr, nullptr)) inner_.GetLocalTime(time);
  }
  int MoveFileA(const char* from, const char* to) override {
    if (Refused("MoveFileA", ERROR_ACCESS_DENIED, from, to)) return 0;
    return inner_.MoveFileA(from, to);
  }
  WindowHandle FindWindowA(const char* className, const char* windowName) override {
    if (Refused("FindWindowA", 0, className)) return 0;
    return inner_.FindWindowA(className, windowName);
  }
  std::intptr_t SendMessageTimeoutA(WindowHandle window, std::uint32_t message,
                                    std::uintptr_t wParam, std::intptr_t lParam,
                                    std::uint32_t flags, std::uint32_t timeout,
                                    std::uintptr_t* result) override {
    if (Refused("SendMessageTimeoutA", ERROR_TIMEOUT)) return 0;
    return inner_.SendMessageTimeoutA(window, message, wParam, lParam, flags, timeout, result);
  }

 private:
  // Registry errors of a machine that cannot read or write its registry.
  static constexpr std::uint32_t BAD_KEY = 1010;
  static constexpr std::uint32_t CANT_OPEN = 1011;
  static constexpr std::uint32_t CANT_READ = 1012;
  static constexpr std::uint32_t CANT_WRITE = 1013;
  static constexpr std::uint32_t ERROR_SHARING_VIOLATION = 32;
  static constexpr std::uint32_t ERROR_READ_FAULT = 30;

  // The key below HKEY_LOCAL_MACHINE that `parent` and `subKey` name, as recorded.
  std::string KeyPath(RegKey parent, const char* subKey) const {
    if (!recording) return {};
    const auto open = paths_.find(parent);
    std::string path = open == paths_.end() ? std::string() : open->second;
    if (subKey != nullptr && *subKey != '\0')
      path += (path.empty() ? "" : "\\") + std::string(subKey);
    return path;
  }
  std::string Profile(const char* file, const char* section, const char* key) const {
    if (!recording) return {};
    return std::string(file) + " [" + (section ? section : "") + "] " + (key ? key : "");
  }

  // Numbers and records the call; true when it passes on to the machine.
  bool Passes(const char* name, const char* subject, const char* detail) {
    ++calls_;
    lastRefused_ = false;
    if (recording) {
      std::string call = name;
      for (const char* part : {subject, detail}) {
        if (part != nullptr && *part != '\0') call += std::string(" ") + part;
      }
      calls.push_back(call);
    }
    if (before) before(name);
    if (stopAfter_ != 0 && calls_ == stopAfter_) interrupted_ = Named(name);
    if (stopAfter_ != 0 && calls_ > stopAfter_) return false;
    if (calls_ == fail_) {
      interrupted_ = Named(name);
      return false;
    }
    return failing_.count(name) == 0;
  }
  // True when the call must fail; `error` is what it gives (and GetLastError
  // after it) unless the test named another.
  bool Refused(const char* name, std::uint32_t error = 0, const std::string& subject = {},
               const char* detail = nullptr) {
    if (Passes(name, subject.c_str(), detail)) return false;
    const auto named = failing_.find(name);
    lastError_ = named == failing_.end() ? error : named->second;
    lastRefused_ = true;
    return true;
  }
  std::int32_t Status() const { return static_cast<std::int32_t>(lastError_); }
  std::string Named(const char* name) const { return std::to_string(calls_) + " " + name; }

  Platform& inner_;
  std::size_t calls_ = 0;
  std::size_t stopAfter_ = 0;
  std::size_t fail_ = 0;
  std::map<std::string, std::uint32_t> failing_;
  std::map<RegKey, std::string> paths_;
  std::uint32_t lastError_ = 0;
  bool lastRefused_ = false;
  std::string interrupted_;
};

}  // namespace mdm::test
