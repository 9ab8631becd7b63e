// The call guard of the Windows runtime: runs a piece of work on a private
// heap of its own and turns running out of memory (or a failed check inside
// the standard library headers) into a plain "did not complete" for the frame
// that called it, instead of ending the process.
//
// Contract: memory allocated inside a guarded call is released inside it or
// dropped with its heap when the call ends; nothing allocated there may be
// used afterwards. A call that does not complete skips the destructors of
// its frames, so it must not own anything outside that heap that a frame
// would have released: handles belong to a Win32Platform made outside the
// call, whose destructor closes what the call left open.
#pragma once

#include <cstddef>
#include <type_traits>

namespace mdm::rt {

// The most a guarded call may hold at once. Far above what any removal or
// service needs (texts of a few hundred bytes, one line of a profile file),
// and a bound on what a hostile registry can make the library take from the
// process that loaded it.
constexpr std::size_t CALL_MEMORY_BUDGET = std::size_t{8} << 20;

// Runs body(context) on a fresh private heap of at most `budget` bytes and
// destroys the heap afterwards. True when body returned; false when memory
// ran out (or the heap could not be made), in which case body was abandoned
// at the failing allocation.
bool GuardedCall(void (*body)(void*), void* context, std::size_t budget = CALL_MEMORY_BUDGET);

// The same for work(), any callable without arguments.
template <typename Work>
bool GuardedCall(Work&& work, std::size_t budget = CALL_MEMORY_BUDGET) {
  using Body = std::remove_reference_t<Work>;
  return GuardedCall([](void* context) { (*static_cast<Body*>(context))(); },
                     const_cast<void*>(static_cast<const void*>(&work)), budget);
}

}  // namespace mdm::rt
