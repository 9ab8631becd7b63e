// The conformance program on the host: the emulated Windows 95 machine (or,
// given a version, its NT mode), set up with the directories of a Wine prefix
// so that both runs print the same paths.
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
  unsigned major = 4, minor = 0, build = 950;
  if (argc < 2 || argc > 3 ||
      (argc == 3 && std::sscanf(argv[2], "%u.%u.%u", &major, &minor, &build) != 3)) {
    std::fprintf(stderr,
                 "usage: conformance <root folder, e.g. C:\\mdmconf> [<major>.<minor>.<build>, "
                 "e.g. 5.1.2600 for the NT mode; 4.0.950 when left out>]\n");
    return 2;
  }
  const std::string root = argv[1];
  mdm::emu::Machine machine;
  machine.SetVersion(major, minor, build);
  machine.AddDirectory("C:\\windows\\system32");
  machine.SetWindowsDirectory("C:\\windows");
  machine.SetSystemDirectory("C:\\windows\\system32");
  MachineFixture fixture(machine);
  mdm::conformance::LayDownFixture(fixture, root);
  machine.SetWorkingDirectory(root);
  return mdm::conformance::RunConformance(machine, fixture, root);
}
