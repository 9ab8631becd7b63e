// Registry primitives of the removal stages: reading a text value with the
// stages' limits, and removing a key by open, close, delete behind the one
// guard that keeps a deletion inside the package.
#pragma once

#include <string>

#include "common/platform.h"

namespace mdm {

// The removal stages read REG_SZ values with this limit (bytes, terminator included).
constexpr std::uint32_t STAGE_VALUE_LIMIT = 255;

// Reads a text value of an open key; false when it cannot be read within the
// limit. The type that comes back is not checked; data without a terminator
// is ended at the limit.
bool ReadStringValue(Platform& platform, RegKey key, const char* valueName, std::string& value,
                     std::uint32_t limit = STAGE_VALUE_LIMIT);

// Opens `path` below HKEY_LOCAL_MACHINE, reads one value, closes it.
bool ReadStringValueAt(Platform& platform, const std::string& path, const char* valueName,
                       std::string& value, std::uint32_t limit = STAGE_VALUE_LIMIT);

bool KeyExists(Platform& platform, const std::string& path);

// A key path that a stage may delete: it has at least two components, no
// empty one (no leading, trailing or doubled backslash), and it is not one of
// the roots that hold other devices and programs.
bool IsRemovableKeyPath(const std::string& path);

enum class KeyRemoval {
  Absent,   // the key did not open: nothing to do
  Deleted,  // opened, closed and deleted
  Failed,   // opened, but the delete failed
  Refused,  // the path failed IsRemovableKeyPath: nothing was touched
};

// Open with KEY_ALL_ACCESS, close at once, delete the same path (with its subtree).
KeyRemoval RemoveKey(Platform& platform, const std::string& path);

// How a removal counts for a step's flag: an absent key leaves it, a failed
// or refused delete clears it.
inline bool RemovalKeepsFlag(KeyRemoval removal) {
  return removal == KeyRemoval::Absent || removal == KeyRemoval::Deleted;
}

// The text before the last backslash; the whole text when there is none.
std::string CutAtLastBackslash(const std::string& path);
// The text after the last backslash; the whole text when there is none.
std::string LastComponent(const std::string& path);

}  // namespace mdm
