// The run of mdmclean: configuration, presence check, the four stages, result.
#include "common/file_removal.h"
#include "common/text.h"
#include "mdmclean/stages.h"

namespace mdm::cleaner {

int IsAnyPnpKeyPresent(Platform& platform, const ProgramTables& tables) {
  for (const auto& slot : tables.PnpKeyList) {
    if (slot[0] == '\0') return 0;
    RegKey key = 0;
    if (platform.RegOpenKeyExA(HKEY_LOCAL_MACHINE, slot, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
      platform.RegCloseKey(key);
      return 1;
    }
  }
  return 0;
}

int WriteResult(Platform& platform, int result) {
  char text[8] = {};
  Compose(text, "%d", result);
  platform.WritePrivateProfileStringA("Progress", "Result", text, ".\\mdminfo.ini");
  return 1;
}

int RunUninstall(Platform& platform, ProgramTables& tables) {
  UninstallContext context;
  int result = RESULT_DONE;
  if (!LoadConfiguration(platform, context, tables)) {
    result = RESULT_NO_CONFIG;
  } else if (!IsAnyPnpKeyPresent(platform, tables)) {
    result = RESULT_NOT_INSTALLED;
  } else {
    // Each stage runs whatever the one before achieved; no flag is examined.
    RemoveAllEntries(platform, PROGRAM_FILE_REMOVAL, tables.FileRemovalTable);
    CleanDeviceRegistry(platform, context, tables);
    CleanIniLists(platform, context);
    CleanInfFiles(platform, context);
  }
  WriteResult(platform, result);
  return result;
}

}  // namespace mdm::cleaner
