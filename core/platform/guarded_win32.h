// One call of a deliverable on the real machine, under the runtime's call
// guard (runtime/guard.h): a platform of the call's own on a heap of its own.
// Memory that runs out ends the call there, and the keys, searches and files
// it left open are closed; the process goes on.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/platform/platform_win32.h"
#include "runtime/guard.h"

namespace mdm {

// Runs work(platform), which returns a Win32 status; that status, or
// ERROR_NOT_ENOUGH_MEMORY when memory ran out and the call was ended early.
template <typename Work>
std::int32_t GuardedCall(Work work, std::size_t budget = rt::CALL_MEMORY_BUDGET) {
  Win32Platform platform;
  std::int32_t status = ERROR_NOT_ENOUGH_MEMORY;
  if (rt::Guarded([&] { status = work(platform); }, budget)) return status;
  platform.CloseOpenHandles();
  return ERROR_NOT_ENOUGH_MEMORY;
}

}  // namespace mdm
