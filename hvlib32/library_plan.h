// The library's removal: the built-in plan of Uninstall, and the call that
// runs it with the library's log.
#pragma once

#include <string>

#include "core/stages/runner.h"
#include "core/platform/platform.h"

namespace mdm::hvlib32 {

// What Uninstall removes: the product's names, built in.
RemovalPlan LibraryPlan();

// The library's change log and undo file in the Windows directory:
// HVLIB32.LOG and HVLIB32.REG (core/record/run_log.h).
inline constexpr const char* LOG_NAME = "HVLIB32";
// The first line of a call's log: "HVLIB32 <version> <export>", then the time.
std::string LogHeading(const char* exportName);

// Runs the library's plan; every call starts afresh.
void Uninstall(Platform& platform);

}  // namespace mdm::hvlib32
