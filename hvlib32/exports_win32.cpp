// The Windows frame of HVLIB32.dll: the entry point and the three exports.
// Each export runs the core on the real machine through a stateless platform
// object on its own stack; the library keeps nothing between calls.

#include "common/platform.h"
#include "common/platform_win32.h"
#include "hvlib32/stages.h"

#include <windows.h>

// No exception may cross the C boundary into the loading program; the only
// one the core can raise is a failed allocation.
namespace {

constexpr LONG STATUS_NOT_ENOUGH_MEMORY = 8;  // ERROR_NOT_ENOUGH_MEMORY

}  // namespace

extern "C" {

// Loading and unloading change nothing: every notification succeeds at once.
BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }

LONG __stdcall ChangeW95SerialNumber(const char* oldSerial, const char* newSerial) {
  try {
    mdm::Win32Platform platform;
    return mdm::hvlib::ChangeW95SerialNumber(platform, oldSerial, newSerial);
  } catch (...) {
    return STATUS_NOT_ENOUGH_MEMORY;
  }
}

LONG __stdcall GetBaseAddr95(char* out) {
  try {
    mdm::Win32Platform platform;
    return mdm::hvlib::GetBaseAddr95(platform, out);
  } catch (...) {
    return STATUS_NOT_ENOUGH_MEMORY;
  }
}

void Uninstall(void) {
  try {
    mdm::Win32Platform platform;
    mdm::hvlib::Uninstall(platform);
  } catch (...) {
    // Best effort: a run that cannot get memory simply ends.
  }
}

}  // extern "C"
