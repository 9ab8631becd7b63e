// What the entry points of the Windows runtime share with its heap.
#pragma once

namespace mdm::rt {

// Prepares the per-thread record of the current guarded call; false when
// the system has no thread-local slot left (the image then does not start).
bool StartHeap();
void StopHeap();

// Ends the current guarded call as not completed; outside one, ends the
// process with ERROR_NOT_ENOUGH_MEMORY. Never returns.
[[noreturn]] void AbandonCall();

}  // namespace mdm::rt
