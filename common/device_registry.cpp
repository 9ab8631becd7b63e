#include "common/device_registry.h"

#include "common/registry_keys.h"

namespace mdm {

namespace {

const char* const kLinkValueNames[] = {"ConnectedToModem", "ConnectedToPort", "ConnectedToWave"};
constexpr const char* kWaveInstanceSuffix = "\\ROOT&MODEM&0000";
constexpr const char* kWaveResourcePrefix =
    "System\\CurrentControlSet\\control\\MediaResources\\wave\\serwvdrv.drv";
constexpr const char* kAudioVxdKey = "System\\CurrentControlSet\\Services\\VxD\\QNAUDIO";
constexpr const char* kComPortDeviceRoot = "Enum\\Root\\MDMGEN";

}  // namespace

DeviceRegistryCleanup::DeviceRegistryCleanup(Platform& platform,
                                             const DeviceRegistryConfig& config,
                                             std::string& comPort)
    : platform_(platform), config_(config), comPort_(comPort) {}

std::string DeviceRegistryCleanup::InstanceKey() const { return config_.rootDeviceKey + "\\0000"; }

const ClassSearch* DeviceRegistryCleanup::SearchFor(DeviceLink link) const {
  if (link == LINK_MODEM && config_.modemSearch) return &*config_.modemSearch;
  if (link == LINK_WAVE && config_.waveSearch) return &*config_.waveSearch;
  return nullptr;
}

// The links are read from the root device instance, which goes last.
int DeviceRegistryCleanup::CleanDeviceRegistry() {
  int flags = 1;
  for (DeviceLink link : config_.links) flags &= CleanDeviceLink(link);
  flags &= RemoveSoftwareKey();
  flags &= RemoveEnumeratorKeys();
  if (config_.rootKeyIsOwnStep) RemoveRootDeviceKey();
  return config_.alwaysSucceed ? 1 : flags;
}

int DeviceRegistryCleanup::CleanDeviceLink(DeviceLink link) {
  int flag = 1;
  std::string className;
  std::string deviceKey;
  if (ReadLinkedDeviceKey(link, deviceKey)) {
    if (!ReadDriverValue(deviceKey, className)) return 0;
  } else {
    const ClassSearch* search = SearchFor(link);
    // An empty name would match every class key without an "InfSection".
    if (search == nullptr || search->nameToMatch.empty()) return 0;
    if (!FindClassKeyByInfSection(*search, className)) return 0;
  }

  const std::string classKey = CLASS_ROOT + className;
  // The root device owns its whole class branch, not just its instance.
  const std::string doomedKey = link == LINK_ROOT ? CutAtLastBackslash(classKey) : classKey;
  // A "Driver" value that names no class key of its own (empty components, or
  // a root of other devices' keys) names nothing: no record, no wave
  // resources, no delete.
  if (!IsRemovableKeyPath(doomedKey)) return 0;
  if (std::string* record = config_.infPathOf[link]) {
    std::string infPath;
    ReadInfPath(classKey, infPath);  // the instance's, before the cut
    *record = infPath;
  }
  if (link == LINK_WAVE) flag &= RemoveWaveResources(className);
  if (!RemovalKeepsFlag(RemoveKey(platform_, doomedKey))) flag = 0;
  return flag;
}

int DeviceRegistryCleanup::ReadLinkedDeviceKey(DeviceLink link, std::string& keyPath) {
  const std::string instance = InstanceKey();
  if (link == LINK_ROOT) {
    keyPath = instance;
    return 1;
  }
  RegKey key = 0;
  if (platform_.RegOpenKeyExA(HKEY_LOCAL_MACHINE, instance.c_str(), KEY_ALL_ACCESS, &key) !=
      ERROR_SUCCESS) {
    return 0;
  }
  const bool read = ReadStringValue(platform_, key, kLinkValueNames[link], keyPath);
  if (read && link == LINK_WAVE) keyPath += kWaveInstanceSuffix;
  platform_.RegCloseKey(key);
  return read ? 1 : 0;
}

int DeviceRegistryCleanup::ReadDriverValue(const std::string& deviceKey, std::string& className) {
  return ReadStringValueAt(platform_, deviceKey, "Driver", className) ? 1 : 0;
}

int DeviceRegistryCleanup::FindClassKeyByInfSection(const ClassSearch& search,
                                                    std::string& className) {
  RegKey root = 0;
  if (platform_.RegOpenKeyExA(HKEY_LOCAL_MACHINE, search.classRoot.c_str(), KEY_ALL_ACCESS,
                              &root) != ERROR_SUCCESS) {
    return 0;
  }
  int match = 0;
  for (std::uint32_t index = 0; !match; ++index) {
    char name[STAGE_VALUE_LIMIT + 1] = {};
    if (platform_.RegEnumKeyA(root, index, name, STAGE_VALUE_LIMIT) != ERROR_SUCCESS) break;
    RegKey subkey = 0;
    // A subkey that will not open ends the walk; later ones are not examined.
    if (platform_.RegOpenKeyExA(root, name, KEY_ALL_ACCESS, &subkey) != ERROR_SUCCESS) break;
    std::string infSection;
    const bool read = ReadStringValue(platform_, subkey, "InfSection", infSection);
    platform_.RegCloseKey(subkey);
    if (read && infSection == search.nameToMatch) {  // exact: case counts
      className = search.classPrefix + name;
      match = 1;
    }
  }
  platform_.RegCloseKey(root);
  return match;
}

int DeviceRegistryCleanup::ReadInfPath(const std::string& classKey, std::string& infPath) {
  return ReadStringValueAt(platform_, classKey, "InfPath", infPath) ? 1 : 0;
}

int DeviceRegistryCleanup::RemoveWaveResources(const std::string& className) {
  int flag = 1;
  const std::string resource = std::string(kWaveResourcePrefix) + "<" + LastComponent(className) + ">";
  if (!RemovalKeepsFlag(RemoveKey(platform_, resource))) flag = 0;
  if (!RemovalKeepsFlag(RemoveKey(platform_, kAudioVxdKey))) flag = 0;
  return flag;
}

int DeviceRegistryCleanup::RemoveSoftwareKey() {
  int result = 1;
  RegKey comPortKey = 0;
  if (platform_.RegOpenKeyExA(HKEY_LOCAL_MACHINE, config_.comPortKey.c_str(), KEY_ALL_ACCESS,
                              &comPortKey) == ERROR_SUCCESS) {
    std::string port;
    if (ReadStringValue(platform_, comPortKey, "", port)) {
      comPort_ = port;
      // The COM-port device may already be gone; that does not matter here.
      RemoveKey(platform_, std::string(kComPortDeviceRoot) + "\\" + comPort_);
    } else {
      result = 0;
    }
    platform_.RegCloseKey(comPortKey);
  }
  const KeyRemoval software = RemoveKey(platform_, config_.softwareKey);
  if (software == KeyRemoval::Absent) return result;
  return software == KeyRemoval::Deleted ? 1 : 0;
}

int DeviceRegistryCleanup::RemoveIsapnpKey() {
  for (const std::string& candidate : config_.isapnpCandidates) {
    const KeyRemoval removal = RemoveKey(platform_, candidate);
    if (removal == KeyRemoval::Absent || removal == KeyRemoval::Refused) continue;
    return removal == KeyRemoval::Deleted ? 1 : 0;  // later candidates stay untouched
  }
  return 0;
}

int DeviceRegistryCleanup::RemoveWaveDeviceKey() {
  if (config_.waveDeviceKey == WaveDeviceKey::Fixed) {
    return RemovalKeepsFlag(RemoveKey(platform_, config_.fixedWaveDeviceKey)) ? 1 : 0;
  }
  std::string waveKey;
  if (!ReadLinkedDeviceKey(LINK_WAVE, waveKey)) return 1;
  // Takes the instance suffix off again: the key that "ConnectedToWave" names.
  return RemoveKey(platform_, CutAtLastBackslash(waveKey), ENUM_BRANCH) == KeyRemoval::Deleted ? 1
                                                                                         : 0;
}

int DeviceRegistryCleanup::RemoveEnumeratorKeys() {
  int flag = RemoveIsapnpKey();
  std::string modemKey;
  if (ReadLinkedDeviceKey(LINK_MODEM, modemKey)) {
    RemoveKey(platform_, modemKey, ENUM_BRANCH);  // whether this works does not matter
  }
  flag &= RemoveWaveDeviceKey();
  if (!config_.rootKeyIsOwnStep) flag &= RemoveRootDeviceKey();
  return flag;
}

int DeviceRegistryCleanup::RemoveRootDeviceKey() {
  return RemovalKeepsFlag(RemoveKey(platform_, config_.rootDeviceKey)) ? 1 : 0;
}

}  // namespace mdm
