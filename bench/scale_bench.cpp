// How a full mdmclean run grows with the number of INF files below the
// Windows directory. For each N it builds a Windows 95 machine with N
// "oem*.inf" files in "INF" and N "*.inf" files in "INF\Other" (the package's
// among them), a registry of tens of thousands of keys, and the package
// installed; then it times
//   the floor: one directory search of each folder and one profile read of
//              every INF file found, which any INF cleanup has to do, and
//   the run:   RunUninstall, the whole program,
// and prints both, their ratio, the run's time per INF file and the peak
// memory of the process that did it (each N runs in a process of its own).
// A second table repeats this with every INF file the package's, so that the
// run also deletes them all.
//
//   scale_bench [N ...]    default: 1000 10000 50000
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "emulator/machine.h"
#include "mdmclean/run.h"

namespace {

using mdm::emu::Machine;
using Clock = std::chrono::steady_clock;

constexpr const char* kInf = "C:\\WINDOWS\\INF";
constexpr const char* kOther = "C:\\WINDOWS\\INF\\Other";
constexpr const char* kClass = "System\\CurrentControlSet\\Services\\Class\\";

const char* const kClasses[] = {"Net", "Modem", "Ports", "MEDIA", "Display", "Monitor", "System"};

std::string Number(int n, int width = 4) {
  std::string text = std::to_string(n);
  return std::string(text.size() < static_cast<std::size_t>(width) ? width - text.size() : 0, '0') +
         text;
}

// A plausible INF file of another device; every fiftieth claims a generic
// class with another modem's description, so the second read happens too.
std::string OtherInf(int n) {
  std::string text = "; INF file " + std::to_string(n) +
                     "\r\n[Version]\r\nSignature=\"$CHICAGO$\"\r\nClass=" + kClasses[n % 7] +
                     "\r\nProvider=%Mfg%\r\n\r\n[Manufacturer]\r\n%Mfg%=Models\r\n\r\n";
  text += "[Strings]\r\nMfg=\"Vendor " + std::to_string(n % 97) + "\"\r\n";
  if (n % 50 == 0) text += "Acme" + std::to_string(n) + ".DeviceDesc=\"Acme modem\"\r\n";
  return text;
}

// `allPackage`: every INF file is one of the package's, so the run deletes
// them all.
std::unique_ptr<Machine> BuildMachine(int files, bool allPackage) {
  auto machine = std::make_unique<Machine>();
  machine->SetWorkingDirectory("C:\\QNSETUP");
  machine->AddFile(
      "C:\\QNSETUP\\mdminfo.ini",
      "[FileNames]\r\nsystem_dir=QUILLNET.CPL,quillnet.vxd\r\n"
      "quillnet101_dir=PRELDR.EXE,QUILLNET.DRV,QUILLNET.EXE\r\n"
      "[RegistryKeys]\r\nPnpID=QRM1001,QRM1003\r\nVendor=QRMeridian\r\nModemName=Quillnet\r\n"
      "VoiceName=QuillnetVoice\r\n[NewInstallFiles]\r\nFileNames=QUILLNET.EXE\r\nINFFiles=QNMODEM."
      "INF\r\n");
  machine->AddFile("C:\\WINDOWS\\WIN.INI",
                   "[windows]\r\nload=C:\\WINDOWS\\SYSTEM\\QUILLNET.101\\QUILLNET.EXE\r\n");
  machine->AddFile("C:\\WINDOWS\\SYSTEM.INI",
                   "[boot]\r\ndrivers=mmsystem.dll QUILLNET.101\\Quillnet.drv\r\n");
  for (const char* name : {"QUILLNET.CPL", "quillnet.vxd", "QUILLNET.101\\PRELDR.EXE",
                           "QUILLNET.101\\QUILLNET.DRV", "QUILLNET.101\\QUILLNET.EXE"}) {
    machine->AddFile(std::string("C:\\WINDOWS\\SYSTEM\\") + name, "MZ");
  }

  // The INF files: the package's four among N others in each folder.
  const std::string packageInf =
      "[Version]\r\nClass=Quillnet\r\n[Strings]\r\nQuillnet.DeviceDesc=\"Q\"\r\n";
  for (int n = 0; n < files; ++n) {
    machine->AddFile(std::string(kInf) + "\\OEM" + std::to_string(n + 10) + ".INF",
                     allPackage ? packageInf : OtherInf(n));
    machine->AddFile(std::string(kOther) + "\\Vendor " + std::to_string(n % 97) + " Inc.DEV" +
                         std::to_string(n) + ".INF",
                     allPackage ? packageInf : OtherInf(n + 1));
  }
  machine->AddFile(std::string(kInf) + "\\OEM1.INF", "[Version]\r\nClass=Quillnet\r\n");
  machine->AddFile(
      std::string(kInf) + "\\OEM2.INF",
      "[Version]\r\nClass=Modem\r\n[Strings]\r\nQuillnet.DeviceDesc=\"Quillnet Modem\"\r\n");
  machine->AddFile(
      std::string(kOther) + "\\Q.R. Meridian, Inc.QNMODEM.INF",
      "[Version]\r\nClass=Modem\r\n[Strings]\r\nQuillnet.DeviceDesc=\"Quillnet Modem\"\r\n");

  // The registry: the package, and other devices and programs in the tens of
  // thousands. "ConnectedToModem" is missing, so the modem class is searched.
  const std::string instance = "Enum\\Root\\Quillnet\\0000";
  machine->SetString(instance, "Driver", "Quillnet\\0000");
  machine->SetString(instance, "ConnectedToPort", "Enum\\ISAPNP\\QRM1001\\0A1B2C3D");
  machine->SetString(instance, "ConnectedToWave", "Enum\\MODEMWAVE\\QNWAVE");
  machine->SetString("Enum\\ISAPNP\\QRM1001\\0A1B2C3D", "Driver", "Ports\\0000");
  machine->SetString("Enum\\MODEMWAVE\\QNWAVE\\ROOT&MODEM&0000", "Driver", "MEDIA\\0000");
  machine->SetString(std::string(kClass) + "Quillnet\\0000", "InfPath", "OEM1.INF");
  machine->SetString("SOFTWARE\\QRMeridian\\Quillnet\\1.0\\ComPort", "", "0002");
  for (int n = 0; n < 4000; ++n) {
    machine->SetString(std::string(kClass) + "Modem\\" + Number(n), "InfSection",
                       "Modem" + std::to_string(n));
    machine->SetString("Enum\\Root\\MDMGEN\\" + Number(n + 10), "Driver", "Modem\\" + Number(n));
  }
  machine->SetString(std::string(kClass) + "Modem\\" + Number(4000), "InfSection", "Quillnet");
  for (int n = 0; n < 8000; ++n) {
    machine->SetString(
        "Enum\\PCI\\VEN_" + Number(n / 40) + "&DEV_" + Number(n % 40) + "\\" + Number(n, 8),
        "Class", kClasses[n % 7]);
    machine->SetString("SOFTWARE\\Vendor" + std::to_string(n / 20) + "\\Product" +
                           std::to_string(n % 20) + "\\1.0",
                       "InstallDir", "C:\\PROGRA~1\\P" + std::to_string(n));
  }
  return machine;
}

// One directory search of each folder and one profile read of every INF file.
std::size_t ReadEveryInfOnce(Machine& machine) {
  std::size_t bytes = 0;
  const std::pair<const char*, const char*> passes[] = {{kInf, "oem*.inf"}, {kOther, "*.inf"}};
  for (const auto& [folder, pattern] : passes) {
    mdm::FindData found;
    const std::string search = std::string(folder) + "\\" + pattern;
    const mdm::FindHandle handle = machine.FindFirstFileA(search.c_str(), &found);
    if (handle == mdm::INVALID_FIND_HANDLE) continue;
    do {
      const std::string path = std::string(folder) + "\\" + found.fileName;
      char value[260];
      bytes += machine.GetPrivateProfileStringA("version", "Class", "", value, sizeof value,
                                                path.c_str());
    } while (machine.FindNextFileA(handle, &found));
    machine.FindClose(handle);
  }
  return bytes;
}

double Seconds(Clock::duration elapsed) { return std::chrono::duration<double>(elapsed).count(); }

// Measures one N and prints its line; runs in a process of its own so that
// the peak memory is this N's.
std::size_t KeyCount(const Machine& machine) {
  const std::string exported = machine.ExportRegistry();
  std::size_t keys = 0;
  for (std::size_t at = exported.find("\n[HKEY"); at != std::string::npos;
       at = exported.find("\n[HKEY", at + 1)) {
    ++keys;
  }
  return keys;
}

int MeasureOne(int files, bool allPackage) {
  // Small machines are measured on a few fresh copies, the best of them kept,
  // so that the figure is not one scheduling accident.
  const int copies = std::clamp(20000 / std::max(files, 1), 1, 5);
  double floor = 1e30;
  double run = 1e30;
  std::size_t keys = 0;
  bool removed = true;
  for (int copy = 0; copy < copies; ++copy) {
    auto machine = BuildMachine(files, allPackage);
    keys = KeyCount(*machine);
    for (int i = 0; i < 3; ++i) {
      const auto start = Clock::now();
      if (ReadEveryInfOnce(*machine) == 0) return 1;
      floor = std::min(floor, Seconds(Clock::now() - start));
    }
    const auto start = Clock::now();
    const int result = mdm::mdmclean::RunUninstall(*machine);
    run = std::min(run, Seconds(Clock::now() - start));
    // The run must have done the job, or its time says nothing.
    removed = removed && result == mdm::mdmclean::RESULT_DONE &&
              !machine->FileExists("C:\\WINDOWS\\INF\\OEM1.INF") &&
              !machine->FileExists("C:\\WINDOWS\\INF\\OEM2.INF") &&
              !machine->HasKey(std::string(kClass) + "Modem\\4000") &&
              machine->FileExists("C:\\WINDOWS\\INF\\OEM10.INF") != allPackage;
  }
  struct rusage usage {};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("%7d %9d %7zu %10.1f %10.1f %7.2f %13.2f %9.1f  %s\n", files, 2 * files + 3, keys,
              floor * 1e3, run * 1e3, run / floor, run * 1e6 / (2 * files + 3),
              usage.ru_maxrss / 1024.0, removed ? "ok" : "NOT REMOVED");
  std::fflush(stdout);
  return removed ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
  if (sizes.empty()) sizes = {1000, 10000, 50000};
  std::printf(
      "floor: best of 3 passes; run: one full mdmclean run (RunUninstall) on the same machine;\n"
      "the best of up to 5 fresh machines for small N\n");
  std::printf("%7s %9s %7s %10s %10s %7s %13s %9s\n", "N", "INF files", "keys", "floor ms",
              "run ms", "ratio", "run us/file", "peak MB");
  int failures = 0;
  for (bool allPackage : {false, true}) {
    if (allPackage) std::printf("every INF file the package's: the run deletes all of them\n");
    std::fflush(stdout);  // the children must not print it again
    for (int files : sizes) {
      const pid_t child = fork();
      if (child == 0) std::_Exit(MeasureOne(files, allPackage));
      int status = 0;
      waitpid(child, &status, 0);
      failures += (WIFEXITED(status) && WEXITSTATUS(status) == 0) ? 0 : 1;
    }
  }
  return failures == 0 ? 0 : 1;
}
