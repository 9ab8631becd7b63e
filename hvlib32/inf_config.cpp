// The library's configuration of the INF stage: the INF names its registry
// stage recorded (or the provider-named copies), and a match rule built from
// the product's own names.
#include <string>

#include "common/inf_cleanup.h"
#include "common/inf_names.h"
#include "common/text.h"
#include "hvlib32/stages.h"

namespace mdm::hvlib {

namespace {

ChosenInfNames RecordedOrProviderNames(Platform& platform, const LibUninstallContext& context) {
  if (RootInfIsOem(platform, context.rootInfPath)) {
    return {"INF", {context.portInfPath, context.modemInfPath, context.rootInfPath}};
  }
  return {"INF\\Other", {std::begin(ProviderInfNames), std::end(ProviderInfNames)}};
}

// The port description: the first key when it has a value, the fallback key
// only when the first read returned nothing.
std::string PortDescription(const InfFile& file) {
  const std::string description = file.Read("Std", "%Quillnet.DeviceDesc%");
  if (!description.empty()) return description;
  return file.Read("Std", "%QRMPort.DeviceDesc%");
}

bool IsProductFile(const InfFile& file) {
  const std::string deviceClass = file.Read("version", "Class");
  if (deviceClass.empty()) return false;
  if (EqualsAsciiCaseBlind(deviceClass.c_str(), "Quillnet")) return true;
  if (EqualsAsciiCaseBlind(deviceClass.c_str(), "Modem")) {
    return !file.Read("Strings", "Quillnet.DeviceDesc").empty();
  }
  if (EqualsAsciiCaseBlind(deviceClass.c_str(), "Ports")) {
    return EqualsAsciiCaseBlind(PortDescription(file).c_str(), "ComPort,QUILLNET");
  }
  return false;  // "MEDIA" included
}

}  // namespace

int CleanInfFiles(Platform& platform, const LibUninstallContext& context) {
  InfCleanupConfig config;
  config.chooseNames = [&context](Platform& p) { return RecordedOrProviderNames(p, context); };
  config.matches = IsProductFile;
  config.readLimit = LIBRARY_INF_READ_LIMIT;
  return mdm::CleanInfFiles(platform, config);
}

}  // namespace mdm::hvlib
