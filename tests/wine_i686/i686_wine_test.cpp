// The i686 build, the one that ships, under 32-bit Wine in Windows 95 mode on
// the sample machine (an i386 prefix of the test bed: Wine's 32-bit loader
// runs natively where the host runs 32-bit programs, under qemu-i386
// elsewhere; each test's output says which). Each test runs one process:
// hvprobe calling the three exports of HVLIB32.dll in one load, and
// mdmclean.exe. The win64 tests go through the cases in depth; these prove
// that the 32-bit images load, resolve and do the same work.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "tests/wine/wine_prefix.h"
#include "tests/wine_mdmclean/wine_machine.h"

namespace mdm::wine {
namespace {

const char* const kWinIni = "C:\\windows\\win.ini";
const char* const kSystemIni = "C:\\windows\\system.ini";
const std::string kHklm = "HKEY_LOCAL_MACHINE\\";
const std::string kClass = "System\\CurrentControlSet\\Services\\Class";
const std::string kWave = "System\\CurrentControlSet\\control\\MediaResources\\wave";
const std::string kVxd = "System\\CurrentControlSet\\Services\\VxD";

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The Snapshot entry of a registry branch below HKEY_LOCAL_MACHINE.
std::string Branch(const std::string& relative) { return "registry " + kHklm + relative; }

// What one deliverable removes from the sample machine.
struct Removal {
  // Lower-cased full key names by Snapshot entry of their branch.
  std::map<std::string, std::set<std::string>> keys;
  // Names in the INF folder (and its Other folder, "Other\\..."), deleted.
  std::set<std::string> infFiles;
  std::string loadLine;  // win.ini's load value afterwards
};

Removal PackageRemoval(bool program) {
  Removal removal;
  auto add = [&](const std::string& branch, std::initializer_list<std::string> relative) {
    for (const std::string& key : relative) {
      removal.keys[Branch(branch)].insert(Lower(kHklm + branch + "\\" + key));
    }
  };
  add("Enum", {"ISAPNP\\QRM1001", "ISAPNP\\QRM1001\\0A1B2C3D", "MODEMWAVE\\QNWAVE",
               "MODEMWAVE\\QNWAVE\\ROOT&MODEM&0000", "Root\\MDMGEN\\0001", "Root\\MDMGEN\\0002",
               "Root\\Quillnet", "Root\\Quillnet\\0000"});
  add(kClass, {"Modem\\0001", "Ports\\0001", "Quillnet", "Quillnet\\0000"});
  add("Software\\QRMeridian",
      {"Quillnet", "Quillnet\\1.0", "Quillnet\\1.0\\Base", "Quillnet\\1.0\\ComPort"});
  removal.infFiles = {"OEM4.INF",    "OEM5.INF",     "OEM6.INF",
                      "QNMODEM.INF", "QNPORT.INF",   "QUILLNET.INF",
                      "QUILNT2.IN~", "Other\\Q.R. Meridian, Inc.QNMODEM.INF",
                      "Other\\Q.R. Meridian, Inc.QUILLNET.INF"};
  if (program) {
    // The configured voice device: its enumerator, class key, wave resource
    // and VxD, and its INF file.
    add("Enum", {"MODEMWAVE"});
    add(kClass, {"MEDIA\\0001"});
    add(kWave, {"serwvdrv.drv<0001>"});
    add(kVxd, {"QNAUDIO"});
    removal.infFiles.insert("OEM7.INF");
    removal.loadLine = "C:\\WINDOWS\\SYSTEM32\\TASKMON.EXE QUILLNET.101\\PRELDR.EXE";
  } else {
    // The built-in removals also match the stub relative to the system
    // directory; the blank before it stays.
    removal.loadLine = "C:\\WINDOWS\\SYSTEM32\\TASKMON.EXE ";
  }
  return removal;
}

// The run changed exactly what `removal` names: the package's files, keys,
// list entries and INF files gone, every other entry of the snapshot as it was.
void ExpectRemoved(const Removal& removal, const std::map<std::string, std::string>& before,
                   const std::map<std::string, std::string>& after) {
  std::set<std::string> expected = {"file C:\\windows\\win.ini (changed)",
                                    "file C:\\windows\\system.ini (changed)",
                                    // "<absent>" now
                                    "file C:\\windows\\system32\\QUILLNET.CPL (changed)",
                                    "file C:\\windows\\system32\\QUILLNET.VXD (changed)"};
  for (const char* name : {"PRELDR.EXE", "QNVRAM.DAT", "QUILLNET.DRV", "QUILLNET.EXE"}) {
    expected.insert(std::string("file C:\\windows\\system32\\QUILLNET.101\\") + name + " (gone)");
  }
  for (const std::string& name : removal.infFiles) {
    expected.insert("file C:\\windows\\inf\\" + name + " (gone)");
  }
  for (const auto& [branch, keys] : removal.keys) expected.insert(branch + " (changed)");
  const std::vector<std::string> differences = Differences(before, after);
  EXPECT_EQ(std::set<std::string>(differences.begin(), differences.end()), expected)
      << Explain(before, after);

  for (const auto& [branch, keys] : removal.keys) {
    SCOPED_TRACE(branch);
    const std::set<std::string> present = KeyNames(before.at(branch));
    EXPECT_TRUE(std::includes(present.begin(), present.end(), keys.begin(), keys.end()))
        << "not laid down";
    EXPECT_EQ(after.at(branch), WithoutSections(before.at(branch), keys));
  }
  const std::string winIni = before.at(std::string("file ") + kWinIni);
  const std::string systemIni = before.at(std::string("file ") + kSystemIni);
  EXPECT_EQ(after.at(std::string("file ") + kWinIni),
            AsWineRewrites(WithValue(winIni, "load", removal.loadLine)));
  EXPECT_EQ(after.at(std::string("file ") + kSystemIni),
            AsWineRewrites(WithValue(systemIni, "drivers", "MMSYSTEM.DLL MSACM.DRV")));
}

// Nothing that Wine starts by itself (a boot, services, device
// installation) came into the prefix while the program ran: in the branches
// the snapshots compare only keys the test laid down, and on drive C: outside
// the system directory only files it wrote, the deliverable's change log and
// undo file, and `written`.
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
    const std::string name = Lower(it->path().filename().string());
    const bool deliverables = name == "mdmclean.log" || name == "mdmclean.reg" ||
                              name == "hvlib32.log" || name == "hvlib32.reg";
    EXPECT_TRUE(prefix.LaidDown(path) || deliverables || written.count(path) != 0)
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
  const RunResult run = prefix->Run(
      probe, {"C:\\probe.txt", "base", "change", "0A1B2C3D", "5678EF01", "values",
              "Enum\\Root\\Quillnet\\0000", "values", "Enum\\ISAPNP\\QRM1001\\5678EF01", "values",
              "Enum\\ISAPNP\\QRM1001\\0A1B2C3D", "uninstall", "base"});
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
  ExpectRemoved(PackageRemoval(/*program=*/false), before, Snapshot(*prefix));
  ExpectOnlyWhatWasLaidDown(*prefix, {"C:\\probe.txt"});
}

TEST_F(I686UnderWine, ProgramRemovesThePackageFromTheSampleMachine) {
  MDM_REQUIRE_WIN32_EXE(mdmclean, "mdmclean.exe");
  LayDownSampleMachine(*prefix, mdmclean, /*withMdminfo=*/true);
  const auto before = Snapshot(*prefix);
  const std::string mdminfo = *prefix->ReadFile(kMdminfo);

  const RunResult run = prefix->Run(prefix->HostPath("C:\\QNSETUP\\mdmclean.exe"), {}, kSetupDir);
  EXPECT_EQ(prefix->ReadFile(kMdminfo), AsWineRewrites(WithValue(mdminfo, "Result", "0")))
      << run.err;
  ExpectRemoved(PackageRemoval(/*program=*/true), before, Snapshot(*prefix));
  ExpectOnlyWhatWasLaidDown(*prefix, {});
}

}  // namespace
}  // namespace mdm::wine
