#include "core/base/registry_keys.h"

#include <vector>

#include "core/base/text.h"

namespace mdm {

namespace {

// The components of a path; false when one of them is empty.
bool SplitComponents(const std::string& path, std::vector<std::string>& components) {
  components.clear();
  std::size_t start = 0;
  for (;;) {
    const std::size_t slash = path.find('\\', start);
    const std::size_t end = slash == std::string::npos ? path.size() : slash;
    if (end == start) return false;
    components.push_back(path.substr(start, end - start));
    if (slash == std::string::npos) return true;
    start = slash + 1;
  }
}

}  // namespace

ScopedKey::ScopedKey(Platform& platform, RegKey parent, const char* subKey, std::uint32_t access)
    : platform_(platform) {
  status_ = platform_.RegOpenKeyExA(parent, subKey, access, &key_);
  if (status_ != ERROR_SUCCESS) key_ = 0;
}

ScopedKey::ScopedKey(Platform& platform, const std::string& path, CreateTag) : platform_(platform) {
  status_ = platform_.RegCreateKeyA(HKEY_LOCAL_MACHINE, path.c_str(), &key_);
  if (status_ != ERROR_SUCCESS) key_ = 0;
}

ScopedKey::~ScopedKey() { Close(); }

std::int32_t ScopedKey::Close() {
  if (key_ == 0) return ERROR_INVALID_HANDLE;
  const std::int32_t status = platform_.RegCloseKey(key_);
  key_ = 0;
  return status;
}

std::int32_t ScopedKey::Read(const char* valueName, std::string& value, std::uint32_t limit) const {
  if (key_ == 0) return status_;
  std::vector<unsigned char> buffer(limit + 1, 0);
  std::uint32_t type = REG_SZ;
  std::uint32_t size = limit;
  const std::int32_t status =
      platform_.RegQueryValueExA(key_, valueName, &type, buffer.data(), &size);
  if (status == ERROR_SUCCESS) value.assign(reinterpret_cast<const char*>(buffer.data()));
  return status;
}

std::int32_t ListSubkeyNames(Platform& platform, RegKey key, std::vector<std::string>& names) {
  for (std::uint32_t index = 0;; ++index) {
    char name[MAX_PATH] = {};
    const std::int32_t status = platform.RegEnumKeyA(key, index, name, MAX_PATH);
    if (status == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
    if (status != ERROR_SUCCESS) return status;
    names.push_back(name);
  }
}

bool KeyExists(Platform& platform, const std::string& path) {
  return ScopedKey(platform, path).IsOpen();
}

std::int32_t EnumValueWhole(Platform& platform, RegKey key, std::uint32_t index,
                            WholeValue& value) {
  constexpr std::uint32_t NAME_MAX = 16384;
  constexpr std::uint32_t DATA_MAX = 16u * 1024 * 1024;
  std::uint32_t nameCapacity = 40;
  std::uint32_t dataCapacity = 200;
  for (;;) {
    value.name.assign(nameCapacity, '\0');
    value.data.assign(dataCapacity, 0);
    std::uint32_t nameSize = nameCapacity;
    value.size = dataCapacity;
    const std::int32_t status = platform.RegEnumValueA(key, index, value.name.data(), &nameSize,
                                                       &value.type, value.data.data(), &value.size);
    if (status != ERROR_MORE_DATA) return status;
    if (nameCapacity == NAME_MAX && dataCapacity == DATA_MAX) return status;
    // Which of the two was short is not reported reliably, so both grow; the
    // data takes the size the platform asked for when it said one.
    nameCapacity = nameCapacity * 2 < NAME_MAX ? nameCapacity * 2 : NAME_MAX;
    std::uint32_t wanted = dataCapacity * 2;
    if (value.size > wanted) wanted = value.size;
    dataCapacity = wanted < DATA_MAX ? wanted : DATA_MAX;
  }
}

bool IsKeyName(const std::string& name) {
  return !name.empty() && name.find('\\') == std::string::npos;
}

bool HasShape(const std::string& path, const KeyShape& shape) {
  std::vector<std::string> components;
  std::vector<std::string> fixed;
  if (!SplitComponents(path, components) || !SplitComponents(shape.fixed, fixed)) return false;
  if (components.size() != fixed.size() + static_cast<std::size_t>(shape.free)) return false;
  for (std::size_t i = 0; i < fixed.size(); ++i) {
    if (!EqualsAsciiCaseBlind(components[i].c_str(), fixed[i].c_str())) return false;
  }
  return true;
}

bool IsAtOrAbove(const std::string& path, const std::string& key) {
  return key.size() >= path.size() && (key.size() == path.size() || key[path.size()] == '\\') &&
         EqualsAsciiCaseBlind(key.substr(0, path.size()).c_str(), path.c_str());
}

std::string CutAtLastBackslash(const std::string& path) {
  const std::size_t slash = path.rfind('\\');
  return slash == std::string::npos ? path : path.substr(0, slash);
}

std::string LastComponent(const std::string& path) {
  const std::size_t slash = path.rfind('\\');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace mdm
