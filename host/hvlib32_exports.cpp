// The host frame of HVLIB32: a shared object with the library's three C
// exports, each run on the emulated machine whose image the environment
// variable MDM_MACHINE names. Every call loads the image, runs the core on it
// and writes the image back, so that successive calls, even from separate
// processes, see each other's changes as calls on one machine would. Nothing
// is printed.

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>

#include "emulator/machine.h"
#include "hvlib32/library_plan.h"
#include "hvlib32/exports.h"

#define HVLIB32_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// Result of a service whose machine image cannot be loaded or saved: the
// machine (like a missing key) is not there.
constexpr std::int32_t STATUS_NO_MACHINE = mdm::ERROR_FILE_NOT_FOUND;
// As in the Windows frame, a call that runs out of memory ends with this.
constexpr std::int32_t STATUS_NOT_ENOUGH_MEMORY = mdm::ERROR_NOT_ENOUGH_MEMORY;

template <typename Run>
std::int32_t OnMachine(Run run) {
  const char* image = std::getenv("MDM_MACHINE");
  if (image == nullptr || image[0] == '\0') return STATUS_NO_MACHINE;
  try {
    std::unique_ptr<mdm::emu::Machine> machine = mdm::emu::Machine::LoadImage(image);
    const std::int32_t result = run(*machine);
    machine->SaveImage(image);
    return result;
  } catch (const std::bad_alloc&) {
    return STATUS_NOT_ENOUGH_MEMORY;
  } catch (...) {
    return STATUS_NO_MACHINE;
  }
}

}  // namespace

HVLIB32_EXPORT std::int32_t ChangeW95SerialNumber(const char* oldSerial, const char* newSerial) {
  return OnMachine([&](mdm::Platform& platform) {
    return mdm::hvlib32::ChangeW95SerialNumber(platform, oldSerial, newSerial);
  });
}

HVLIB32_EXPORT std::int32_t GetBaseAddr95(char* out) {
  if (out != nullptr) out[0] = '\0';  // also when the machine cannot be loaded
  return OnMachine(
      [&](mdm::Platform& platform) { return mdm::hvlib32::GetBaseAddr95(platform, out); });
}

HVLIB32_EXPORT void Uninstall() {
  OnMachine([](mdm::Platform& platform) {
    mdm::hvlib32::Uninstall(platform);
    return mdm::ERROR_SUCCESS;
  });
}
