// A platform that passes every call on to an emulated machine and writes the
// registry calls into a log ("open Enum\Root\Quillnet 0x8 = 0"); its faults
// (tests/support/faulty_platform.h) make chosen registry calls fail.
#pragma once

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "tests/support/faulty_platform.h"
#include "emulator/machine.h"

namespace mdm::test {

class RecordingPlatform final : public FaultyPlatform {
 public:
  explicit RecordingPlatform(emu::Machine& machine) : FaultyPlatform(machine) {}

  std::vector<std::string> log;

  std::int32_t RegOpenKeyExA(RegKey parent, const char* subKey, std::uint32_t access,
                             RegKey* result) override {
    const std::int32_t status = FaultyPlatform::RegOpenKeyExA(parent, subKey, access, result);
    const std::string path = PathOf(parent, subKey);
    if (status == ERROR_SUCCESS) paths_[*result] = path;
    char rights[16];
    std::snprintf(rights, sizeof rights, "0x%X", static_cast<unsigned>(access));
    Record("open " + path + " " + rights, status);
    return status;
  }
  std::int32_t RegCreateKeyA(RegKey parent, const char* subKey, RegKey* result) override {
    const std::string path = PathOf(parent, subKey);
    const std::int32_t status = FaultyPlatform::RegCreateKeyA(parent, subKey, result);
    if (status == ERROR_SUCCESS) paths_[*result] = path;
    Record("create " + path, status);
    return status;
  }
  std::int32_t RegCloseKey(RegKey key) override {
    const std::string path = paths_.count(key) ? paths_[key] : "?";
    const std::int32_t status = FaultyPlatform::RegCloseKey(key);
    paths_.erase(key);
    Record("close " + path, status);
    return status;
  }
  std::int32_t RegDeleteKeyA(RegKey parent, const char* subKey) override {
    const std::int32_t status = FaultyPlatform::RegDeleteKeyA(parent, subKey);
    Record("delete " + PathOf(parent, subKey), status);
    return status;
  }
  std::int32_t RegSetValueExA(RegKey key, const char* valueName, std::uint32_t type,
                              const unsigned char* data, std::uint32_t dataSize) override {
    const std::int32_t status =
        FaultyPlatform::RegSetValueExA(key, valueName, type, data, dataSize);
    Record("set " + paths_[key] + " [" + valueName + "]", status);
    return status;
  }

 private:
  std::string PathOf(RegKey parent, const char* subKey) {
    std::string path = parent == HKEY_LOCAL_MACHINE ? "" : paths_[parent];
    const std::string sub = subKey == nullptr ? "" : subKey;
    if (!path.empty() && !sub.empty()) path += "\\";
    return path + sub;
  }
  void Record(const std::string& call, std::int32_t status) {
    log.push_back(call + " = " + std::to_string(status));
  }

  std::map<RegKey, std::string> paths_;
};

}  // namespace mdm::test
