#include "common/registry_keys.h"

#include <vector>

#include "common/text.h"

namespace mdm {

namespace {

// Containers of other devices and programs: never deleted, whatever shape a
// removal allows.
const char* const PROTECTED_ROOTS[] = {
    "Enum\\Root",
    "Enum\\ISAPNP",
    "Enum\\Root\\MDMGEN",
    "System\\CurrentControlSet",
    "System\\CurrentControlSet\\Services",
    "System\\CurrentControlSet\\Services\\Class",
    "System\\CurrentControlSet\\Services\\Class\\Modem",
    "System\\CurrentControlSet\\Services\\Class\\MEDIA",
    "System\\CurrentControlSet\\Services\\Class\\Ports",
    "System\\CurrentControlSet\\Services\\VxD",
    "System\\CurrentControlSet\\control",
    "System\\CurrentControlSet\\control\\MediaResources",
    "System\\CurrentControlSet\\control\\MediaResources\\wave",
};

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

bool IsProtectedRoot(const std::string& path) {
  for (const char* root : PROTECTED_ROOTS) {
    if (EqualsAsciiCaseBlind(path.c_str(), root)) return true;
  }
  return false;
}

}  // namespace

ScopedKey::ScopedKey(Platform& platform, RegKey parent, const char* subKey, std::uint32_t access)
    : platform_(platform) {
  status_ = platform_.RegOpenKeyExA(parent, subKey, access, &key_);
  if (status_ != ERROR_SUCCESS) key_ = 0;
}

ScopedKey::ScopedKey(Platform& platform, const std::string& path, CreateTag)
    : platform_(platform) {
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

bool ScopedKey::ReadString(const char* valueName, std::string& value, std::uint32_t limit) const {
  if (key_ == 0) return false;
  std::vector<unsigned char> buffer(limit + 1, 0);
  std::uint32_t type = REG_SZ;
  std::uint32_t size = limit;
  if (platform_.RegQueryValueExA(key_, valueName, &type, buffer.data(), &size) != ERROR_SUCCESS) {
    return false;
  }
  value.assign(reinterpret_cast<const char*>(buffer.data()));
  return true;
}

bool KeyExists(Platform& platform, const std::string& path) {
  return ScopedKey(platform, path).IsOpen();
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

KeyRemoval RemoveKey(Platform& platform, const std::string& path, const KeyShape& shape) {
  if (!HasShape(path, shape) || IsProtectedRoot(path)) return KeyRemoval::Refused;
  if (!KeyExists(platform, path)) return KeyRemoval::Absent;
  return platform.RegDeleteKeyA(HKEY_LOCAL_MACHINE, path.c_str()) == ERROR_SUCCESS
             ? KeyRemoval::Deleted
             : KeyRemoval::Failed;
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
