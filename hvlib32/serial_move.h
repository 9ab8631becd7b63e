// Moving the modem's ISA Plug-and-Play device instance to a new serial number.
#pragma once

#include <cstdint>

#include "core/platform/platform.h"
#include "core/record/change_log.h"

namespace mdm::hvlib32 {

// The move, telling `log` of each change: the new key gets the old key's
// values, every link naming the old serial is rewritten, and the old key
// goes; a Win32 registry status code. The link values and the old instance
// key go to the undo file before they change.
std::int32_t MoveSerialNumber(Platform& platform, const char* oldSerial, const char* newSerial,
                              ChangeLog& log);

}  // namespace mdm::hvlib32
