// The library's removal: the built-in plan that Uninstall runs.
#pragma once

#include <string>

#include "core/stages/runner.h"
#include "core/platform/platform.h"

namespace mdm::hvlib32 {

// What Uninstall removes: the product's names, built in.
RemovalPlan LibraryPlan();

}  // namespace mdm::hvlib32
