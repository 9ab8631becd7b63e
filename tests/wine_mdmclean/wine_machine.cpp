#include "tests/wine_mdmclean/wine_machine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

#include "tests/support/sample_outcome.h"

namespace fs = std::filesystem;

namespace mdm::wine {
namespace {

const std::string kSample = MDM_SAMPLE_MACHINE_DIR;

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

// Copies a folder of the sample, subfolders included, to a Windows folder.
void CopyTree(WinePrefix& prefix, const fs::path& from, const std::string& to) {
  for (const auto& entry : fs::directory_iterator(from)) {
    const std::string target = to + "\\" + entry.path().filename().string();
    if (entry.is_directory()) {
      CopyTree(prefix, entry.path(), target);
    } else {
      prefix.WriteFile(target, Slurp(entry.path()));
    }
  }
}

// Start of the line holding `key=` (at a line start), or npos.
std::size_t FindKeyLine(const std::string& text, const std::string& key) {
  const std::string wanted = key + "=";
  for (std::size_t at = 0; at < text.size(); at = text.find('\n', at) + 1) {
    if (text.compare(at, wanted.size(), wanted) == 0) return at;
    if (text.find('\n', at) == std::string::npos) break;
  }
  return std::string::npos;
}

// End of the line's text: before its "\r\n" or "\n".
std::size_t LineEnd(const std::string& text, std::size_t start) {
  std::size_t end = text.find('\n', start);
  if (end == std::string::npos) return text.size();
  return end > start && text[end - 1] == '\r' ? end - 1 : end;
}

// The files below `folder`, subfolders included; with `onlyLaidDown`, only
// the files the test wrote there.
void AddFiles(WinePrefix& prefix, const std::string& folder, bool onlyLaidDown,
              std::map<std::string, std::string>& into) {
  for (const std::string& name : prefix.ListDir(folder)) {
    const std::string path = folder + "\\" + name;
    if (std::optional<std::string> content = prefix.ReadFile(path)) {
      if (!onlyLaidDown || prefix.LaidDown(path)) into["file " + path] = *content;
    } else {
      into["folder " + path] = "";
      AddFiles(prefix, path, onlyLaidDown, into);
    }
  }
}

// The sections of a regedit export, with their values, of the keys `keep`
// says yes to (given the key's path in lower case).
template <typename Keep>
std::string SectionsWhere(const std::string& exported, Keep keep) {
  std::string kept;
  bool keeping = true;
  std::istringstream lines(exported);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.size() > 2 && line.front() == '[' && line.back() == ']') {
      keeping = keep(Lower(line.substr(1, line.size() - 2)));
    }
    if (keeping) kept += line + "\n";
  }
  return kept;
}

// The sections of a regedit export that name keys the test laid down.
std::string OnlyLaidDownKeys(const std::string& exported, const std::set<std::string>& keys) {
  return SectionsWhere(exported, [&](const std::string& key) { return keys.count(key) != 0; });
}

const char* const kWinIniPath = "C:\\windows\\win.ini";
const char* const kSystemIniPath = "C:\\windows\\system.ini";
const std::string kHklm = "HKEY_LOCAL_MACHINE\\";
const std::string kClass = "System\\CurrentControlSet\\Services\\Class";

}  // namespace

std::string SampleFile(const std::string& relative) { return Slurp(kSample + "/" + relative); }

std::string HostFile(const std::string& path) { return Slurp(path); }

std::vector<std::string> SampleSystemFiles() {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(kSample + "/drive_c/WINDOWS/SYSTEM")) {
    if (entry.is_regular_file()) names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

void LayDownSampleMachine(WinePrefix& prefix, const std::string& mdmcleanExe, bool withMdminfo) {
  prefix.ImportRegistry(SampleFile("registry.reg"));
  for (const std::string& name : SampleSystemFiles()) {
    const std::string target = std::string(kSystemDir) + "\\" + name;
    if (prefix.Exists(target)) continue;  // never over one of Wine's own files
    prefix.WriteFile(target, SampleFile("drive_c/WINDOWS/SYSTEM/" + name));
  }
  CopyTree(prefix, kSample + "/drive_c/WINDOWS/SYSTEM/QUILLNET.101",
           std::string(kSystemDir) + "\\QUILLNET.101");
  CopyTree(prefix, kSample + "/drive_c/WINDOWS/INF", kInfDir);
  const std::string winIni = SampleFile("drive_c/WINDOWS/WIN.INI");
  prefix.WriteFile("C:\\windows\\win.ini", ReplaceAll(winIni, "C:\\WINDOWS\\SYSTEM", kSystemDir));
  prefix.WriteFile("C:\\windows\\system.ini", SampleFile("drive_c/WINDOWS/SYSTEM.INI"));
  if (!mdmcleanExe.empty()) {
    prefix.WriteFile(std::string(kSetupDir) + "\\mdmclean.exe", Slurp(mdmcleanExe));
  }
  if (withMdminfo) prefix.WriteFile(kMdminfo, SampleFile("drive_c/QNSETUP/mdminfo.ini"));
}

std::string WithValue(const std::string& text, const std::string& key, const std::string& value) {
  const std::size_t start = FindKeyLine(text, key);
  if (start == std::string::npos) throw std::invalid_argument("no line " + key + "=");
  const std::size_t valueStart = start + key.size() + 1;
  return text.substr(0, valueStart) + value + text.substr(LineEnd(text, start));
}

std::string WithResult(const std::string& text, const std::string& result,
                       const std::string& remaining) {
  if (FindKeyLine(text, "Remaining") != std::string::npos) {
    return WithValue(WithValue(text, "Result", result), "Remaining", remaining);
  }
  const std::string withResult = WithValue(text, "Result", result);
  const std::size_t end = LineEnd(withResult, FindKeyLine(withResult, "Result"));
  return withResult.substr(0, end) + "\r\nRemaining=" + remaining + withResult.substr(end);
}

std::string WithoutKey(const std::string& text, const std::string& key) {
  const std::size_t start = FindKeyLine(text, key);
  if (start == std::string::npos) throw std::invalid_argument("no line " + key + "=");
  const std::size_t next = text.find('\n', start);
  return text.substr(0, start) + (next == std::string::npos ? "" : text.substr(next + 1));
}

std::string AsWineRewrites(const std::string& text) {
  std::string kept;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
    kept += line + "\n";
  }
  return kept;
}

std::set<std::string> KeyNames(const std::string& exported) {
  std::set<std::string> names;
  std::istringstream lines(exported);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.size() > 2 && line.front() == '[' && line.back() == ']') {
      names.insert(Lower(line.substr(1, line.size() - 2)));
    }
  }
  return names;
}

std::vector<std::string> PackageRegistryRoots() {
  return {"HKEY_LOCAL_MACHINE\\Enum",
          "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class",
          "HKEY_LOCAL_MACHINE\\Software",
          "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\control\\MediaResources\\wave",
          "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\VxD"};
}

std::vector<std::string> SnapshotBranches() {
  std::vector<std::string> branches;
  for (const std::string& root : PackageRegistryRoots()) {
    // The vendor's key only: the whole of Wine's HKLM\Software takes seconds
    // to export, and nothing of the package lies elsewhere below it.
    branches.push_back(root == "HKEY_LOCAL_MACHINE\\Software" ? root + "\\QRMeridian" : root);
  }
  return branches;
}

std::map<std::string, std::string> RegistryPart(
    const std::map<std::string, std::string>& snapshot) {
  std::map<std::string, std::string> registry;
  for (const auto& [name, content] : snapshot) {
    if (name.rfind("registry ", 0) == 0) registry[name] = content;
  }
  return registry;
}

void ExpectSampleLog(WinePrefix& prefix, bool program, const std::string& last,
                     std::initializer_list<const char*> lines) {
  const std::string log =
      prefix.ReadFile(program ? "C:\\windows\\MDMCLEAN.LOG" : "C:\\windows\\HVLIB32.LOG")
          .value_or("");
  EXPECT_EQ(log.rfind(program ? "mdmclean 1." : "HVLIB32 1.", 0), 0u) << log;
  EXPECT_EQ(log.rfind("\r\n" + last + "\r\n"), log.size() - last.size() - 4) << log;
  std::istringstream logLines(log);
  for (std::string line; std::getline(logLines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::size_t path = line.find("C:\\");
    if (line.rfind("removed ", 0) == 0 && path != std::string::npos) {
      EXPECT_FALSE(prefix.Exists(line.substr(path))) << line;
    }
  }
  test::ExpectKeysGoneInOrder(
      test::KeysRemovedBy(log),
      test::Sample(program ? test::Deliverable::Program : test::Deliverable::Library).keys);
  for (const char* line : lines) {
    EXPECT_NE(log.find(std::string("\r\n") + line + "\r\n"), std::string::npos) << line;
  }
}

std::map<std::string, std::string> ExportPackageRoots(WinePrefix& prefix) {
  std::map<std::string, std::string> exports;
  for (const std::string& root : PackageRegistryRoots()) {
    exports["registry " + root] = prefix.ExportRegistry(root);
  }
  return exports;
}

std::set<std::string> FolderListings(WinePrefix& prefix) {
  std::set<std::string> paths;
  for (const std::string& folder :
       {std::string(kSystemDir), std::string(kInfDir) + "\\Other", std::string(kInfDir)}) {
    for (const std::string& name : prefix.ListDir(folder)) paths.insert(folder + "\\" + name);
  }
  return paths;
}

void ExpectListingsLose(const Removal& removal, const std::set<std::string>& before,
                        const std::set<std::string>& after) {
  std::set<std::string> gone;
  for (const std::string& name : removal.folders) gone.insert(kSystemDir + ("\\" + name));
  for (const std::string& name : removal.files) {
    if (name.find('\\') == std::string::npos) gone.insert(kSystemDir + ("\\" + name));
  }
  for (const std::string& name : removal.infFiles) gone.insert(kInfDir + ("\\" + name));
  std::set<std::string> went;
  std::set<std::string> came;
  std::set_difference(before.begin(), before.end(), after.begin(), after.end(),
                      std::inserter(went, went.end()));
  std::set_difference(after.begin(), after.end(), before.begin(), before.end(),
                      std::inserter(came, came.end()));
  EXPECT_EQ(went, gone);
  EXPECT_EQ(came, std::set<std::string>{});
}

std::map<std::string, std::string> Snapshot(WinePrefix& prefix) {
  std::map<std::string, std::string> snapshot;
  for (const std::string& key : SnapshotBranches()) {
    snapshot["registry " + key] =
        OnlyLaidDownKeys(prefix.ExportRegistry(key), prefix.LaidDownKeys());
  }
  for (const std::string& name : SampleSystemFiles()) {
    const std::string path = std::string(kSystemDir) + "\\" + name;
    snapshot["file " + path] = prefix.ReadFile(path).value_or("<absent>");
  }
  // The product folder is the package's own; in the INF folders only what
  // the test put there counts, not Wine's own INF files.
  const std::string product = std::string(kSystemDir) + "\\QUILLNET.101";
  if (prefix.Exists(product)) snapshot["folder " + product] = "";
  AddFiles(prefix, product, false, snapshot);
  AddFiles(prefix, kInfDir, true, snapshot);
  for (const char* ini : {"C:\\windows\\win.ini", "C:\\windows\\system.ini"}) {
    snapshot[std::string("file ") + ini] = prefix.ReadFile(ini).value_or("<absent>");
  }
  return snapshot;
}

std::vector<std::string> Differences(const std::map<std::string, std::string>& before,
                                     const std::map<std::string, std::string>& after) {
  std::vector<std::string> names;
  for (const auto& [name, content] : before) {
    auto found = after.find(name);
    if (found == after.end()) {
      names.push_back(name + " (gone)");
    } else if (found->second != content) {
      names.push_back(name + " (changed)");
    }
  }
  for (const auto& [name, content] : after) {
    if (before.count(name) == 0) names.push_back(name + " (new)");
  }
  return names;
}

std::string Explain(const std::map<std::string, std::string>& before,
                    const std::map<std::string, std::string>& after) {
  std::string text;
  for (const std::string& difference : Differences(before, after)) {
    const std::string name = difference.substr(0, difference.rfind(" ("));
    auto side = [&](const std::map<std::string, std::string>& snapshot) {
      auto found = snapshot.find(name);
      return found == snapshot.end() ? std::string("<none>") : found->second;
    };
    text += "--- " + name + " before:\n" + side(before) + "\n--- after:\n" + side(after) + "\n";
  }
  return text;
}

Removal SampleRemoval(bool program) {
  const test::SampleOutcome& outcome =
      test::Sample(program ? test::Deliverable::Program : test::Deliverable::Library);
  Removal removal;
  for (const test::GoneKey& key : outcome.keys) removal.keys.insert(Lower(key.path));
  removal.files = {outcome.files.begin(), outcome.files.end()};
  removal.folders = {outcome.folders.begin(), outcome.folders.end()};
  removal.infFiles = {outcome.infGone.begin(), outcome.infGone.end()};
  removal.loadLine = ReplaceAll(outcome.load, "C:\\WINDOWS\\SYSTEM", kSystemDir);
  removal.driversLine = outcome.drivers;
  return removal;
}

void ExpectRemoved(const Removal& removal, const std::map<std::string, std::string>& before,
                   const std::map<std::string, std::string>& after) {
  // Files directly in the system directory read "<absent>" once gone.
  std::set<std::string> expected = {"file C:\\windows\\win.ini (changed)",
                                    "file C:\\windows\\system.ini (changed)"};
  for (const std::string& name : removal.files) {
    const bool inFolder = name.find('\\') != std::string::npos;
    expected.insert("file " + std::string(kSystemDir) + "\\" + name +
                    (inFolder ? " (gone)" : " (changed)"));
  }
  for (const std::string& name : removal.folders) {
    expected.insert("folder " + std::string(kSystemDir) + "\\" + name + " (gone)");
  }
  for (const std::string& name : removal.infFiles) {
    expected.insert("file C:\\windows\\inf\\" + name + " (gone)");
  }
  std::set<std::string> differences;
  for (const std::string& difference : Differences(before, after)) {
    if (difference.rfind("registry ", 0) != 0) differences.insert(difference);
  }
  EXPECT_EQ(differences, expected) << Explain(before, after);
  ExpectKeysRemoved(removal, before, after);
  const std::string winIni = before.at(std::string("file ") + kWinIniPath);
  const std::string systemIni = before.at(std::string("file ") + kSystemIniPath);
  EXPECT_EQ(after.at(std::string("file ") + kWinIniPath),
            AsWineRewrites(WithValue(winIni, "load", removal.loadLine)));
  EXPECT_EQ(after.at(std::string("file ") + kSystemIniPath),
            AsWineRewrites(WithValue(systemIni, "drivers", removal.driversLine)));
}

void ExpectKeysRemoved(const Removal& removal, const std::map<std::string, std::string>& before,
                       const std::map<std::string, std::string>& after) {
  std::set<std::string> laidDown;
  for (const auto& [name, exported] : before) {
    if (name.rfind("registry ", 0) != 0) continue;
    std::set<std::string> gone;
    for (const std::string& key : KeyNames(exported)) {
      for (const std::string& removed : removal.keys) {
        const std::string full = Lower(kHklm + removed);
        if (key == full) laidDown.insert(removed);
        if (key == full || key.rfind(full + "\\", 0) == 0) gone.insert(key);
      }
    }
    EXPECT_EQ(after.at(name), WithoutSections(exported, gone)) << name;
  }
  for (const std::string& key : removal.keys) {
    EXPECT_EQ(laidDown.count(key), 1u) << key << ": not laid down";
  }
}

void LayDownRecordsOfOthers(WinePrefix& prefix) {
  prefix.ImportRegistry(
      "REGEDIT4\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\Enum\\Root\\Quillnet\\0000]\r\n"
      "\"ConnectedToModem\"=\"Enum\\\\Root\\\\MDMGEN\\\\0000\"\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\Ports\\0001]\r\n"
      "\"InfPath\"=\"MSPORTS.INF\"\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\Enum\\MODEMWAVE\\ACMEWAVE]\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\Enum\\MODEMWAVE\\ACMEWAVE\\ROOT&MODEM&0000]\r\n"
      "\"Class\"=\"MEDIA\"\r\n\"Driver\"=\"MEDIA\\\\0002\"\r\n\"DeviceDesc\"=\"Acme Voice\"\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\MEDIA\\0002]\r\n"
      "\"DriverDesc\"=\"Acme "
      "Voice\"\r\n\"InfSection\"=\"AcmeVoice\"\r\n\"InfPath\"=\"OEM2.INF\"\r\n");
  const std::string winIni = *prefix.ReadFile(kWinIniPath);
  prefix.WriteFile(
      kWinIniPath,
      WithValue(
          winIni, "load",
          "\"C:\\PROGRA~1\\ACME\\ACME.EXE\" C:\\windows\\system32\\QUILLNET.101\\QUILLNET.EXE "
          "\"C:\\Program Files\\Other\\tray.exe\""));
}

Removal RecordsOfOthersRemoval(bool program) {
  Removal removal = SampleRemoval(program);
  // The modem link leads nowhere now; each deliverable finds the package's
  // modem class key by its "InfSection", and with it the modem device whose
  // "Driver" names it. The port key names Windows' MSPORTS.INF and no
  // section of the package's: it is the port driver's, and stays.
  removal.keys.erase(Lower(kClass + "\\Ports\\0001"));
  // The enumerator of wave devices holds another voice modem: only the
  // package's wave device goes.
  if (removal.keys.erase("enum\\modemwave") != 0) removal.keys.insert("enum\\modemwave\\qnwave");
  // The other entries keep their quotes; the package's goes with its blank.
  removal.loadLine = "\"C:\\PROGRA~1\\ACME\\ACME.EXE\" \"C:\\Program Files\\Other\\tray.exe\"";
  return removal;
}

std::string WithoutSections(const std::string& exported, const std::set<std::string>& removed) {
  return SectionsWhere(exported, [&](const std::string& key) { return removed.count(key) == 0; });
}

namespace {

// Regedit text of a modem device Enum\Root\MDMGEN\<device> whose "Driver"
// names the class key Modem\<classKey>, both described as `description`.
std::string ModemAt(const std::string& device, const std::string& classKey,
                    const std::string& description, const std::string& section,
                    const std::string& infPath) {
  return "\r\n[" + kHklm + "Enum\\Root\\MDMGEN\\" + device + "]\r\n\"Class\"=\"Modem\"\r\n" +
         "\"Driver\"=\"Modem\\\\" + classKey + "\"\r\n\"DeviceDesc\"=\"" + description +
         "\"\r\n\r\n[" + kHklm + kClass + "\\Modem\\" + classKey + "]\r\n\"DriverDesc\"=\"" +
         description + "\"\r\n\"InfSection\"=\"" + section + "\"\r\n\"InfPath\"=\"" + infPath +
         "\"\r\n";
}

// The package's root device installed a second time, its instance linking
// the modem at MDMGEN\0003, and a card of the package's second ID.
const std::string kSecondInstanceAndCard = R"(REGEDIT4

[HKEY_LOCAL_MACHINE\Enum\Root\Quillnet\0001]
"Class"="Quillnet"
"Driver"="Quillnet\\0001"
"DeviceDesc"="Quillnet Modem Controller"
"ConnectedToModem"="Enum\\Root\\MDMGEN\\0003"

[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Services\Class\Quillnet\0001]
"DriverDesc"="Quillnet Modem Controller"
"InfSection"="QuillnetRoot"
"InfPath"="OEM4.INF"

[HKEY_LOCAL_MACHINE\Enum\ISAPNP\QRM1003]

[HKEY_LOCAL_MACHINE\Enum\ISAPNP\QRM1003\0A1B2C3D]
"Class"="Ports"
"Driver"="Ports\\0002"
"DeviceDesc"="Quillnet Communications Port"
"PortName"="COM4"

[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Services\Class\Ports\0002]
"DriverDesc"="Quillnet Communications Port"
"InfSection"="QNPort"
"InfPath"="OEM6.INF"
)";

bool IsInfEntry(const std::string& entry) { return entry.rfind("INF\\", 0) == 0; }

// The Snapshot entry of the branch a situation's key lies in.
std::string BranchOf(const std::string& key) {
  for (const std::string& branch : SnapshotBranches()) {
    if (Lower(kHklm + key).rfind(Lower(branch) + "\\", 0) == 0) return "registry " + branch;
  }
  throw std::invalid_argument("no snapshot branch holds " + key);
}

bool Holds(const std::map<std::string, std::string>& snapshot, const std::string& entry) {
  if (IsInfEntry(entry)) return snapshot.count("file C:\\windows\\inf\\" + entry.substr(4)) != 0;
  const auto branch = snapshot.find(BranchOf(entry));
  return branch != snapshot.end() && KeyNames(branch->second).count(Lower(kHklm + entry)) != 0;
}

}  // namespace

std::vector<Situation> LayDownHistories(WinePrefix& prefix) {
  prefix.SetWindowsVersion("win98");
  prefix.ImportRegistry(kSecondInstanceAndCard +
                        ModemAt("0003", "0002", "Quillnet Modem", "Quillnet2", "OEM5.INF") +
                        ModemAt("0001", "0001", "Quillnet 56K Modem", "QN56K", "OEM9.INF"));
  prefix.WriteFile(
      std::string(kInfDir) + "\\OEM9.INF",
      "[Version]\r\nSignature=\"$CHICAGO$\"\r\nClass=Modem\r\nProvider=%QRM%\r\n\r\n"
      "[Strings]\r\nQRM=\"Q.R. Meridian, Inc.\"\r\nQN56K.DeviceDesc=\"Quillnet 56K Modem\"\r\n");
  // A copy of QNPORT.INF: mdmclean's scan does not claim it, only its name.
  prefix.WriteFile(std::string(kInfDir) + "\\Other\\Q.R. Meridian, Inc.QNPORT.INF",
                   SampleFile("drive_c/WINDOWS/INF/QNPORT.INF"));
  const std::string cls = kClass + "\\";
  return {
      {"installed twice: the second instance, its class key and the modem it links go",
       {"Enum\\Root\\Quillnet\\0001", cls + "Quillnet\\0001", "Enum\\Root\\MDMGEN\\0003",
        cls + "Modem\\0002"},
       {}},
      {"card ID changed: both cards and both port keys go",
       {"Enum\\ISAPNP\\QRM1001\\0A1B2C3D", "Enum\\ISAPNP\\QRM1003",
        "Enum\\ISAPNP\\QRM1003\\0A1B2C3D", cls + "Ports\\0001", cls + "Ports\\0002"},
       {}},
      {"Windows 98: the provider copy goes", {"INF\\Other\\Q.R. Meridian, Inc.QNPORT.INF"}, {}},
      {"the vendor's newer modem in the linked slots: device, class key and INF file stay",
       {},
       {"Enum\\Root\\MDMGEN\\0001", cls + "Modem\\0001", "INF\\OEM9.INF"}},
  };
}

std::vector<Situation> LayDownModemAddedAgain(WinePrefix& prefix) {
  prefix.ImportRegistry(
      "REGEDIT4\r\n" +
      ModemAt("0001", "0001", "Standard 28800 bps Modem", "Gen28800", "MDMGEN.INF") +
      ModemAt("0003", "0002", "Quillnet Modem", "Quillnet", "OEM5.INF"));
  const std::string cls = kClass + "\\";
  return {{"modem added again: the re-added modem goes, the standard modem linked stays whole",
           {"Enum\\Root\\MDMGEN\\0003", cls + "Modem\\0002"},
           {"Enum\\Root\\MDMGEN\\0001", cls + "Modem\\0001", "INF\\MDMGEN.INF"}}};
}

void ExpectSituations(const std::vector<Situation>& situations, bool program,
                      const std::map<std::string, std::string>& before,
                      const std::map<std::string, std::string>& after) {
  Removal removal = SampleRemoval(program);
  for (const Situation& situation : situations) {
    SCOPED_TRACE("situation: " + situation.name);
    for (const std::string& entry : situation.gone) {
      EXPECT_TRUE(Holds(before, entry)) << entry << ": not laid down";
      EXPECT_FALSE(Holds(after, entry)) << entry << ": must be gone";
      if (IsInfEntry(entry))
        removal.infFiles.insert(entry.substr(4));
      else
        removal.keys.insert(Lower(entry));
    }
    for (const std::string& entry : situation.kept) {
      EXPECT_TRUE(Holds(after, entry)) << entry << ": must stay";
      if (IsInfEntry(entry))
        removal.infFiles.erase(entry.substr(4));
      else
        removal.keys.erase(Lower(entry));
    }
  }
  ExpectRemoved(removal, before, after);
}

}  // namespace mdm::wine
