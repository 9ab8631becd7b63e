// The Windows frame of HVLIB32.dll: the entry point and the three exports.
// The library keeps nothing between calls. The kit's header declares the
// exports, so the compiler holds these definitions to what callers see.

#include "core/platform/platform.h"
#include "core/platform/guarded_win32.h"
#include "hvlib32/library_plan.h"
#include "hvlib32/services.h"
// The kit's header brings <windows.h>, whose macros share names with the
// platform's constants: it comes after every header of the core.
#include "hvlib32/hvlib32.h"

#include <windows.h>

extern "C" {

// Loading and unloading change nothing: every notification succeeds at once.
BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }

LONG WINAPI ChangeW95SerialNumber(const char* oldSerial, const char* newSerial) {
  return mdm::GuardedCall([&](mdm::Platform& platform) {
    return mdm::hvlib32::ChangeW95SerialNumber(platform, oldSerial, newSerial);
  });
}

LONG WINAPI GetBaseAddr95(char* out) {
  return mdm::GuardedCall(
      [&](mdm::Platform& platform) { return mdm::hvlib32::GetBaseAddr95(platform, out); });
}

// Best effort: a run that cannot get memory simply ends.
void WINAPI Uninstall(void) {
  mdm::GuardedCall([](mdm::Platform& platform) {
    mdm::hvlib32::Uninstall(platform);
    return std::int32_t{0};
  });
}

}  // extern "C"
