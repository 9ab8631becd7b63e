// REGEDIT4 text as regedit writes it: the form of the undo file, and of the
// emulated machine's images. Importing the text with regedit gives back the
// same keys with byte-identical values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace mdm {

constexpr const char* REGEDIT_HEADER = "REGEDIT4";

// A key or value name that REGEDIT4 text gives back as it is: one without a
// control character, which regedit would read as the end of a line or lose.
bool CarriesFaithfully(const std::string& name);

// "[HKEY_LOCAL_MACHINE\path]"; the root itself for an empty path.
std::string RegeditKeyLine(const std::string& path);

// One value: `"name"=` (`@=` for the default value), then `"text"` for a
// REG_SZ that a quoted string reproduces byte for byte, `dword:` for a
// four-byte REG_DWORD, `hex:` for REG_BINARY and `hex(n):` for every other
// type or shape. In names and texts `\` and `"` are escaped, and so are line
// breaks and zero bytes in names, which would split the line or end the text.
// Long hex data is wrapped within 80 columns, `lineEnd` between the lines.
std::string RegeditValueLine(const std::string& name, std::uint32_t type, const unsigned char* data,
                             std::size_t size, const char* lineEnd);

}  // namespace mdm
