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

// A key path that a stage may delete: no empty component (no leading,
// trailing or doubled backslash), at least three components (a device, class
// or software key; "Enum\MODEMWAVE" is the one two-component key the package
// owns), not one of the roots that hold other devices and programs, and, when
// `within` is given, below that branch.
bool IsRemovableKeyPath(const std::string& path, const char* within = nullptr);

// The branch of device (enumerator) keys.
constexpr const char* ENUM_BRANCH = "Enum\\";

enum class KeyRemoval {
  Absent,   // the key did not open: nothing to do
  Deleted,  // opened, closed and deleted
  Failed,   // opened, but the delete failed
  Refused,  // the path failed IsRemovableKeyPath: nothing was touched
};

// Open with KEY_ALL_ACCESS, close at once, delete the same path (with its
// subtree). A path read from a link value names an enumerator key, so such
// callers pass within = ENUM_BRANCH.
KeyRemoval RemoveKey(Platform& platform, const std::string& path, const char* within = nullptr);


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
