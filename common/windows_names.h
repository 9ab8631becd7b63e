// Names Windows 95 keeps for itself. None of them can be a package's name: a
// modem named "Net" would make "Enum\Root\Net" and the class branch "Net" the
// package's, a vendor named "Microsoft" all of "SOFTWARE\Microsoft\<name>",
// a file named "UNIMODEM.VXD" Windows' modem driver.
#pragma once

#include <string>

namespace mdm {

// One of Windows 95's own device classes (below "...\Services\Class") or
// device enumerators (below "Enum"), compared case-blind.
bool IsWindowsDeviceName(const std::string& name);

// One of Windows' own keys below "SOFTWARE", compared case-blind.
bool IsWindowsSoftwareKey(const std::string& name);

// A device ID of Windows' own making: "*" and an EISA ID, such as *PNP0C01,
// the system board, whose root device is "Enum\Root\*PNP0C01".
bool IsWindowsDeviceId(const std::string& name);

// One of the files a Windows 95 or 98 installation puts into its Windows
// folder or its SYSTEM folder (those listed in windows_names.cpp), compared
// case-blind.
bool IsWindowsFile(const std::string& name);

}  // namespace mdm
