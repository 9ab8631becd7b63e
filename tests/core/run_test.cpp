#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "emulator/machine.h"
#include "mdmclean/run.h"
#include "tests/support/run_logs.h"
#include "tests/support/sample_outcome.h"

namespace mdm::mdmclean {
namespace {

using emu::JournalEntry;
using Kind = emu::JournalEntry::Kind;

std::unique_ptr<emu::Machine> SampleMachine() {
  return emu::Machine::LoadImage(MDM_SAMPLE_MACHINE);
}

std::string ConfigPath(emu::Machine& machine) {
  return machine.WorkingDirectory() + "\\mdminfo.ini";
}

int RunOn(emu::Machine& machine) { return RunUninstall(machine); }

// What the run changed, its own log and undo file left out.
std::vector<Kind> Kinds(const emu::Machine& machine) {
  std::vector<Kind> kinds;
  for (const JournalEntry& entry : test::WithoutRunLogs(machine.Journal()))
    kinds.push_back(entry.kind);
  return kinds;
}

const std::vector<Kind> kOnlyTheResult = {Kind::ProfileWritten, Kind::ProfileWritten};

TEST(RunUninstall, WithoutConfigurationWritesOnlyResultOne) {
  emu::Machine machine;
  EXPECT_EQ(RunOn(machine), RESULT_NO_CONFIG);
  EXPECT_EQ(Kinds(machine), kOnlyTheResult);
  const auto written = machine.ReadFile(ConfigPath(machine));
  ASSERT_TRUE(written.has_value());
  EXPECT_EQ(*written, "[Progress]\r\nRemaining=0\r\nResult=1\r\n");
}

// An incomplete configuration, or one naming Windows' own classes, keys,
// root devices or files (the vendor "Microsoft" with the modem "Windows"
// would be all of "SOFTWARE\Microsoft\Windows"), changes nothing but the
// result.
TEST(RunUninstall, IncompleteOrWindowsNamedConfigurationChangesNothingOnTheMachine) {
  const char* const values[][3] = {{"QRMeridian", "", "QUILLNET.CPL"},
                                   {"QRMeridian", "Net", "QUILLNET.CPL"},
                                   {"QRMeridian", "modem", "QUILLNET.CPL"},
                                   {"Microsoft", "Windows", "QUILLNET.CPL"},
                                   {"QRMeridian", "*PNP0C01", "QUILLNET.CPL"},
                                   {"QRMeridian", "Quillnet", "QUILLNET.CPL,UNIMODEM.VXD"}};
  for (const auto& [vendor, modem, systemFiles] : values) {
    SCOPED_TRACE(std::string(vendor) + "\\" + modem + " " + systemFiles);
    auto machine = SampleMachine();
    const std::string path = ConfigPath(*machine);
    std::string config = *machine->ReadFile(path);
    const std::pair<std::string, const char*> edits[] = {
        {"\nVendor=", vendor}, {"\nModemName=", modem}, {"\nsystem_dir=", systemFiles}};
    for (const auto& [key, value] : edits) {
      const std::size_t at = config.find(key) + key.size();
      config.replace(at, config.find_first_of("\r\n", at) - at, value);
    }
    machine->AddFile(path, config);
    machine->ClearJournal();
    EXPECT_EQ(RunOn(*machine), RESULT_NO_CONFIG);
    EXPECT_EQ(Kinds(*machine), kOnlyTheResult);
  }
}

// "MDMGEN" holds the standard modems: a modem configured by that name, in any
// letter case, must not make their container the package's root device.
TEST(RunUninstall, AModemNamedLikeTheStandardModemsTakesNoneOfThem) {
  for (const char* modem : {"mdmgen", "Mdmgen", "MDMGEN"}) {
    SCOPED_TRACE(modem);
    auto machine = SampleMachine();
    const std::string path = ConfigPath(*machine);
    std::string config = *machine->ReadFile(path);
    config.replace(config.find("ModemName=Quillnet"), std::string("ModemName=Quillnet").size(),
                   std::string("ModemName=") + modem);
    machine->AddFile(path, config);
    RunOn(*machine);
    EXPECT_TRUE(machine->HasKey("Enum\\Root\\MDMGEN"));
    EXPECT_TRUE(machine->HasKey("Enum\\Root\\MDMGEN\\0000"));
  }
}

// "Not installed" means nothing of the package is left: a run after one
// that left things in use or stopped part way finishes the job, even though
// the card's key, which the first run took, is gone. A clean machine is
// touched nowhere, not even by a message to the NVRAM window.
TEST(RunUninstall, NotInstalledOnlyWhenNothingOfThePackageIsLeft) {
  const std::pair<const char*, std::function<void(emu::Machine&)>> leftovers[] = {
      {"nothing", [](emu::Machine&) {}},
      {"a card's key", [](emu::Machine& m) { m.AddKey("Enum\\ISAPNP\\QRM1003\\0A1B2C3D"); }},
      {"the root device", [](emu::Machine& m) { m.AddKey("Enum\\Root\\Quillnet\\0000"); }},
      {"the software key", [](emu::Machine& m) { m.AddKey("SOFTWARE\\QRMeridian\\Quillnet"); }},
      {"the device class", [](emu::Machine& m) {
         m.AddKey("System\\CurrentControlSet\\Services\\Class\\Quillnet\\0000");
       }},
      {"a modem class key", [](emu::Machine& m) {
         m.SetString("System\\CurrentControlSet\\Services\\Class\\Modem\\0003", "InfSection",
                     "Quillnet");
       }},
      {"a file", [](emu::Machine& m) { m.AddFile("C:\\WINDOWS\\SYSTEM\\QUILLNET.CPL"); }},
      {"the product folder", [](emu::Machine& m) {
         m.AddDirectory("C:\\WINDOWS\\SYSTEM\\QUILLNET.101");
       }},
      {"a load entry of a program that is gone", [](emu::Machine& m) {
         m.WritePrivateProfileStringA("windows", "load", "QUILLNET.101\\PRELDR.EXE", "win.ini");
       }},
      {"an INF copy", [](emu::Machine& m) { m.AddFile("C:\\WINDOWS\\INF\\QNMODEM.INF"); }},
      {"a provider copy", [](emu::Machine& m) {
         m.AddFile("C:\\WINDOWS\\INF\\Other\\Q.R. Meridian, Inc.QNPORT.INF");
       }},
  };
  for (const auto& [what, put] : leftovers) {
    SCOPED_TRACE(what);
    auto machine = SampleMachine();
    ASSERT_EQ(RunOn(*machine), RESULT_DONE);
    const std::string clean = machine->ExportRegistry();
    const std::vector<std::string> files = machine->ListTree();
    put(*machine);
    machine->ClearJournal();
    const bool nothing = std::string(what) == "nothing";
    EXPECT_EQ(RunOn(*machine), nothing ? RESULT_NOT_INSTALLED : RESULT_DONE);
    const std::vector<Kind> kinds = Kinds(*machine);
    if (nothing) {
      EXPECT_EQ(kinds, kOnlyTheResult);
    } else {
      EXPECT_EQ(kinds.front(), Kind::MessageSent);  // the NVRAM window is told first
    }
    // What was left went, and nothing else.
    EXPECT_EQ(machine->ExportRegistry(), clean);
    std::vector<std::string> now = machine->ListTree();
    now.erase(std::remove_if(now.begin(), now.end(), test::IsRunLogFile), now.end());
    std::vector<std::string> before = files;
    before.erase(std::remove_if(before.begin(), before.end(), test::IsRunLogFile), before.end());
    EXPECT_EQ(now, before);
    EXPECT_EQ(machine->OpenKeyCount(), 0u);
  }
}

// Whatever Windows does with the program and driver in use, the second run,
// once they are free, finishes: it takes what the first left (Result 0), or
// finds nothing of the package left (Result 2).
TEST(RunUninstall, ASecondRunTakesWhatTheFirstLeftInUse) {
  for (const bool deletesInUse : {false, true}) {
    SCOPED_TRACE(deletesInUse ? "files in use deleted" : "files in use refused");
    auto machine = SampleMachine();
    machine->SetDeletesOpenFiles(deletesInUse);
    const std::string inUse[] = {"C:\\WINDOWS\\SYSTEM\\QUILLNET.101\\QUILLNET.EXE",
                                 "C:\\WINDOWS\\SYSTEM\\QUILLNET.VXD"};
    for (const std::string& file : inUse) machine->SetInUse(file);
    EXPECT_EQ(RunOn(*machine), RESULT_DONE);
    for (const std::string& file : inUse) {
      if (machine->FileExists(file)) machine->SetInUse(file, false);
    }
    EXPECT_EQ(RunOn(*machine), deletesInUse ? RESULT_NOT_INSTALLED : RESULT_DONE);
    for (const std::string& file : inUse) EXPECT_FALSE(machine->FileExists(file)) << file;
    EXPECT_FALSE(machine->DirectoryExists("C:\\WINDOWS\\SYSTEM\\QUILLNET.101"));
    const std::string config = *machine->ReadFile(ConfigPath(*machine));
    EXPECT_NE(config.find(deletesInUse ? "Result=2\r\nRemaining=0\r\n" : "Result=0\r\nRemaining=0\r\n"),
              std::string::npos)
        << config;
  }
}

TEST(RunUninstall, TheLastConfiguredKeyAloneIsEnough) {
  auto machine = SampleMachine();
  machine->RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Enum\\ISAPNP\\QRM1001");
  machine->AddKey("Enum\\ISAPNP\\QRM1003\\0A1B2C3D");
  EXPECT_EQ(RunOn(*machine), RESULT_DONE);
  EXPECT_FALSE(machine->HasKey("Enum\\ISAPNP\\QRM1003"));
}

TEST(RunUninstall, ReplacesTheResultAndKeepsEveryOtherByteOfTheConfiguration) {
  auto machine = SampleMachine();
  const std::string path = ConfigPath(*machine);
  const std::string before = *machine->ReadFile(path);
  ASSERT_NE(before.find("Result=-1\r\n"), std::string::npos);
  EXPECT_EQ(RunOn(*machine), RESULT_DONE);
  std::string expected = before;
  expected.replace(expected.find("Result=-1\r\n"), 11, "Result=0\r\nRemaining=0\r\n");
  EXPECT_EQ(*machine->ReadFile(path), expected);
}

// Result 0 says the package was found and every stage ran; Remaining says
// how many of its things stayed, and the log names each with its reason.
// The product's program and driver in use (the normal case while it runs):
// Windows 95 deletes them all the same; a machine that refuses keeps both
// files and their folder. A key that does not open is there all the same,
// and the software key whose record leads to it stays with it.
TEST(RunUninstall, WhatStaysIsCountedInRemaining) {
  const auto inUse = [](bool deleted) {
    return [deleted](emu::Machine& m) {
      m.SetDeletesOpenFiles(deleted);
      m.SetInUse("C:\\WINDOWS\\SYSTEM\\QUILLNET.101\\QUILLNET.EXE");
      m.SetInUse("C:\\WINDOWS\\SYSTEM\\QUILLNET.VXD");
    };
  };
  struct Case {
    const char* name;
    std::function<void(emu::Machine&)> change;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"in use, deleted",
       inUse(true),
       {"removed file C:\\WINDOWS\\SYSTEM\\quillnet.vxd",
        "removed file C:\\WINDOWS\\SYSTEM\\QUILLNET.101\\QUILLNET.EXE",
        "removed folder C:\\WINDOWS\\SYSTEM\\QUILLNET.101", "result 0 (done), 0 remaining"}},
      {"in use, refused",
       inUse(false),
       {"remaining file C:\\WINDOWS\\SYSTEM\\quillnet.vxd (error 32)",
        "remaining file C:\\WINDOWS\\SYSTEM\\QUILLNET.101\\QUILLNET.EXE (error 32)",
        "remaining folder C:\\WINDOWS\\SYSTEM\\QUILLNET.101 (error 145)",
        "result 0 (done), 3 remaining"}},
      {"a key that does not open",
       [](emu::Machine& m) { m.DenyOpen("Enum\\Root\\MDMGEN\\0002"); },
       {"kept key Enum\\Root\\MDMGEN\\0002 (its Driver cannot be read (error 5))",
        "remaining key Enum\\Root\\MDMGEN\\0002 (its Driver cannot be read (error 5))",
        "remaining key SOFTWARE\\QRMeridian\\Quillnet (SOFTWARE\\QRMeridian\\Quillnet\\1.0\\ComPort "
        "leads to Enum\\Root\\MDMGEN\\0002, which stays)",
        "result 0 (done), 2 remaining"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto machine = SampleMachine();
    c.change(*machine);
    EXPECT_EQ(RunOn(*machine), RESULT_DONE);
    const std::string log = *machine->ReadFile("C:\\WINDOWS\\MDMCLEAN.LOG");
    for (const std::string& line : c.lines) {
      EXPECT_NE(log.find("\r\n" + line + "\r\n"), std::string::npos) << line << "\n" << log;
    }
    const std::string last = c.lines.back();
    const std::string count = last.substr(last.find(", ") + 2, 1);
    const std::string config = *machine->ReadFile(ConfigPath(*machine));
    EXPECT_NE(config.find("Result=0\r\nRemaining=" + count + "\r\n"), std::string::npos) << config;
  }
}

// mdminfo.ini that cannot be written keeps an earlier run's Result: the
// exit code tells this run's, and the log says so.
TEST(RunUninstall, TheExitCodeTellsTheResultWhenMdminfoCannotBeWritten) {
  auto machine = SampleMachine();
  ASSERT_EQ(RunOn(*machine), RESULT_DONE);
  machine->SetReadOnly(ConfigPath(*machine));
  const std::string earlier = *machine->ReadFile(ConfigPath(*machine));
  EXPECT_EQ(RunOn(*machine), RESULT_NOT_INSTALLED);
  EXPECT_EQ(*machine->ReadFile(ConfigPath(*machine)), earlier);
  const std::string log = *machine->ReadFile("C:\\WINDOWS\\MDMCLEAN.LOG");
  EXPECT_NE(log.find("\r\nResult and Remaining could not be written into mdminfo.ini (error 5); the "
                     "exit code tells the result\r\nresult 2 (the package is not installed), 0 "
                     "remaining\r\n"),
            std::string::npos)
      << log;
}

TEST(RunUninstall, StagesRunInOrderFilesRegistryIniInf) {
  auto machine = SampleMachine();
  machine->ClearJournal();
  EXPECT_EQ(RunOn(*machine), RESULT_DONE);
  const std::vector<JournalEntry> journal = test::WithoutRunLogs(machine->Journal());
  ASSERT_FALSE(journal.empty());
  EXPECT_EQ(journal.front().kind, Kind::MessageSent);
  auto first = [&](auto predicate) {
    return std::find_if(journal.begin(), journal.end(), predicate) - journal.begin();
  };
  auto last = [&](auto predicate) {
    return journal.rend() - std::find_if(journal.rbegin(), journal.rend(), predicate) - 1;
  };
  auto isFileStage = [](const JournalEntry& e) {
    return (e.kind == Kind::FileDeleted || e.kind == Kind::DirectoryRemoved) &&
           e.subject.find("\\INF\\") == std::string::npos;
  };
  auto isKey = [](const JournalEntry& e) { return e.kind == Kind::KeyDeleted; };
  auto isIni = [](const JournalEntry& e) {
    return e.kind == Kind::ProfileWritten && e.subject.find("mdminfo") == std::string::npos;
  };
  auto isInf = [](const JournalEntry& e) {
    return e.kind == Kind::FileDeleted && e.subject.find("\\INF\\") != std::string::npos;
  };
  EXPECT_LT(last(isFileStage), first(isKey));
  EXPECT_LT(last(isKey), first(isIni));
  EXPECT_LT(last(isIni), first(isInf));
  EXPECT_EQ(journal.back().kind, Kind::ProfileWritten);
  EXPECT_NE(journal.back().subject.find("mdminfo.ini"), std::string::npos);
  EXPECT_EQ(machine->OpenKeyCount(), 0u);
  EXPECT_EQ(machine->OpenSearchCount(), 0u);
}

TEST(RunUninstall, RemovesThePackageFromTheSampleMachineAndKeepsTheRest) {
  auto machine = SampleMachine();
  EXPECT_EQ(RunOn(*machine), RESULT_DONE);
  test::ExpectSampleOutcome(MDM_SAMPLE_MACHINE, *machine, test::Deliverable::Program);
}

}  // namespace
}  // namespace mdm::mdmclean
