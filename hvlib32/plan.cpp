// The library's plan: the product's names, built in.
#include "common/limits.h"
#include "common/product.h"
#include "common/run_log.h"
#include "hvlib32/plan.h"

namespace mdm::hvlib {

namespace {

std::vector<FileEntry> FileTable() {
  using namespace product;
  return {
      {DIR_SYSTEM, "", CONTROL_PANEL_FILE},     {DIR_SYSTEM, "", VXD_FILE},
      {DIR_SYSTEM, SUBDIRECTORY, PROGRAM_FILE}, {DIR_SYSTEM, SUBDIRECTORY, DRIVER_FILE},
      {DIR_SYSTEM, SUBDIRECTORY, ""},  // what is left there, and the folder
  };
}

DeviceRegistryPlan RegistryPlan() {
  DeviceRegistryPlan registry;
  registry.stage = &CleanWithoutVoiceClass;  // only the wave device the link names
  registry.deviceName = product::DEVICE_NAME;
  registry.links = {&LINK_MODEM, &LINK_PORT, &LINK_ROOT};
  // The modem's section is searched for; the voice device's only tells its
  // class key for the package's (no wave link: its class key stays).
  registry.modemInfSection = product::DEVICE_NAME;
  registry.waveInfSection = product::VOICE_SECTION;
  registry.softwareKey = product::SOFTWARE_KEY;
  registry.isapnpIds = {std::begin(product::ISAPNP_IDS), std::end(product::ISAPNP_IDS)};
  registry.recordInfPaths = true;                    // the INF stage deletes what they name
  return registry;
}

IniListRemovals ListRemovals() {
  const std::string subdirectory = product::SUBDIRECTORY;
  IniListRemovals lists;
  lists.load = {
      {true, subdirectory + "\\" + product::PROGRAM_FILE},
      {true, subdirectory + "\\" + product::STUB_FILE},
      // Also a copy written relative to the system directory, and the stub
      // under another Windows directory: a full path it ends goes whole.
      {false, subdirectory + "\\" + product::STUB_FILE},
  };
  lists.drivers = {{false, subdirectory + "\\" + product::DRIVER_FILE}};
  return lists;
}

InfCleanupPlan InfPlan() {
  InfMatchRule match;
  match.ownClass = product::DEVICE_NAME;
  match.describedClasses = {"Modem"};  // "MEDIA" files are never the library's to take
  match.descriptionKey = product::INF_DESCRIPTION_KEY;
  match.portDescriptionKeys = {std::begin(product::PORT_DESCRIPTION_KEYS),
                               std::end(product::PORT_DESCRIPTION_KEYS)};
  match.portDescription = product::PORT_DESCRIPTION;
  match.readLimit = LIBRARY_INF_READ_LIMIT;
  return {InfNamesAfterPackage::RecordedWhenRootIsOem, match};
}

}  // namespace

RemovalPlan LibraryPlan() {
  return {FileTable(), LIBRARY_FILE_REMOVAL, RegistryPlan(), ListRemovals(), InfPlan()};
}

std::string LogHeading(const char* exportName) {
  return std::string("HVLIB32 ") + product::VERSION + " " + exportName;
}

void Uninstall(Platform& platform) {
  RunLog log(platform, LOG_NAME, LogHeading("Uninstall"));
  log.Finish("done", RunPlan(platform, LibraryPlan(), log));
}

}  // namespace mdm::hvlib
