// Registry primitives of the stages and services: a key that closes itself,
// a walk over subkey names, whole values, and the shapes of key paths. Keys
// are deleted only through the guard of core/ownership/ownership.h.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "core/package/limits.h"
#include "core/platform/platform.h"

namespace mdm {

// One open registry key, closed when the object goes. One owner: it is
// neither copied nor moved. A key that did not open holds no handle, and
// reads from it fail.
class ScopedKey {
 public:
  // Opens `subKey` below `parent` (HKEY_LOCAL_MACHINE or an open key).
  ScopedKey(Platform& platform, RegKey parent, const char* subKey,
            std::uint32_t access = KEY_ALL_ACCESS);
  // Opens `path` below HKEY_LOCAL_MACHINE.
  ScopedKey(Platform& platform, const std::string& path, std::uint32_t access = KEY_ALL_ACCESS)
      : ScopedKey(platform, HKEY_LOCAL_MACHINE, path.c_str(), access) {}
  // Opens `path` below HKEY_LOCAL_MACHINE, creating it when absent.
  struct CreateTag {};
  ScopedKey(Platform& platform, const std::string& path, CreateTag);
  ~ScopedKey();
  ScopedKey(const ScopedKey&) = delete;
  ScopedKey& operator=(const ScopedKey&) = delete;

  bool IsOpen() const { return key_ != 0; }
  RegKey Get() const { return key_; }
  // The status code of the open (or create).
  std::int32_t OpenStatus() const { return status_; }

  // A text value, read with `limit` and the type REG_SZ passed in; the type
  // that comes back is not checked, and data without a terminator ends at
  // the limit. False when it cannot be read within the limit.
  bool ReadString(const char* valueName, std::string& value,
                  std::uint32_t limit = STAGE_VALUE_LIMIT) const {
    return Read(valueName, value, limit) == ERROR_SUCCESS;
  }
  // The same, with the status of the read (of the open, when the key did not
  // open).
  std::int32_t Read(const char* valueName, std::string& value,
                    std::uint32_t limit = STAGE_VALUE_LIMIT) const;

  // Closes the key now; the status of the close.
  std::int32_t Close();

 private:
  Platform& platform_;
  RegKey key_ = 0;
  std::int32_t status_ = ERROR_INVALID_HANDLE;
};

// Calls visit(name) for the subkey names of `key` at index 0, 1, 2 and so on
// until the enumeration fails or visit returns false. `nameSize` is the size
// the names are enumerated with (at most MAX_PATH).
template <typename Visit>
void ForEachSubkeyName(Platform& platform, RegKey key, std::uint32_t nameSize, Visit visit) {
  for (std::uint32_t index = 0;; ++index) {
    char name[MAX_PATH] = {};
    if (platform.RegEnumKeyA(key, index, name, nameSize) != ERROR_SUCCESS) return;
    if (!visit(static_cast<const char*>(name))) return;
  }
}

bool KeyExists(Platform& platform, const std::string& path);

// A read that failed for a reason other than the key or value not being
// there (or not fitting): what it would have told is unknown.
inline bool IsUnknown(std::int32_t status) {
  return status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND && status != ERROR_MORE_DATA;
}

// Every subkey name of `key`, read whole (up to MAX_PATH); the status of the
// enumeration: ERROR_SUCCESS when it reached the end.
std::int32_t ListSubkeyNames(Platform& platform, RegKey key, std::vector<std::string>& names);

// Key paths, each paired with a text of its own (a value, a reason).
using KeyValues = std::vector<std::pair<std::string, std::string>>;

// One value of a key as RegEnumValueA gives it, read whole.
struct WholeValue {
  std::vector<char> name;  // terminated
  std::uint32_t type = REG_NONE;
  std::vector<unsigned char> data;
  std::uint32_t size = 0;  // of the data
};

// The value at `index`, growing the buffers past the usual limits while the
// platform answers ERROR_MORE_DATA (names up to the 16,384 characters Win32
// allows, data up to 16 MiB); the status of the last enumeration.
std::int32_t EnumValueWhole(Platform& platform, RegKey key, std::uint32_t index, WholeValue& value);

// One registry key name: not empty, no backslash.
bool IsKeyName(const std::string& name);

// The path of a key a removal may delete: the components of `fixed`, each
// compared case-blind, then `free` components of any name. Every component
// must be non-empty.
struct KeyShape {
  std::string fixed;
  int free = 0;
};

bool HasShape(const std::string& path, const KeyShape& shape);

// `path` is `key` or lies on the way to it, compared case-blind by whole
// components.
bool IsAtOrAbove(const std::string& path, const std::string& key);

// The text before the last backslash; the whole text when there is none.
std::string CutAtLastBackslash(const std::string& path);
// The text after the last backslash; the whole text when there is none.
std::string LastComponent(const std::string& path);

}  // namespace mdm
