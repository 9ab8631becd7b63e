// mdmclean's registry stage: the shared cleanup configured from mdminfo.ini.
#include "mdmclean/device_registry_config.h"

namespace mdm::cleaner {

namespace {
constexpr const char* kIsapnpFallback = "Enum\\ISAPNP\\QRM0100";
}

DeviceRegistryConfig MakeRegistryConfig(const UninstallContext& context,
                                        const ProgramTables& tables) {
  DeviceRegistryConfig config;
  config.rootDeviceKey = "Enum\\Root\\" + context.modemName;
  config.links = {LINK_MODEM, LINK_PORT, LINK_ROOT, LINK_WAVE};
  config.modemSearch = ClassSearch{std::string(CLASS_ROOT) + "Modem", context.modemName, "Modem\\"};
  config.waveSearch = ClassSearch{std::string(CLASS_ROOT) + "MEDIA", context.voiceName, "MEDIA\\"};
  config.comPortKey = std::string(tables.VendorKeyPath) + "\\1.0\\ComPort";
  config.softwareKey = tables.VendorKeyPath;
  for (const auto& slot : tables.PnpKeyList) {
    if (slot[0] == '\0') break;
    config.isapnpCandidates.emplace_back(slot);
  }
  config.isapnpCandidates.emplace_back(kIsapnpFallback);
  config.waveDeviceKey = WaveDeviceKey::Fixed;
  config.fixedWaveDeviceKey = "Enum\\MODEMWAVE";
  return config;
}

int CleanDeviceRegistry(Platform& platform, UninstallContext& context,
                        const ProgramTables& tables) {
  const DeviceRegistryConfig config = MakeRegistryConfig(context, tables);
  DeviceRegistryCleanup stage(platform, config, context.comPort);
  return stage.CleanDeviceRegistry();
}

}  // namespace mdm::cleaner
