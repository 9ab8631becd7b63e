// Moving the modem's ISA Plug-and-Play device instance to a new serial
// number, for ChangeW95SerialNumber (hvlib32/exports.h).
//
// The move returns the Win32 registry status code of the call that decided
// its outcome. Arguments that would make it address a key other than the one
// device instance are refused with ERROR_INVALID_PARAMETER before anything
// is touched.

#include <string>
#include <vector>

#include "core/base/registry_keys.h"
#include "core/base/text.h"
#include "core/ownership/ownership.h"
#include "core/package/limits.h"
#include "core/package/product.h"
#include "hvlib32/library_plan.h"
#include "hvlib32/serial_move.h"

namespace mdm::hvlib32 {
namespace {

constexpr const char* PORT_LINK_VALUE = "ConnectedToPort";

// The serial device's key, a backslash and the serial must fit the path.
constexpr std::size_t MAX_SERIAL_LENGTH =
    INSTANCE_PATH_SIZE - std::char_traits<char>::length(product::SERIAL_DEVICE_KEY) - 2;

// A serial number names exactly one key below the serial device's key: it is
// present, not empty, one path component, and fits the 200-byte key path.
// The length is counted with a bound so that a huge text is not walked whole.
bool IsUsableSerial(const char* serial) {
  if (serial == nullptr || serial[0] == '\0') return false;
  for (std::size_t i = 0; i <= MAX_SERIAL_LENGTH; ++i) {
    if (serial[i] == '\0') return true;
    if (serial[i] == '\\') return false;
  }
  return false;
}

// The link of a device instance whose "ConnectedToPort" names the old
// serial number as one of its path components (compared case-blind: a part
// of a component is not a serial number), as it is and as it becomes: the
// components before it and the new serial, the rest dropped.
struct PortRelink {
  std::string instancePath;
  std::string before;
  std::string after;
};

// The link of one instance, when it names the serial. ERROR_SUCCESS, or the
// error that keeps its link from being read: the move must not leave a link
// naming a key that is gone.
std::int32_t RelinkOf(Platform& platform, const std::string& instancePath, const char* oldSerial,
                      const char* newSerial, std::vector<PortRelink>& relinks) {
  const ScopedKey instance(platform, instancePath, KEY_READ | KEY_WRITE);
  std::string link;
  const std::int32_t status = instance.Read(PORT_LINK_VALUE, link, PORT_LINK_SIZE);
  if (IsUnknown(status)) return status;
  if (status != ERROR_SUCCESS) return ERROR_SUCCESS;  // no link, or none that fits
  std::string kept;
  for (std::size_t start = 0;;) {
    const std::size_t slash = link.find('\\', start);
    const std::string component =
        link.substr(start, slash == std::string::npos ? slash : slash - start);
    if (EqualsAsciiCaseBlind(component.c_str(), oldSerial)) {
      relinks.push_back({instancePath, link, kept + newSerial});
      return ERROR_SUCCESS;
    }
    if (slash == std::string::npos) return ERROR_SUCCESS;
    kept = link.substr(0, slash + 1);
    start = slash + 1;
  }
}

// Every instance of the root device whose link names the old serial number:
// each would name a missing key once the old key is gone.
std::int32_t FindPortRelinks(Platform& platform, const std::string& rootDevice,
                             const char* oldSerial, const char* newSerial,
                             std::vector<PortRelink>& relinks) {
  std::vector<std::string> instances;
  {
    const ScopedKey root(platform, rootDevice, KEY_ENUMERATE_SUB_KEYS);
    if (!root.IsOpen()) return root.OpenStatus();
    const std::int32_t listed = ListSubkeyNames(platform, root.Get(), instances);
    if (listed != ERROR_SUCCESS) return listed;
  }
  for (const std::string& instance : instances) {
    const std::int32_t status =
        RelinkOf(platform, rootDevice + "\\" + instance, oldSerial, newSerial, relinks);
    if (status != ERROR_SUCCESS) return status;
  }
  return ERROR_SUCCESS;
}

// Rewrites the link once its old value is on disk for undo. Its status: a
// link that could not be rewritten still names the old key, which then stays.
std::int32_t Relink(Platform& platform, ChangeLog& log, const PortRelink& relink) {
  std::string why;
  if (!log.KeepValueForUndo(relink.instancePath, PORT_LINK_VALUE, why)) {
    log.Line({"kept ", relink.instancePath, " ", PORT_LINK_VALUE,
              " (its undo cannot be kept: ", why, ")"});
    return ERROR_UNDO_NOT_KEPT;
  }
  ScopedKey instance(platform, relink.instancePath, KEY_READ | KEY_WRITE);
  const std::int32_t status =
      instance.IsOpen()
          ? platform.RegSetValueExA(instance.Get(), PORT_LINK_VALUE, REG_SZ,
                                    reinterpret_cast<const unsigned char*>(relink.after.c_str()),
                                    static_cast<std::uint32_t>(relink.after.size() + 1))
          : instance.OpenStatus();
  if (status == ERROR_SUCCESS) {
    log.Line({"rewrote ", relink.instancePath, " ", PORT_LINK_VALUE, ": ", relink.before, " -> ",
              relink.after});
  }
  return status;
}

// Every value of the old key, whole, into the new key. Returns
// ERROR_SUCCESS when all were copied, otherwise the first failure: the caller
// then keeps the old key, so that no value is lost with it. A value too large
// for the call's memory ends the whole call before the old key is touched.
std::int32_t CopyValues(Platform& platform, RegKey from, RegKey to) {
  WholeValue value;
  std::int32_t firstFailure = ERROR_SUCCESS;
  for (std::uint32_t index = 0;; ++index) {
    const std::int32_t read = EnumValueWhole(platform, from, index, value);
    if (read == ERROR_NO_MORE_ITEMS) break;
    if (read != ERROR_SUCCESS) return read;
    const std::int32_t written =
        platform.RegSetValueExA(to, value.name.data(), value.type, value.data.data(), value.size);
    if (written != ERROR_SUCCESS && firstFailure == ERROR_SUCCESS) firstFailure = written;
  }
  return firstFailure;
}

// The new instance key, made by this call, goes again: a move that failed
// changes nothing.
void RemoveMadeKey(const KeyGuard& guard, const std::string& path) {
  if (const std::optional<CheckedKey> key =
          guard.Check(path, {product::SERIAL_DEVICE_KEY, 1}, Marks::None).key) {
    DeleteKeyMadeThisCall(guard.platform(), *key, guard.log());
  }
}

// Makes the new instance key hold every value of the old one; a key already
// there goes to the undo file first. `made`: the call made the key.
std::int32_t CopyInstanceKey(const KeyGuard& guard, const std::string& oldPath,
                             const std::string& newPath, bool& made) {
  Platform& platform = guard.platform();
  ChangeLog& log = guard.log();
  const std::int32_t found = ScopedKey(platform, newPath, KEY_READ).OpenStatus();
  if (found != ERROR_SUCCESS && found != ERROR_FILE_NOT_FOUND) return found;
  std::string why;
  if (found == ERROR_SUCCESS && !log.KeepForUndo(newPath, why)) {
    log.Line({"kept key ", newPath, " (its undo cannot be kept: ", why, ")"});
    return ERROR_UNDO_NOT_KEPT;
  }
  made = found == ERROR_FILE_NOT_FOUND;
  std::int32_t copied = ERROR_SUCCESS;
  {
    const ScopedKey oldKey(platform, oldPath, KEY_READ);
    if (!oldKey.IsOpen()) return oldKey.OpenStatus();
    const ScopedKey newKey(platform, newPath, ScopedKey::CreateTag{});
    if (!newKey.IsOpen()) return newKey.OpenStatus();
    copied = CopyValues(platform, oldKey.Get(), newKey.Get());
  }
  if (copied != ERROR_SUCCESS) {
    if (made) RemoveMadeKey(guard, newPath);
    return copied;
  }
  log.Line({"copied ", oldPath, " to ", newPath});
  // REGEDIT4 text can add keys and values but not take a key away.
  if (made) log.Line({"made key ", newPath, "; after importing the undo file, delete it by hand"});
  return ERROR_SUCCESS;
}

}  // namespace

// The move: the new key gets the old key's values, every link naming the old
// serial is rewritten, and the old key goes, in this order, so that no link
// ever names a key that is not there. A call stopped or failing part way is finished by the next
// one with the same arguments: it copies again, or finds the old key gone,
// the new one there, and rewrites only a link still naming the old serial.
std::int32_t MoveSerialNumber(Platform& platform, const char* oldSerial, const char* newSerial,
                              ChangeLog& log) {
  if (!IsUsableSerial(oldSerial) || !IsUsableSerial(newSerial)) return ERROR_INVALID_PARAMETER;
  log.Line({"moving serial number ", oldSerial, " to ", newSerial});

  // Everything is checked before anything changes.
  std::vector<PortRelink> relinks;
  std::int32_t status =
      FindPortRelinks(platform, RootDeviceKey(product::DEVICE_NAME), oldSerial, newSerial, relinks);
  if (status != ERROR_SUCCESS) return status;
  for (const PortRelink& relink : relinks) {
    // Cutting the new serial short would link the port to a wrong key.
    if (relink.after.size() + 1 > PORT_LINK_SIZE) return ERROR_MORE_DATA;
  }
  char oldPath[INSTANCE_PATH_SIZE];
  char newPath[INSTANCE_PATH_SIZE];
  Compose(oldPath, "%s\\%s", product::SERIAL_DEVICE_KEY, oldSerial);  // fits: serials were checked
  Compose(newPath, "%s\\%s", product::SERIAL_DEVICE_KEY, newSerial);
  // Key names compare case-blind: serial numbers that differ only in case
  // name the same key, which a move would copy onto itself and then delete.
  const bool sameKey = EqualsAsciiCaseBlind(oldSerial, newSerial);
  const std::int32_t oldFound = ScopedKey(platform, oldPath, KEY_READ).OpenStatus();
  if (oldFound == ERROR_FILE_NOT_FOUND && !sameKey && KeyExists(platform, newPath)) {
    log.Line({oldPath, " was moved to ", newPath, " before"});
  } else if (oldFound != ERROR_SUCCESS) {
    return oldFound;
  }
  const RemovalPlan plan = LibraryPlan();
  const PackageIdentity identity = IdentityOf(plan.registry, plan.inf.match);
  const KeyGuard guard(platform, identity, log);
  const bool moveKey = oldFound == ERROR_SUCCESS && !sameKey;
  bool made = false;
  if (moveKey) {
    status = CopyInstanceKey(guard, oldPath, newPath, made);
    if (status != ERROR_SUCCESS) return status;
  }
  for (const PortRelink& relink : relinks) {
    status = Relink(platform, log, relink);
    // A link already rewritten names the new key, which then stays.
    if (status != ERROR_SUCCESS) {
      if (made && &relink == &relinks.front()) RemoveMadeKey(guard, newPath);
      return status;
    }
  }
  if (!moveKey) return ERROR_SUCCESS;
  // Checked serials always pass the guard; it stands here as for every deletion.
  const std::optional<CheckedKey> old =
      guard.Check(oldPath, {product::SERIAL_DEVICE_KEY, 1}, Marks::None).key;
  if (!old) return ERROR_INVALID_PARAMETER;
  std::string why;
  return DeleteKeyKeptForUndo(platform, *old, log, why);
}

}  // namespace mdm::hvlib32
