// The stages of an mdmclean run, in the order the run calls them.
#pragma once

#include "common/platform.h"
#include "mdmclean/context.h"

namespace mdm::cleaner {

int LoadConfiguration(Platform& platform, UninstallContext& context, ProgramTables& tables);
int IsAnyPnpKeyPresent(Platform& platform, const ProgramTables& tables);
int WriteResult(Platform& platform, int result);

// 1. RemoveAllEntries over tables.FileRemovalTable (common/file_removal.h)
int CleanDeviceRegistry(Platform& platform, UninstallContext& context, const ProgramTables& tables);
int CleanIniLists(Platform& platform, const UninstallContext& context);
int CleanInfFiles(Platform& platform, const UninstallContext& context);

// The whole run; returns the result code it wrote.
int RunUninstall(Platform& platform, ProgramTables& tables);

}  // namespace mdm::cleaner
