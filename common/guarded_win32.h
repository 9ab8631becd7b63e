// Work on the real machine under the runtime's call guard (runtime/guard.h):
// a platform of the work's own on a heap of its own. Memory that runs out
// ends the work there, and the keys, searches and files it left open are
// closed; the process goes on.
#pragma once

#include <cstddef>

#include "common/platform_win32.h"
#include "runtime/guard.h"

namespace mdm {

// Runs work(platform); false when memory ran out and it was ended early.
template <typename Work>
bool RunGuardedOnWindows(Work work, std::size_t budget = rt::CALL_MEMORY_BUDGET) {
  Win32Platform platform;
  if (rt::Guarded([&] { work(platform); }, budget)) return true;
  platform.CloseOpenHandles();
  return false;
}

}  // namespace mdm
