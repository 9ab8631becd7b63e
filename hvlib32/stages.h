// The stages of the library's Uninstall run and its two registry services,
// written against the platform layer so that the host build can run them on an
// emulated machine.
#pragma once

#include <cstdint>

#include "common/platform.h"
#include "hvlib32/lib_context.h"

namespace mdm::hvlib {

// 1. RemoveAllEntries over FixedRemovalTable (hvlib32/uninstall.h)
int CleanDeviceRegistry(Platform& platform, LibUninstallContext& context);
int CleanIniLists(Platform& platform);
int CleanInfFiles(Platform& platform, const LibUninstallContext& context);

void Uninstall(Platform& platform);

std::int32_t GetBaseAddr95(Platform& platform, char* out);
std::int32_t ChangeW95SerialNumber(Platform& platform, const char* oldSerial,
                                   const char* newSerial);

}  // namespace mdm::hvlib
