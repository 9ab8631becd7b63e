// Uninstall: the four removal stages with the product's names built in.
#include "hvlib32/uninstall.h"

#include "hvlib32/stages.h"

namespace mdm::hvlib {

// "quillnet.vxd" is stored in lower case on purpose; the file system does not
// care, but this is how the product names it.
const FileEntry FixedRemovalTable[6] = {
    {DIR_SYSTEM, "", "QUILLNET.CPL"},
    {DIR_SYSTEM, "", "quillnet.vxd"},
    {DIR_SYSTEM, "QUILLNET.101", "QUILLNET.EXE"},
    {DIR_SYSTEM, "QUILLNET.101", "QUILLNET.DRV"},
    {DIR_SYSTEM, "QUILLNET.101", ""},
    {DIR_END, "", ""},
};

void Uninstall(Platform& platform) {
  // Every call starts empty: nothing of an earlier call carries over.
  LibUninstallContext context;
  RemoveAllEntries(platform, LIBRARY_FILE_REMOVAL, FixedRemovalTable);
  // The registry stage records the INF names that the INF stage deletes.
  CleanDeviceRegistry(platform, context);
  CleanIniLists(platform);
  CleanInfFiles(platform, context);
}

}  // namespace mdm::hvlib
