// The conformance program on the host: the emulated Windows 95 machine, set
// up with the directories of a Wine prefix so that both runs print the same
// paths.
#include <cstdio>

#include "emulator/machine.h"
#include "tools/conformance/conformance.h"

namespace {

class MachineFixture final : public mdm::conformance::FixtureAccess {
 public:
  explicit MachineFixture(mdm::emu::Machine& machine) : machine_(machine) {}
  void MakeDirectory(const std::string& path) override { machine_.AddDirectory(path); }
  void WriteFile(const std::string& path, const std::string& bytes) override {
    machine_.AddFile(path, bytes);
  }
  void SetReadOnly(const std::string& path) override { machine_.SetReadOnly(path); }
  std::optional<std::string> ReadFile(const std::string& path) override {
    return machine_.ReadFile(path);
  }

 private:
  mdm::emu::Machine& machine_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: conformance <root folder, e.g. C:\\mdmconf>\n");
    return 2;
  }
  const std::string root = argv[1];
  mdm::emu::Machine machine;
  machine.AddDirectory("C:\\windows\\system32");
  machine.SetWindowsDirectory("C:\\windows");
  machine.SetSystemDirectory("C:\\windows\\system32");
  MachineFixture fixture(machine);
  mdm::conformance::LayDownFixture(fixture, root);
  machine.SetWorkingDirectory(root);
  return mdm::conformance::RunConformance(machine, fixture, root);
}
