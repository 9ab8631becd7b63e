// Names Windows 95 keeps for itself. None of them can be a package's name: a
// modem named "Net" would make "Enum\Root\Net" and the class branch "Net" the
// package's, a vendor named "Microsoft" all of "SOFTWARE\Microsoft\<name>".
#pragma once

#include <string>

namespace mdm {

// One of Windows 95's own device classes (below "...\Services\Class") or
// device enumerators (below "Enum"), compared case-blind.
bool IsWindowsDeviceName(const std::string& name);

// One of Windows' own keys below "SOFTWARE", compared case-blind.
bool IsWindowsSoftwareKey(const std::string& name);

}  // namespace mdm
