// mdmclean's configuration of the device registry cleanup.
#pragma once

#include "common/device_registry.h"
#include "mdmclean/context.h"

namespace mdm::cleaner {

DeviceRegistryConfig MakeRegistryConfig(const UninstallContext& context,
                                        const ProgramTables& tables);

}  // namespace mdm::cleaner
