// mdmclean's configuration of the INF stage: provider-named copies only where
// Windows 95 keeps them, and a match rule driven by the configured modem name.
#include <string>

#include "common/inf_cleanup.h"
#include "common/inf_names.h"
#include "common/text.h"
#include "mdmclean/stages.h"

namespace mdm::cleaner {

namespace {

ChosenInfNames ProviderCopiesIfPresent(Platform& platform) {
  if (!HasOtherInfDirectory(platform)) return {};
  return {"INF\\Other", {std::begin(ProviderInfNames), std::end(ProviderInfNames)}};
}

bool IsGenericDeviceClass(const std::string& deviceClass) {
  for (const char* generic : {"Modem", "Ports", "MEDIA"}) {
    if (EqualsAsciiCaseBlind(deviceClass.c_str(), generic)) return true;
  }
  return false;
}

// The file's own class names the modem, or a generic class whose strings
// describe it. The key is built whole whatever the name's length.
bool DescribesModem(const InfFile& file, const std::string& modemName) {
  const std::string deviceClass = file.Read("version", "Class");
  if (deviceClass.empty()) return false;
  if (EqualsAsciiCaseBlind(deviceClass.c_str(), modemName.c_str())) return true;
  if (!IsGenericDeviceClass(deviceClass)) return false;
  const std::string descriptionKey = modemName + ".DeviceDesc";
  return !file.Read("Strings", descriptionKey.c_str()).empty();
}

}  // namespace

int CleanInfFiles(Platform& platform, const UninstallContext& context) {
  InfCleanupConfig config;
  config.chooseNames = ProviderCopiesIfPresent;
  config.matches = [&context](const InfFile& file) { return DescribesModem(file, context.modemName); };
  config.readLimit = PROGRAM_INF_READ_LIMIT;
  return mdm::CleanInfFiles(platform, config);
}

}  // namespace mdm::cleaner
