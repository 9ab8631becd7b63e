// mdmclean for the host: the same run against an emulated Windows 95 machine.
// The machine image is the folder named by MDM_MACHINE; mdminfo.ini is taken
// from the working directory into the machine's working directory, and the
// result comes back the same way. No arguments, no output.
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "emulator/machine.h"
#include "mdmclean/run.h"

namespace {

constexpr const char* kConfigName = "mdminfo.ini";

}  // namespace

int main() {
  const char* image = std::getenv("MDM_MACHINE");
  if (image == nullptr || *image == '\0') return 125;
  try {
    auto machine = mdm::emu::Machine::LoadImage(image);
    const std::string inMachine = machine->WorkingDirectory() + "\\" + kConfigName;
    // The machine sees exactly what the working directory holds: a file
    // there, or none, whatever the image kept from an earlier run.
    if (std::ifstream in{kConfigName, std::ios::binary}) {
      std::ostringstream bytes;
      bytes << in.rdbuf();
      machine->AddFile(inMachine, bytes.str());
    } else {
      machine->RemoveFile(inMachine);
    }
    mdm::mdmclean::RunUninstall(*machine);
    if (auto written = machine->ReadFile(inMachine)) {
      std::ofstream(kConfigName, std::ios::binary | std::ios::trunc) << *written;
    }
    machine->SaveImage(image);
  } catch (const std::exception&) {
    return 125;
  }
  return 0;
}
