// The library's built-in removals for the INI list stage.
#include "common/ini_lists.h"
#include "hvlib32/stages.h"

namespace mdm::hvlib {

int CleanIniLists(Platform& platform) {
  IniListRemovals removals;
  removals.load = {
      {"%s\\%s\\%s", true, "QUILLNET.101", "QUILLNET.EXE"},
      {"%s\\%s\\%s", true, "QUILLNET.101", "PRELDR.EXE"},
      // Also catches a copy written relative to the system directory, and the
      // end of a full path whose directory part differs from the reported one.
      {"%s\\%s", false, "QUILLNET.101", "PRELDR.EXE"},
  };
  removals.drivers = {{"%s\\%s", false, "QUILLNET.101", "QUILLNET.DRV"}};
  return mdm::CleanIniLists(platform, removals);
}

}  // namespace mdm::hvlib
