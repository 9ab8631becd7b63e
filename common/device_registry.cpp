#include "common/device_registry.h"

#include "common/product.h"
#include "common/registry_keys.h"
#include "common/text.h"

namespace mdm {

namespace {

constexpr const char* WAVE_RESOURCES = "System\\CurrentControlSet\\control\\MediaResources\\wave";
constexpr const char* WAVE_DRIVER = "serwvdrv.drv";
constexpr const char* VXD_ROOT = "System\\CurrentControlSet\\Services\\VxD";
constexpr const char* COM_PORT_DEVICES = "Enum\\Root\\MDMGEN";
constexpr const char* ISAPNP_DEVICES = "Enum\\ISAPNP";

std::string Join(const std::string& parent, const std::string& child) {
  return parent + "\\" + child;
}

KeyShape DeviceShape(const DeviceLink& link) { return {link.deviceRoot, link.deviceDepth}; }

// One run of the stage over one plan.
class Cleanup {
 public:
  Cleanup(Platform& platform, const DeviceRegistryPlan& plan, const InfMatchRule& infRule,
          ChangeLog& log)
      : platform_(platform),
        plan_(plan),
        identity_(IdentityOf(plan, infRule)),
        guard_(platform, identity_, log),
        log_(log) {}

  RegistryFindings Run() {
    for (const DeviceLink* link : plan_.links) CleanDeviceLink(*link);
    RemoveSoftwareKey();
    RemoveEnumeratorKeys();
    return found_;
  }

 private:
  KeyRemoval Remove(const std::string& path, const KeyShape& shape, Marks marks = Marks::None) {
    return RemoveKey(guard_, found_.outcome, path, shape, marks);
  }

  std::string InstanceKey() const { return Join(RootDeviceKey(plan_.deviceName), "0000"); }

  // The device instance a link names; false when its value is missing or
  // empty (a missing link). The root link names the instance key itself.
  bool LinkedDevice(const DeviceLink& link, std::string& device) {
    if (&link == &LINK_ROOT) {
      device = InstanceKey();
      return true;
    }
    std::string value;
    if (!ScopedKey(platform_, InstanceKey()).ReadString(link.valueName, value)) return false;
    if (value.empty()) return false;
    device = link.instanceSuffix == nullptr ? value : Join(value, link.instanceSuffix);
    return true;
  }

  // The linked device is one the link may lead to: a device instance where
  // its kind lies, without another's mark. The log hears of a refusal.
  bool IsTrustedDevice(const DeviceLink& link, const std::string& device) {
    if (&link == &LINK_ROOT) return true;
    const std::string why = HasShape(device, DeviceShape(link))
                                ? guard_.OthersMark(device, Marks::DeviceInstance)
                                : "not a device instance of its kind";
    if (why.empty()) return true;
    log_.Line(std::string("refused link ") + link.valueName + " " + device + " (" + why + ")");
    return false;
  }

  // The class key a device's "Driver" names; false when it cannot be read.
  bool ReadDriverClassKey(const std::string& device, std::string& classKey) {
    std::string driver;
    if (!ScopedKey(platform_, device).ReadString("Driver", driver)) return false;
    classKey = Join(CLASS_ROOT, driver);
    return true;
  }

  // The shape a link's class key must have: an instance of the link's own
  // class, or for the root link one of the package's own device class.
  KeyShape ClassKeyShape(const DeviceLink& link) const {
    return {Join(CLASS_ROOT, link.className == nullptr ? plan_.deviceName : link.className), 1};
  }

  // The root device's own class is the package's by name; every other class
  // key must carry no other device's mark.
  static Marks ClassKeyMarks(const DeviceLink& link) {
    return &link == &LINK_ROOT ? Marks::None : Marks::ClassKey;
  }

  // The device's own "Driver" names an instance of the link's class: the
  // device is what the link says it is.
  bool IsDeviceOfLinkClass(const std::string& device, const DeviceLink& link) {
    std::string classKey;
    return ReadDriverClassKey(device, classKey) && HasShape(classKey, ClassKeyShape(link));
  }

  // The class key name ("Modem\0001") the class search finds: the first
  // subkey of the class whose "InfSection" equals `infSection` exactly. A
  // subkey that will not open ends the search.
  bool FindClassKeyByInfSection(const char* className, const std::string& infSection,
                                std::string& classKey) {
    if (infSection.empty()) return false;  // would match every empty "InfSection"
    ScopedKey root(platform_, Join(CLASS_ROOT, className));
    if (!root.IsOpen()) return false;
    bool matched = false;
    ForEachSubkeyName(platform_, root.Get(), STAGE_VALUE_LIMIT, [&](const char* name) {
      ScopedKey subkey(platform_, root.Get(), name);
      if (!subkey.IsOpen()) return false;
      std::string value;
      if (subkey.ReadString("InfSection", value) && value == infSection) {
        classKey = Join(Join(CLASS_ROOT, className), name);
        matched = true;
      }
      return !matched;
    });
    return matched;
  }

  // A missing or refused link of mdmclean's modem or wave link: the class
  // search by "InfSection".
  std::optional<CheckedKey> SearchedClassKey(const DeviceLink& link) {
    const std::string* infSection = &link == &LINK_MODEM  ? &plan_.modemInfSection
                                    : &link == &LINK_WAVE ? &plan_.waveInfSection
                                                          : nullptr;
    std::string classKey;
    if (infSection == nullptr || !FindClassKeyByInfSection(link.className, *infSection, classKey)) {
      return std::nullopt;
    }
    return guard_.Check(classKey, ClassKeyShape(link), ClassKeyMarks(link));
  }

  // The class key a link leads to, checked: the linked device's "Driver",
  // or, when the link is missing or refused, the class search. A device
  // without a readable "Driver" is a dead end: no search.
  std::optional<CheckedKey> LinkedClassKey(const DeviceLink& link) {
    std::string device;
    if (LinkedDevice(link, device) && IsTrustedDevice(link, device)) {
      std::string classKey;
      if (!ReadDriverClassKey(device, classKey)) return std::nullopt;
      if (auto checked = guard_.Check(classKey, ClassKeyShape(link), ClassKeyMarks(link))) {
        return checked;
      }
    }
    return SearchedClassKey(link);
  }

  void RecordInfPath(const DeviceLink& link, const std::string& classKey) {
    std::string* record = &link == &LINK_MODEM  ? &found_.modemInfPath
                          : &link == &LINK_PORT ? &found_.portInfPath
                          : &link == &LINK_ROOT ? &found_.rootInfPath
                                                : nullptr;
    if (record == nullptr) return;
    std::string infPath;
    ScopedKey(platform_, classKey).ReadString("InfPath", infPath);
    *record = infPath;
  }

  void CleanDeviceLink(const DeviceLink& link) {
    const std::optional<CheckedKey> classKey = LinkedClassKey(link);
    if (!classKey) return;
    if (plan_.recordInfPaths) RecordInfPath(link, classKey->Path());
    if (&link == &LINK_WAVE) {
      waveClassKey_ = classKey->Path();
      RemoveWaveResources(LastComponent(classKey->Path()));
    }
    if (&link == &LINK_ROOT) {
      // The root device owns its whole class branch, not just its instance.
      Remove(CutAtLastBackslash(classKey->Path()), {Join(CLASS_ROOT, plan_.deviceName), 0});
    } else {
      RemoveCheckedKey(platform_, *classKey, log_, found_.outcome);
    }
  }

  // The wave driver's resource key of the wave class instance, and the
  // audio VxD's key.
  void RemoveWaveResources(const std::string& instance) {
    const std::string resource =
        Join(WAVE_RESOURCES, std::string(WAVE_DRIVER) + "<" + instance + ">");
    const std::string vxd = Join(VXD_ROOT, product::AUDIO_VXD);
    Remove(resource, {resource, 0});
    Remove(vxd, {vxd, 0});
  }

  void RemoveSoftwareKey() {
    {
      // The ComPort key stays open while the COM-port device goes.
      ScopedKey comPortKey(platform_, Join(plan_.softwareKey, "1.0\\ComPort"));
      std::string port;
      if (comPortKey.ReadString("", port)) {
        found_.comPort = port;
        // A port that is not one key name names no device of the package's.
        if (IsKeyName(port)) {
          Remove(Join(COM_PORT_DEVICES, port), {COM_PORT_DEVICES, 1}, Marks::DeviceInstance);
        }
      }
    }
    Remove(plan_.softwareKey, {"SOFTWARE", 2});
  }

  // The first ISAPNP device key that opens goes, and only it; one that opens
  // but is refused ends the search as well.
  void RemoveIsapnpKey() {
    for (const std::string& id : plan_.isapnpIds) {
      const std::string key = Join(ISAPNP_DEVICES, id);
      if (!KeyExists(platform_, key)) continue;
      Remove(key, {ISAPNP_DEVICES, 1});
      return;
    }
  }

  // The package's wave device, "Enum\MODEMWAVE\<device>": the one the wave
  // link names when its instance's "Driver" is a MEDIA instance and it
  // carries no other device's mark; else the one whose instance's "Driver"
  // names the wave class key the wave link found; else the linked one after
  // all, for the guard to refuse and say why. Empty when none is known.
  std::string PackageWaveDevice() {
    std::string instance;
    const bool linked = LinkedDevice(LINK_WAVE, instance) &&
                        HasShape(instance, DeviceShape(LINK_WAVE)) &&
                        IsDeviceOfLinkClass(instance, LINK_WAVE);
    if (linked && guard_.OthersMark(instance, Marks::DeviceInstance).empty()) {
      return CutAtLastBackslash(instance);
    }
    std::string device;
    if (!waveClassKey_.empty()) {
      ScopedKey enumerator(platform_, WAVE_ENUMERATOR);
      ForEachSubkeyName(platform_, enumerator.Get(), MAX_PATH, [&](const char* name) {
        const std::string candidate = Join(WAVE_ENUMERATOR, name);
        std::string classKey;
        if (ReadDriverClassKey(Join(candidate, LINK_WAVE.instanceSuffix), classKey) &&
            EqualsAsciiCaseBlind(classKey.c_str(), waveClassKey_.c_str())) {
          device = candidate;
        }
        return device.empty();
      });
    }
    if (device.empty() && linked) device = CutAtLastBackslash(instance);
    return device;
  }

  // Nothing is in "Enum\MODEMWAVE" but `device` (when given).
  bool WaveEnumeratorHoldsOnly(const std::string& device) {
    std::vector<std::string> children;
    ScopedKey enumerator(platform_, WAVE_ENUMERATOR);
    if (!enumerator.IsOpen()) return false;
    ForEachSubkeyName(platform_, enumerator.Get(), MAX_PATH, [&](const char* name) {
      children.push_back(Join(WAVE_ENUMERATOR, name));
      return children.size() < 2;
    });
    return children.empty() || (children.size() == 1 && !device.empty() &&
                                EqualsAsciiCaseBlind(children[0].c_str(), device.c_str()));
  }

  // The enumerator goes whole only when it holds nothing but the package's
  // device, and that device carries no other's mark.
  void RemoveWaveDevice() {
    const std::string device = PackageWaveDevice();
    if (plan_.waveEnumeratorGoesWhenEmpty && WaveEnumeratorHoldsOnly(device) &&
        (device.empty() || guard_.OthersMark(device, Marks::WaveDevice).empty())) {
      Remove(WAVE_ENUMERATOR, {WAVE_ENUMERATOR, 0});
    } else if (!device.empty()) {
      Remove(device, {WAVE_ENUMERATOR, 1}, Marks::WaveDevice);
    }
  }

  void RemoveEnumeratorKeys() {
    RemoveIsapnpKey();
    std::string modemDevice;
    if (LinkedDevice(LINK_MODEM, modemDevice) && IsDeviceOfLinkClass(modemDevice, LINK_MODEM)) {
      Remove(modemDevice, DeviceShape(LINK_MODEM), Marks::DeviceInstance);
    }
    RemoveWaveDevice();
    // Last: every step before reads the root device's instance key.
    const std::string rootDeviceKey = RootDeviceKey(plan_.deviceName);
    Remove(rootDeviceKey, {rootDeviceKey, 0});
  }

  Platform& platform_;
  const DeviceRegistryPlan& plan_;
  const PackageIdentity identity_;
  const KeyGuard guard_;
  ChangeLog& log_;
  RegistryFindings found_;
  std::string waveClassKey_;  // the wave class key the wave link found
};

}  // namespace

std::string RootDeviceKey(const std::string& deviceName) { return Join("Enum\\Root", deviceName); }

PackageIdentity IdentityOf(const DeviceRegistryPlan& plan, const InfMatchRule& infRule) {
  PackageIdentity identity;
  for (const std::string* name : {&plan.deviceName, &plan.modemInfSection, &plan.waveInfSection}) {
    if (!name->empty()) identity.names.push_back(*name);
  }
  identity.pnpIds = plan.isapnpIds;
  identity.infRule = infRule;
  return identity;
}

RegistryFindings CleanDeviceRegistry(Platform& platform, const DeviceRegistryPlan& plan,
                                     const InfMatchRule& infRule, ChangeLog& log) {
  return Cleanup(platform, plan, infRule, log).Run();
}

}  // namespace mdm
