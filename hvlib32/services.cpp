// The two registry services that the library exports to the installer:
// reading the product's base address, and moving the modem's ISA Plug-and-Play
// device instance to a new serial number.
//
// Both return the Win32 registry status code of the call that decided their
// outcome. Arguments that would make them address a key other than the one
// device instance are refused with ERROR_INVALID_PARAMETER before anything is
// touched.

#include <cstring>
#include <vector>

#include "common/text.h"
#include "hvlib32/stages.h"

namespace mdm::hvlib {
namespace {

constexpr const char* BASE_ADDRESS_KEY = "SOFTWARE\\QRMeridian\\Quillnet\\1.0\\Base";
constexpr const char* ROOT_DEVICE_KEY = "Enum\\Root\\Quillnet";
constexpr const char* PORT_LINK_VALUE = "ConnectedToPort";
constexpr const char* ISAPNP_INSTANCE_FORMAT = "Enum\\ISAPNP\\QRM1001\\%s";

constexpr std::size_t BASE_ADDRESS_SIZE = 40;
constexpr std::size_t INSTANCE_NAME_SIZE = 40;
constexpr std::size_t PORT_LINK_SIZE = 200;
constexpr std::size_t INSTANCE_PATH_SIZE = 200;
// "Enum\ISAPNP\QRM1001\" takes 20 of the path's 200 bytes, the terminator one.
constexpr std::size_t MAX_SERIAL_LENGTH = INSTANCE_PATH_SIZE - 20 - 1;

// The value copy starts with these limits and grows past them on demand, up
// to the largest value name Win32 allows and a data size no real instance key
// comes near.
constexpr std::uint32_t COPY_NAME_START = 40;
constexpr std::uint32_t COPY_DATA_START = 200;
constexpr std::uint32_t COPY_NAME_MAX = 16384;
constexpr std::uint32_t COPY_DATA_MAX = 16u * 1024 * 1024;

// A serial number names exactly one key below "Enum\ISAPNP\QRM1001": it is
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

// Steps 2.2 to 2.6 for one instance subkey of the root device key.
Relink RelinkInstance(Platform& platform, RegKey rootKey, const char* instanceName,
                      const char* oldSerial, const char* newSerial) {
  RegKey instance = 0;
  if (platform.RegOpenKeyExA(rootKey, instanceName, KEY_READ | KEY_WRITE, &instance) !=
      ERROR_SUCCESS) {
    return Relink::NoMatch;
  }
  char link[PORT_LINK_SIZE] = {};
  std::uint32_t type = REG_SZ;
  std::uint32_t size = PORT_LINK_SIZE;
  const bool read = platform.RegQueryValueExA(instance, PORT_LINK_VALUE, &type,
                                              reinterpret_cast<unsigned char*>(link),
                                              &size) == ERROR_SUCCESS;
  link[PORT_LINK_SIZE - 1] = '\0';  // data stored without a terminator ends here

  // First occurrence, compared byte by byte: letter case counts here.
  char* occurrence = read ? std::strstr(link, oldSerial) : nullptr;
  Relink outcome = Relink::NoMatch;
  if (occurrence != nullptr) {
    const std::size_t prefix = static_cast<std::size_t>(occurrence - link);
    const std::size_t newLength = std::strlen(newSerial);
    if (prefix + newLength + 1 > PORT_LINK_SIZE) {
      // Cutting the new serial short would link the port to a wrong key.
      outcome = Relink::TooLong;
    } else {
      std::memcpy(occurrence, newSerial, newLength + 1);
      // The write's result is deliberately not checked: the move goes on.
      platform.RegSetValueExA(instance, PORT_LINK_VALUE, REG_SZ,
                              reinterpret_cast<const unsigned char*>(link),
                              static_cast<std::uint32_t>(prefix + newLength + 1));
      outcome = Relink::Rewritten;
    }
  }
  platform.RegCloseKey(instance);
  return outcome;
}

// Step 2: the first instance whose "ConnectedToPort" holds the old serial
// number is pointed at the new one. Returns false only when that rewrite
// would not fit its text, in which case nothing was written.
bool RelinkPort(Platform& platform, RegKey rootKey, const char* oldSerial,
                const char* newSerial) {
  char instanceName[INSTANCE_NAME_SIZE];
  for (std::uint32_t index = 0;
       platform.RegEnumKeyA(rootKey, index, instanceName, INSTANCE_NAME_SIZE) == ERROR_SUCCESS;
       ++index) {
    switch (RelinkInstance(platform, rootKey, instanceName, oldSerial, newSerial)) {
      case Relink::NoMatch:
        continue;
      case Relink::Rewritten:
        return true;
      case Relink::TooLong:
        return false;
    }
  }
  return true;
}

// Reads the value at `index` whole, growing the buffers past the usual
// limits while the platform answers ERROR_MORE_DATA.
std::int32_t EnumValueWhole(Platform& platform, RegKey key, std::uint32_t index,
                            std::vector<char>& name, std::uint32_t& type,
                            std::vector<unsigned char>& data, std::uint32_t& dataSize) {
  std::uint32_t nameCapacity = COPY_NAME_START;
  std::uint32_t dataCapacity = COPY_DATA_START;
  for (;;) {
    name.assign(nameCapacity, '\0');
    data.assign(dataCapacity, 0);
    std::uint32_t nameSize = nameCapacity;
    dataSize = dataCapacity;
    const std::int32_t status = platform.RegEnumValueA(key, index, name.data(), &nameSize, &type,
                                                       data.data(), &dataSize);
    if (status != ERROR_MORE_DATA) return status;
    if (nameCapacity == COPY_NAME_MAX && dataCapacity == COPY_DATA_MAX) return status;
    // Which of the two was short is not reported reliably, so both grow; the
    // data takes the size the platform asked for when it said one.
    nameCapacity = nameCapacity * 2 < COPY_NAME_MAX ? nameCapacity * 2 : COPY_NAME_MAX;
    std::uint32_t wanted = dataCapacity * 2;
    if (dataSize > wanted) wanted = dataSize;
    dataCapacity = wanted < COPY_DATA_MAX ? wanted : COPY_DATA_MAX;
  }
}

// Every value of the old key, whole, into the new key. Returns
// ERROR_SUCCESS when all were copied, otherwise the first failure: the caller
// then keeps the old key, so that no value is lost with it. A value too large
// for the call's memory ends the whole call before the old key is touched.
std::int32_t CopyValues(Platform& platform, RegKey from, RegKey to) {
  std::vector<char> name;
  std::vector<unsigned char> data;
  std::int32_t firstFailure = ERROR_SUCCESS;
  for (std::uint32_t index = 0;; ++index) {
    std::uint32_t type = REG_NONE;
    std::uint32_t dataSize = 0;
    const std::int32_t read = EnumValueWhole(platform, from, index, name, type, data, dataSize);
    if (read == ERROR_NO_MORE_ITEMS) break;
    if (read != ERROR_SUCCESS) return read;
    const std::int32_t written =
        platform.RegSetValueExA(to, name.data(), type, data.data(), dataSize);
    if (written != ERROR_SUCCESS && firstFailure == ERROR_SUCCESS) firstFailure = written;
  }
  return firstFailure;
}

}  // namespace

std::int32_t GetBaseAddr95(Platform& platform, char* out) {
  if (out == nullptr) return ERROR_INVALID_PARAMETER;
  out[0] = '\0';
  RegKey key = 0;
  const std::int32_t opened = platform.RegOpenKeyExA(HKEY_LOCAL_MACHINE, BASE_ADDRESS_KEY,
                                                     KEY_READ, &key);
  if (opened != ERROR_SUCCESS) return opened;

  // Read into a buffer of our own so that the caller's buffer only ever
  // receives a whole, terminated address or the empty text.
  char address[BASE_ADDRESS_SIZE] = {};
  std::int32_t size = BASE_ADDRESS_SIZE;
  if (platform.RegQueryValueA(key, nullptr, address, &size) == ERROR_SUCCESS &&
      std::memchr(address, '\0', BASE_ADDRESS_SIZE) != nullptr) {
    std::memcpy(out, address, std::strlen(address) + 1);
  }
  return platform.RegCloseKey(key);
}

std::int32_t ChangeW95SerialNumber(Platform& platform, const char* oldSerial,
                                   const char* newSerial) {
  if (!IsUsableSerial(oldSerial) || !IsUsableSerial(newSerial)) return ERROR_INVALID_PARAMETER;

  RegKey rootKey = 0;
  const std::int32_t rootOpened = platform.RegOpenKeyExA(HKEY_LOCAL_MACHINE, ROOT_DEVICE_KEY,
                                                         KEY_ENUMERATE_SUB_KEYS, &rootKey);
  if (rootOpened != ERROR_SUCCESS) return rootOpened;
  const bool relinked = RelinkPort(platform, rootKey, oldSerial, newSerial);
  platform.RegCloseKey(rootKey);
  if (!relinked) return ERROR_MORE_DATA;

  // Key names compare case-blind: serial numbers that differ only in case
  // name the same key, which the move below would copy onto itself and then
  // delete.
  if (EqualsAsciiCaseBlind(oldSerial, newSerial)) return ERROR_SUCCESS;

  char oldPath[INSTANCE_PATH_SIZE];
  char newPath[INSTANCE_PATH_SIZE];
  Compose(oldPath, ISAPNP_INSTANCE_FORMAT, oldSerial);  // fits: serials were checked
  Compose(newPath, ISAPNP_INSTANCE_FORMAT, newSerial);

  RegKey oldKey = 0;
  const std::int32_t oldOpened = platform.RegOpenKeyExA(HKEY_LOCAL_MACHINE, oldPath, KEY_READ,
                                                        &oldKey);
  if (oldOpened != ERROR_SUCCESS) return oldOpened;

  RegKey newKey = 0;
  const std::int32_t created = platform.RegCreateKeyA(HKEY_LOCAL_MACHINE, newPath, &newKey);
  if (created != ERROR_SUCCESS) {
    // The failure itself is the result: the caller must learn that the
    // instance kept its old name.
    platform.RegCloseKey(oldKey);
    return created;
  }

  const std::int32_t copied = CopyValues(platform, oldKey, newKey);
  platform.RegCloseKey(oldKey);
  platform.RegCloseKey(newKey);
  if (copied != ERROR_SUCCESS) return copied;

  return platform.RegDeleteKeyA(HKEY_LOCAL_MACHINE, oldPath);
}

}  // namespace mdm::hvlib
