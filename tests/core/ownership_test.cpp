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
         // Each deliverable then finds its own modem key by "InfSection", as for a missing link.
         {kClass + "Quillnet", "Enum\\Root\\Quillnet", kClass + "Modem\\0001"},
         {},
         "refused link ConnectedToModem Enum\\Root\\MDMGEN\\0000 (its Driver Modem\\0000 is "
         "another device's: InfPath MDMGEN.INF is not the package's, InfSection \"Gen28800\")"});
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
         "InfPath MDMGEN.INF is not the package's, InfSection \"Gen28800\")"});
}

// The package's keys name Windows' own INF files: the modem's key is still
// the package's, by its section, but the INF files stay. The port's key
// names no section of the package's: it is the port driver's that Windows
// installed for the card.
TEST(Ownership, WindowsOwnInfFilesStayWhoeverRecordedThem) {
  Check({"the package's port and modem were installed from Windows' own INF files",
         [](emu::Machine& m) {
           m.SetString(kClass + "Ports\\0001", "InfPath", "MSPORTS.INF");
           m.SetString(kClass + "Modem\\0001", "InfPath", "MDMGEN.INF");
         },
         {kInf + "MSPORTS.INF", kInf + "MDMGEN.INF", kClass + "Ports\\0001"},
         {kClass + "Modem\\0001", kInf + "OEM4.INF"},
         {},
         "refused INF file C:\\WINDOWS\\INF\\MDMGEN.INF (not one of the package's INF files)",
         true});
}

TEST(Ownership, OnlyThePackagesVoiceModemGoes) {
  // Another voice modem sorting before the package's and one after it.
  for (const std::string other : {"Enum\\MODEMWAVE\\ACMEWAVE", "Enum\\MODEMWAVE\\ZOOMWAVE"}) {
    Check({"a second voice modem",
           [&](emu::Machine& m) {
             m.SetString(other + "\\ROOT&MODEM&0000", "Driver", "MEDIA\\0002");
             m.SetString(kClass + "MEDIA\\0002", "InfSection", "AcmeVoice");
             m.SetString(kClass + "MEDIA\\0002", "InfPath", "OEM2.INF");
           },
           {other + "\\ROOT&MODEM&0000", kClass + "MEDIA\\0002"},
           {"Enum\\MODEMWAVE\\QNWAVE"},
           {},
           ""});
  }
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
         "InfPath MDMGEN.INF is not the package's, InfSection \"AcmeVoice\")"});
}

// Machines with a history: all of the package goes, whatever became of its
// records, and what came after it stays.
TEST(Ownership, AllOfThePackageGoesWhateverTheMachinesHistory) {
  const auto modem = [](emu::Machine& m, const std::string& device, const std::string& key,
                        const std::string& section, const std::string& desc,
                        const std::string& inf) {
    m.SetString(device, "Driver", key.substr(kClass.size()));
    m.SetString(key, "InfSection", section);
    m.SetString(key, "DriverDesc", desc);
    m.SetString(key, "InfPath", inf);
  };
  Check({"installed twice",
         [&](emu::Machine& m) {
           m.SetString("Enum\\Root\\Quillnet\\0001", "Driver", "Quillnet\\0001");
           m.SetString("Enum\\Root\\Quillnet\\0001", "ConnectedToModem", "Enum\\Root\\MDMGEN\\0003");
           m.SetString(kClass + "Quillnet\\0001", "InfPath", "OEM4.INF");
           // Its section is not the one searched for: only its record leads to it.
           modem(m, "Enum\\Root\\MDMGEN\\0003", kClass + "Modem\\0002", "Quillnet2",
                 "Quillnet Modem", "OEM5.INF");
         },
         {"Enum\\Root\\MDMGEN\\0000", kClass + "Modem\\0000"},
         {"Enum\\Root\\MDMGEN\\0003", kClass + "Modem\\0002", "Enum\\Root\\Quillnet",
          kClass + "Quillnet", kClass + "Modem\\0001"},
         {},
         ""});
  Check({"the modem added again after a standard modem took its slots",
         [&](emu::Machine& m) {
           modem(m, "Enum\\Root\\MDMGEN\\0001", kClass + "Modem\\0001", "Gen28800",
                 "Standard 28800 bps Modem", "MDMGEN.INF");
           modem(m, "Enum\\Root\\MDMGEN\\0003", kClass + "Modem\\0002", "Quillnet",
                 "Quillnet Modem", "OEM5.INF");
         },
         {"Enum\\Root\\MDMGEN\\0001", kClass + "Modem\\0001", kInf + "MDMGEN.INF"},
         {"Enum\\Root\\MDMGEN\\0003", kClass + "Modem\\0002"},
         {},
         ""});
  Check({"the card's ID changed",
         [&](emu::Machine& m) {
           modem(m, "Enum\\ISAPNP\\QRM1003\\0A1B2C3D", kClass + "Ports\\0002", "QNPort",
                 "Quillnet Communications Port", "OEM6.INF");
         },
         {kClass + "Ports\\0000"},
         {"Enum\\ISAPNP\\QRM1003", kClass + "Ports\\0002", "Enum\\ISAPNP\\QRM1001",
          kClass + "Ports\\0001"},
         {},
         ""});
  Check({"Windows 98 keeps provider-named copies",
         [](emu::Machine& m) {
           m.SetVersion(4, 10, 1998);
           m.AddFile(kInf + "Other\\Q.R. Meridian, Inc.QNPORT.INF",
                     "[Version]\r\nClass=Ports\r\n");
         },
         {kInf + "Other\\Acme Inc.ACMEMDM.INF"},
         {kInf + "Other\\Q.R. Meridian, Inc.QNPORT.INF",
          kInf + "Other\\Q.R. Meridian, Inc.QUILLNET.INF"},
         {},
         ""});
  // The vendor's newer modem, from its own INF file, in the slots a stale
  // link still names: a DriverDesc that begins with the brand is no evidence.
  Check({"the vendor's newer modem",
         [&](emu::Machine& m) {
           m.AddFile(kInf + "OEM9.INF", "[Version]\r\nClass=Modem\r\n[Strings]\r\nQN56K=\"x\"\r\n");
           modem(m, "Enum\\Root\\MDMGEN\\0001", kClass + "Modem\\0001", "QN56K",
                 "Quillnet 56K Modem", "OEM9.INF");
         },
         {"Enum\\Root\\MDMGEN\\0001", kClass + "Modem\\0001", kInf + "OEM9.INF"},
         {"Enum\\Root\\Quillnet", kClass + "Quillnet"},
         {},
         ""});
  // Another vendor's modem on the same chipset: its INF file mentions the
  // chipset's strings, but the class key that names it stays, and so it does.
  Check({"a sibling on the same chipset",
         [&](emu::Machine& m) {
           m.AddFile(kInf + "OEM8.INF",
                     "[Version]\r\nClass=Modem\r\n[Strings]\r\nQuillnet.DeviceDesc=\"QN chip\"\r\n");
           modem(m, "Enum\\Root\\MDMGEN\\0003", kClass + "Modem\\0002", "Acme56",
                 "Acme 56K Voice", "OEM8.INF");
         },
         {"Enum\\Root\\MDMGEN\\0003", kClass + "Modem\\0002", kInf + "OEM8.INF"},
         {kClass + "Modem\\0001", kInf + "OEM5.INF"},
         {},
         ""});
  // The package's port key says nothing of the package but its INF file.
  Check({"the port key names the package only by its INF file",
         [&](emu::Machine& m) {
           modem(m, "Enum\\ISAPNP\\QRM1001\\0A1B2C3D", kClass + "Ports\\0001", "ComPort",
                 "Communications Port", "QNPORT.INF");
         },
         {kClass + "Ports\\0000", kInf + "MSPORTS.INF"},
         {kClass + "Ports\\0001", kInf + "QNPORT.INF"},
         {},
         ""});
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
