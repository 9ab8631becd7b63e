// Hostile registry values on a machine with the package installed: values of
// the wrong type, empty, over-long, without terminator, or naming the roots
// that hold other devices. Each deliverable follows its rules and loses
// nothing outside the package.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/safety/harness.h"

namespace mdm::safety {
namespace {

using namespace std::string_literals;

constexpr const char* kInstance = "Enum\\Root\\Quillnet\\0000";
constexpr const char* kClass = "System\\CurrentControlSet\\Services\\Class\\";

GeneratedMachine InstalledMachine(std::uint64_t seed) {
  Variation variation;
  variation.fullPackage = true;
  variation.productNames = true;
  return Generate(seed, variation);
}

std::vector<unsigned char> Bytes(const std::string& text, bool terminated = true) {
  std::vector<unsigned char> data(text.begin(), text.end());
  if (terminated) data.push_back(0);
  return data;
}

// Where a hostile value goes: a key of the installed package, found from the
// machine's own record.
using KeyOf = std::function<std::string(const GeneratedMachine&)>;

std::string Linked(const GeneratedMachine& g, const char* link) {
  return g.model.ReadStageString(kInstance, link).value();
}

const KeyOf kRootInstance = [](const GeneratedMachine&) { return std::string(kInstance); };
const KeyOf kModemDevice = [](const GeneratedMachine& g) { return Linked(g, "ConnectedToModem"); };
const KeyOf kPortDevice = [](const GeneratedMachine& g) { return Linked(g, "ConnectedToPort"); };
const KeyOf kWaveDevice = [](const GeneratedMachine& g) {
  return Linked(g, "ConnectedToWave") + "\\ROOT&MODEM&0000";
};
const KeyOf kModemClass = [](const GeneratedMachine& g) {
  return kClass + g.model.ReadStageString(Linked(g, "ConnectedToModem"), "Driver").value();
};
const KeyOf kRootClass = [](const GeneratedMachine&) {
  return std::string(kClass) + "Quillnet\\0000";
};
const KeyOf kComPort = [](const GeneratedMachine&) {
  return std::string("SOFTWARE\\QRMeridian\\Quillnet\\1.0\\ComPort");
};

struct Hostile {
  const char* what;
  KeyOf key;
  const char* valueName;
  std::uint32_t type;
  std::vector<unsigned char> data;
};

void ExpectSafe(const Hostile& hostile) {
  for (std::uint64_t seed : {3u, 4u}) {
    GeneratedMachine g = InstalledMachine(seed);
    g.model.SetValue(hostile.key(g), {hostile.valueName, hostile.type, hostile.data},
                     Owner::Package);
    g.model.AddFile("C:\\AUTOEXEC.BAT", "@ECHO OFF\r\n", Owner::Bystander);
    for (Deliverable who : {Deliverable::Program, Deliverable::Library}) {
      const Outcome outcome = RunAndCheck(g, who);
      EXPECT_TRUE(outcome.problems.empty()) << hostile.what << "\n"
                                            << Report(g, who, outcome.problems);
    }
  }
}

TEST(HostileRegistry, ValuesOfTheWrongTypeAreReadAsText) {
  const std::vector<Hostile> cases = {
      {"link as REG_BINARY without terminator", kRootInstance, "ConnectedToModem", REG_BINARY,
       Bytes("Enum\\Root\\MDMGEN\\0020", false)},
      {"link as REG_EXPAND_SZ", kRootInstance, "ConnectedToPort", REG_EXPAND_SZ,
       Bytes("Enum\\ISAPNP\\QRM1001\\0A1B2C3D")},
      {"Driver as REG_MULTI_SZ", kModemDevice, "Driver", REG_MULTI_SZ,
       Bytes("Modem\\0099\0Modem\\0000"s)},
      {"Driver as REG_DWORD", kPortDevice, "Driver", REG_DWORD, {1, 2, 3, 4}},
      {"InfPath as REG_DWORD", kRootClass, "InfPath", REG_DWORD, {'O', 'E', 'M', '1'}},
      {"ComPort as REG_DWORD", kComPort, "", REG_DWORD, {'4', '2', 0, 0}},
  };
  for (const Hostile& hostile : cases) ExpectSafe(hostile);
}

TEST(HostileRegistry, EmptyAndTerminatorOnlyValuesNameNothing) {
  const std::vector<std::pair<KeyOf, const char*>> places = {{kRootInstance, "ConnectedToModem"},
                                                             {kRootInstance, "ConnectedToPort"},
                                                             {kRootInstance, "ConnectedToWave"},
                                                             {kRootInstance, "Driver"},
                                                             {kModemDevice, "Driver"},
                                                             {kPortDevice, "Driver"},
                                                             {kWaveDevice, "Driver"},
                                                             {kComPort, ""},
                                                             {kRootClass, "InfPath"},
                                                             {kModemClass, "InfSection"}};
  for (const auto& [key, name] : places) {
    ExpectSafe({"empty", key, name, REG_SZ, Bytes("")});
    ExpectSafe({"no data at all", key, name, REG_SZ, {}});
    ExpectSafe({"only zeros", key, name, REG_BINARY, {0, 0, 0, 0}});
  }
}

TEST(HostileRegistry, OverLongValuesAndValuesWithoutTerminator) {
  const std::string wide(300, 'W');
  const std::string exact = "Enum\\Root\\MDMGEN\\" + std::string(255 - 17, 'E');
  for (const auto& [key, name] :
       std::vector<std::pair<KeyOf, const char*>>{{kRootInstance, "ConnectedToModem"},
                                                  {kRootInstance, "ConnectedToWave"},
                                                  {kModemDevice, "Driver"},
                                                  {kRootInstance, "Driver"},
                                                  {kRootClass, "InfPath"},
                                                  {kComPort, ""}}) {
    ExpectSafe({"300 characters", key, name, REG_SZ, Bytes(wide)});
    ExpectSafe({"255 bytes without terminator", key, name, REG_SZ, Bytes(exact, false)});
    ExpectSafe(
        {"a 20-character class key name", key, name, REG_SZ, Bytes("Modem\\00000000000001")});
  }
}

TEST(HostileRegistry, ValuesNamingTheRootsOfOtherDevicesDeleteNothingThere) {
  const std::vector<std::string> roots = {"Enum",
                                          "Enum\\Root",
                                          "Enum\\Root\\MDMGEN",
                                          "Enum\\ISAPNP",
                                          "SOFTWARE",
                                          "System",
                                          "System\\CurrentControlSet\\Services\\Class",
                                          "System\\CurrentControlSet\\Services\\Class\\Modem",
                                          "\\Enum\\Root\\MDMGEN",
                                          "Enum\\Root\\MDMGEN\\",
                                          "Enum\\\\Root\\MDMGEN",
                                          "enum\\root",
                                          "\\",
                                          "\\\\",
                                          "Enum\\PCI",
                                          "SOFTWARE\\Microsoft",
                                          "SOFTWARE\\Microsoft\\Windows",
                                          "SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
                                          "System\\CurrentControlSet\\Services\\VxD"};
  for (const std::string& root : roots) {
    for (const char* link : {"ConnectedToModem", "ConnectedToPort", "ConnectedToWave"}) {
      ExpectSafe({"link names a root", kRootInstance, link, REG_SZ, Bytes(root)});
    }
  }
  // "Driver" values are class key names below the class root.
  for (const char* driver : {"Modem", "MEDIA", "Ports", "Modem\\", "\\", "\\Modem", "Modem\\\\0001",
                             "..\\..", "Quillnet", "modem"}) {
    ExpectSafe({"Driver names a class root", kModemDevice, "Driver", REG_SZ, Bytes(driver)});
    ExpectSafe({"root Driver without an instance", kRootInstance, "Driver", REG_SZ, Bytes(driver)});
    ExpectSafe({"wave Driver", kWaveDevice, "Driver", REG_SZ, Bytes(driver)});
  }
  for (const char* port : {"\\", "..", "0000\\", "\\0000", "."}) {
    ExpectSafe({"ComPort names the MDMGEN root", kComPort, "", REG_SZ, Bytes(port)});
  }
}

// Recorded INF names come from the registry; one that is not a plain file
// name would delete a file outside "INF".
TEST(HostileRegistry, RecordedInfNamesThatLeaveTheInfFolderDeleteNothing) {
  for (const char* name :
       {"..\\WIN.INI", "..\\..\\AUTOEXEC.BAT", "C:\\AUTOEXEC.BAT", "\\AUTOEXEC.BAT",
        "OEM1.INF\\..\\..\\WIN.INI", "OEM/../../WIN.INI", ".", "..", "OEM:1"}) {
    ExpectSafe({"root InfPath", kRootClass, "InfPath", REG_SZ, Bytes(name)});
    ExpectSafe({"modem InfPath", kModemClass, "InfPath", REG_SZ, Bytes(name)});
  }
}

TEST(HostileRegistry, KeysThatCannotBeOpenedStayAndCount) {
  for (std::uint64_t seed : {3u, 4u, 5u}) {
    for (const KeyOf& key : {kRootInstance, kModemDevice, kComPort, kRootClass}) {
      GeneratedMachine g = InstalledMachine(seed);
      g.model.AddKey(key(g), Owner::Package).denyOpen = true;
      for (Deliverable who : {Deliverable::Program, Deliverable::Library}) {
        const Outcome outcome = RunAndCheck(g, who);
        EXPECT_TRUE(outcome.problems.empty()) << key(g) << "\n" << Report(g, who, outcome.problems);
      }
    }
  }
}

}  // namespace
}  // namespace mdm::safety
