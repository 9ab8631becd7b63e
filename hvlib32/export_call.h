// One call of an export on Windows, under the runtime's call guard: memory
// that runs out ends the call, not the program that loaded the library, and
// the call reports ERROR_NOT_ENOUGH_MEMORY.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/guarded_win32.h"

namespace mdm::hvlib {

// `work` takes the platform and returns the export's status.
template <typename Work>
std::int32_t RunExportCall(Work work, std::size_t budget = rt::CALL_MEMORY_BUDGET) {
  std::int32_t status = ERROR_NOT_ENOUGH_MEMORY;
  if (!RunGuardedOnWindows([&](Platform& platform) { status = work(platform); }, budget)) {
    return ERROR_NOT_ENOUGH_MEMORY;
  }
  return status;
}

}  // namespace mdm::hvlib
