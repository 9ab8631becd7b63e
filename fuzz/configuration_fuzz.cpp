// Arbitrary bytes as mdminfo.ini, then a whole mdmclean run on a small
// machine with the package installed. Whatever the file says: a loaded
// configuration stays inside the limits with plain file names and one key
// name for each registry name, a refused
// configuration changes nothing but the result, no file outside the
// package's folders and no root of other devices' keys goes, and every handle
// is closed.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "emulator/machine.h"
#include "fuzz/fuzz_check.h"
#include "core/package/limits.h"
#include "mdmclean/run.h"
#include "tests/support/run_logs.h"

namespace {

using mdm::emu::JournalEntry;
using mdm::emu::Machine;

constexpr const char* kConfig = "C:\\QNSETUP\\mdminfo.ini";

// Keys that hold other devices and programs, and files outside the package's
// folders: no configuration can name them.
const char* const kProtectedKeys[] = {"Enum",
                                      "Enum\\Root",
                                      "Enum\\ISAPNP",
                                      "Enum\\Root\\MDMGEN",
                                      "SOFTWARE",
                                      "System",
                                      "System\\CurrentControlSet\\Services\\Class",
                                      "System\\CurrentControlSet\\Services\\Class\\Modem",
                                      "System\\CurrentControlSet\\Services\\Class\\MEDIA",
                                      "System\\CurrentControlSet\\Services\\Class\\Ports"};
const char* const kOutsideFiles[] = {
    "C:\\AUTOEXEC.BAT",         "C:\\WINDOWS\\WIN.INI",
    "C:\\WINDOWS\\TASKMAN.EXE", "C:\\WINDOWS\\SYSTEM\\SUB\\KEEP.DAT",
    "C:\\QNSETUP\\SETUP.EXE",   "C:\\WINDOWS\\INF\\Other\\SUB\\OEM1.INF"};

std::unique_ptr<Machine> SmallMachine(const std::string& config) {
  auto machine = std::make_unique<Machine>();
  machine->SetWorkingDirectory("C:\\QNSETUP");
  machine->AddFile(kConfig, config);
  for (const char* file : kOutsideFiles) machine->AddFile(file, "keep");
  machine->AddFile("C:\\WINDOWS\\WIN.INI",
                   "[windows]\r\nload=C:\\WINDOWS\\SYSTEM\\QUILLNET.101\\QUILLNET.EXE X.EXE\r\n");
  machine->AddFile("C:\\WINDOWS\\SYSTEM\\QUILLNET.CPL", "pkg");
  machine->AddFile("C:\\WINDOWS\\SYSTEM\\QUILLNET.101\\QUILLNET.EXE", "pkg");
  machine->AddFile("C:\\WINDOWS\\INF\\OEM3.INF", "[Version]\r\nClass=Quillnet\r\n");
  machine->SetString("Enum\\Root\\Quillnet\\0000", "Driver", "Quillnet\\0000");
  machine->SetString("Enum\\Root\\Quillnet\\0000", "ConnectedToModem", "Enum\\Root\\MDMGEN\\0001");
  machine->SetString("Enum\\Root\\MDMGEN\\0001", "Driver", "Modem\\0001");
  machine->SetString("Enum\\Root\\MDMGEN\\0000", "Driver", "Modem\\0000");
  machine->SetString("Enum\\ISAPNP\\QRM1001\\0A1B2C3D", "Class", "Ports");
  machine->SetString("SOFTWARE\\QRMeridian\\Quillnet\\1.0\\ComPort", "", "0002");
  machine->SetString("SOFTWARE\\Microsoft\\Windows\\CurrentVersion", "Version", "Windows 95");
  for (const char* key : kProtectedKeys) machine->AddKey(key);
  for (const char* cls :
       {"Modem\\0000", "Modem\\0001", "MEDIA\\0000", "Ports\\0000", "Quillnet\\0000"}) {
    machine->SetString(std::string("System\\CurrentControlSet\\Services\\Class\\") + cls,
                       "InfSection", "");
  }
  return machine;
}

bool IsPlainName(const std::string& name) {
  return !name.empty() && name.find_first_of("\\/:*?") == std::string::npos && name != "." &&
         name != "..";
}

bool IsKeyName(const std::string& name) {
  return !name.empty() && name.find('\\') == std::string::npos;
}

void CheckConfiguration(const mdm::mdmclean::Configuration& c) {
  FUZZ_CHECK(!c.systemFiles.empty() && !c.productFiles.empty());
  FUZZ_CHECK(c.systemFiles.size() + c.productFiles.size() <= mdm::MAX_CONFIGURED_FILES);
  for (const auto* list : {&c.systemFiles, &c.productFiles}) {
    for (const std::string& name : *list) FUZZ_CHECK(IsPlainName(name));
  }
  FUZZ_CHECK(!c.pnpIds.empty() && c.pnpIds.size() <= mdm::MAX_PNP_IDS);
  for (const std::string& id : c.pnpIds)
    FUZZ_CHECK(IsKeyName(id) && id.size() <= mdm::MAX_PNP_ID_LENGTH);
  FUZZ_CHECK(IsKeyName(c.vendor) && IsKeyName(c.modemName));
  FUZZ_CHECK(c.vendor.size() + c.modemName.size() <= mdm::MAX_VENDOR_AND_MODEM_LENGTH);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string config(reinterpret_cast<const char*>(data), size);

  auto loader = SmallMachine(config);
  const std::optional<mdm::mdmclean::Configuration> loaded =
      mdm::mdmclean::LoadConfiguration(*loader);
  const bool complete = loaded.has_value();
  if (complete) CheckConfiguration(*loaded);
  FUZZ_CHECK(loader->Journal().empty());  // the loader reads, nothing more

  auto machine = SmallMachine(config);
  const int result = mdm::mdmclean::RunUninstall(*machine);
  FUZZ_CHECK(result == (complete ? result : mdm::mdmclean::RESULT_NO_CONFIG));
  FUZZ_CHECK(result >= 0 && result <= 2);
  if (result != mdm::mdmclean::RESULT_DONE) {
    // "Remaining" and the result, and the run's own log: nothing else.
    const auto changes = mdm::test::WithoutRunLogs(machine->Journal());
    FUZZ_CHECK(changes.size() == 2);
    for (const auto& change : changes) {
      FUZZ_CHECK(change.kind == JournalEntry::Kind::ProfileWritten);
      FUZZ_CHECK(change.detail.rfind("Progress\\", 0) == 0);
    }
  }
  for (const char* key : kProtectedKeys) FUZZ_CHECK(machine->HasKey(key));
  for (const char* file : kOutsideFiles) FUZZ_CHECK(machine->FileExists(file));
  // Another program's key goes only when the configuration names it.
  std::string folded = config;
  for (char& c : folded) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  FUZZ_CHECK(machine->HasKey("SOFTWARE\\Microsoft\\Windows\\CurrentVersion") ||
             folded.find("microsoft") != std::string::npos);
  FUZZ_CHECK(machine->OpenKeyCount() == 0 && machine->OpenSearchCount() == 0);
  return 0;
}
