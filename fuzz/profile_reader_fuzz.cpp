// Arbitrary bytes as a profile file. Reads through the platform never write
// past the buffer and report the count they copied; a write of one key reads
// back as written and leaves the value of every other key as it was.
#include <cstdint>
#include <string>
#include <vector>

#include "emulator/machine.h"
#include "emulator/profile_text.h"
#include "fuzz/fuzz_check.h"

namespace {

using mdm::emu::FindProfileValue;
using mdm::emu::ProfileEntries;

constexpr const char* kSection = "fuzzsec";
constexpr const char* kKey = "fuzzkey";

bool IsWritten(const mdm::emu::ProfileEntry& entry) {
  auto folded = [](std::string text) {
    for (char& c : text) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    return text;
  };
  return folded(entry.section) == kSection && folded(entry.key) == kKey;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::vector<mdm::emu::ProfileEntry> entries = ProfileEntries(text);

  mdm::emu::Machine machine;
  machine.AddFile("C:\\WINDOWS\\FUZZ.INI", text);
  std::size_t tried = 0;
  for (const mdm::emu::ProfileEntry& entry : entries) {
    if (++tried > 8) break;
    for (std::uint32_t limit : {1u, 2u, 7u, 260u}) {
      std::vector<char> buffer(limit + 1, '#');
      const std::uint32_t count = machine.GetPrivateProfileStringA(
          entry.section.c_str(), entry.key.c_str(), "", buffer.data(), limit, "fuzz.ini");
      FUZZ_CHECK(count < limit);
      FUZZ_CHECK(buffer[count] == '\0');
      FUZZ_CHECK(buffer[limit] == '#');  // nothing past the buffer
    }
  }
  std::vector<char> names(64, '#');
  const std::uint32_t listed =
      machine.GetPrivateProfileStringA(nullptr, nullptr, "", names.data(), 32, "fuzz.ini");
  // Windows 95 counts the closing zero and, when the list is cut, keeps whole
  // names: either way the list ends in an empty name inside the buffer.
  FUZZ_CHECK(listed <= 32 && names[32] == '#');
  FUZZ_CHECK(names[0] == '\0' ||
             std::string(names.data(), 32).find(std::string(2, '\0')) != std::string::npos);

  const std::string edited = mdm::emu::SetProfileValue(text, kSection, kKey, "v1");
  FUZZ_CHECK(FindProfileValue(edited, kSection, kKey) == std::optional<std::string>("v1"));
  for (const mdm::emu::ProfileEntry& entry : entries) {
    if (IsWritten(entry)) continue;
    FUZZ_CHECK(FindProfileValue(edited, entry.section, entry.key) ==
               FindProfileValue(text, entry.section, entry.key));
  }
  return 0;
}
