// The i686 build, the one that ships, under 32-bit Wine in Windows 95 mode on
// the sample machine (an i386 prefix of the test bed: Wine's 32-bit loader
// runs natively where the host runs 32-bit programs, under qemu-i386
// elsewhere; each test's output says which). Each test runs one process:
// hvprobe calling the three exports of HVLIB32.dll in one load, and
// mdmclean.exe. The win64 tests go through the cases in depth; these prove
// that the 32-bit images load, resolve and do the same work.
#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "tests/support/run_logs.h"
#include "tests/wine/wine_prefix.h"
#include "tests/wine_mdmclean/wine_machine.h"

namespace mdm::wine {
namespace {

const std::string kHklm = "HKEY_LOCAL_MACHINE\\";

// Nothing that Wine starts by itself (a boot, services, device
// installation) came into the prefix while the program ran: in the branches
// the snapshots compare only keys the test laid down, and on drive C: outside
// the system directory only files it wrote, the deliverables' change logs and
// undo files, and `written`.
void ExpectOnlyWhatWasLaidDown(WinePrefix& prefix, const std::set<std::string>& written) {
  for (const std::string& branch : SnapshotBranches()) {
    for (const std::string& key : KeyNames(prefix.ExportRegistry(branch))) {
      EXPECT_EQ(prefix.LaidDownKeys().count(key), 1u) << key << " was not laid down";
    }
  }
  namespace fs = std::filesystem;
  const fs::path drive = prefix.HostPath("C:\\");
  const fs::path system = prefix.HostPath(kSystemDir);
  for (auto it = fs::recursive_directory_iterator(drive); it != fs::recursive_directory_iterator();
       ++it) {
    if (it->path() == system) {
      it.disable_recursion_pending();  // Wine's DLLs, linked in by the test bed
      continue;
    }
    if (!it->is_regular_file()) continue;
    std::string path = "C:";
    for (const fs::path& part : fs::relative(it->path(), drive)) path += "\\" + part.string();
    EXPECT_TRUE(prefix.LaidDown(path) || test::IsRunLogFile(path) || written.count(path) != 0)
        << path << " was not laid down";
  }
}

class I686UnderWine : public ::testing::Test {
 protected:
  void SetUp() override {
    MDM_REQUIRE_WINE();
    MDM_REQUIRE_I386_WINE();
    const char* loader = Describe(ChosenI386Loader());
    RecordProperty("i386_loader", loader);
    std::cout << "i386 prefix: " << loader << std::endl;
    prefix = std::make_unique<WinePrefix>(WineKind::kI386);
  }
  std::unique_ptr<WinePrefix> prefix;
};

TEST_F(I686UnderWine, LibraryExportsWorkInOneLoad) {
  MDM_REQUIRE_WIN32_EXE(probe, "hvprobe.exe");
  MDM_REQUIRE_WIN32_EXE(library, "HVLIB32.dll");
  LayDownSampleMachine(*prefix, /*mdmcleanExe=*/"", /*withMdminfo=*/false);
  const auto before = Snapshot(*prefix);

  // The library beside the program, where LoadLibraryA finds it first. The
  // registry cannot be read from outside until the process has ended, so the
  // probe prints the moved key and the relinked device before Uninstall.
  const RunResult run =
      prefix->Run(probe, {"C:\\probe.txt", "base", "change", "0A1B2C3D", "5678EF01", "values",
                          "Enum\\Root\\Quillnet\\0000", "values", "Enum\\ISAPNP\\QRM1001\\5678EF01",
                          "values", "Enum\\ISAPNP\\QRM1001\\0A1B2C3D", "uninstall", "base"});
  const std::string report = prefix->ReadFile("C:\\probe.txt").value_or("<no report>");
  EXPECT_EQ(run.exitCode, 0) << report << run.err;
  EXPECT_EQ(report,
            "resolve ChangeW95SerialNumber ordinal 1 same\n"
            "resolve GetBaseAddr95 ordinal 2 same\n"
            "resolve Uninstall ordinal 3 same\n"
            "base result=0 terminated=1 text=\"0x2F8\"\n"
            "change 0A1B2C3D 5678EF01 result=0\n"
            "values Enum\\Root\\Quillnet\\0000 result=0\n"
            "  Class=Quillnet\n"
            "  ConnectedToModem=Enum\\Root\\MDMGEN\\0001\n"
            "  ConnectedToPort=Enum\\ISAPNP\\QRM1001\\5678EF01\n"
            "  ConnectedToWave=Enum\\MODEMWAVE\\QNWAVE\n"
            "  DeviceDesc=Quillnet Modem Controller\n"
            "  Driver=Quillnet\\0000\n"
            "values Enum\\ISAPNP\\QRM1001\\5678EF01 result=0\n"
            "  Class=Ports\n"
            "  DeviceDesc=Quillnet Communications Port\n"
            "  Driver=Ports\\0001\n"
            "  PortName=COM3\n"
            "values Enum\\ISAPNP\\QRM1001\\0A1B2C3D result=2\n"
            "uninstall done\n"
            "base result=2 terminated=1 text=\"\"\n"
            "unload ok\n");
  // The moved instance goes with its PnP ID's key.
  ExpectRemoved(SampleRemoval(/*program=*/false), before, Snapshot(*prefix));
  ExpectOnlyWhatWasLaidDown(*prefix, {"C:\\probe.txt"});
}

TEST_F(I686UnderWine, ProgramRemovesThePackageFromTheSampleMachine) {
  MDM_REQUIRE_WIN32_EXE(mdmclean, "mdmclean.exe");
  LayDownSampleMachine(*prefix, mdmclean, /*withMdminfo=*/true);
  const auto before = Snapshot(*prefix);
  const std::string mdminfo = *prefix->ReadFile(kMdminfo);

  const RunResult run = prefix->Run(prefix->HostPath("C:\\QNSETUP\\mdmclean.exe"), {}, kSetupDir);
  EXPECT_EQ(prefix->ReadFile(kMdminfo), AsWineRewrites(WithResult(mdminfo, "0", "0"))) << run.err;
  ExpectRemoved(SampleRemoval(/*program=*/true), before, Snapshot(*prefix));
  ExpectOnlyWhatWasLaidDown(*prefix, {});
}

// The kit's NSIS example, built for x86-ansi with the shipping images, run
// silently on the sample machine: it reads the base address, moves the
// serial number, removes the package with MDMCLEAN.EXE, reads Result=0 and
// Remaining=0, and calls Uninstall.
TEST_F(I686UnderWine, TheNsisExampleRemovesThePackage) {
  MDM_REQUIRE_WIN32_EXE(setup, "QNSETUP.EXE");
  if (!HostRuns32BitPrograms()) {
    GTEST_SKIP() << "this host runs 32-bit programs only under qemu-i386, where a Windows "
                    "process cannot start another: the installer's ExecWait needs the host to "
                    "run Wine's 32-bit loader itself";
  }
  LayDownSampleMachine(*prefix, "", /*withMdminfo=*/false);
  prefix->WriteFile("C:\\QNSETUP\\QNSETUP.EXE", HostFile(setup));
  const auto before = Snapshot(*prefix);

  const RunResult run =
      prefix->Run(prefix->HostPath("C:\\QNSETUP\\QNSETUP.EXE"), {"/S"}, kSetupDir);
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(prefix->ReadFile("C:\\QNSETUP\\QNSETUP.TXT"),
            "GetBaseAddr95 0 0x2F8\r\n"
            "ChangeW95SerialNumber 0\r\n"
            "MDMCLEAN exit code 0 Result 0 Remaining 0\r\n"
            "Uninstall done\r\n");
  ExpectRemoved(SampleRemoval(/*program=*/true), before, Snapshot(*prefix));
  ExpectOnlyWhatWasLaidDown(*prefix, {"C:\\QNSETUP\\QNSETUP.TXT", "C:\\QNSETUP\\MDMINFO.INI"});
}

}  // namespace
}  // namespace mdm::wine
