#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "emulator/machine.h"
#include "mdmclean/run.h"
#include "tests/support/run_logs.h"

namespace mdm::cleaner {
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

// An incomplete configuration, or one naming Windows' own classes or keys
// (the vendor "Microsoft" with the modem "Windows" would be all of
// "SOFTWARE\Microsoft\Windows"), changes nothing but the result.
TEST(RunUninstall, IncompleteOrWindowsNamedConfigurationChangesNothingOnTheMachine) {
  const char* const names[][2] = {
      {"QRMeridian", ""}, {"QRMeridian", "Net"}, {"QRMeridian", "modem"}, {"Microsoft", "Windows"}};
  for (const auto& [vendor, modem] : names) {
    SCOPED_TRACE(std::string(vendor) + "\\" + modem);
    auto machine = SampleMachine();
    const std::string path = ConfigPath(*machine);
    std::string config = *machine->ReadFile(path);
    config.replace(config.find("Vendor="), std::string("Vendor=QRMeridian").size(),
                   std::string("Vendor=") + vendor);
    config.replace(config.find("ModemName="), std::string("ModemName=Quillnet").size(),
                   std::string("ModemName=") + modem);
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

TEST(RunUninstall, NoConfiguredPnpKeyMeansNotInstalledAndNothingIsTouched) {
  auto machine = SampleMachine();
  int messages = 0;
  machine->AddWindow("QN_NVRAMCLASS", "Quillnet NVRAM",
                     [&](std::uint32_t, std::uintptr_t, std::intptr_t) {
                       ++messages;
                       return std::intptr_t{0};
                     });
  machine->RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Enum\\ISAPNP\\QRM1001");
  machine->ClearJournal();
  EXPECT_EQ(RunOn(*machine), RESULT_NOT_INSTALLED);
  EXPECT_EQ(Kinds(*machine), kOnlyTheResult);
  EXPECT_EQ(messages, 0);
  EXPECT_EQ(machine->OpenKeyCount(), 0u);
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
// how many of its things stayed. With the product's program and driver in use
// (the normal case while it runs) Windows 95 deletes both; a machine that
// refuses keeps both files and their folder, and the log names each with its
// reason.
TEST(RunUninstall, WhatStaysIsCountedInRemaining) {
  for (const bool deletesInUse : {false, true}) {
    SCOPED_TRACE(deletesInUse ? "files in use deleted" : "files in use refused");
    auto machine = SampleMachine();
    machine->SetDeletesOpenFiles(deletesInUse);
    machine->SetInUse("C:\\WINDOWS\\SYSTEM\\QUILLNET.101\\QUILLNET.EXE");
    machine->SetInUse("C:\\WINDOWS\\SYSTEM\\QUILLNET.VXD");
    EXPECT_EQ(RunOn(*machine), RESULT_DONE);
    const std::string config = *machine->ReadFile(ConfigPath(*machine));
    const std::string result =
        deletesInUse ? "Result=0\r\nRemaining=0\r\n" : "Result=0\r\nRemaining=3\r\n";
    EXPECT_NE(config.find(result), std::string::npos) << config;
    EXPECT_EQ(machine->FileExists("C:\\WINDOWS\\SYSTEM\\QUILLNET.VXD"), !deletesInUse);
    EXPECT_EQ(machine->DirectoryExists("C:\\WINDOWS\\SYSTEM\\QUILLNET.101"), !deletesInUse);
    const std::string log = *machine->ReadFile("C:\\WINDOWS\\MDMCLEAN.LOG");
    const std::vector<const char*> lines =
        deletesInUse
            ? std::vector<
                  const char*>{"removed file C:\\WINDOWS\\SYSTEM\\quillnet.vxd",
                               "removed file C:\\WINDOWS\\SYSTEM\\QUILLNET.101\\QUILLNET.EXE",
                               "removed folder C:\\WINDOWS\\SYSTEM\\QUILLNET.101",
                               "result 0 (done), 0 remaining"}
            : std::vector<const char*>{
                  "remaining file C:\\WINDOWS\\SYSTEM\\quillnet.vxd (error 32)",
                  "remaining file C:\\WINDOWS\\SYSTEM\\QUILLNET.101\\QUILLNET.EXE (error 32)",
                  "remaining folder C:\\WINDOWS\\SYSTEM\\QUILLNET.101 (error 145)",
                  "result 0 (done), 3 remaining"};
    for (const char* line : lines) {
      EXPECT_NE(log.find(std::string("\r\n") + line + "\r\n"), std::string::npos) << line << "\n"
                                                                                  << log;
    }
  }
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
  for (const char* gone :
       {"C:\\WINDOWS\\SYSTEM\\QUILLNET.CPL", "C:\\WINDOWS\\SYSTEM\\QUILLNET.VXD",
        "C:\\WINDOWS\\SYSTEM\\QUILLNET.101\\QNVRAM.DAT", "C:\\WINDOWS\\INF\\QNMODEM.INF",
        "C:\\WINDOWS\\INF\\OEM4.INF", "C:\\WINDOWS\\INF\\OEM5.INF", "C:\\WINDOWS\\INF\\OEM6.INF",
        "C:\\WINDOWS\\INF\\OEM7.INF", "C:\\WINDOWS\\INF\\Other\\Q.R. Meridian, Inc.QNMODEM.INF"}) {
    EXPECT_FALSE(machine->FileExists(gone)) << gone;
  }
  EXPECT_FALSE(machine->DirectoryExists("C:\\WINDOWS\\SYSTEM\\QUILLNET.101"));
  for (const char* kept :
       {"C:\\WINDOWS\\SYSTEM\\QUILLNETX.DLL", "C:\\WINDOWS\\INF\\MDMGEN.INF",
        "C:\\WINDOWS\\INF\\OEM1.INF", "C:\\WINDOWS\\INF\\OEM2.INF", "C:\\WINDOWS\\INF\\OEM3.INF",
        "C:\\WINDOWS\\INF\\Other\\Acme Inc.ACMEMDM.INF"}) {
    EXPECT_TRUE(machine->FileExists(kept)) << kept;
  }
  for (const char* gone :
       {"Enum\\Root\\Quillnet", "Enum\\ISAPNP\\QRM1001", "Enum\\MODEMWAVE",
        "Enum\\Root\\MDMGEN\\0001", "Enum\\Root\\MDMGEN\\0002", "SOFTWARE\\QRMeridian\\Quillnet",
        "System\\CurrentControlSet\\Services\\Class\\Modem\\0001",
        "System\\CurrentControlSet\\Services\\Class\\Ports\\0001",
        "System\\CurrentControlSet\\Services\\Class\\MEDIA\\0001",
        "System\\CurrentControlSet\\Services\\Class\\Quillnet",
        "System\\CurrentControlSet\\Services\\VxD\\QNAUDIO",
        "System\\CurrentControlSet\\control\\MediaResources\\wave\\serwvdrv.drv<0001>"}) {
    EXPECT_FALSE(machine->HasKey(gone)) << gone;
  }
  for (const char* kept :
       {"Enum\\Root\\MDMGEN\\0000", "Enum\\Root\\QuillnetTools", "Enum\\ISAPNP\\CTL0031",
        "SOFTWARE\\QRMeridian\\QuillnetFax",
        "System\\CurrentControlSet\\Services\\Class\\Modem\\0000",
        "System\\CurrentControlSet\\Services\\Class\\MEDIA\\0000",
        "System\\CurrentControlSet\\Services\\Class\\Ports\\0000",
        "System\\CurrentControlSet\\Services\\VxD\\VCOMM",
        "System\\CurrentControlSet\\control\\MediaResources\\wave\\sb16.drv<0000>"}) {
    EXPECT_TRUE(machine->HasKey(kept)) << kept;
  }
}

}  // namespace
}  // namespace mdm::cleaner
