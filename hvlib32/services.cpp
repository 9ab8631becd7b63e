// The two registry services that the library exports to the installer:
// reading the product's base address, and moving the modem's ISA Plug-and-Play
// device instance to a new serial number.
//
// Both return the Win32 registry status code of the call that decided their
// outcome. Arguments that would make them address a key other than the one
// device instance are refused with ERROR_INVALID_PARAMETER before anything is
// touched.

#include <cstring>
#include <string>
#include <vector>

#include "common/device_registry.h"
#include "common/limits.h"
#include "common/ownership.h"
#include "common/product.h"
#include "common/registry_keys.h"
#include "common/run_log.h"
#include "common/text.h"
#include "hvlib32/library.h"

namespace mdm::hvlib {
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

enum class Relink { NoMatch, Rewritten, TooLong };

// One instance subkey of the root device key: when its "ConnectedToPort"
// holds the old serial number, the first occurrence is replaced.
Relink RelinkInstance(Platform& platform, ChangeLog& log, RegKey rootKey,
                      const std::string& rootPath, const char* instanceName,
                      const char* oldSerial, const char* newSerial) {
  ScopedKey instance(platform, rootKey, instanceName, KEY_READ | KEY_WRITE);
  if (!instance.IsOpen()) return Relink::NoMatch;
  char link[PORT_LINK_SIZE] = {};
  std::uint32_t type = REG_SZ;
  std::uint32_t size = PORT_LINK_SIZE;
  const bool read = platform.RegQueryValueExA(instance.Get(), PORT_LINK_VALUE, &type,
                                              reinterpret_cast<unsigned char*>(link),
                                              &size) == ERROR_SUCCESS;
  link[PORT_LINK_SIZE - 1] = '\0';  // data stored without a terminator ends here

  // First occurrence, compared byte by byte: letter case counts here.
  char* occurrence = read ? std::strstr(link, oldSerial) : nullptr;
  if (occurrence == nullptr) return Relink::NoMatch;
  const std::size_t prefix = static_cast<std::size_t>(occurrence - link);
  const std::size_t newLength = std::strlen(newSerial);
  // Cutting the new serial short would link the port to a wrong key.
  if (prefix + newLength + 1 > PORT_LINK_SIZE) return Relink::TooLong;
  const std::string instancePath = rootPath + "\\" + instanceName;
  const std::string before = link;
  log.KeepValueForUndo(instancePath, PORT_LINK_VALUE);
  std::memcpy(occurrence, newSerial, newLength + 1);
  // The write's result is deliberately not checked: the move goes on.
  platform.RegSetValueExA(instance.Get(), PORT_LINK_VALUE, REG_SZ,
                          reinterpret_cast<const unsigned char*>(link),
                          static_cast<std::uint32_t>(prefix + newLength + 1));
  log.Line("rewrote " + instancePath + " " + PORT_LINK_VALUE + ": " + before + " -> " + link);
  return Relink::Rewritten;
}

// The first instance whose "ConnectedToPort" holds the old serial number is
// pointed at the new one. Returns false only when that rewrite would not fit
// its text, in which case nothing was written.
bool RelinkPort(Platform& platform, ChangeLog& log, RegKey rootKey, const std::string& rootPath,
                const char* oldSerial, const char* newSerial) {
  Relink outcome = Relink::NoMatch;
  ForEachSubkeyName(platform, rootKey, INSTANCE_NAME_SIZE, [&](const char* instanceName) {
    outcome =
        RelinkInstance(platform, log, rootKey, rootPath, instanceName, oldSerial, newSerial);
    return outcome == Relink::NoMatch;
  });
  return outcome != Relink::TooLong;
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

}  // namespace

std::int32_t GetBaseAddr95(Platform& platform, char* out) {
  if (out == nullptr) return ERROR_INVALID_PARAMETER;
  out[0] = '\0';
  ScopedKey key(platform, product::BASE_ADDRESS_KEY, KEY_READ);
  if (!key.IsOpen()) return key.OpenStatus();

  // Read into a buffer of our own so that the caller's buffer only ever
  // receives a whole, terminated address or the empty text.
  char address[BASE_ADDRESS_SIZE] = {};
  std::int32_t size = BASE_ADDRESS_SIZE;
  if (platform.RegQueryValueA(key.Get(), nullptr, address, &size) == ERROR_SUCCESS &&
      std::memchr(address, '\0', BASE_ADDRESS_SIZE) != nullptr) {
    std::memcpy(out, address, std::strlen(address) + 1);
  }
  return key.Close();
}

std::int32_t MoveSerialNumber(Platform& platform, const char* oldSerial, const char* newSerial,
                              ChangeLog& log) {
  if (!IsUsableSerial(oldSerial) || !IsUsableSerial(newSerial)) return ERROR_INVALID_PARAMETER;
  log.Line(std::string("moving serial number ") + oldSerial + " to " + newSerial);

  {
    const std::string rootDevice = RootDeviceKey(product::DEVICE_NAME);
    ScopedKey root(platform, rootDevice, KEY_ENUMERATE_SUB_KEYS);
    if (!root.IsOpen()) return root.OpenStatus();
    if (!RelinkPort(platform, log, root.Get(), rootDevice, oldSerial, newSerial)) {
      return ERROR_MORE_DATA;
    }
  }

  // Key names compare case-blind: serial numbers that differ only in case
  // name the same key, which the move below would copy onto itself and then
  // delete.
  if (EqualsAsciiCaseBlind(oldSerial, newSerial)) return ERROR_SUCCESS;

  char oldPath[INSTANCE_PATH_SIZE];
  char newPath[INSTANCE_PATH_SIZE];
  Compose(oldPath, "%s\\%s", product::SERIAL_DEVICE_KEY, oldSerial);  // fits: serials were checked
  Compose(newPath, "%s\\%s", product::SERIAL_DEVICE_KEY, newSerial);

  ScopedKey oldKey(platform, oldPath, KEY_READ);
  if (!oldKey.IsOpen()) return oldKey.OpenStatus();
  // A failure to create is itself the result: the caller must learn that the
  // instance kept its old name.
  ScopedKey newKey(platform, newPath, ScopedKey::CreateTag{});
  if (!newKey.IsOpen()) return newKey.OpenStatus();

  const std::int32_t copied = CopyValues(platform, oldKey.Get(), newKey.Get());
  oldKey.Close();
  newKey.Close();
  log.Line(std::string("copied ") + oldPath + " to " + newPath);
  if (copied != ERROR_SUCCESS) return copied;

  // Checked serials always pass the guard; it stands here as for every deletion.
  const RemovalPlan plan = LibraryPlan();
  const PackageIdentity identity = IdentityOf(plan.registry, plan.inf.match);
  const std::optional<CheckedKey> old =
      KeyGuard(platform, identity, log).Check(oldPath, {product::SERIAL_DEVICE_KEY, 1}, Marks::None);
  if (!old) return ERROR_INVALID_PARAMETER;
  return DeleteKeyKeptForUndo(platform, *old, log);
}

std::int32_t ChangeW95SerialNumber(Platform& platform, const char* oldSerial,
                                   const char* newSerial) {
  RunLog log(platform, LOG_NAME, LogHeading("ChangeW95SerialNumber"));
  const std::int32_t result = MoveSerialNumber(platform, oldSerial, newSerial, log);
  char line[32];
  Compose(line, "result %d", static_cast<int>(result));
  log.Line(line);
  return result;
}

}  // namespace mdm::hvlib
