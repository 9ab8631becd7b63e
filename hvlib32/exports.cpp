#include "hvlib32/exports.h"

#include <cstring>

#include "core/base/registry_keys.h"
#include "core/package/limits.h"
#include "core/package/product.h"
#include "core/record/run_log.h"
#include "core/stages/runner.h"
#include "hvlib32/library_plan.h"
#include "hvlib32/serial_move.h"

namespace mdm::hvlib32 {

std::string LogHeading(const char* exportName) {
  return std::string("HVLIB32 ") + product::VERSION + " " + exportName;
}

void Uninstall(Platform& platform) {
  RunLog log(platform, LOG_NAME, LogHeading("Uninstall"));
  log.Finish("done", RunPlan(platform, LibraryPlan(), log));
}

std::int32_t GetBaseAddr95(Platform& platform, char* out) {
  if (out == nullptr) return ERROR_INVALID_PARAMETER;
  out[0] = '\0';
  ScopedKey key(platform, product::BASE_ADDRESS_KEY, KEY_READ);
  if (!key.IsOpen()) return key.OpenStatus();

  // Read into a buffer of our own so that the caller's buffer only ever
  // receives a whole, terminated address or the empty text.
  char address[BASE_ADDRESS_SIZE] = {};
  std::int32_t size = BASE_ADDRESS_SIZE;
  if (platform.RegQueryValueA(key.Get(), nullptr, address, &size) == ERROR_SUCCESS &&
      std::memchr(address, '\0', BASE_ADDRESS_SIZE) != nullptr) {
    std::memcpy(out, address, std::strlen(address) + 1);
  }
  return key.Close();
}

std::int32_t ChangeW95SerialNumber(Platform& platform, const char* oldSerial,
                                   const char* newSerial) {
  RunLog log(platform, LOG_NAME, LogHeading("ChangeW95SerialNumber"));
  const std::int32_t result = MoveSerialNumber(platform, oldSerial, newSerial, log);
  char line[32];
  Compose(line, "result %d", static_cast<int>(result));
  log.Line(line);
  return result;
}

}  // namespace mdm::hvlib32
