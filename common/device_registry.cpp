#include "common/device_registry.h"

#include "common/product.h"
#include "common/registry_keys.h"

namespace mdm {

namespace {

const char* const LINK_VALUE_NAMES[] = {"ConnectedToModem", "ConnectedToPort", "ConnectedToWave"};
// The class each device link's class key must belong to.
const char* const LINK_CLASSES[] = {"Modem", "Ports", "MEDIA"};

constexpr const char* CLASS_ROOT = "System\\CurrentControlSet\\Services\\Class";
constexpr const char* WAVE_INSTANCE = "ROOT&MODEM&0000";
constexpr const char* WAVE_RESOURCES = "System\\CurrentControlSet\\control\\MediaResources\\wave";
constexpr const char* WAVE_DRIVER = "serwvdrv.drv";
constexpr const char* VXD_ROOT = "System\\CurrentControlSet\\Services\\VxD";
constexpr const char* COM_PORT_DEVICES = "Enum\\Root\\MDMGEN";
constexpr const char* ISAPNP_DEVICES = "Enum\\ISAPNP";
constexpr const char* WAVE_ENUMERATOR = "Enum\\MODEMWAVE";

// A device instance, "Enum\<enumerator>\<device>\<instance>": what a link
// value must name to be followed, and the modem device key that goes.
const KeyShape DEVICE_INSTANCE{"Enum", 3};
// A device, "Enum\<enumerator>\<device>": the library's wave device key.
const KeyShape DEVICE{"Enum", 2};

std::string Join(const std::string& parent, const std::string& child) {
  return parent + "\\" + child;
}

// One run of the stage over one plan.
class Cleanup {
 public:
  Cleanup(Platform& platform, const DeviceRegistryPlan& plan, ChangeLog& log)
      : platform_(platform), plan_(plan), log_(log) {}

  RegistryFindings Run() {
    int flag = 1;
    for (DeviceLink link : plan_.links) flag &= CleanDeviceLink(link);
    flag &= RemoveSoftwareKey();
    flag &= RemoveEnumeratorKeys();
    found_.result = flag;
    return found_;
  }

 private:
  KeyRemoval Remove(const std::string& path, const KeyShape& shape) {
    return RemoveKey(platform_, path, shape, log_);
  }

  std::string InstanceKey() const { return Join(RootDeviceKey(plan_.deviceName), "0000"); }

  // The device key a link names. A missing or empty value, or one that names
  // no device instance, gives none: a link is never followed to a root.
  bool ReadLinkedDeviceKey(DeviceLink link, std::string& keyPath) {
    if (link == LINK_ROOT) {
      keyPath = InstanceKey();
      return true;
    }
    std::string value;
    if (!ScopedKey(platform_, InstanceKey()).ReadString(LINK_VALUE_NAMES[link], value)) return false;
    if (value.empty()) return false;
    keyPath = link == LINK_WAVE ? Join(value, WAVE_INSTANCE) : value;
    return true;
  }

  // The class key name ("Modem\0001") a missing link's class search finds:
  // the first subkey of the class whose "InfSection" equals `infSection`
  // exactly. A subkey that will not open ends the search.
  bool FindClassKeyByInfSection(const char* className, const std::string& infSection,
                                std::string& classKeyName) {
    if (infSection.empty()) return false;  // would match every empty "InfSection"
    ScopedKey root(platform_, Join(CLASS_ROOT, className));
    if (!root.IsOpen()) return false;
    bool matched = false;
    ForEachSubkeyName(platform_, root.Get(), STAGE_VALUE_LIMIT, [&](const char* name) {
      ScopedKey subkey(platform_, root.Get(), name);
      if (!subkey.IsOpen()) return false;
      std::string value;
      if (subkey.ReadString("InfSection", value) && value == infSection) {
        classKeyName = Join(className, name);
        matched = true;
      }
      return !matched;
    });
    return matched;
  }

  // The shape a link's class key must have: an instance of the link's own
  // class, or for the root link one of the package's own device class.
  KeyShape ClassKeyShape(DeviceLink link) const {
    return {Join(CLASS_ROOT, link == LINK_ROOT ? plan_.deviceName : LINK_CLASSES[link]), 1};
  }

  // The class key a device's "Driver" names; false when it cannot be read.
  bool ReadDriverClassKey(const std::string& deviceKey, std::string& classKey) {
    std::string driver;
    if (!ScopedKey(platform_, deviceKey).ReadString("Driver", driver)) return false;
    classKey = Join(CLASS_ROOT, driver);
    return true;
  }

  // The device's own "Driver" names an instance of the link's class: the
  // device is what the link says it is, and its key may go.
  bool IsDeviceOfLinkClass(const std::string& deviceKey, DeviceLink link) {
    std::string classKey;
    return ReadDriverClassKey(deviceKey, classKey) && HasShape(classKey, ClassKeyShape(link));
  }

  void RecordInfPath(DeviceLink link, const std::string& classKey) {
    std::string* record = link == LINK_MODEM  ? &found_.modemInfPath
                          : link == LINK_PORT ? &found_.portInfPath
                          : link == LINK_ROOT ? &found_.rootInfPath
                                              : nullptr;
    if (record == nullptr) return;
    std::string infPath;
    ScopedKey(platform_, classKey).ReadString("InfPath", infPath);
    *record = infPath;
  }

  // The class key a link leads to: the linked device's "Driver", or for a
  // missing link of mdmclean's modem or wave link the class search.
  bool LinkedClassKey(DeviceLink link, std::string& classKey) {
    std::string deviceKey;
    if (ReadLinkedDeviceKey(link, deviceKey)) {
      return HasShape(deviceKey, DEVICE_INSTANCE) && ReadDriverClassKey(deviceKey, classKey);
    }
    if (link != LINK_MODEM && link != LINK_WAVE) return false;  // the port link has no search
    const std::string& infSection =
        link == LINK_MODEM ? plan_.modemInfSection : plan_.waveInfSection;
    std::string classKeyName;
    if (!FindClassKeyByInfSection(LINK_CLASSES[link], infSection, classKeyName)) return false;
    classKey = Join(CLASS_ROOT, classKeyName);
    return true;
  }

  int CleanDeviceLink(DeviceLink link) {
    std::string classKey;
    if (!LinkedClassKey(link, classKey)) return 0;
    // A "Driver" value that names a key of another class names nothing: no
    // record, no wave resources, no delete, and the link failed.
    if (!IsRemovableKey(classKey, ClassKeyShape(link), log_)) return 0;
    if (plan_.recordInfPaths) RecordInfPath(link, classKey);
    int flag = 1;
    if (link == LINK_WAVE) flag &= RemoveWaveResources(LastComponent(classKey));
    // The root device owns its whole class branch, not just its instance.
    const KeyRemoval removal = link == LINK_ROOT
                                   ? Remove(CutAtLastBackslash(classKey),
                                               {Join(CLASS_ROOT, plan_.deviceName), 0})
                                   : Remove(classKey, ClassKeyShape(link));
    if (!RemovalKeepsFlag(removal)) flag = 0;
    return flag;
  }

  // The wave driver's resource key of the wave class instance, and the
  // audio VxD's key.
  int RemoveWaveResources(const std::string& instance) {
    const std::string resource =
        Join(WAVE_RESOURCES, std::string(WAVE_DRIVER) + "<" + instance + ">");
    const std::string vxd = Join(VXD_ROOT, product::AUDIO_VXD);
    int flag = 1;
    if (!RemovalKeepsFlag(Remove(resource, {resource, 0}))) flag = 0;
    if (!RemovalKeepsFlag(Remove(vxd, {vxd, 0}))) flag = 0;
    return flag;
  }

  int RemoveSoftwareKey() {
    int flag = 1;
    {
      // The ComPort key stays open while the COM-port device goes.
      ScopedKey comPortKey(platform_, Join(plan_.softwareKey, "1.0\\ComPort"));
      if (comPortKey.IsOpen()) {
        std::string port;
        if (comPortKey.ReadString("", port)) {
          found_.comPort = port;
          // Whether this delete works does not matter here. A port that is
          // not one key name names no device of the package's.
          const std::string device = Join(COM_PORT_DEVICES, port);
          if (IsKeyName(port)) Remove(device, {COM_PORT_DEVICES, 1});
        } else {
          flag = 0;
        }
      }
    }
    const KeyRemoval software = Remove(plan_.softwareKey, {"SOFTWARE", 2});
    if (software == KeyRemoval::Absent) return flag;
    return software == KeyRemoval::Deleted ? 1 : 0;
  }

  // The first ISAPNP device key that opens goes, and only it; one that opens
  // but is refused ends the search as well.
  int RemoveIsapnpKey() {
    for (const std::string& id : plan_.isapnpIds) {
      const std::string key = Join(ISAPNP_DEVICES, id);
      if (!KeyExists(platform_, key)) continue;
      return Remove(key, {ISAPNP_DEVICES, 1}) == KeyRemoval::Deleted ? 1 : 0;
    }
    return 0;
  }

  int RemoveWaveDeviceKey() {
    if (plan_.waveDeviceKey == WaveDeviceKey::Fixed) {
      return RemovalKeepsFlag(Remove(WAVE_ENUMERATOR, {WAVE_ENUMERATOR, 0})) ? 1 : 0;
    }
    std::string waveInstance;
    if (!ReadLinkedDeviceKey(LINK_WAVE, waveInstance)) return 1;
    if (!IsDeviceOfLinkClass(waveInstance, LINK_WAVE)) return 0;
    // The key "ConnectedToWave" names, without the instance added to it.
    return Remove(CutAtLastBackslash(waveInstance), DEVICE) == KeyRemoval::Deleted
               ? 1
               : 0;
  }

  int RemoveEnumeratorKeys() {
    int flag = RemoveIsapnpKey();
    std::string modemKey;
    if (ReadLinkedDeviceKey(LINK_MODEM, modemKey) && IsDeviceOfLinkClass(modemKey, LINK_MODEM)) {
      Remove(modemKey, DEVICE_INSTANCE);  // whether this works does not matter
    }
    flag &= RemoveWaveDeviceKey();
    // Last: every step before reads the root device's instance key.
    const std::string rootDeviceKey = RootDeviceKey(plan_.deviceName);
    if (!RemovalKeepsFlag(Remove(rootDeviceKey, {rootDeviceKey, 0}))) flag = 0;
    return flag;
  }

  Platform& platform_;
  const DeviceRegistryPlan& plan_;
  ChangeLog& log_;
  RegistryFindings found_;
};

}  // namespace

std::string RootDeviceKey(const std::string& deviceName) { return Join("Enum\\Root", deviceName); }

RegistryFindings CleanDeviceRegistry(Platform& platform, const DeviceRegistryPlan& plan,
                                     ChangeLog& log) {
  return Cleanup(platform, plan, log).Run();
}

}  // namespace mdm
