// The library's three exports, on a platform: what HVLIB32.dll runs under
// the call guard (hvlib32/exports_win32.cpp) and the host build loads.
#pragma once

#include <cstdint>
#include <string>

#include "core/platform/platform.h"

namespace mdm::hvlib32 {

// The library's change log and undo file in the Windows directory:
// HVLIB32.LOG and HVLIB32.REG (core/record/run_log.h).
inline constexpr const char* LOG_NAME = "HVLIB32";

// The first line of a call's log: "HVLIB32 <version> <export>", then the time.
std::string LogHeading(const char* exportName);

// Runs the library's plan (hvlib32/library_plan.h); every call starts afresh.
void Uninstall(Platform& platform);

// The base address stored in the product's software key, into `out` (40
// bytes); a Win32 registry status code. Writes nothing, not even a log.
std::int32_t GetBaseAddr95(Platform& platform, char* out);

// Moves the ISA Plug-and-Play instance of the modem from one serial number to
// another (hvlib32/serial_move.h) with the call's log; a Win32 registry
// status code.
std::int32_t ChangeW95SerialNumber(Platform& platform, const char* oldSerial,
                                   const char* newSerial);

}  // namespace mdm::hvlib32
