// mdmclean's run: the configuration, the check that the package is
// installed, its plan, and the result code written back.
#pragma once

#include "core/platform/platform.h"
#include "mdmclean/configuration.h"

namespace mdm::mdmclean {

constexpr int RESULT_DONE = 0;
constexpr int RESULT_NO_CONFIG = 1;
constexpr int RESULT_NOT_INSTALLED = 2;

// The whole run: loads the configuration, runs the plan when anything of the
// package is there, and writes into section "Progress" of ".\mdminfo.ini" the
// number of the package's things it found and could not remove as
// "Remaining" (0 when all went, and when no stage ran), then the result code
// as "Result". Returns the result code, which the program also exits with:
// the caller learns it even when mdminfo.ini cannot be written. MDMCLEAN.LOG and MDMCLEAN.REG in the Windows
// directory get the run's change log and undo file.
int RunUninstall(Platform& platform);

// Takes "Result" and "Remaining" out of mdminfo.ini: a run that ended part
// way leaves none.
void RemoveResult(Platform& platform);

}  // namespace mdm::mdmclean
