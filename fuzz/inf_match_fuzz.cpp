// Arbitrary bytes as an INF file in "INF" (as oem1.inf) and in "INF\Other",
// cleaned by both deliverables' INF stages. Each fuzzed file goes exactly when
// its deliverable's match rule, applied to what a profile read returns, says
// so; the other files stay; every search is closed.
#include <cstdint>
#include <cstring>
#include <string>

#include "emulator/machine.h"
#include "fuzz/fuzz_check.h"
#include "hvlib32/library_plan.h"
#include "mdmclean/program_plan.h"

namespace {

using mdm::emu::Machine;

const char* const kFuzzed[] = {"C:\\WINDOWS\\INF\\oem1.inf",
                               "C:\\WINDOWS\\INF\\Other\\Fuzzed Inc.X.INF"};
const char* const kOthers[] = {"C:\\WINDOWS\\INF\\OEM2.INF", "C:\\WINDOWS\\INF\\MDMGEN.INF",
                               "C:\\WINDOWS\\INF\\Other\\Acme Inc.ACME.INF",
                               "C:\\WINDOWS\\INF\\OEM3.TXT"};

bool Same(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b) {
    const char x = (*a >= 'a' && *a <= 'z') ? static_cast<char>(*a - 32) : *a;
    const char y = (*b >= 'a' && *b <= 'z') ? static_cast<char>(*b - 32) : *b;
    if (x != y) return false;
  }
  return *a == *b;
}

struct Read {
  std::uint32_t count;
  std::string text;  // up to the first zero byte, as the Win32 string functions see it
};

Read Value(Machine& machine, const char* path, const char* section, const char* key,
           std::uint32_t limit) {
  char buffer[512] = {};
  const std::uint32_t count =
      machine.GetPrivateProfileStringA(section, key, "", buffer, limit, path);
  return {count, buffer};
}

bool ProgramClaims(Machine& machine, const char* path, const std::string& modemName) {
  const Read deviceClass = Value(machine, path, "version", "Class", 260);
  if (deviceClass.count == 0) return false;
  if (Same(deviceClass.text.c_str(), modemName.c_str())) return true;
  if (!Same(deviceClass.text.c_str(), "Modem") && !Same(deviceClass.text.c_str(), "Ports") &&
      !Same(deviceClass.text.c_str(), "MEDIA")) {
    return false;
  }
  return Value(machine, path, "Strings", (modemName + ".DeviceDesc").c_str(), 260).count != 0;
}

bool LibraryClaims(Machine& machine, const char* path) {
  const Read deviceClass = Value(machine, path, "version", "Class", 256);
  if (deviceClass.count == 0) return false;
  if (Same(deviceClass.text.c_str(), "Quillnet")) return true;
  if (Same(deviceClass.text.c_str(), "Modem")) {
    return Value(machine, path, "Strings", "Quillnet.DeviceDesc", 256).count != 0;
  }
  if (!Same(deviceClass.text.c_str(), "Ports")) return false;
  Read port = Value(machine, path, "Std", "%Quillnet.DeviceDesc%", 256);
  if (port.count == 0) port = Value(machine, path, "Std", "%QRMPort.DeviceDesc%", 256);
  return port.count != 0 && Same(port.text.c_str(), "ComPort,QUILLNET");
}

Machine* Prepare(Machine& machine, const std::string& content) {
  for (const char* path : kFuzzed) machine.AddFile(path, content);
  for (const char* path : kOthers) machine.AddFile(path, "[Version]\r\nClass=Net\r\n");
  return &machine;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first byte picks the configured modem name.
  const char* const names[] = {"Quillnet", "Modem", "QNX56K", "Ports"};
  const std::string modemName = names[data[0] % 4];
  const std::string content(reinterpret_cast<const char*>(data + 1), size - 1);

  for (bool library : {false, true}) {
    Machine machine;
    Prepare(machine, content);
    bool claimed[2];
    for (int i = 0; i < 2; ++i) {
      claimed[i] = library ? LibraryClaims(machine, kFuzzed[i])
                           : ProgramClaims(machine, kFuzzed[i], modemName);
    }
    if (library) {
      mdm::CleanInfFiles(machine, mdm::hvlib32::LibraryPlan().inf, {});
    } else {
      mdm::mdmclean::Configuration config;
      config.modemName = modemName;
      mdm::CleanInfFiles(machine, mdm::mdmclean::ProgramPlan(config).inf, {});
    }
    for (int i = 0; i < 2; ++i) FUZZ_CHECK(machine.FileExists(kFuzzed[i]) != claimed[i]);
    for (const char* path : kOthers) FUZZ_CHECK(machine.FileExists(path));
    FUZZ_CHECK(machine.OpenSearchCount() == 0);
  }
  return 0;
}
