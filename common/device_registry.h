// The device registry cleanup: one mechanism, configured by each deliverable.
// It deletes the class keys of the devices that the root device instance
// links to, the product's software key with its COM-port device, and the
// enumerator keys, the root device key last.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/platform.h"

namespace mdm {

enum DeviceLink : int {
  LINK_MODEM = 0,  // "ConnectedToModem"
  LINK_PORT = 1,   // "ConnectedToPort"
  LINK_WAVE = 2,   // "ConnectedToWave"
  LINK_ROOT = 3,   // the instance key itself
};

constexpr const char* CLASS_ROOT = "System\\CurrentControlSet\\Services\\Class\\";

// A class search by "InfSection", for a link whose value is missing.
struct ClassSearch {
  std::string classRoot;    // "System\CurrentControlSet\Services\Class\Modem"
  std::string nameToMatch;  // compared exactly with "InfSection"
  std::string classPrefix;  // "Modem\": the match's class key name is this and the subkey name
};

// Where the wave device's enumerator key comes from.
enum class WaveDeviceKey {
  Fixed,         // always `fixedWaveDeviceKey`; absent is no failure
  NamedByLink,   // the key "ConnectedToWave" names; nothing when the value is missing
};

struct DeviceRegistryConfig {
  std::string rootDeviceKey;             // "Enum\Root\<name>"; its instance is "\0000"
  std::vector<DeviceLink> links;         // run in this order
  // The class search of a link whose value is missing; none: the link fails.
  std::optional<ClassSearch> modemSearch;
  std::optional<ClassSearch> waveSearch;
  std::string comPortKey;                // its default value names the COM-port device
  std::string softwareKey;
  std::vector<std::string> isapnpCandidates;  // the first present one is deleted
  WaveDeviceKey waveDeviceKey = WaveDeviceKey::Fixed;
  std::string fixedWaveDeviceKey;
  // Where to record each link's "InfPath"; null: not read.
  std::string* infPathOf[4] = {nullptr, nullptr, nullptr, nullptr};
  bool rootKeyIsOwnStep = false;  // the root key's result stays out of the stage result
  bool alwaysSucceed = false;     // the stage result ignores the steps' flags
};

// The stage state: the configuration and what it records on the way.
class DeviceRegistryCleanup {
 public:
  DeviceRegistryCleanup(Platform& platform, const DeviceRegistryConfig& config,
                        std::string& comPort);

  int CleanDeviceRegistry();
  int CleanDeviceLink(DeviceLink link);
  int ReadLinkedDeviceKey(DeviceLink link, std::string& keyPath);
  int ReadDriverValue(const std::string& deviceKey, std::string& className);
  int FindClassKeyByInfSection(const ClassSearch& search, std::string& className);
  int ReadInfPath(const std::string& classKey, std::string& infPath);
  int RemoveSoftwareKey();
  int RemoveEnumeratorKeys();
  int RemoveRootDeviceKey();

 private:
  int RemoveIsapnpKey();
  int RemoveWaveDeviceKey();
  int RemoveWaveResources(const std::string& className);
  const ClassSearch* SearchFor(DeviceLink link) const;
  std::string InstanceKey() const;

  Platform& platform_;
  const DeviceRegistryConfig& config_;
  std::string& comPort_;
};

}  // namespace mdm
