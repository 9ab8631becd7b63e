// Arbitrary bytes as REGEDIT4 (or version 5) text. Malformed text is refused
// with an exception, never a crash; text that imports exports to REGEDIT4
// that imports again to the same registry.
#include <cstdint>
#include <stdexcept>
#include <string>

#include "emulator/machine.h"
#include "fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  mdm::emu::Machine first;
  try {
    first.ImportRegistry(text);
  } catch (const std::runtime_error&) {
    return 0;  // refused, as malformed text must be
  }
  const std::string exported = first.ExportRegistry();
  mdm::emu::Machine second;
  second.ImportRegistry(exported);  // an exception here fails the run
  FUZZ_CHECK(second.ExportRegistry() == exported);
  return 0;
}
