// A platform that forwards every call to an emulated machine and notes the
// calls whose count or order the stage tests check (the machine's journal
// records only changes, not queries or failed attempts).
#pragma once

#include <string>
#include <vector>

#include "core/platform/platform.h"
#include "core/platform/forwarding_platform.h"

namespace mdm::test {

class PlatformSpy final : public ForwardingPlatform {
 public:
  explicit PlatformSpy(Platform& inner) : ForwardingPlatform(inner) {}

  // "GetSystemDirectoryA", "DeleteFileA <path> -> <result>", "GetLastError",
  // "FindFirstFileA <pattern>",
  // "GetPrivateProfileStringA <file> [<section>] <key> size=<n>".
  std::vector<std::string> calls;

  // The index of the first call that starts with `prefix`; calls.size() when none.
  std::size_t IndexOf(const std::string& prefix) const {
    for (std::size_t i = 0; i < calls.size(); ++i) {
      if (calls[i].rfind(prefix, 0) == 0) return i;
    }
    return calls.size();
  }

  int Count(const std::string& prefix) const {
    int n = 0;
    for (const std::string& call : calls) n += call.rfind(prefix, 0) == 0 ? 1 : 0;
    return n;
  }

  std::uint32_t GetPrivateProfileStringA(const char* section, const char* key,
                                         const char* defaultValue, char* buffer, std::uint32_t size,
                                         const char* fileName) override {
    calls.push_back(std::string("GetPrivateProfileStringA ") + fileName + " [" + section + "] " +
                    key + " size=" + std::to_string(size));
    return ForwardingPlatform::GetPrivateProfileStringA(section, key, defaultValue, buffer, size,
                                                        fileName);
  }
  std::uint32_t GetSystemDirectoryA(char* buffer, std::uint32_t size) override {
    calls.push_back("GetSystemDirectoryA");
    return ForwardingPlatform::GetSystemDirectoryA(buffer, size);
  }
  int DeleteFileA(const char* path) override {
    const int result = ForwardingPlatform::DeleteFileA(path);
    calls.push_back(std::string("DeleteFileA ") + path + " -> " + std::to_string(result));
    return result;
  }
  FindHandle FindFirstFileA(const char* pattern, FindData* data) override {
    calls.push_back(std::string("FindFirstFileA ") + pattern);
    return ForwardingPlatform::FindFirstFileA(pattern, data);
  }
  std::uint32_t GetLastError() override {
    calls.push_back("GetLastError");
    return ForwardingPlatform::GetLastError();
  }
};

}  // namespace mdm::test
