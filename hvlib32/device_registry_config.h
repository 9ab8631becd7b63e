// The library's configuration of the device registry cleanup.
#pragma once

#include "common/device_registry.h"
#include "hvlib32/lib_context.h"

namespace mdm::hvlib {

// Records the INF names into `context`, which must outlive the configuration.
DeviceRegistryConfig MakeRegistryConfig(LibUninstallContext& context);

}  // namespace mdm::hvlib
