#include "common/registry_keys.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <vector>

#include "common/text.h"

namespace mdm {

namespace {

// Containers of other devices and programs: never a package's own key.
const char* const kProtectedRoots[] = {
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

// The package's own enumerator: the only two-component key it removes.
const char* const kOwnTwoComponentKeys[] = {"Enum\\MODEMWAVE"};

std::size_t ComponentCount(const std::string& path) {
  return static_cast<std::size_t>(std::count(path.begin(), path.end(), '\\')) + 1;
}

bool StartsCaseBlind(const std::string& text, const char* prefix) {
  const std::size_t length = std::strlen(prefix);
  return text.size() >= length && EqualsAsciiCaseBlind(text.substr(0, length).c_str(), prefix);
}

bool IsOneOf(const std::string& path, const char* const* first, const char* const* last) {
  return std::any_of(first, last, [&](const char* key) { return EqualsAsciiCaseBlind(path.c_str(), key); });
}

bool HasEmptyComponent(const std::string& path) {
  return path.empty() || path.front() == '\\' || path.back() == '\\' ||
         path.find("\\\\") != std::string::npos;
}

}  // namespace

bool ReadStringValue(Platform& platform, RegKey key, const char* valueName, std::string& value,
                     std::uint32_t limit) {
  std::vector<unsigned char> buffer(limit + 1, 0);
  std::uint32_t type = REG_SZ;
  std::uint32_t size = limit;
  if (platform.RegQueryValueExA(key, valueName, &type, buffer.data(), &size) != ERROR_SUCCESS) {
    return false;
  }
  value.assign(reinterpret_cast<const char*>(buffer.data()));
  return true;
}

bool ReadStringValueAt(Platform& platform, const std::string& path, const char* valueName,
                       std::string& value, std::uint32_t limit) {
  RegKey key = 0;
  if (platform.RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), KEY_ALL_ACCESS, &key) !=
      ERROR_SUCCESS) {
    return false;
  }
  const bool read = ReadStringValue(platform, key, valueName, value, limit);
  platform.RegCloseKey(key);
  return read;
}

bool KeyExists(Platform& platform, const std::string& path) {
  RegKey key = 0;
  if (platform.RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), KEY_ALL_ACCESS, &key) !=
      ERROR_SUCCESS) {
    return false;
  }
  platform.RegCloseKey(key);
  return true;
}

bool IsRemovableKeyPath(const std::string& path, const char* within) {
  if (HasEmptyComponent(path)) return false;
  if (within != nullptr && !StartsCaseBlind(path, within)) return false;
  if (IsOneOf(path, std::begin(kOwnTwoComponentKeys), std::end(kOwnTwoComponentKeys))) return true;
  // "Enum\PCI", "SOFTWARE\Microsoft": two components name a whole branch of others.
  if (ComponentCount(path) < 3) return false;
  return !IsOneOf(path, std::begin(kProtectedRoots), std::end(kProtectedRoots));
}

KeyRemoval RemoveKey(Platform& platform, const std::string& path, const char* within) {
  if (!IsRemovableKeyPath(path, within)) return KeyRemoval::Refused;
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
