// The device registry cleanup: one mechanism, planned by each deliverable.
// It deletes the class keys of the devices that the root device instance
// links to, the product's software key with its COM-port device, and the
// enumerator keys, the root device key last. Every deletion is allowed by
// the shape of its path (common/registry_keys.h), never by a path merely not
// being forbidden.
#pragma once

#include <string>
#include <vector>

#include "common/change_log.h"
#include "common/platform.h"

namespace mdm {

enum DeviceLink : int {
  LINK_MODEM = 0,  // "ConnectedToModem"
  LINK_PORT = 1,   // "ConnectedToPort"
  LINK_WAVE = 2,   // "ConnectedToWave"
  LINK_ROOT = 3,   // the instance key itself
};

// Where the wave device's enumerator key comes from.
enum class WaveDeviceKey {
  Fixed,        // "Enum\MODEMWAVE"; absent is no failure
  NamedByLink,  // the key "ConnectedToWave" names; nothing when the value is missing
};

struct DeviceRegistryPlan {
  // The root device "Enum\Root\<deviceName>" (instance "\0000"), and the one
  // device class whose whole branch the root link may remove.
  std::string deviceName;
  std::vector<DeviceLink> links;  // run in this order
  // The "InfSection" that a missing modem or wave link looks for in the
  // Modem or MEDIA class (compared exactly); empty: no search, the link fails.
  std::string modemInfSection;
  std::string waveInfSection;
  // "SOFTWARE\<Vendor>\<Name>"; its "1.0\ComPort" names the COM-port device.
  std::string softwareKey;
  std::vector<std::string> isapnpIds;  // "Enum\ISAPNP\<id>": the first present one goes
  WaveDeviceKey waveDeviceKey = WaveDeviceKey::Fixed;
  bool recordInfPaths = false;  // read each class key's "InfPath" before it goes
};

// What the stage found on its way, for the stages after it.
struct RegistryFindings {
  // The "InfPath" of the modem's, the port's and the root device's class
  // keys, when the plan records them; empty when not reached.
  std::string modemInfPath;
  std::string portInfPath;
  std::string rootInfPath;
  std::string comPort;  // the default value of the software key's "1.0\ComPort"
  int result = 0;       // 1 when no step found a failure; nothing acts on it
};

// "Enum\Root\<deviceName>": the root device key, its instance "\0000".
std::string RootDeviceKey(const std::string& deviceName);

RegistryFindings CleanDeviceRegistry(Platform& platform, const DeviceRegistryPlan& plan,
                                     ChangeLog& log = NoChangeLog());

}  // namespace mdm
