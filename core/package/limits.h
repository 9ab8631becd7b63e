// The sizes the system keeps to: how much of a value it reads, how many names
// a configuration may hold, the texts the installer services exchange. Paths
// are held in MAX_PATH bytes (core/platform/platform.h).
#pragma once

#include <cstddef>
#include <cstdint>

namespace mdm {

// The removal stages read registry text values with this limit (bytes,
// terminator included).
constexpr std::uint32_t STAGE_VALUE_LIMIT = 255;

// Reads of one value from an INF file, by deliverable.
constexpr std::uint32_t PROGRAM_INF_READ_LIMIT = 260;
constexpr std::uint32_t LIBRARY_INF_READ_LIMIT = 256;

// mdminfo.ini: a value holds at most 255 characters; a wider one is refused
// rather than seen cut. The lists hold what the program's tables always held.
constexpr std::uint32_t CONFIG_VALUE_LIMIT = 255;
constexpr std::size_t MAX_CONFIGURED_FILES = 18;  // system and product files together
constexpr std::size_t MAX_PNP_IDS = 19;
constexpr std::size_t MAX_PNP_ID_LENGTH = 19;
constexpr std::size_t MAX_VENDOR_AND_MODEM_LENGTH = 245;  // "SOFTWARE\V\M" in 256 bytes

// The longest the file stage waits for the NVRAM window to let go of the
// product's files, in milliseconds.
constexpr std::uint32_t NVRAM_WAIT_MS = 20000;

// The installer services' texts (bytes, terminator included).
constexpr std::size_t BASE_ADDRESS_SIZE = 40;    // GetBaseAddr95's caller buffer
constexpr std::size_t INSTANCE_NAME_SIZE = 40;   // a subkey name of the root device
constexpr std::size_t PORT_LINK_SIZE = 200;      // a "ConnectedToPort" value
constexpr std::size_t INSTANCE_PATH_SIZE = 200;  // "Enum\ISAPNP\QRM1001\<serial>"

}  // namespace mdm
