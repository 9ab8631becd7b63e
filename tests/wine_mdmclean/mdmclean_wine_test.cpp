// The win64 mdmclean.exe run for real under Wine in Windows 95 mode, on the
// sample machine laid down in a private prefix. One prefix per test: the
// first holds the runs that must change nothing but "Result", the second the
// full removal, watched by the stand-in NVRAM program.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <iostream>
#include <cctype>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "tests/wine/wine_prefix.h"
#include "tests/wine_mdmclean/wine_machine.h"

namespace mdm::wine {
namespace {

using ::testing::IsEmpty;

const char* const kWinIni = "C:\\windows\\win.ini";
const char* const kSystemIni = "C:\\windows\\system.ini";
const char* const kReport = "C:\\nvram-report.txt";

std::set<std::string> Lowered(std::initializer_list<const char*> names) {
  std::set<std::string> lowered;
  for (std::string name : names) {
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    lowered.insert(name);
  }
  return lowered;
}

template <typename Set>
Set Minus(const Set& from, const Set& taken) {
  Set rest;
  std::set_difference(from.begin(), from.end(), taken.begin(), taken.end(),
                      std::inserter(rest, rest.end()));
  return rest;
}

std::set<std::string> AsSet(const std::vector<std::string>& names) {
  return {names.begin(), names.end()};
}

// The report of nvram-window without its last line, the child's exit code,
// which carries nothing: mdmclean reports through mdminfo.ini alone.
std::string Deliveries(const std::string& report) {
  const std::size_t exitLine = report.find("child exit ");
  return exitLine == std::string::npos ? "<no report>: " + report : report.substr(0, exitLine);
}

class MdmcleanUnderWine : public ::testing::Test {
 protected:
  void SetUp() override {
    MDM_REQUIRE_WINE();
    MDM_REQUIRE_WIN64_EXE(exe, "mdmclean.exe");
    MDM_REQUIRE_WIN64_EXE(window, "nvram-window.exe");
    mdmclean = exe;
    nvramWindow = window;
    prefix = std::make_unique<WinePrefix>();
    // A stale template would leave win.ini's [windows] section in the registry.
    ASSERT_EQ(prefix->ExportRegistry("HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\"
                                     "CurrentVersion\\IniFileMapping\\win.ini"),
              "");
  }

  // mdmclean.exe in the setup folder, as the setup program starts it.
  void RunMdmclean() {
    const RunResult run = prefix->Run(prefix->HostPath("C:\\QNSETUP\\mdmclean.exe"), {}, kSetupDir);
    EXPECT_EQ(run.err, "");
  }

  // mdmclean.exe started by the NVRAM window's owner, which watches `files`
  // and, with `sleepMs`, handles the message that slowly.
  std::string RunUnderNvramWindow(const std::vector<std::string>& files, int sleepMs = 0) {
    std::vector<std::string> args{kReport};
    if (sleepMs != 0) args.insert(args.end(), {"--sleep", std::to_string(sleepMs)});
    args.insert(args.end(), files.begin(), files.end());
    args.insert(args.end(), {"--", "C:\\QNSETUP\\mdmclean.exe"});
    const RunResult run = prefix->Run(nvramWindow, args, kSetupDir);
    EXPECT_EQ(run.exitCode, 0) << prefix->ReadFile(kReport).value_or("") << run.err;
    return Deliveries(prefix->ReadFile(kReport).value_or(""));
  }

  // One run on the sample machine with the history `layDown` lays over it.
  void RunOnHistory(std::vector<Situation> (*layDown)(WinePrefix&)) {
    LayDownSampleMachine(*prefix, mdmclean, /*withMdminfo=*/true);
    const std::string mdminfo = *prefix->ReadFile(kMdminfo);
    const std::vector<Situation> situations = layDown(*prefix);
    const auto before = Snapshot(*prefix);
    RunMdmclean();
    EXPECT_EQ(prefix->ReadFile(kMdminfo), AsWineRewrites(WithResult(mdminfo, "0", "0")));
    ExpectSituations(situations, /*program=*/true, before, Snapshot(*prefix));
  }

  std::string mdmclean;
  std::string nvramWindow;
  std::unique_ptr<WinePrefix> prefix;
};

TEST_F(MdmcleanUnderWine, RefusedOrNotInstalledRunsChangeOnlyTheResult) {
  LayDownSampleMachine(*prefix, mdmclean, /*withMdminfo=*/false);
  const auto machine = Snapshot(*prefix);
  const auto softwareKeys = KeyNames(prefix->ExportRegistry("HKEY_LOCAL_MACHINE\\Software"));
  const std::string sample = SampleFile("drive_c/QNSETUP/mdminfo.ini");

  {
    SCOPED_TRACE("without mdminfo.ini: the file is created holding only the result");
    RunMdmclean();
    EXPECT_EQ(prefix->ReadFile(kMdminfo), "[Progress]\r\nRemaining=0\r\nResult=1\r\n");
    EXPECT_THAT(Differences(machine, Snapshot(*prefix)), IsEmpty());
  }

  const std::vector<std::pair<const char*, std::string>> incomplete = {
      {"ModemName missing", WithoutKey(sample, "ModemName")},
      // Empty items only: taken as they stand they would purge the whole
      // system directory.
      {"system_dir holding only empty items", WithValue(sample, "system_dir", ",,")},
  };
  for (const auto& [name, config] : incomplete) {
    SCOPED_TRACE(name);
    prefix->WriteFile(kMdminfo, config);
    RunMdmclean();
    EXPECT_EQ(prefix->ReadFile(kMdminfo), AsWineRewrites(WithResult(config, "1", "0")));
    EXPECT_THAT(Differences(machine, Snapshot(*prefix)), IsEmpty());
  }

  EXPECT_EQ(KeyNames(prefix->ExportRegistry("HKEY_LOCAL_MACHINE\\Software")), softwareKeys);
}

TEST_F(MdmcleanUnderWine, RemovesThePackageFromTheSampleMachine) {
  LayDownSampleMachine(*prefix, mdmclean, /*withMdminfo=*/true);
  // A matching oem*.inf that cannot be deleted, and a matching copy in
  // INF\Other under no provider name, which only the scan finds.
  const std::string modemInf = SampleFile("drive_c/WINDOWS/INF/OEM5.INF");
  prefix->WriteFile("C:\\windows\\inf\\OEM8.INF", modemInf);
  prefix->SetReadOnly("C:\\windows\\inf\\OEM8.INF");
  prefix->WriteFile("C:\\windows\\inf\\Other\\Q.R. Meridian, Inc.QNVOICE.INF",
                    SampleFile("drive_c/WINDOWS/INF/OEM7.INF"));

  std::vector<std::set<std::string>> keysBefore;
  for (const std::string& root : PackageRegistryRoots()) {
    keysBefore.push_back(KeyNames(prefix->ExportRegistry(root)));
  }
  const auto systemBefore = AsSet(prefix->ListDir(kSystemDir));
  const auto infBefore = AsSet(prefix->ListDir(kInfDir));
  const auto otherBefore = AsSet(prefix->ListDir("C:\\windows\\inf\\Other"));
  const std::string winIni = *prefix->ReadFile(kWinIni);
  const std::string systemIni = *prefix->ReadFile(kSystemIni);
  const std::string mdminfo = *prefix->ReadFile(kMdminfo);
  const auto registryBefore = RegistryPart(Snapshot(*prefix));

  const std::vector<std::string> packageFiles = {
      "C:\\windows\\system32\\QUILLNET.CPL",
      "C:\\windows\\system32\\QUILLNET.VXD",
      "C:\\windows\\system32\\QUILLNET.101\\PRELDR.EXE",
      "C:\\windows\\system32\\QUILLNET.101\\QUILLNET.DRV",
      "C:\\windows\\system32\\QUILLNET.101\\QUILLNET.EXE",
      "C:\\windows\\system32\\QUILLNET.101\\QNVRAM.DAT",
      "C:\\windows\\inf\\QNMODEM.INF",
      "C:\\windows\\inf\\OEM5.INF",
      "C:\\windows\\inf\\Other\\Q.R. Meridian, Inc.QNMODEM.INF",
  };
  {
    SCOPED_TRACE("the NVRAM window is told once, with both parameters 0, before any deletion");
    EXPECT_EQ(RunUnderNvramWindow(packageFiles),
              "message 1 wParam=0 lParam=0 missing=0\nmessages 1\n");
  }
  {
    SCOPED_TRACE("Result replaced, every other line of mdminfo.ini kept");
    // The read-only OEM8.INF stays: one of the package's things remains.
    EXPECT_EQ(prefix->ReadFile(kMdminfo), AsWineRewrites(WithResult(mdminfo, "0", "1")));
  }
  {
    SCOPED_TRACE("configured files deleted, the product subdirectory purged, bystanders kept");
    EXPECT_EQ(Minus(systemBefore, AsSet(prefix->ListDir(kSystemDir))),
              (std::set<std::string>{"QUILLNET.101", "QUILLNET.CPL", "QUILLNET.VXD"}));
    EXPECT_THAT(Minus(AsSet(prefix->ListDir(kSystemDir)), systemBefore), IsEmpty());
  }
  {
    SCOPED_TRACE("registry: the package's keys gone, every other key present");
    const std::vector<std::set<std::string>> removed = {
        Lowered({"HKEY_LOCAL_MACHINE\\Enum\\ISAPNP\\QRM1001",
                 "HKEY_LOCAL_MACHINE\\Enum\\ISAPNP\\QRM1001\\0A1B2C3D",
                 "HKEY_LOCAL_MACHINE\\Enum\\MODEMWAVE",
                 "HKEY_LOCAL_MACHINE\\Enum\\MODEMWAVE\\QNWAVE",
                 "HKEY_LOCAL_MACHINE\\Enum\\MODEMWAVE\\QNWAVE\\ROOT&MODEM&0000",
                 "HKEY_LOCAL_MACHINE\\Enum\\Root\\MDMGEN\\0001",
                 "HKEY_LOCAL_MACHINE\\Enum\\Root\\MDMGEN\\0002",
                 "HKEY_LOCAL_MACHINE\\Enum\\Root\\Quillnet",
                 "HKEY_LOCAL_MACHINE\\Enum\\Root\\Quillnet\\0000"}),
        Lowered({"HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\MEDIA\\0001",
                 "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\Modem\\0001",
                 "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\Ports\\0001",
                 "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\Quillnet",
                 "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\Quillnet\\0000"}),
        Lowered({"HKEY_LOCAL_MACHINE\\Software\\QRMeridian\\Quillnet",
                 "HKEY_LOCAL_MACHINE\\Software\\QRMeridian\\Quillnet\\1.0",
                 "HKEY_LOCAL_MACHINE\\Software\\QRMeridian\\Quillnet\\1.0\\Base",
                 "HKEY_LOCAL_MACHINE\\Software\\QRMeridian\\Quillnet\\1.0\\ComPort"}),
        Lowered({"HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\control\\MediaResources\\wave\\"
                 "serwvdrv.drv<0001>"}),
        Lowered({"HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\VxD\\QNAUDIO"}),
    };
    const std::vector<std::string> roots = PackageRegistryRoots();
    for (std::size_t i = 0; i < roots.size(); ++i) {
      SCOPED_TRACE(roots[i]);
      const auto after = KeyNames(prefix->ExportRegistry(roots[i]));
      EXPECT_THAT(Minus(removed[i], keysBefore[i]), IsEmpty()) << "not laid down";
      EXPECT_EQ(Minus(keysBefore[i], after), removed[i]);
      EXPECT_THAT(Minus(after, keysBefore[i]), IsEmpty());
    }
  }
  {
    SCOPED_TRACE("win.ini and system.ini: only the package's entries cut from the two lines");
    // The stub relative to the system directory goes too: its file went.
    const std::string load = "C:\\windows\\system32\\TASKMON.EXE ";
    EXPECT_EQ(prefix->ReadFile(kWinIni), AsWineRewrites(WithValue(winIni, "load", load)));
    EXPECT_EQ(prefix->ReadFile(kSystemIni),
              AsWineRewrites(WithValue(systemIni, "drivers", "mmsystem.dll msacm.drv")));
  }
  {
    SCOPED_TRACE("INF: the package's names and matching copies gone; the rest stays");
    EXPECT_EQ(Minus(infBefore, AsSet(prefix->ListDir(kInfDir))),
              (std::set<std::string>{"OEM4.INF", "OEM5.INF", "OEM6.INF", "OEM7.INF", "QNMODEM.INF",
                                     "QNPORT.INF", "QUILLNET.INF", "QUILNT2.IN~"}));
    EXPECT_TRUE(prefix->Exists("C:\\windows\\inf\\OEM8.INF")) << "read-only: cannot be deleted";
    EXPECT_TRUE(prefix->Exists("C:\\windows\\inf\\MDMGEN.INF")) << "not an oem*.inf";
    EXPECT_EQ(
        Minus(otherBefore, AsSet(prefix->ListDir("C:\\windows\\inf\\Other"))),
        (std::set<std::string>{"Q.R. Meridian, Inc.QNMODEM.INF", "Q.R. Meridian, Inc.QNVOICE.INF",
                               "Q.R. Meridian, Inc.QUILLNET.INF"}));
  }
  const std::string log = prefix->ReadFile("C:\\windows\\MDMCLEAN.LOG").value_or("");
  {
    SCOPED_TRACE("the change log: the run, every removal in the order made, the result");
    EXPECT_EQ(log.rfind("mdmclean 1.", 0), 0u) << log;
    const std::string last = "\r\nresult 0 (done), 1 remaining\r\n";
    EXPECT_EQ(log.rfind(last), log.size() - last.size()) << log;
    const LoggedRemovals removed = ReadLoggedRemovals(log);
    for (const std::string& path : removed.paths) EXPECT_FALSE(prefix->Exists(path)) << path;
    const std::string cls = "System\\CurrentControlSet\\Services\\Class\\";
    EXPECT_EQ(
        removed.keys,
        (std::vector<std::string>{
            cls + "Modem\\0001", cls + "Ports\\0001", cls + "Quillnet",
            "System\\CurrentControlSet\\control\\MediaResources\\wave\\serwvdrv.drv<0001>",
            "System\\CurrentControlSet\\Services\\VxD\\QNAUDIO", cls + "MEDIA\\0001",
            "Enum\\Root\\MDMGEN\\0002", "SOFTWARE\\QRMeridian\\Quillnet", "Enum\\ISAPNP\\QRM1001",
            "Enum\\Root\\MDMGEN\\0001", "Enum\\MODEMWAVE", "Enum\\Root\\Quillnet"}));
    EXPECT_NE(log.find("\r\nremoved file C:\\windows\\system32\\QUILLNET.CPL\r\n"),
              std::string::npos);
    EXPECT_NE(log.find("\r\nremoved INF file C:\\windows\\INF\\OEM5.INF\r\n"), std::string::npos);
    EXPECT_NE(log.find("\r\nrefused INF file C:\\windows\\INF\\OEM8.INF (error 5)\r\n"),
              std::string::npos);
  }
  {
    SCOPED_TRACE("a second run finds the read-only INF copy still there, and only that");
    const auto cleaned = Snapshot(*prefix);
    RunMdmclean();
    EXPECT_EQ(prefix->ReadFile(kMdminfo), AsWineRewrites(WithResult(mdminfo, "0", "1")));
    EXPECT_THAT(Differences(cleaned, Snapshot(*prefix)), IsEmpty());
  }
  {
    SCOPED_TRACE("regedit /s of the undo file brings every removed key back, value for value");
    prefix->ImportRegistry(*prefix->ReadFile("C:\\windows\\MDMCLEAN.REG"));
    EXPECT_EQ(RegistryPart(Snapshot(*prefix)), registryBefore);
  }
}

// The runs a machine sees: the product's program in use stays with the first
// run, and the second, once it is free, takes it and the folder, and says
// 0 remaining; a third finds nothing of the package (no message to the NVRAM
// window either), and with mdminfo.ini that cannot be written holding an
// earlier Result=0, the exit code tells 2 and the log says why the file does not.
TEST_F(MdmcleanUnderWine, ASecondRunFinishesAndTheExitCodeTellsTheResult) {
  LayDownSampleMachine(*prefix, mdmclean, /*withMdminfo=*/true);
  const std::string mdminfo = *prefix->ReadFile(kMdminfo);
  const std::string program = "C:\\windows\\system32\\QUILLNET.101\\QUILLNET.EXE";
  const std::string childExit = "child exit ";
  const auto exitCode = [&] {
    const std::string report = prefix->ReadFile(kReport).value_or("");
    return report.substr(report.find(childExit) + childExit.size());
  };
  RunUnderNvramWindow({"--hold", program});
  EXPECT_EQ(exitCode(), "0\n");
  EXPECT_EQ(prefix->ReadFile(kMdminfo), AsWineRewrites(WithResult(mdminfo, "0", "2")));
  EXPECT_TRUE(prefix->Exists(program));

  const std::size_t before = prefix->ReadFile("C:\\windows\\MDMCLEAN.LOG")->size();
  RunMdmclean();
  EXPECT_EQ(prefix->ReadFile(kMdminfo), AsWineRewrites(WithResult(mdminfo, "0", "0")));
  EXPECT_FALSE(prefix->Exists("C:\\windows\\system32\\QUILLNET.101"));
  const std::string second = prefix->ReadFile("C:\\windows\\MDMCLEAN.LOG")->substr(before);
  std::cout << "the second run's log:\n" << second;
  for (const char* line : {"removed file C:\\windows\\system32\\QUILLNET.101\\QUILLNET.EXE",
                           "removed folder C:\\windows\\system32\\QUILLNET.101",
                           "result 0 (done), 0 remaining"}) {
    EXPECT_NE(second.find(std::string("\r\n") + line + "\r\n"), std::string::npos) << line;
  }

  const auto cleaned = Snapshot(*prefix);
  EXPECT_EQ(RunUnderNvramWindow({}), "messages 0\n");
  EXPECT_EQ(exitCode(), "2\n");
  EXPECT_EQ(prefix->ReadFile(kMdminfo), AsWineRewrites(WithResult(mdminfo, "2", "0")));
  EXPECT_THAT(Differences(cleaned, Snapshot(*prefix)), IsEmpty());

  // Held open for reading only, mdminfo.ini can be read but not written.
  prefix->WriteFile(kMdminfo, WithResult(mdminfo, "0", "0"));
  RunUnderNvramWindow({"--hold", kMdminfo});
  EXPECT_EQ(exitCode(), "2\n");
  EXPECT_EQ(prefix->ReadFile(kMdminfo), WithResult(mdminfo, "0", "0"));
  EXPECT_NE(prefix->ReadFile("C:\\windows\\MDMCLEAN.LOG")
                ->find("\r\nResult and Remaining could not be written into mdminfo.ini"),
            std::string::npos);
}

// The package's records lead to another modem, Windows' own INF file and a
// second voice modem, and the load line holds quoted long names: only the
// package goes, and mdmclean finds its own modem key by "InfSection".
TEST_F(MdmcleanUnderWine, RecordsLeadingToOthersTakeNothingOfTheirs) {
  LayDownSampleMachine(*prefix, mdmclean, /*withMdminfo=*/true);
  LayDownRecordsOfOthers(*prefix);
  const auto before = Snapshot(*prefix);
  RunMdmclean();
  EXPECT_NE(prefix->ReadFile(kMdminfo).value_or("").find("Result=0"), std::string::npos);
  ExpectRemoved(RecordsOfOthersRemoval(/*program=*/true), before, Snapshot(*prefix));
}

// Histories (each situation named in wine_machine.cpp): the package installed
// twice, a second card ID, Windows 98 and the vendor's newer modem on one
// machine; the package's modem added again beside a standard one on another.
TEST_F(MdmcleanUnderWine, HistoriesLoseEveryInstallCardAndCopyButNotTheVendorsNewerModem) {
  RunOnHistory(LayDownHistories);
}

TEST_F(MdmcleanUnderWine, AModemAddedAgainGoesAndTheStandardModemInItsSlotsStays) {
  RunOnHistory(LayDownModemAddedAgain);
}

// A product whose NVRAM window does not answer (the reason people run an
// uninstaller) holds the run 20 seconds, not as long as it hangs: the window
// answers only after mdmclean has ended, and the package is gone all the same.
TEST_F(MdmcleanUnderWine, AWindowThatDoesNotAnswerHoldsTheRunTwentySecondsAtMost) {
  LayDownSampleMachine(*prefix, mdmclean, /*withMdminfo=*/true);
  const std::string mdminfo = *prefix->ReadFile(kMdminfo);
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(RunUnderNvramWindow({"C:\\windows\\system32\\QUILLNET.CPL"}, 60000),
            "message 1 wParam=0 lParam=0 missing=0 late=1\nmessages 1\n");
  const auto seconds =
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - started)
          .count();
  RecordProperty("run_with_a_window_that_sleeps_60s_took_s", static_cast<int>(seconds));
  std::cout << "a run under a window that sleeps 60 s took " << seconds << " s" << std::endl;
  EXPECT_EQ(prefix->ReadFile(kMdminfo), AsWineRewrites(WithResult(mdminfo, "0", "0")));
  EXPECT_NE(prefix->ReadFile("C:\\windows\\MDMCLEAN.LOG")
                .value_or("")
                .find("\r\nthe NVRAM window did not answer within 20 s (error 1460); going on\r\n"),
            std::string::npos);
  EXPECT_FALSE(prefix->Exists("C:\\windows\\system32\\QUILLNET.CPL"));
}

}  // namespace
}  // namespace mdm::wine
