// The Windows frame of HVLIB32.dll: the entry point and the three exports.
// The library keeps nothing between calls. The kit's header declares the
// exports, so the compiler holds these definitions to what callers see.

#include "core/platform/platform.h"
#include "core/platform/platform_win32.h"
#include "hvlib32/exports.h"
#include "runtime/guard.h"
// The kit's header brings <windows.h>, whose macros share names with the
// platform's constants: it comes after every header of the core.
#include "hvlib32/hvlib32.h"

#include <windows.h>

// Each export makes its platform outside the guarded call, whose end closes
// what a call ended for want of memory left open; such a call reports
// ERROR_NOT_ENOUGH_MEMORY.
extern "C" {

// Loading and unloading change nothing: every notification succeeds at once.
BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }

LONG WINAPI ChangeW95SerialNumber(const char* oldSerial, const char* newSerial) {
  mdm::Win32Platform platform;
  LONG status = ERROR_NOT_ENOUGH_MEMORY;
  mdm::rt::GuardedCall(
      [&] { status = mdm::hvlib32::ChangeW95SerialNumber(platform, oldSerial, newSerial); });
  return status;
}

LONG WINAPI GetBaseAddr95(char* out) {
  mdm::Win32Platform platform;
  LONG status = ERROR_NOT_ENOUGH_MEMORY;
  mdm::rt::GuardedCall([&] { status = mdm::hvlib32::GetBaseAddr95(platform, out); });
  return status;
}

static void RunUninstall(void* platform) {
  mdm::hvlib32::Uninstall(*static_cast<mdm::Platform*>(platform));
}

// Best effort: a run that cannot get memory simply ends.
void WINAPI Uninstall(void) {
  mdm::Win32Platform platform;
  mdm::rt::GuardedCall(&RunUninstall, &platform);
}

}  // extern "C"
