// mdmclean's removals for the INI list stage: one entry per line, formed from
// the configuration.
#include "common/ini_lists.h"
#include "mdmclean/stages.h"

namespace mdm::cleaner {

int CleanIniLists(Platform& platform, const UninstallContext& context) {
  IniListRemovals removals;
  // The start-up program, by its full path below the system directory.
  removals.load.push_back({"%s\\%s\\%s", true, "QUILLNET.101", context.loadProgramName});
  removals.drivers.push_back({"%s\\%s.drv", false, "QUILLNET.101", context.modemName});
  return mdm::CleanIniLists(platform, removals);
}

}  // namespace mdm::cleaner
