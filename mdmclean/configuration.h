// mdminfo.ini, read once at the start of a run into a typed, checked
// configuration: everything the program removes is named there.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/platform.h"

namespace mdm::cleaner {

// mdminfo.ini in the working directory: the configuration, and where the
// result code goes.
constexpr const char* CONFIG_FILE = ".\\mdminfo.ini";

struct Configuration {
  std::vector<std::string> systemFiles;   // plain file names in the system directory
  std::vector<std::string> productFiles;  // in its product subdirectory; the last is
                                          // the program the "load" line starts
  std::vector<std::string> pnpIds;        // ISA Plug-and-Play IDs: registry key names
  std::string vendor;                     // a registry key name
  std::string modemName;                  // a registry key name
  std::string voiceName;                  // may be empty
};

// The configuration in ".\mdminfo.ini"; none when a required value is missing
// or empty, when a list holds more than the program handles, when a file name
// is not a plain file name, when the vendor, the modem name or a
// Plug-and-Play ID is not one registry key name, or when one of Windows' own
// names (common/windows_names.h) is named: as the vendor, the modem or the
// voice name, a device ID such as *PNP0C01 as the modem, the voice name or a
// Plug-and-Play ID, or one of Windows' files in the system folder.
// Reads nothing else.
std::optional<Configuration> LoadConfiguration(Platform& platform);

}  // namespace mdm::cleaner
