// A platform that passes every call on to an emulated machine, writes the
// registry calls into a log ("open Enum\Root\Quillnet 0x8 = 0"), and can make
// chosen registry calls fail, for the exits that a healthy machine never takes.
#pragma once

#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "emulator/machine.h"
#include "common/forwarding_platform.h"

namespace mdm::test {

struct InjectedFaults {
  std::optional<std::int32_t> createKey;  // RegCreateKeyA returns this, creating nothing
  std::optional<std::int32_t> setValue;   // every RegSetValueExA returns this, writing nothing
  std::optional<std::int32_t> enumValue;  // every RegEnumValueA returns this
  std::optional<std::int32_t> deleteKey;  // RegDeleteKeyA returns this, deleting nothing
};

class RecordingPlatform final : public ForwardingPlatform {
 public:
  explicit RecordingPlatform(emu::Machine& machine) : ForwardingPlatform(machine), machine_(machine) {}

  InjectedFaults faults;
  std::vector<std::string> log;

  std::int32_t RegOpenKeyExA(RegKey parent, const char* subKey, std::uint32_t access,
                             RegKey* result) override {
    const std::int32_t status = machine_.RegOpenKeyExA(parent, subKey, access, result);
    const std::string path = PathOf(parent, subKey);
    if (status == ERROR_SUCCESS) paths_[*result] = path;
    char rights[16];
    std::snprintf(rights, sizeof rights, "0x%X", static_cast<unsigned>(access));
    Record("open " + path + " " + rights, status);
    return status;
  }
  std::int32_t RegCreateKeyA(RegKey parent, const char* subKey, RegKey* result) override {
    const std::string path = PathOf(parent, subKey);
    const std::int32_t status = faults.createKey ? *faults.createKey
                                                 : machine_.RegCreateKeyA(parent, subKey, result);
    if (status == ERROR_SUCCESS) paths_[*result] = path;
    Record("create " + path, status);
    return status;
  }
  std::int32_t RegCloseKey(RegKey key) override {
    const std::string path = paths_.count(key) ? paths_[key] : "?";
    const std::int32_t status = machine_.RegCloseKey(key);
    paths_.erase(key);
    Record("close " + path, status);
    return status;
  }
  std::int32_t RegDeleteKeyA(RegKey parent, const char* subKey) override {
    const std::int32_t status =
        faults.deleteKey ? *faults.deleteKey : machine_.RegDeleteKeyA(parent, subKey);
    Record("delete " + PathOf(parent, subKey), status);
    return status;
  }
  std::int32_t RegEnumValueA(RegKey key, std::uint32_t index, char* valueName,
                             std::uint32_t* valueNameSize, std::uint32_t* type, unsigned char* data,
                             std::uint32_t* dataSize) override {
    if (faults.enumValue) return *faults.enumValue;
    return machine_.RegEnumValueA(key, index, valueName, valueNameSize, type, data, dataSize);
  }
  std::int32_t RegSetValueExA(RegKey key, const char* valueName, std::uint32_t type,
                              const unsigned char* data, std::uint32_t dataSize) override {
    const std::int32_t status =
        faults.setValue ? *faults.setValue
                        : machine_.RegSetValueExA(key, valueName, type, data, dataSize);
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

  emu::Machine& machine_;
  std::map<RegKey, std::string> paths_;
};

}  // namespace mdm::test
