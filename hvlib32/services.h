// The library's two registry services for the product's installer.
#pragma once

#include <cstdint>

#include "core/record/change_log.h"
#include "core/platform/platform.h"

namespace mdm::hvlib32 {

// The base address stored in the product's software key, into `out` (40
// bytes); a Win32 registry status code. Writes nothing, not even a log.
std::int32_t GetBaseAddr95(Platform& platform, char* out);

// Moves the ISA Plug-and-Play instance of the modem from one serial number to
// another; a Win32 registry status code. The link value and the old instance
// key go to the undo file before they change.
std::int32_t ChangeW95SerialNumber(Platform& platform, const char* oldSerial,
                                   const char* newSerial);

// The move itself, telling `log` of each change: what ChangeW95SerialNumber
// runs with the call's log.
std::int32_t MoveSerialNumber(Platform& platform, const char* oldSerial, const char* newSerial,
                              ChangeLog& log);

}  // namespace mdm::hvlib32
