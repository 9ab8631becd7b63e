// A platform that passes every call on, except the registry calls made to
// fail. A fault is named by its call, holds until restored, and makes every
// such call return its status without reaching the platform behind: the
// exits that a healthy machine never takes.
#pragma once

#include <map>

#include "core/platform/forwarding_platform.h"

namespace mdm::test {

enum class Call { RegOpenKeyExA, RegCreateKeyA, RegDeleteKeyA, RegEnumValueA, RegSetValueExA };

class FaultyPlatform : public ForwardingPlatform {
 public:
  explicit FaultyPlatform(Platform& inner) : ForwardingPlatform(inner) {}

  void Fail(Call call, std::int32_t status) { faults_[call] = status; }
  void Restore(Call call) { faults_.erase(call); }

  std::int32_t RegOpenKeyExA(RegKey parent, const char* subKey, std::uint32_t access,
                             RegKey* result) override {
    if (const std::int32_t* status = Fault(Call::RegOpenKeyExA)) return *status;
    return ForwardingPlatform::RegOpenKeyExA(parent, subKey, access, result);
  }
  std::int32_t RegCreateKeyA(RegKey parent, const char* subKey, RegKey* result) override {
    if (const std::int32_t* status = Fault(Call::RegCreateKeyA)) return *status;
    return ForwardingPlatform::RegCreateKeyA(parent, subKey, result);
  }
  std::int32_t RegDeleteKeyA(RegKey parent, const char* subKey) override {
    if (const std::int32_t* status = Fault(Call::RegDeleteKeyA)) return *status;
    return ForwardingPlatform::RegDeleteKeyA(parent, subKey);
  }
  std::int32_t RegEnumValueA(RegKey key, std::uint32_t index, char* valueName,
                             std::uint32_t* valueNameSize, std::uint32_t* type, unsigned char* data,
                             std::uint32_t* dataSize) override {
    if (const std::int32_t* status = Fault(Call::RegEnumValueA)) return *status;
    return ForwardingPlatform::RegEnumValueA(key, index, valueName, valueNameSize, type, data,
                                             dataSize);
  }
  std::int32_t RegSetValueExA(RegKey key, const char* valueName, std::uint32_t type,
                              const unsigned char* data, std::uint32_t dataSize) override {
    if (const std::int32_t* status = Fault(Call::RegSetValueExA)) return *status;
    return ForwardingPlatform::RegSetValueExA(key, valueName, type, data, dataSize);
  }

 private:
  const std::int32_t* Fault(Call call) const {
    auto it = faults_.find(call);
    return it == faults_.end() ? nullptr : &it->second;
  }

  std::map<Call, std::int32_t> faults_;
};

}  // namespace mdm::test
