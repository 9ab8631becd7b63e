// The package's device-database entries as its installer leaves them: the
// root device instance with its three links, the linked devices, their class
// keys (with "InfSection" and "InfPath"), the wave resource and audio VxD keys,
// the software key with its COM port, and the COM-port device: the sample
// machine's (sample-machine/), whose removal tests/support/sample_outcome.h
// states. And the fixture of the registry stage's tests.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "core/stages/runner.h"
#include "emulator/machine.h"

namespace mdm::test {

inline const std::string kClassRoot = "System\\CurrentControlSet\\Services\\Class\\";
inline const std::string kRootInstance = "Enum\\Root\\Quillnet\\0000";

inline void InstallPackageRegistry(emu::Machine& machine, bool withModemLink = true) {
  machine.SetString(kRootInstance, "Driver", "Quillnet\\0000");
  if (withModemLink) {
    machine.SetString(kRootInstance, "ConnectedToModem", "Enum\\Root\\MDMGEN\\0001");
  }
  machine.SetString(kRootInstance, "ConnectedToPort", "Enum\\ISAPNP\\QRM1001\\0A1B2C3D");
  machine.SetString(kRootInstance, "ConnectedToWave", "Enum\\MODEMWAVE\\QNWAVE");
  machine.SetString("Enum\\Root\\MDMGEN\\0001", "Driver", "Modem\\0001");
  machine.SetString("Enum\\ISAPNP\\QRM1001\\0A1B2C3D", "Driver", "Ports\\0001");
  machine.SetString("Enum\\MODEMWAVE\\QNWAVE\\ROOT&MODEM&0000", "Driver", "MEDIA\\0001");
  machine.SetString(kClassRoot + "Quillnet\\0000", "InfPath", "OEM4.INF");
  machine.SetString(kClassRoot + "Modem\\0001", "InfSection", "Quillnet");
  machine.SetString(kClassRoot + "Modem\\0001", "InfPath", "OEM5.INF");
  machine.SetString(kClassRoot + "Ports\\0001", "InfSection", "QNPort");
  machine.SetString(kClassRoot + "Ports\\0001", "InfPath", "OEM6.INF");
  machine.SetString(kClassRoot + "MEDIA\\0001", "InfSection", "QuillnetVoice");
  machine.SetString(kClassRoot + "MEDIA\\0001", "InfPath", "OEM7.INF");
  machine.AddKey("System\\CurrentControlSet\\control\\MediaResources\\wave\\serwvdrv.drv<0001>");
  machine.AddKey("System\\CurrentControlSet\\Services\\VxD\\QNAUDIO");
  machine.SetString("SOFTWARE\\QRMeridian\\Quillnet\\1.0\\ComPort", "", "0002");
  machine.AddKey("Enum\\Root\\MDMGEN\\0002");
}

// The registry stage of a plan run on a machine of the test's own.
struct RegistryStageTest : ::testing::Test {
  static inline const std::string& kClass = kClassRoot;
  static inline const std::string& kInstance = kRootInstance;

  void RunStage(const RemovalPlan& plan) {
    found = plan.registry.stage(machine, plan.registry, plan.inf.match, NoChangeLog());
  }

  emu::Machine machine;
  RegistryFindings found;
};

}  // namespace mdm::test
