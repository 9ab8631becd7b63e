// The package's records lead nowhere else: each situation is the sample
// machine with one realistic change, run through both deliverables. Whatever
// the records say, another device's keys, Windows' own INF files, another
// voice modem and other programs' list entries stay as they are.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "emulator/machine.h"
#include "hvlib32/plan.h"
#include "mdmclean/run.h"

namespace mdm {
namespace {

const std::string kClass = "System\\CurrentControlSet\\Services\\Class\\";
const std::string kInstance = "Enum\\Root\\Quillnet\\0000";
const std::string kInf = "C:\\WINDOWS\\INF\\";

enum class Who { Program, Library };

struct Situation {
  const char* name;
  std::function<void(emu::Machine&)> change;
  std::vector<std::string> stay;         // keys, or files by full path, kept by both
  std::vector<std::string> gone;         // taken by both
  std::vector<std::string> goneProgram;  // taken by mdmclean only (the library keeps them)
  std::string logLine;                   // a refusal the logs hold
  bool logLineOfLibraryOnly = false;     // only the library records INF names
};

bool Present(emu::Machine& machine, const std::string& item) {
  return item.rfind("C:\\", 0) == 0 ? machine.FileExists(item) : machine.HasKey(item);
}

std::string Log(emu::Machine& machine, Who who) {
  return machine
      .ReadFile(who == Who::Program ? "C:\\WINDOWS\\MDMCLEAN.LOG" : "C:\\WINDOWS\\HVLIB32.LOG")
      .value_or("");
}

void Check(const Situation& situation) {
  for (Who who : {Who::Program, Who::Library}) {
    SCOPED_TRACE(std::string(situation.name) +
                 (who == Who::Program ? ", mdmclean" : ", Uninstall"));
    auto machine = emu::Machine::LoadImage(MDM_SAMPLE_MACHINE);
    situation.change(*machine);
    if (who == Who::Program) {
      EXPECT_EQ(cleaner::RunUninstall(*machine), cleaner::RESULT_DONE);
    } else {
      hvlib::Uninstall(*machine);
    }
    for (const std::string& item : situation.stay) EXPECT_TRUE(Present(*machine, item)) << item;
    for (const std::string& item : situation.gone) EXPECT_FALSE(Present(*machine, item)) << item;
    for (const std::string& item : situation.goneProgram) {
      EXPECT_EQ(Present(*machine, item), who == Who::Library) << item;
    }
    if (!situation.logLine.empty() && (who == Who::Library || !situation.logLineOfLibraryOnly)) {
      EXPECT_NE(Log(*machine, who).find(situation.logLine + "\r\n"), std::string::npos)
          << Log(*machine, who);
    }
  }
}

std::string Load(emu::Machine& machine) {
  const std::string text = *machine.ReadFile("C:\\WINDOWS\\WIN.INI");
  const std::size_t start = text.find("load=");
  return text.substr(start + 5, text.find("\r\n", start) - start - 5);
}

TEST(Ownership, AStaleModemLinkToAnotherModemLeadsNowhere) {
  Check({"the modem link names the standard modem",
         [](emu::Machine& m) {
           m.SetString(kInstance, "ConnectedToModem", "Enum\\Root\\MDMGEN\\0000");
         },
         {kClass + "Modem\\0000", "Enum\\Root\\MDMGEN\\0000", kInf + "MDMGEN.INF"},
         {kClass + "Quillnet", "Enum\\Root\\Quillnet"},
         // mdmclean then finds its own modem key by "InfSection", as for a missing link.
         {kClass + "Modem\\0001"},
         "refused link ConnectedToModem Enum\\Root\\MDMGEN\\0000 (its Driver Modem\\0000 is "
         "another device's: InfPath MDMGEN.INF is not the package's, InfSection \"Gen28800\", "
         "DriverDesc \"Standard 28800 bps Modem\")"});
}

TEST(Ownership, APortLinkToAnotherPortLeadsNowhere) {
  Check({"the port link names COM1",
         [](emu::Machine& m) {
           m.SetString(kInstance, "ConnectedToPort", "Enum\\BIOS\\*PNP0501\\0D");
         },
         {kClass + "Ports\\0000", "Enum\\BIOS\\*PNP0501\\0D"},
         // The package's card still leads to its own port key.
         {kClass + "Modem\\0001", "Enum\\ISAPNP\\QRM1001", kClass + "Ports\\0001"},
         {},
         "refused link ConnectedToPort Enum\\BIOS\\*PNP0501\\0D (not a device instance of its "
         "kind)"});
  Check({"the port link names another card's port",
         [](emu::Machine& m) {
           m.SetString("Enum\\ISAPNP\\ACM2000\\11111111", "Driver", "Ports\\0002");
           m.SetString(kClass + "Ports\\0002", "InfPath", "OEM3.INF");
           m.SetString(kClass + "Ports\\0002", "DriverDesc", "Acme Port");
           m.SetString(kInstance, "ConnectedToPort", "Enum\\ISAPNP\\ACM2000\\11111111");
         },
         {kClass + "Ports\\0002", "Enum\\ISAPNP\\ACM2000\\11111111"},
         {"Enum\\ISAPNP\\QRM1001"},
         {},
         "refused link ConnectedToPort Enum\\ISAPNP\\ACM2000\\11111111 (another card's: "
         "Plug-and-Play ID ACM2000 is not the package's)"});
}

TEST(Ownership, ARecordedComPortOfAnotherDeviceStays) {
  Check({"the recorded COM port names the standard modem's instance",
         [](emu::Machine& m) {
           m.SetString("SOFTWARE\\QRMeridian\\Quillnet\\1.0\\ComPort", "", "0000");
         },
         {"Enum\\Root\\MDMGEN\\0000", "Enum\\Root\\MDMGEN\\0002"},
         {"SOFTWARE\\QRMeridian\\Quillnet"},
         {},
         "refused key Enum\\Root\\MDMGEN\\0000 (its Driver Modem\\0000 is another device's: "
         "InfPath MDMGEN.INF is not the package's, InfSection \"Gen28800\", DriverDesc "
         "\"Standard 28800 bps Modem\")"});
}

// The package's keys name Windows' own INF files: the keys are still the
// package's, by their names, but the INF files stay.
TEST(Ownership, WindowsOwnInfFilesStayWhoeverRecordedThem) {
  Check({"the package's port and modem were installed from Windows' own INF files",
         [](emu::Machine& m) {
           m.SetString(kClass + "Ports\\0001", "InfPath", "MSPORTS.INF");
           m.SetString(kClass + "Modem\\0001", "InfPath", "MDMGEN.INF");
         },
         {kInf + "MSPORTS.INF", kInf + "MDMGEN.INF"},
         {kClass + "Ports\\0001", kClass + "Modem\\0001", kInf + "OEM4.INF"},
         {},
         "refused INF file C:\\WINDOWS\\INF\\MDMGEN.INF (not one of the package's INF files)",
         true});
}

TEST(Ownership, OnlyThePackagesVoiceModemGoes) {
  Check({"a second voice modem",
         [](emu::Machine& m) {
           m.SetString("Enum\\MODEMWAVE\\ACMEWAVE\\ROOT&MODEM&0000", "Driver", "MEDIA\\0002");
           m.SetString(kClass + "MEDIA\\0002", "InfSection", "AcmeVoice");
           m.SetString(kClass + "MEDIA\\0002", "InfPath", "OEM2.INF");
         },
         {"Enum\\MODEMWAVE\\ACMEWAVE\\ROOT&MODEM&0000", kClass + "MEDIA\\0002"},
         {"Enum\\MODEMWAVE\\QNWAVE"},
         {},
         ""});
  // The wave link names the other voice modem. It is refused, so it cannot
  // make the other modem the package's, nor the enumerator empty of others.
  const auto staleWaveLink = [](emu::Machine& m) {
    m.SetString("Enum\\MODEMWAVE\\ACMEWAVE\\ROOT&MODEM&0000", "Driver", "MEDIA\\0002");
    m.SetString(kClass + "MEDIA\\0002", "InfSection", "AcmeVoice");
    m.SetString(kClass + "MEDIA\\0002", "InfPath", "MDMGEN.INF");
    m.SetString(kInstance, "ConnectedToWave", "Enum\\MODEMWAVE\\ACMEWAVE");
  };
  Check({"the wave link names a second voice modem",
         staleWaveLink,
         {"Enum\\MODEMWAVE\\ACMEWAVE\\ROOT&MODEM&0000", kClass + "MEDIA\\0002"},
         {},
         // mdmclean finds its own voice class key, and so its device, by "InfSection".
         {"Enum\\MODEMWAVE\\QNWAVE"},
         ""});
  Check({"the wave link names the only voice modem left, another's",
         [&](emu::Machine& m) {
           m.RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Enum\\MODEMWAVE\\QNWAVE");
           staleWaveLink(m);
         },
         {"Enum\\MODEMWAVE\\ACMEWAVE\\ROOT&MODEM&0000", kClass + "MEDIA\\0002"},
         {},
         {},
         "refused key Enum\\MODEMWAVE\\ACMEWAVE (its Driver MEDIA\\0002 is another device's: "
         "InfPath MDMGEN.INF is not the package's, InfSection \"AcmeVoice\", DriverDesc \"\")"});
}

TEST(Ownership, OtherProgramsListEntriesKeepTheirText) {
  const std::string quoted =
      "\"C:\\PROGRA~1\\ACME\\ACME.EXE\" C:\\WINDOWS\\SYSTEM\\QUILLNET.101\\QUILLNET.EXE "
      "\"C:\\Program Files\\Other\\tray.exe\"";
  for (Who who : {Who::Program, Who::Library}) {
    auto machine = emu::Machine::LoadImage(MDM_SAMPLE_MACHINE);
    machine->AddFile("C:\\WINDOWS\\WIN.INI", "[windows]\r\nload=" + quoted + "\r\n");
    machine->AddFile("C:\\WINDOWS\\SYSTEM.INI", "[boot]\r\ndrivers=mmsystem.dll msacm.drv\r\n");
    who == Who::Program ? void(cleaner::RunUninstall(*machine)) : hvlib::Uninstall(*machine);
    EXPECT_EQ(Load(*machine),
              "\"C:\\PROGRA~1\\ACME\\ACME.EXE\" \"C:\\Program Files\\Other\\tray.exe\"");
    // Nothing of the package in it: not rewritten.
    EXPECT_EQ(machine->ReadFile("C:\\WINDOWS\\SYSTEM.INI"),
              "[boot]\r\ndrivers=mmsystem.dll msacm.drv\r\n");
  }
}

TEST(Ownership, EveryEntryOfTheStubAndTheProgramGoes) {
  for (Who who : {Who::Program, Who::Library}) {
    auto machine = emu::Machine::LoadImage(MDM_SAMPLE_MACHINE);
    machine->AddFile("C:\\WINDOWS\\WIN.INI",
                     "[windows]\r\nload=QUILLNET.101\\PRELDR.EXE "
                     "c:\\windows\\system\\quillnet.101\\quillnet.exe "
                     "Taskmon.exe C:\\WINDOWS\\SYSTEM\\QUILLNET.101\\QUILLNET.EXE\r\n");
    who == Who::Program ? void(cleaner::RunUninstall(*machine)) : hvlib::Uninstall(*machine);
    // mdmclean takes out the relative stub because it deleted the stub's file.
    EXPECT_EQ(Load(*machine), "Taskmon.exe ") << (who == Who::Program ? "mdmclean" : "Uninstall");
  }
}

}  // namespace
}  // namespace mdm
