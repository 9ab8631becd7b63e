// The library's core, written against the platform layer so that the host
// build can run it on an emulated machine: the built-in plan of Uninstall and
// the two registry services for the product's installer.
#pragma once

#include <cstdint>
#include <string>

#include "common/change_log.h"
#include "common/plan.h"
#include "common/platform.h"

namespace mdm::hvlib {

// What Uninstall removes: the product's names, built in.
RemovalPlan LibraryPlan();

// The library's change log and undo file in the Windows directory:
// HVLIB32.LOG and HVLIB32.REG (common/run_log.h).
inline constexpr const char* LOG_NAME = "HVLIB32";
// The first line of a call's log: "HVLIB32 <version> <export>", then the time.
std::string LogHeading(const char* exportName);

// Runs the library's plan; every call starts afresh.
void Uninstall(Platform& platform);

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

}  // namespace mdm::hvlib
