// The library's registry stage: the shared cleanup with the product's names
// built in, recording each class key's "InfPath" for the INF stage.
#include "hvlib32/device_registry_config.h"

#include "hvlib32/stages.h"

namespace mdm::hvlib {

DeviceRegistryConfig MakeRegistryConfig(LibUninstallContext& context) {
  DeviceRegistryConfig config;
  config.rootDeviceKey = "Enum\\Root\\Quillnet";
  config.links = {LINK_MODEM, LINK_PORT, LINK_ROOT};
  config.comPortKey = "SOFTWARE\\QRMeridian\\Quillnet\\1.0\\ComPort";
  config.softwareKey = "SOFTWARE\\QRMeridian\\Quillnet";
  config.isapnpCandidates = {"Enum\\ISAPNP\\QRM1001", "Enum\\ISAPNP\\QRM1003",
                             "Enum\\ISAPNP\\QRM0100"};
  config.waveDeviceKey = WaveDeviceKey::NamedByLink;
  config.infPathOf[LINK_MODEM] = &context.modemInfPath;
  config.infPathOf[LINK_PORT] = &context.portInfPath;
  config.infPathOf[LINK_ROOT] = &context.rootInfPath;
  config.rootKeyIsOwnStep = true;
  config.alwaysSucceed = true;
  return config;
}

int CleanDeviceRegistry(Platform& platform, LibUninstallContext& context) {
  const DeviceRegistryConfig config = MakeRegistryConfig(context);
  DeviceRegistryCleanup stage(platform, config, context.comPort);
  return stage.CleanDeviceRegistry();
}

}  // namespace mdm::hvlib
