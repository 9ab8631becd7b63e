// Where Windows 95 keeps what the stages look at and the guard protects,
// below HKEY_LOCAL_MACHINE. Each location is written here once.
#pragma once

namespace mdm {

// The device tree, and the branches of it whose devices the package has.
inline constexpr const char* DEVICE_TREE = "Enum";
inline constexpr const char* ROOT_DEVICES = "Enum\\Root";          // devices Windows was told of
inline constexpr const char* ISAPNP_DEVICES = "Enum\\ISAPNP";      // ISA Plug-and-Play cards
inline constexpr const char* MODEM_DEVICES = "Enum\\Root\\MDMGEN";  // modems and their COM ports
inline constexpr const char* WAVE_DEVICES = "Enum\\MODEMWAVE";      // voice modems' wave devices

// The device classes: "<class>\<instance>" below it is a driver key.
inline constexpr const char* CLASS_ROOT = "System\\CurrentControlSet\\Services\\Class";

// The wave drivers' resources and the static VxDs.
inline constexpr const char* WAVE_RESOURCES =
    "System\\CurrentControlSet\\control\\MediaResources\\wave";
inline constexpr const char* VXD_ROOT = "System\\CurrentControlSet\\Services\\VxD";

}  // namespace mdm
