// Entry points of the Windows images: the program's and the library's.
//
// The linker's default script gathers the static constructors between
// __CTOR_LIST__ (a -1 marker) and a zero; they run before main and on
// process attach. Exit handlers (atexit, static destructors) are kept in a
// fixed table and run at exit or on process detach, last registered first.
#include <windows.h>

#include "runtime/startup.h"

namespace {

using Function = void (*)();
using ObjectDestructor = void (*)(void*);

struct ExitHandler {
  ObjectDestructor function;
  void* object;
};

// Far more than the images register (static objects with destructors).
constexpr int EXIT_HANDLER_CAPACITY = 32;
ExitHandler g_exitHandlers[EXIT_HANDLER_CAPACITY];
int g_exitHandlerCount = 0;

void CallPlainFunction(void* function) { reinterpret_cast<Function>(function)(); }

int AddExitHandler(ObjectDestructor function, void* object) {
  if (g_exitHandlerCount == EXIT_HANDLER_CAPACITY) return -1;
  g_exitHandlers[g_exitHandlerCount++] = {function, object};
  return 0;
}

void RunExitHandlers() {
  while (g_exitHandlerCount > 0) {
    const ExitHandler handler = g_exitHandlers[--g_exitHandlerCount];
    handler.function(handler.object);
  }
}

}  // namespace

extern "C" {

extern Function __CTOR_LIST__[];

void* __dso_handle = nullptr;

int atexit(Function function) {
  return AddExitHandler(CallPlainFunction, reinterpret_cast<void*>(function));
}

int __cxa_atexit(ObjectDestructor function, void* object, void*) {
  return AddExitHandler(function, object);
}

// The compiler calls this at the top of main; the constructors have run by then.
void __main() {}

}  // extern "C"

namespace {

// The list starts with -1 and ends with 0; GCC's order is from the end back.
void RunConstructors() {
  int count = 0;
  while (__CTOR_LIST__[count + 1] != nullptr) ++count;
  for (int i = count; i >= 1; --i) __CTOR_LIST__[i]();
}

bool Start() {
  if (!mdm::rt::StartHeap()) return false;
  RunConstructors();
  return true;
}

void Stop() {
  RunExitHandlers();
  mdm::rt::StopHeap();
}

}  // namespace

extern "C" {

int main();
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);

void mainCRTStartup() {
  if (!Start()) ExitProcess(ERROR_NOT_ENOUGH_MEMORY);
  const int code = main();
  Stop();
  ExitProcess(static_cast<UINT>(code));
}

BOOL WINAPI DllMainCRTStartup(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH && !Start()) return FALSE;
  const BOOL result = DllMain(instance, reason, reserved);
  if (reason == DLL_PROCESS_DETACH) Stop();
  return result;
}

}  // extern "C"
