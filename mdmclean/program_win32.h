// The run of mdmclean on Windows, under the runtime's call guard.
#pragma once

#include <cstddef>

#include "common/guarded_win32.h"
#include "mdmclean/program.h"

namespace mdm::cleaner {

// Returns the process exit code: 0 after a run, ERROR_NOT_ENOUGH_MEMORY when
// memory ran out and the run ended part way, without a fault dialog. No
// result may then stand for the run, not even one an earlier run left in
// mdminfo.ini, so the key "Result" is removed.
inline int RunProgram(std::size_t budget = rt::CALL_MEMORY_BUDGET) {
  if (RunGuardedOnWindows([](Platform& platform) { RunUninstall(platform); }, budget)) return 0;
  Win32Platform platform;
  RemoveResult(platform);
  return ERROR_NOT_ENOUGH_MEMORY;
}

}  // namespace mdm::cleaner
