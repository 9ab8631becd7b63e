// The win64 mdmclean.exe run for real under Wine in Windows 95 mode, on the
// sample machine laid down in a private prefix, one prefix per test. What the
// runs take is the sample's outcome (tests/support/sample_outcome.h) with
// what each test lays down over it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <iostream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/support/sample_outcome.h"
#include "tests/wine/wine_prefix.h"
#include "tests/wine_mdmclean/wine_machine.h"

namespace mdm::wine {
namespace {

using ::testing::IsEmpty;

const char* const kReport = "C:\\nvram-report.txt";

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

// The sample machine with a matching oem*.inf that cannot be deleted and a
// matching copy in INF\Other under no provider name, which only the scan
// finds, after one run of mdmclean started by the NVRAM window's owner,
// which watches the package's files.
class MdmcleanOnTheSample : public MdmcleanUnderWine {
 protected:
  void SetUp() override {
    MdmcleanUnderWine::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    LayDownSampleMachine(*prefix, mdmclean, /*withMdminfo=*/true);
    prefix->WriteFile("C:\\windows\\inf\\OEM8.INF", SampleFile("drive_c/WINDOWS/INF/OEM5.INF"));
    prefix->SetReadOnly("C:\\windows\\inf\\OEM8.INF");
    prefix->WriteFile("C:\\windows\\inf\\Other\\Q.R. Meridian, Inc.QNVOICE.INF",
                      SampleFile("drive_c/WINDOWS/INF/OEM7.INF"));
    mdminfo = *prefix->ReadFile(kMdminfo);
    before = Snapshot(*prefix);
    roots = ExportPackageRoots(*prefix);
    listings = FolderListings(*prefix);
    const test::SampleOutcome& outcome = test::Sample(test::Deliverable::Program);
    std::vector<std::string> watched;
    for (const std::string& file : outcome.files) watched.push_back(kSystemDir + ("\\" + file));
    for (const std::string& inf : outcome.infGone) watched.push_back(kInfDir + ("\\" + inf));
    report = RunUnderNvramWindow(watched);
  }

  std::string mdminfo, report;
  std::map<std::string, std::string> before, roots;
  std::set<std::string> listings;
};

TEST_F(MdmcleanOnTheSample, TellsTheNvramWindowOnceBeforeAnyDeletion) {
  EXPECT_EQ(report, "message 1 wParam=0 lParam=0 missing=0\nmessages 1\n");
}

// The sample's outcome, the copy under no provider name gone too; the
// read-only OEM8.INF stays: one of the package's things remains. Of Wine's
// own keys and files in the package's roots and folders none went, none came.
TEST_F(MdmcleanOnTheSample, RemovesThePackageAndCountsTheReadOnlyCopyAsRemaining) {
  EXPECT_EQ(prefix->ReadFile(kMdminfo), AsWineRewrites(WithResult(mdminfo, "0", "1")));
  Removal removal = SampleRemoval(/*program=*/true);
  removal.infFiles.insert("Other\\Q.R. Meridian, Inc.QNVOICE.INF");
  ExpectRemoved(removal, before, Snapshot(*prefix));
  ExpectKeysRemoved(removal, roots, ExportPackageRoots(*prefix));
  ExpectListingsLose(removal, listings, FolderListings(*prefix));
}

TEST_F(MdmcleanOnTheSample, TheLogNamesEveryRemovalInOrderAndTheResult) {
  ExpectSampleLog(*prefix, /*program=*/true, "result 0 (done), 1 remaining",
                  {"removed file C:\\windows\\system32\\QUILLNET.CPL",
                   "removed INF file C:\\windows\\INF\\OEM5.INF",
                   "refused INF file C:\\windows\\INF\\OEM8.INF (error 5)"});
}

TEST_F(MdmcleanOnTheSample, ASecondRunFindsTheReadOnlyCopyStillThereAndOnlyThat) {
  const auto cleaned = Snapshot(*prefix);
  RunMdmclean();
  EXPECT_EQ(prefix->ReadFile(kMdminfo), AsWineRewrites(WithResult(mdminfo, "0", "1")));
  EXPECT_THAT(Differences(cleaned, Snapshot(*prefix)), IsEmpty());
}

TEST_F(MdmcleanOnTheSample, RegeditOfTheUndoFileBringsBackEveryRemovedKey) {
  prefix->ImportRegistry(*prefix->ReadFile("C:\\windows\\MDMCLEAN.REG"));
  EXPECT_EQ(RegistryPart(Snapshot(*prefix)), RegistryPart(before));
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
