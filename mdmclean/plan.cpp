// mdmclean's plan: everything product-specific comes from the configuration.
#include "common/limits.h"
#include "common/product.h"
#include "mdmclean/plan.h"

namespace mdm::cleaner {

namespace {

std::vector<FileEntry> FileTable(const Configuration& c) {
  std::vector<FileEntry> files;
  for (const std::string& name : c.systemFiles) files.push_back({DIR_SYSTEM, "", name});
  for (const std::string& name : c.productFiles) {
    files.push_back({DIR_SYSTEM, product::SUBDIRECTORY, name});
  }
  // Then whatever is left in the product subdirectory, and the folder itself.
  files.push_back({DIR_SYSTEM, product::SUBDIRECTORY, ""});
  return files;
}

DeviceRegistryPlan RegistryPlan(const Configuration& c) {
  DeviceRegistryPlan registry;
  registry.stage = &CleanWithVoiceClass;
  registry.deviceName = c.modemName;
  registry.links = {&LINK_MODEM, &LINK_PORT, &LINK_ROOT, &LINK_WAVE};
  registry.modemInfSection = c.modemName;
  registry.waveInfSection = c.voiceName;  // empty: no search
  registry.softwareKey = "SOFTWARE\\" + c.vendor + "\\" + c.modemName;
  registry.isapnpIds = c.pnpIds;
  registry.isapnpIds.push_back(product::FALLBACK_ISAPNP_ID);
  registry.recordInfPaths = false;
  return registry;
}

IniListRemovals ListRemovals(const Configuration& c) {
  const std::string subdirectory = product::SUBDIRECTORY;
  IniListRemovals lists;
  // The start-up program by its full path below the system directory, then
  // every product file by its full path and relative to the system
  // directory, whether or not the file is still there: a run stopped after
  // deleting it leaves its entries for the next.
  if (!c.productFiles.empty()) lists.load = {{true, subdirectory + "\\" + c.productFiles.back()}};
  for (const std::string& name : c.productFiles) {
    lists.load.push_back({true, subdirectory + "\\" + name});
    lists.load.push_back({false, subdirectory + "\\" + name});
  }
  lists.drivers = {{false, subdirectory + "\\" + c.modemName + ".drv"}};
  lists.alsoEntriesOfDeletedProductFiles = true;
  return lists;
}

InfCleanupPlan InfPlan(const Configuration& c) {
  InfMatchRule match;
  // The file's own class names the modem, or a generic class whose strings
  // describe it.
  match.ownClass = c.modemName;
  match.describedClasses = {"Modem", "Ports", "MEDIA"};
  match.descriptionKey = c.modemName + ".DeviceDesc";
  match.readLimit = PROGRAM_INF_READ_LIMIT;
  return {InfNamesAfterPackage::ProviderCopiesWhereOtherExists, match};
}

}  // namespace

RemovalPlan ProgramPlan(const Configuration& configuration) {
  return {FileTable(configuration), PROGRAM_FILE_REMOVAL, RegistryPlan(configuration),
          ListRemovals(configuration), InfPlan(configuration)};
}

}  // namespace mdm::cleaner
