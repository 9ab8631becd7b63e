// One call of an export on Windows: the core runs through a platform object
// of the call's own, on a heap of the call's own (runtime/guard.h). Memory
// that runs out ends the call, not the program that loaded the library: what
// the call left open is closed and it reports ERROR_NOT_ENOUGH_MEMORY.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/platform_win32.h"
#include "runtime/guard.h"

namespace mdm::hvlib {

// `work` takes the platform and returns the export's status.
template <typename Work>
std::int32_t RunExportCall(Work work, std::size_t budget = rt::CALL_MEMORY_BUDGET) {
  Win32Platform platform;
  std::int32_t status = ERROR_NOT_ENOUGH_MEMORY;
  if (rt::Guarded([&] { status = work(platform); }, budget)) return status;
  platform.CloseOpenHandles();
  return ERROR_NOT_ENOUGH_MEMORY;
}

}  // namespace mdm::hvlib
