// Heap memory of the Windows images, and the call guard built on it.
//
// Outside a guarded call memory comes from the process heap. A guarded call
// gets a private heap and a budget; the record of the call lives on its
// frame and is found through a thread-local slot, so calls on two threads
// never share a heap. Running out of memory leaves the call through
// __builtin_longjmp, which needs no C runtime.
#include <windows.h>

#include <cstddef>
#include <new>

#include "runtime/guard.h"
#include "runtime/startup.h"

namespace mdm::rt {
namespace {

struct CallRecord {
  HANDLE heap;
  std::size_t budget;
  std::size_t inUse;
  void* resume[5];  // the __builtin_setjmp buffer
  CallRecord* outer;
};

DWORD g_callSlot = TLS_OUT_OF_INDEXES;

// TlsGetValue clears the last-error code; callers of the platform read it
// right after a failed call, and an allocation may come in between.
CallRecord* CurrentCall() {
  if (g_callSlot == TLS_OUT_OF_INDEXES) return nullptr;
  const DWORD lastError = GetLastError();
  CallRecord* call = static_cast<CallRecord*>(TlsGetValue(g_callSlot));
  SetLastError(lastError);
  return call;
}

void SetCurrentCall(CallRecord* call) {
  if (g_callSlot != TLS_OUT_OF_INDEXES) TlsSetValue(g_callSlot, call);
}

[[noreturn]] __attribute__((noinline)) void LeaveCall(CallRecord* call) {
  __builtin_longjmp(call->resume, 1);
}

void* Allocate(std::size_t size) {
  if (size == 0) size = 1;
  CallRecord* call = CurrentCall();
  if (call == nullptr) {
    void* block = HeapAlloc(GetProcessHeap(), 0, size);
    if (block == nullptr) AbandonCall();
    return block;
  }
  if (size > call->budget - call->inUse) AbandonCall();
  void* block = HeapAlloc(call->heap, 0, size);
  if (block == nullptr) AbandonCall();
  call->inUse += HeapSize(call->heap, 0, block);
  return block;
}

void Release(void* block) {
  if (block == nullptr) return;
  CallRecord* call = CurrentCall();
  if (call == nullptr) {
    HeapFree(GetProcessHeap(), 0, block);
    return;
  }
  call->inUse -= HeapSize(call->heap, 0, block);
  HeapFree(call->heap, 0, block);
}

// Sets the resume point and enters body: the part of GuardedCall that the
// jump returns to, kept apart so that nothing else in that frame lives in
// registers across the jump.
__attribute__((noinline)) bool Enter(CallRecord& call, void (*body)(void*), void* context) {
  if (__builtin_setjmp(call.resume) != 0) return false;
  body(context);
  return true;
}

}  // namespace

bool StartHeap() {
  g_callSlot = TlsAlloc();
  return g_callSlot != TLS_OUT_OF_INDEXES;
}

void StopHeap() {
  if (g_callSlot != TLS_OUT_OF_INDEXES) TlsFree(g_callSlot);
  g_callSlot = TLS_OUT_OF_INDEXES;
}

void AbandonCall() {
  if (CallRecord* call = CurrentCall()) LeaveCall(call);
  ExitProcess(ERROR_NOT_ENOUGH_MEMORY);
}

bool GuardedCall(void (*body)(void*), void* context, std::size_t budget) {
  CallRecord call{};
  call.heap = HeapCreate(HEAP_NO_SERIALIZE, 0, 0);
  if (call.heap == nullptr) return false;
  call.budget = budget;
  call.outer = CurrentCall();
  SetCurrentCall(&call);
  const bool completed = Enter(call, body, context);
  SetCurrentCall(call.outer);
  HeapDestroy(call.heap);
  return completed;
}

}  // namespace mdm::rt

// --- The C++ allocation functions. Only the throwing forms are used; a
// failure never returns to the caller of new.
void* operator new(std::size_t size) { return mdm::rt::Allocate(size); }
void* operator new[](std::size_t size) { return mdm::rt::Allocate(size); }
void operator delete(void* block) noexcept { mdm::rt::Release(block); }
void operator delete[](void* block) noexcept { mdm::rt::Release(block); }
void operator delete(void* block, std::size_t) noexcept { mdm::rt::Release(block); }
void operator delete[](void* block, std::size_t) noexcept { mdm::rt::Release(block); }
