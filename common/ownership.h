// Whose a registry key is. The package's records (the links of its root
// device instance, the "Driver" values, the recorded COM port) are trusted only
// as far as their targets carry no mark of someone else, and every key
// deletion passes one guard that checks the key's shape, the roots that hold
// others' keys, and those marks. Only the guard makes the token that the
// delete takes, so no caller can delete a key that was not checked.
//
// The marks of another:
// - a class key whose "InfPath" names an INF file that is there and is not
//   the package's by its INF rules, unless its "InfSection" is one of the
//   package's own sections (a "DriverDesc" is no evidence: another vendor's
//   modem may bear the same brand);
// - a device instance below "Enum\ISAPNP" whose ID is not one of the
//   package's Plug-and-Play IDs, or whose "Driver" leads to such a class key;
// - a wave device (a child of "Enum\MODEMWAVE") whose instance is such a
//   device instance.
// A key without any mark is the package's as far as anyone can tell: the
// package's own keys often hold only what the package wrote.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/change_log.h"
#include "common/inf_rules.h"
#include "common/outcome.h"
#include "common/platform.h"
#include "common/registry_keys.h"

namespace mdm {

// What tells the package's own keys from others'.
struct PackageIdentity {
  // The package's "InfSection" values: a class key naming one is the
  // package's whatever INF file it names. Compared exactly, as Windows'
  // device installer writes them.
  std::vector<std::string> names;
  // Its ISA Plug-and-Play devices, "Enum\ISAPNP\<id>".
  std::vector<std::string> pnpIds;
  // Which INF files are the package's.
  InfMatchRule infRule;
};

// The records of the package's root device instance: each link value, where
// the device instance it names must lie, and the class of that device's
// driver key. The one table of the package's links.
struct DeviceLink {
  const char* valueName;       // the link value; null: the instance key itself
  const char* instanceSuffix;  // appended to the value to name the device instance
  const char* deviceRoot;      // the device instance lies `deviceDepth` levels below
  int deviceDepth;
  const char* className;  // its driver key's class; null: the root device's own class
};

inline constexpr const char* CLASS_ROOT = "System\\CurrentControlSet\\Services\\Class";
inline constexpr const char* WAVE_ENUMERATOR = "Enum\\MODEMWAVE";

// The modem: a device instance of any enumerator, "Enum\<enumerator>\<id>\<n>".
inline constexpr DeviceLink LINK_MODEM{"ConnectedToModem", nullptr, "Enum", 3, "Modem"};
// The port: the package's ISA Plug-and-Play card, "Enum\ISAPNP\<id>\<serial>".
inline constexpr DeviceLink LINK_PORT{"ConnectedToPort", nullptr, "Enum\\ISAPNP", 2, "Ports"};
// The wave device "Enum\MODEMWAVE\<device>", through its instance.
inline constexpr DeviceLink LINK_WAVE{"ConnectedToWave", "ROOT&MODEM&0000", WAVE_ENUMERATOR, 2,
                                      "MEDIA"};
// The root device instance itself, "Enum\Root\<name>\0000", whose class is the
// package's own.
inline constexpr DeviceLink LINK_ROOT{nullptr, nullptr, "Enum\\Root", 2, nullptr};

// The marks a guard looks for besides the shape.
enum class Marks {
  None,            // a key the configuration or the product names itself
  ClassKey,        // a device class instance
  DeviceInstance,  // a device instance: its enumerator ID and its "Driver"
  WaveDevice,      // a child of "Enum\MODEMWAVE": its instance's marks
};

// A key that passed the guard; only KeyGuard makes one.
class CheckedKey {
 public:
  const std::string& Path() const { return path_; }

 private:
  friend class KeyGuard;
  explicit CheckedKey(std::string path) : path_(std::move(path)) {}
  std::string path_;
};

// What the guard says of a key: it may go (`key`), or not, and why.
struct Verdict {
  std::optional<CheckedKey> key;
  // Refused because what tells whose it is could not be read: the key stays
  // and counts as the package's until a run can read it.
  bool unknown = false;
  std::string why;
};

// Another's mark on a key: whose it is, or that it could not be read.
struct Mark {
  std::string whose;  // empty: no mark
  bool unknown = false;
  bool Found() const { return unknown || !whose.empty(); }
};

class KeyGuard {
 public:
  KeyGuard(Platform& platform, const PackageIdentity& identity, ChangeLog& log)
      : platform_(platform), identity_(identity), log_(log) {}

  // The key when it may go: `path` has `shape`, is no root that holds others'
  // keys, and carries none of `marks`. Otherwise why not, and one log line
  // says so ("refused key <path> (<reason>)").
  Verdict Check(const std::string& path, const KeyShape& shape, Marks marks) const;

  // Whose mark `path` carries ("another device's: ..."), or that it cannot be
  // read. Reads the registry (and an INF file), writes nothing.
  Mark OthersMark(const std::string& path, Marks marks) const;

  Platform& platform() const { return platform_; }
  ChangeLog& log() const { return log_; }

 private:
  Mark ClassKeyMark(const std::string& classKey) const;
  Mark DeviceMark(const std::string& device) const;

  Platform& platform_;
  const PackageIdentity& identity_;
  ChangeLog& log_;
};

enum class KeyRemoval {
  Absent,   // the key is not there: nothing to do
  Deleted,  // its undo on disk, then deleted with its subtree
  Stayed,   // the package's, and it stays: it does not open, its undo cannot be
            // kept, its delete failed, or its marks cannot be read
  Refused,  // not the package's: nothing was touched
};

// The status of a change refused because its undo could not be kept.
constexpr std::int32_t ERROR_UNDO_NOT_KEPT = ERROR_WRITE_FAULT;

// Deletes a checked key with its subtree once its whole undo text is on
// disk; the log says what became of it. ERROR_SUCCESS, or why it stays:
// ERROR_UNDO_NOT_KEPT or the delete's status, with `why` in words.
std::int32_t DeleteKeyKeptForUndo(Platform& platform, const CheckedKey& key, ChangeLog& log,
                                  std::string& why);

// Deletes a key that the calling run made itself and that held nothing
// before it: no undo is kept, since there is nothing to give back.
std::int32_t DeleteKeyMadeThisCall(Platform& platform, const CheckedKey& key, ChangeLog& log);

// A checked key that is not there is absent; one that is there is deleted
// (its undo on disk first) or stays. The log says which; `outcome` counts a
// key that went or stayed.
KeyRemoval RemoveCheckedKey(Platform& platform, const CheckedKey& key, ChangeLog& log,
                            StageOutcome& outcome);

// Open with KEY_ALL_ACCESS, close at once, delete the same path with its
// subtree: only when the guard lets the key go. The log says what became of
// the key, and keeps it for undo before the delete.
KeyRemoval RemoveKey(const KeyGuard& guard, StageOutcome& outcome, const std::string& path,
                     const KeyShape& shape, Marks marks = Marks::None);

}  // namespace mdm
