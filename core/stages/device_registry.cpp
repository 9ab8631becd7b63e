#include "core/stages/device_registry.h"

#include <utility>

#include "core/package/product.h"
#include "core/base/registry_keys.h"
#include "core/base/text.h"

namespace mdm {

namespace {

constexpr const char* WAVE_DRIVER = "serwvdrv.drv";

std::string Join(const std::string& parent, const std::string& child) {
  return parent + "\\" + child;
}

KeyShape DeviceShape(const DeviceLink& link) { return {link.deviceRoot, link.deviceDepth}; }

// What a record (a link value, a "Driver") told: the key it names, nothing,
// or unknown when it could not be read.
enum class Record { Names, Nothing, Unknown };

// One run of the stage over one plan.
//
// What the package's records lead to goes before the records: class keys,
// then the devices whose "Driver" names them, then the software key and the
// root device, whose values name the rest. A record whose target stays, or
// which cannot be read, stays with the key that holds it, so that the next
// run can follow it again: a run stopped or failing anywhere leaves nothing
// that the records no longer lead to. Every instance of the root device is
// followed: a package installed twice has two. `kVoiceClass`: the wave
// link's class keys go with their wave resources, and "Enum\MODEMWAVE" goes
// whole when the package's wave device is all it holds (mdmclean's plan);
// otherwise only the wave device a link names goes.
template <bool kVoiceClass>
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
    if (!ListKeysBelow(RootKey(), 1, instances_)) Hold(RootKey(), "its instances cannot be listed");
    for (const DeviceLink* link : plan_.links) CleanDeviceLink(*link);
    RemoveSoftwareKey();
    RemoveEnumeratorKeys();
    ListInfNamesInUse();
    return found_;
  }

 private:
  // `record` stays while what it leads to stays.
  void Hold(const std::string& record, const std::string& why) { held_.push_back({record, why}); }

  // Why `path` must stay: a held record is the key or lies below it.
  std::string HeldAtOrBelow(const std::string& path) const {
    for (const auto& [record, why] : held_) {
      if (IsAtOrAbove(path, record)) return record == path ? why : record + " " + why;
    }
    return {};
  }

  KeyRemoval Keep(const std::string& path, const std::string& why) {
    log_.Line({"kept key ", path, " (", why, ")"});
    found_.outcome.Stayed(ItemKind::Key, path, why);
    return KeyRemoval::Stayed;
  }

  // Every deletion of the stage: a key holding a held record stays.
  KeyRemoval Remove(const std::string& path, const KeyShape& shape, Marks marks) {
    const std::string held = HeldAtOrBelow(path);
    if (!held.empty()) return Keep(path, held);
    return RemoveKey(guard_, found_.outcome, path, shape, marks);
  }
  KeyRemoval Remove(const CheckedKey& key) {
    const std::string held = HeldAtOrBelow(key.Path());
    if (!held.empty()) return Keep(key.Path(), held);
    return RemoveCheckedKey(platform_, key, log_, found_.outcome);
  }

  // `record` leads to `target`, which stays: the record stays with it.
  void HoldFor(const std::string& record, const std::string& target) {
    Hold(record, "leads to " + target + ", which stays");
  }
  void HoldIfStayed(KeyRemoval removal, const std::string& record, const std::string& target) {
    if (removal == KeyRemoval::Stayed) HoldFor(record, target);
  }

  std::string RootKey() const { return RootDeviceKey(plan_.deviceName); }

  // The device instance a link of `instance` names; a missing or empty value
  // names none. The root link names the instance key itself. An unreadable
  // link holds the instance key.
  Record LinkedDevice(const DeviceLink& link, const std::string& instance, std::string& device) {
    if (link.kind == LinkKind::Root) {
      device = instance;
      return Record::Names;
    }
    std::string value;
    const std::int32_t status = ScopedKey(platform_, instance).Read(link.valueName, value);
    if (IsUnknown(status)) {
      Hold(instance, Concat({"its ", link.valueName, " cannot be read", ErrorText(status)}));
      return Record::Unknown;
    }
    if (status != ERROR_SUCCESS || value.empty()) return Record::Nothing;
    device = link.instanceSuffix == nullptr ? value : Join(value, link.instanceSuffix);
    return Record::Names;
  }

  // The linked device is one the link may lead to: a device instance where
  // its kind lies, without another's mark. The log hears of a refusal.
  bool IsTrustedDevice(const DeviceLink& link, const std::string& instance,
                       const std::string& device) {
    if (link.kind == LinkKind::Root) return true;
    Mark mark;
    if (HasShape(device, DeviceShape(link))) {
      mark = guard_.OthersMark(device, Marks::DeviceInstance);
    } else {
      mark.whose = "not a device instance of its kind";
    }
    if (!mark.Found()) return true;
    if (mark.unknown) Hold(instance, "its " + std::string(link.valueName) + " " + mark.whose);
    log_.Line({"refused link ", link.valueName, " ", device, " (", mark.whose, ")"});
    return false;
  }

  // The class key a device's "Driver" names; an unreadable one holds the device.
  Record ReadDriverClassKey(const std::string& device, std::string& classKey) {
    std::string driver;
    const std::int32_t status = ScopedKey(platform_, device).Read("Driver", driver);
    if (IsUnknown(status)) {
      Hold(device, "its Driver cannot be read" + ErrorText(status));
      return Record::Unknown;
    }
    if (status != ERROR_SUCCESS) return Record::Nothing;
    classKey = Join(CLASS_ROOT, driver);
    return Record::Names;
  }

  // The shape a link's class key must have: an instance of the link's own
  // class, or for the root link one of the package's own device class.
  KeyShape ClassKeyShape(const DeviceLink& link) const {
    return {Join(CLASS_ROOT, link.className == nullptr ? plan_.deviceName : link.className), 1};
  }

  // The device's own "Driver" names an instance of the link's class: the
  // device is what the link says it is. Unknown holds the root instance.
  Record IsDeviceOfLinkClass(const std::string& device, const DeviceLink& link,
                             const std::string& instance) {
    std::string classKey;
    const Record driver = ReadDriverClassKey(device, classKey);
    if (driver == Record::Unknown) HoldFor(instance, device);
    if (driver != Record::Names) return driver;
    return HasShape(classKey, ClassKeyShape(link)) ? Record::Names : Record::Nothing;
  }

  // Each key `depth` levels below `root` with its value `name` (empty when
  // it has none), in the order they enumerate. False when a key on the way
  // cannot be listed, or one of them opened or read: the list then ends
  // before it.
  bool ReadBelow(const std::string& root, int depth, const char* name, KeyValues& values) {
    std::vector<std::string> keys;
    if (!ListKeysBelow(root, depth, keys)) return false;
    for (const std::string& key : keys) {
      std::string value;
      if (IsUnknown(ScopedKey(platform_, key).Read(name, value))) return false;
      values.push_back({key, value});
    }
    return true;
  }

  // The class keys ("...\Class\Modem\0001") the search finds for the modem
  // and wave links: those whose "InfSection" equals the package's exactly,
  // in the order they enumerate. None for the port and root links, nor for
  // a link without a section to look for. A class that cannot be searched
  // whole may hold more: it counts as remaining.
  std::vector<std::string> SearchedClassKeys(const DeviceLink& link) {
    const std::string& infSection = link.kind == LinkKind::Modem ? plan_.modemInfSection
                                    : link.kind == LinkKind::Wave ? plan_.waveInfSection
                                                          : std::string();
    std::vector<std::string> found;
    if (infSection.empty()) return found;  // would match every empty "InfSection"
    const std::string classRoot = Join(CLASS_ROOT, link.className);
    KeyValues sections;
    if (!ReadBelow(classRoot, 1, "InfSection", sections)) {
      log_.Line({"the class ", classRoot, " cannot be searched whole"});
      found_.outcome.Stayed(ItemKind::Key, classRoot, "it cannot be searched whole");
    }
    for (const auto& [key, section] : sections) {
      if (section == infSection) found.push_back(key);
    }
    return found;
  }

  // A class key the guard lets go; one whose marks cannot be read stays,
  // holding `record` when it is given.
  std::optional<CheckedKey> Checked(const std::string& classKey, const DeviceLink& link,
                                    const std::string& record, Marks marks) {
    Verdict verdict = guard_.Check(classKey, ClassKeyShape(link), marks);
    if (verdict.unknown) {
      found_.outcome.Stayed(ItemKind::Key, classKey, verdict.why);
      if (!record.empty()) HoldFor(record, classKey);
    }
    return std::move(verdict.key);
  }

  // The class key a link leads to, checked by its shape, and the device
  // whose "Driver" names it. Its marks were looked for with the device's: the
  // root device's own class is the package's by name, and a linked device
  // is trusted only when the class key its "Driver" names carries none.
  std::optional<CheckedKey> LinkedClassKey(const DeviceLink& link, const std::string& instance,
                                           std::string& device) {
    if (LinkedDevice(link, instance, device) != Record::Names ||
        !IsTrustedDevice(link, instance, device)) {
      return std::nullopt;
    }
    std::string classKey;
    if (ReadDriverClassKey(device, classKey) != Record::Names) return std::nullopt;
    return Checked(classKey, link, device, Marks::None);
  }

  void RecordInfPath(const DeviceLink& link, const std::string& classKey) {
    std::string* record = link.kind == LinkKind::Modem  ? &found_.inf.modemInfPath
                          : link.kind == LinkKind::Port ? &found_.inf.portInfPath
                          : link.kind == LinkKind::Root ? &found_.inf.rootInfPath
                                                : nullptr;
    if (record == nullptr || !record->empty()) return;  // the first instance's
    std::string infPath;
    ScopedKey(platform_, classKey).ReadString("InfPath", infPath);
    *record = infPath;
  }

  // What a link leads to: the class key each instance's linked device's
  // "Driver" names, and for the modem and wave links every class key of the
  // class that the search finds by the package's "InfSection", whatever the
  // links say: those are the package's whether a record still leads to them
  // or not. The root link takes the package's own class branch.
  void CleanDeviceLink(const DeviceLink& link) {
    std::vector<std::string> linkedKeys;
    for (const std::string& instance : instances_) {
      std::string device;
      const std::optional<CheckedKey> linked = LinkedClassKey(link, instance, device);
      if (!linked) continue;
      linkedKeys.push_back(linked->Path());
      // The root device owns its whole class branch, whatever its "Driver"
      // says; the "Driver" tells which instance's "InfPath" to record.
      if (link.kind == LinkKind::Root) {
        if (plan_.recordInfPaths) RecordInfPath(link, linked->Path());
      } else {
        CleanClassKey(*linked, link, device);
      }
    }
    if (link.kind == LinkKind::Root) {
      const std::string branch = Join(CLASS_ROOT, plan_.deviceName);
      HoldIfStayed(Remove(branch, {branch, 0}, Marks::None), RootKey(), branch);
      return;
    }
    for (const std::string& found : SearchedClassKeys(link)) {
      if (IsOneOfCaseBlind(found, linkedKeys)) continue;
      if (const std::optional<CheckedKey> checked = Checked(found, link, {}, Marks::ClassKey)) {
        CleanClassKey(*checked, link, {});
      }
    }
  }

  // A class key of the package with what hangs on it: the wave resources it
  // names first; for one the search found, the devices whose "Driver" names
  // it first too; for a linked one, the linked device stays while it does.
  void CleanClassKey(const CheckedKey& classKey, const DeviceLink& link,
                     const std::string& device) {
    if (plan_.recordInfPaths) RecordInfPath(link, classKey.Path());
    if constexpr (kVoiceClass) {
      if (link.kind == LinkKind::Wave) RemoveWaveResources(classKey.Path());
    }
    if (!device.empty()) {
      HoldIfStayed(Remove(classKey), device, classKey.Path());
    } else {
      RemoveDevicesNaming(classKey.Path(), link);
      Remove(classKey);
    }
  }

  // The keys `depth` levels below `root`, in the order they enumerate; an
  // absent key holds none. False when a key on the way cannot be listed or
  // does not open.
  bool ListKeysBelow(const std::string& root, int depth, std::vector<std::string>& keys) {
    std::vector<std::string> level = {root};
    for (; depth > 0; --depth) {
      std::vector<std::string> below;
      for (const std::string& parent : level) {
        const ScopedKey key(platform_, parent, KEY_READ);
        if (key.OpenStatus() == ERROR_FILE_NOT_FOUND) continue;
        std::vector<std::string> names;
        if (!key.IsOpen() || ListSubkeyNames(platform_, key.Get(), names) != ERROR_SUCCESS) {
          return false;
        }
        for (const std::string& name : names) below.push_back(Join(parent, name));
      }
      level.swap(below);
    }
    keys.swap(level);
    return true;
  }

  // The devices whose "Driver" names a class key the search found go before
  // it: once it is gone, nothing tells them for the package's. A wave
  // device goes whole, its instance with it. The class key stays while one
  // of them does.
  void RemoveDevicesNaming(const std::string& classKey, const DeviceLink& link) {
    KeyValues drivers;
    if (!ReadBelow(DEVICE_TREE, 3, "Driver", drivers)) {
      Hold(classKey, "the devices that may name it cannot be read");
    }
    const bool wave = kVoiceClass && link.kind == LinkKind::Wave;
    for (const auto& [device, driver] : drivers) {
      if (driver.empty() ||
          !EqualsAsciiCaseBlind(Join(CLASS_ROOT, driver).c_str(), classKey.c_str())) {
        continue;
      }
      const KeyRemoval removal =
          wave ? RemoveWaveDevice(CutAtLastBackslash(device), classKey)
               : Remove(device, DeviceShape(LINK_MODEM), Marks::DeviceInstance);
      if (removal == KeyRemoval::Stayed) HoldFor(classKey, device);
    }
  }

  // The wave driver's resource key of the wave class instance, and the
  // audio VxD's key; the class key names them, so it stays while they do.
  void RemoveWaveResources(const std::string& classKey) {
    const std::string resource =
        Join(WAVE_RESOURCES, std::string(WAVE_DRIVER) + "<" + LastComponent(classKey) + ">");
    const std::string vxd = Join(VXD_ROOT, product::AUDIO_VXD);
    HoldIfStayed(Remove(resource, {resource, 0}, Marks::None), classKey, resource);
    HoldIfStayed(Remove(vxd, {vxd, 0}, Marks::None), classKey, vxd);
  }

  void RemoveSoftwareKey() {
    const std::string comPortKey = Join(plan_.softwareKey, "1.0\\ComPort");
    {
      // The ComPort key stays open while the COM-port device goes.
      ScopedKey comPort(platform_, comPortKey);
      std::string port;
      const std::int32_t status = comPort.Read("", port);
      if (IsUnknown(status)) Hold(comPortKey, "its value cannot be read" + ErrorText(status));
      if (status == ERROR_SUCCESS) {
        found_.comPort = port;
        // A port that is not one key name names no device of the package's.
        if (IsKeyName(port)) {
          const std::string device = Join(MODEM_DEVICES, port);
          RemoveDriverKeyOf(device, {&LINK_PORT, &LINK_MODEM});
          HoldIfStayed(Remove(device, {MODEM_DEVICES, 1}, Marks::DeviceInstance), comPortKey,
                       device);
        }
      }
    }
    Remove(plan_.softwareKey, {"SOFTWARE", 2}, Marks::None);
  }

  // A device's driver key, which its "Driver" names, when it is an instance
  // of one of the links' classes and no other device's; the device stays
  // while it does.
  void RemoveDriverKeyOf(const std::string& device,
                         std::initializer_list<const DeviceLink*> links) {
    std::string classKey;
    if (ReadDriverClassKey(device, classKey) != Record::Names) return;
    for (const DeviceLink* link : links) {
      if (!HasShape(classKey, ClassKeyShape(*link))) continue;
      if (const std::optional<CheckedKey> checked = Checked(classKey, *link, device, Marks::ClassKey)) {
        HoldIfStayed(Remove(*checked), device, classKey);
      }
      return;
    }
  }

  // The package's cards: every ISA Plug-and-Play device of each of its IDs,
  // each card's port driver key first. Any of them a stopped run leaves is
  // the next run's to take, whichever came first.
  void RemoveIsapnpDevices() {
    for (const std::string& id : plan_.isapnpIds) {
      const std::string key = Join(ISAPNP_DEVICES, id);
      std::vector<std::string> cards;
      {
        const ScopedKey device(platform_, key);
        if (device.OpenStatus() == ERROR_FILE_NOT_FOUND) continue;
        const std::int32_t listed =
            device.IsOpen() ? ListSubkeyNames(platform_, device.Get(), cards) : device.OpenStatus();
        if (listed != ERROR_SUCCESS) Hold(key, "its cards cannot be listed" + ErrorText(listed));
      }
      for (const std::string& card : cards) RemoveDriverKeyOf(Join(key, card), {&LINK_PORT});
      HoldIfStayed(Remove(key, {ISAPNP_DEVICES, 1}, Marks::None), RootKey(), key);
    }
  }

  // The wave device the wave link names, "Enum\MODEMWAVE\<device>", when its
  // instance's "Driver" is a MEDIA instance; the guard refuses it when it
  // carries another device's mark. Empty when the link names none. (One
  // found through a searched class key went with that key.)
  std::string PackageWaveDevice(const std::string& rootInstance) {
    std::string instance;
    const bool linked = LinkedDevice(LINK_WAVE, rootInstance, instance) == Record::Names &&
                        HasShape(instance, DeviceShape(LINK_WAVE)) &&
                        IsDeviceOfLinkClass(instance, LINK_WAVE, rootInstance) == Record::Names;
    return linked ? CutAtLastBackslash(instance) : std::string();
  }

  // Whether the package's `device` is all "Enum\MODEMWAVE" holds.
  enum class Answer { No, Yes, Unknown };
  Answer WaveEnumeratorHoldsOnly(const std::string& device) {
    std::vector<std::string> children;
    const ScopedKey enumerator(platform_, WAVE_DEVICES);
    if (enumerator.OpenStatus() == ERROR_FILE_NOT_FOUND) return Answer::No;
    if (!enumerator.IsOpen() ||
        ListSubkeyNames(platform_, enumerator.Get(), children) != ERROR_SUCCESS) {
      return Answer::Unknown;
    }
    const bool only =
        children.size() == 1 &&
        EqualsAsciiCaseBlind(Join(WAVE_DEVICES, children[0]).c_str(), device.c_str());
    return only ? Answer::Yes : Answer::No;
  }

  // A wave device of the package, "Enum\MODEMWAVE\<device>", or mdmclean's
  // "Enum\MODEMWAVE" whole when the device, with no other's mark, is all it
  // holds (an empty one is nobody's to take). When that cannot be told, the
  // enumerator stays, and `record` with it for the next run.
  KeyRemoval RemoveWaveDevice(const std::string& device, const std::string& record) {
    if constexpr (kVoiceClass) {
      const Answer only = WaveEnumeratorHoldsOnly(device);
      const Mark mark = guard_.OthersMark(device, Marks::WaveDevice);
      if (only == Answer::Unknown || (only == Answer::Yes && mark.unknown)) {
        Hold(record, Concat({"leads to ", WAVE_DEVICES, ", which stays"}));
        return Keep(WAVE_DEVICES, "what it holds cannot be read");
      }
      if (only == Answer::Yes && !mark.Found()) {
        return Remove(WAVE_DEVICES, {WAVE_DEVICES, 0}, Marks::None);
      }
    }
    return Remove(device, {WAVE_DEVICES, 1}, Marks::WaveDevice);
  }

  // The modem and wave devices an instance of the root device links to.
  void RemoveLinkedDevices(const std::string& instance) {
    std::string modemDevice;
    if (LinkedDevice(LINK_MODEM, instance, modemDevice) == Record::Names &&
        IsDeviceOfLinkClass(modemDevice, LINK_MODEM, instance) == Record::Names) {
      HoldIfStayed(Remove(modemDevice, DeviceShape(LINK_MODEM), Marks::DeviceInstance), instance,
                   modemDevice);
    }
    const std::string waveDevice = PackageWaveDevice(instance);
    if (!waveDevice.empty()) {
      HoldIfStayed(RemoveWaveDevice(waveDevice, instance), instance, waveDevice);
    }
  }

  void RemoveEnumeratorKeys() {
    RemoveIsapnpDevices();
    for (const std::string& instance : instances_) RemoveLinkedDevices(instance);
    // Last: every step before reads the root device's instances.
    Remove(RootKey(), {RootKey(), 0}, Marks::None);
  }

  // The INF files the class keys that stay name: not the package's to
  // delete, whatever they say of themselves. When the class keys cannot all
  // be read, no INF file can be told free of them.
  void ListInfNamesInUse() {
    found_.inf.inUseKnown = ReadBelow(CLASS_ROOT, 2, "InfPath", found_.inf.inUse);
  }

  Platform& platform_;
  const DeviceRegistryPlan& plan_;
  const PackageIdentity identity_;
  const KeyGuard guard_;
  ChangeLog& log_;
  RegistryFindings found_;
  std::vector<std::string> instances_;  // "Enum\Root\<name>\<instance>"
  KeyValues held_;  // records that stay, and why
};

}  // namespace

std::string RootDeviceKey(const std::string& deviceName) { return Join(ROOT_DEVICES, deviceName); }

PackageIdentity IdentityOf(const DeviceRegistryPlan& plan, const InfMatchRule& infRule) {
  PackageIdentity identity;
  for (const std::string* name : {&plan.deviceName, &plan.modemInfSection, &plan.waveInfSection}) {
    if (!name->empty()) identity.names.push_back(*name);
  }
  identity.pnpIds = plan.isapnpIds;
  identity.infRule = infRule;
  return identity;
}

RegistryFindings CleanWithVoiceClass(Platform& platform, const DeviceRegistryPlan& plan,
                                     const InfMatchRule& infRule, ChangeLog& log) {
  return Cleanup<true>(platform, plan, infRule, log).Run();
}

RegistryFindings CleanWithoutVoiceClass(Platform& platform, const DeviceRegistryPlan& plan,
                                        const InfMatchRule& infRule, ChangeLog& log) {
  return Cleanup<false>(platform, plan, infRule, log).Run();
}

}  // namespace mdm
