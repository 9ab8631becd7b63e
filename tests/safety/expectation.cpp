#include "tests/safety/expectation.h"

#include <algorithm>
#include <functional>
#include <vector>

namespace mdm::safety {

namespace {

constexpr std::size_t kLongestPath = 259;  // MAX_PATH with its terminator
constexpr const char* kClassRoot = "System\\CurrentControlSet\\Services\\Class\\";
constexpr const char* kWaveResource =
    "System\\CurrentControlSet\\control\\MediaResources\\wave\\serwvdrv.drv";
constexpr const char* kAudioVxd = "System\\CurrentControlSet\\Services\\VxD\\QNAUDIO";

const char* const kPackageInfNames[] = {"QNPORT.IN~",   "QNPORT.INF",   "QNMODEM.IN~", "QNMODEM.INF",
                                        "QUILLNET.INF", "QUILLNET.IN~", "QUILNT2.INF", "QUILNT2.IN~"};
const char* const kProviderInfNames[] = {
    "Q.R. Meridian, Inc.QUILLNET.INF", "Q.R. Meridian, Inc.QNPORT.INF",
    "Q.R. Meridian, Inc.QUILNT2.INF",  "Q.R. Meridian, Inc.QNMODEM.INF",
    "Q.R. Meridian, Inc.QUILLNET.IN~", "Q.R. Meridian, Inc.QNPORT.IN~",
    "Q.R. Meridian, Inc.QUILNT2.IN~",  "Q.R. Meridian, Inc.QNMODEM.IN~"};

// Keys that hold other devices and programs; a stage never deletes one,
// whatever shape its removal allows.
const char* const kProtectedKeys[] = {
    "Enum\\Root", "Enum\\ISAPNP", "Enum\\Root\\MDMGEN", "System\\CurrentControlSet",
    "System\\CurrentControlSet\\Services", "System\\CurrentControlSet\\Services\\Class",
    "System\\CurrentControlSet\\Services\\Class\\Modem",
    "System\\CurrentControlSet\\Services\\Class\\MEDIA",
    "System\\CurrentControlSet\\Services\\Class\\Ports", "System\\CurrentControlSet\\Services\\VxD",
    "System\\CurrentControlSet\\control", "System\\CurrentControlSet\\control\\MediaResources",
    "System\\CurrentControlSet\\control\\MediaResources\\wave"};

std::string Upper(std::string text) {
  for (char& c : text) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  return text;
}

bool SameText(const std::string& a, const std::string& b) { return Folded(a) == Folded(b); }

bool StartsWithFolded(const std::string& text, const std::string& prefix) {
  return Folded(text).compare(0, prefix.size(), Folded(prefix)) == 0 && text.size() >= prefix.size();
}

bool EndsWithFolded(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() && SameText(text.substr(text.size() - suffix.size()), suffix);
}

// "oem*.inf" and "*.inf" as the directory search matches long names.
bool MatchesScanPattern(const std::string& name, bool oemOnly) {
  if (!EndsWithFolded(name, ".inf")) return false;
  return !oemOnly || (name.size() >= 7 && StartsWithFolded(name, "oem"));
}

// The components of a key path; nothing when one of them is empty.
std::optional<std::vector<std::string>> Components(const std::string& path) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t slash = path.find('\\', start);
    const std::size_t end = slash == std::string::npos ? path.size() : slash;
    if (end == start) return std::nullopt;
    parts.push_back(path.substr(start, end - start));
    if (slash == std::string::npos) return parts;
    start = slash + 1;
  }
}

// The paths a removal may delete: the components of `fixed` (case-blind),
// then `free` components of any name.
struct Shape {
  std::string fixed;
  int free = 0;
};

bool HasShape(const std::string& path, const Shape& shape) {
  const auto parts = Components(path);
  const auto fixed = Components(shape.fixed);
  if (!parts || !fixed || parts->size() != fixed->size() + static_cast<std::size_t>(shape.free)) return false;
  for (std::size_t i = 0; i < fixed->size(); ++i) {
    if (!SameText((*parts)[i], (*fixed)[i])) return false;
  }
  return true;
}

bool IsProtected(const std::string& path) {
  for (const char* root : kProtectedKeys) {
    if (SameText(path, root)) return true;
  }
  return false;
}

// One registry key name: a configured name or a recorded COM port.
bool IsKeyName(const std::string& name) { return !name.empty() && name.find('\\') == std::string::npos; }

bool IsPlainName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find_first_of("\\/:") == std::string::npos;
}

enum Link { kModem, kPort, kWave, kRoot };
const char* const kLinkValues[] = {"ConnectedToModem", "ConnectedToPort", "ConnectedToWave"};

// One deliverable's run over the generator's record of the machine.
class Run {
 public:
  Run(const GeneratedMachine& g, Deliverable deliverable) : g_(g), m_(g.model), who_(deliverable) {}

  Expectation Program();
  Expectation Library();

 private:
  // ---- state of the machine as the run changes it
  bool KeyAlive(const std::string& path) const {
    if (!m_.HasKey(path)) return false;
    const std::string folded = Folded(path);
    for (const std::string& gone : e_.deletedKeys) {
      if (folded == gone || folded.compare(0, gone.size() + 1, gone + "\\") == 0) return false;
    }
    return true;
  }
  bool KeyOpens(const std::string& path) const { return KeyAlive(path) && !m_.Key(path)->denyOpen; }
  std::optional<std::string> Read(const std::string& path, const std::string& name) const {
    return KeyAlive(path) ? m_.ReadStageString(path, name) : std::nullopt;
  }
  // Open, close, delete: nothing for a key out of the removal's shape, a
  // protected one, or one that does not open.
  void RemoveKey(const std::string& path, const Shape& shape) {
    if (HasShape(path, shape) && !IsProtected(path) && KeyOpens(path)) e_.deletedKeys.insert(Folded(path));
  }
  // A key the removal names whole.
  void RemoveExactKey(const std::string& path) { RemoveKey(path, {path, 0}); }
  bool FileAlive(const std::string& path) const {
    return m_.File(path) != nullptr && e_.deletedFiles.count(Folded(path)) == 0;
  }
  void DeleteFile(const std::string& path) {
    if (path.size() > kLongestPath || !FileAlive(path)) return;
    const ModelFile& file = *m_.File(path);
    const bool held = file.inUse || (file.heldByNvram && !nvramReleased_);
    if (!file.readOnly && !held) e_.deletedFiles.insert(Folded(path));
  }
  bool ReadOnly(const std::string& path) const {
    const ModelFile* file = m_.File(path);
    return file != nullptr && file->readOnly;
  }
  bool DirectoryAlive(const std::string& path) const {
    return m_.HasDirectory(path) && e_.removedDirectories.count(Folded(path)) == 0;
  }

  // ---- stages
  void NotifyNvram() {
    if (!m_.settings.nvramWindow) return;
    ++e_.messages;
    nvramReleased_ = true;
  }
  void Purge(const std::string& directory);
  void ProgramFiles();
  void LibraryFiles();

  std::optional<std::string> LinkedDeviceKey(Link link) const;
  std::optional<std::string> SearchClass(const std::string& classRoot, const std::string& name) const;
  std::optional<std::string> LinkedClassKey(Link link) const;
  void CleanLink(Link link);
  void RemoveSoftwareKey(const std::string& softwareKey);
  void RemoveFirstPresent(const std::vector<std::string>& ids);
  void RemoveEnumeratorKeys(const std::vector<std::string>& ids);
  void ProgramRegistry();
  void LibraryRegistry();

  std::string EditedLine(const ListLine& line, const std::vector<std::string>& entries) const;
  void Lists(const std::vector<std::string>& loadEntries, const std::vector<std::string>& driverEntries);

  void InfStage(const std::function<bool(const InfSpec&)>& matches);
  void DeleteInfNames(const std::string& folder, const std::vector<std::string>& names);
  bool ProgramMatch(const InfSpec& inf) const;
  bool LibraryMatch(const InfSpec& inf) const;

  const GeneratedMachine& g_;
  const MachineModel& m_;
  Deliverable who_;
  Expectation e_;
  bool nvramReleased_ = false;
  std::string deviceName_;  // the root device "Enum\Root\<name>" and its own class
  std::string infPaths_[4];  // the library's recorded "InfPath" values, by link
};

// ---------------------------------------------------------------- files

void Run::Purge(const std::string& directory) {
  if (directory.size() + 4 <= kLongestPath) {  // "\*.*" must fit
    for (const std::string& file : m_.FilesIn(directory)) {
      if (BaseName(file).size() + directory.size() + 1 <= kLongestPath) DeleteFile(file);
    }
  }
  if (!DirectoryAlive(directory) || directory.size() > kLongestPath) return;
  for (const std::string& file : m_.FilesIn(directory)) {
    if (FileAlive(file)) return;
  }
  if (!m_.DirectoriesIn(directory).empty()) return;  // the purge never descends
  e_.removedDirectories.insert(Folded(directory));
}

void Run::ProgramFiles() {
  NotifyNvram();
  const std::string system = m_.settings.systemDirectory;
  for (const std::string& name : g_.config.systemFiles) DeleteFile(system + "\\" + name);
  for (const std::string& name : g_.config.productFiles) DeleteFile(system + "\\QUILLNET.101\\" + name);
  Purge(system + "\\QUILLNET.101");
}

void Run::LibraryFiles() {
  NotifyNvram();
  const std::string system = m_.settings.systemDirectory;
  for (const char* name : {"QUILLNET.CPL", "quillnet.vxd"}) DeleteFile(system + "\\" + name);
  for (const char* name : {"QUILLNET.EXE", "QUILLNET.DRV"}) DeleteFile(system + "\\QUILLNET.101\\" + name);
  Purge(system + "\\QUILLNET.101");
}

// ---------------------------------------------------------------- registry

// The device key a link value names; a missing or empty value names none.
std::optional<std::string> Run::LinkedDeviceKey(Link link) const {
  const std::string instance = "Enum\\Root\\" + deviceName_ + "\\0000";
  if (link == kRoot) return instance;
  auto value = Read(instance, kLinkValues[link]);
  if (!value || value->empty()) return std::nullopt;
  return link == kWave ? *value + "\\ROOT&MODEM&0000" : *value;
}

// The class search by "InfSection" (mdmclean only): exact text, in
// enumeration order, ended by the first subkey that will not open.
std::optional<std::string> Run::SearchClass(const std::string& classRoot, const std::string& name) const {
  if (name.empty()) return std::nullopt;  // would match every empty "InfSection"
  const std::string root = kClassRoot + classRoot;
  if (!KeyOpens(root)) return std::nullopt;
  for (const std::string& sub : m_.SubkeyNames(root)) {
    const std::string key = root + "\\" + sub;
    if (!KeyAlive(key)) continue;
    if (!KeyOpens(key)) return std::nullopt;
    if (Read(key, "InfSection") == name) return classRoot + "\\" + sub;
  }
  return std::nullopt;
}

// The class key name a link leads to ("Modem\0001"), its shape not yet
// checked. A value that names no device instance leads nowhere, without a
// search; only mdmclean's modem and wave links search when the value is missing.
std::optional<std::string> Run::LinkedClassKey(Link link) const {
  if (auto device = LinkedDeviceKey(link)) {
    if (!HasShape(*device, {"Enum", 3})) return std::nullopt;
    return Read(*device, "Driver");
  }
  if (who_ == Deliverable::Library || link == kPort) return std::nullopt;
  if (link == kModem) return SearchClass("Modem", g_.config.modemName);
  return SearchClass("MEDIA", g_.config.voiceName);
}

void Run::CleanLink(Link link) {
  const auto className = LinkedClassKey(link);
  if (!className) return;
  // Each link reaches an instance of its own class only; the root link one
  // of the device's own class, and then that class's whole branch.
  const char* const ownClasses[] = {"Modem", "Ports", "MEDIA"};
  const std::string ownClass = kClassRoot + (link == kRoot ? deviceName_ : std::string(ownClasses[link]));
  const std::string classKey = kClassRoot + *className;
  if (!HasShape(classKey, {ownClass, 1})) return;
  if (who_ == Deliverable::Library) infPaths_[link] = Read(classKey, "InfPath").value_or("");
  if (link == kWave) {
    RemoveExactKey(std::string(kWaveResource) + "<" + BaseName(classKey) + ">");
    RemoveExactKey(kAudioVxd);
  }
  if (link == kRoot) {
    RemoveKey(ParentPath(classKey), {ownClass, 0});
  } else {
    RemoveKey(classKey, {ownClass, 1});
  }
}

void Run::RemoveSoftwareKey(const std::string& softwareKey) {
  const std::string comPortKey = softwareKey + "\\1.0\\ComPort";
  if (KeyOpens(comPortKey)) {
    const auto port = Read(comPortKey, "");
    if (port && IsKeyName(*port)) RemoveKey("Enum\\Root\\MDMGEN\\" + *port, {"Enum\\Root\\MDMGEN", 1});
  }
  RemoveKey(softwareKey, {"SOFTWARE", 2});
}

// The first ISAPNP device key that opens goes; it ends the search even when
// its removal is refused.
void Run::RemoveFirstPresent(const std::vector<std::string>& ids) {
  for (const std::string& id : ids) {
    const std::string key = "Enum\\ISAPNP\\" + id;
    if (!KeyOpens(key)) continue;
    RemoveKey(key, {"Enum\\ISAPNP", 1});
    return;
  }
}

// The ISAPNP device, the linked modem device, the wave device, and last the
// root device, whose instance the steps before read.
void Run::RemoveEnumeratorKeys(const std::vector<std::string>& ids) {
  RemoveFirstPresent(ids);
  // A linked device goes only when its own "Driver" says it is of the link's class.
  const auto ofClass = [&](const std::string& device, const char* cls) {
    const auto driver = Read(device, "Driver");
    return driver && HasShape(kClassRoot + *driver, {kClassRoot + std::string(cls), 1});
  };
  if (auto modem = LinkedDeviceKey(kModem); modem && ofClass(*modem, "Modem")) {
    RemoveKey(*modem, {"Enum", 3});
  }
  if (who_ == Deliverable::Program) {
    RemoveExactKey("Enum\\MODEMWAVE");
  } else if (auto wave = LinkedDeviceKey(kWave); wave && ofClass(*wave, "MEDIA")) {
    RemoveKey(ParentPath(*wave), {"Enum", 2});
  }
  RemoveExactKey("Enum\\Root\\" + deviceName_);
}

void Run::ProgramRegistry() {
  const Configuration& c = g_.config;
  deviceName_ = c.modemName;
  for (Link link : {kModem, kPort, kRoot, kWave}) CleanLink(link);
  RemoveSoftwareKey("SOFTWARE\\" + c.vendor + "\\" + c.modemName);
  std::vector<std::string> ids = c.pnpIds;
  ids.push_back("QRM0100");
  RemoveEnumeratorKeys(ids);
}

void Run::LibraryRegistry() {
  deviceName_ = "Quillnet";
  for (Link link : {kModem, kPort, kRoot}) CleanLink(link);
  RemoveSoftwareKey("SOFTWARE\\QRMeridian\\Quillnet");
  RemoveEnumeratorKeys({"QRM1001", "QRM1003", "QRM0100"});
}

// ---------------------------------------------------------------- list lines

std::string Run::EditedLine(const ListLine& line, const std::vector<std::string>& entries) const {
  if (!line.fileExists || !line.sectionExists || !line.keyExists) return {};
  std::string value = Upper(line.Value());
  if (value.empty()) return value;
  for (const std::string& entry : entries) {
    if (!entry.empty() && entry.size() <= kLongestPath) value = CutListEntry(value, entry);
  }
  return value;
}

void Run::Lists(const std::vector<std::string>& loadEntries,
                const std::vector<std::string>& driverEntries) {
  // A read-only profile file refuses the write, and nobody notices.
  if (!ReadOnly(g_.WinIni())) e_.loadLine = EditedLine(g_.load, loadEntries);
  if (!ReadOnly(g_.SystemIni())) e_.driversLine = EditedLine(g_.drivers, driverEntries);
}

// ---------------------------------------------------------------- INF files

bool Run::ProgramMatch(const InfSpec& inf) const {
  const std::string deviceClass = inf.Value("version", "Class");
  if (deviceClass.empty()) return false;
  if (SameText(deviceClass, g_.config.modemName)) return true;
  if (!SameText(deviceClass, "Modem") && !SameText(deviceClass, "Ports") && !SameText(deviceClass, "MEDIA")) {
    return false;
  }
  return !inf.Value("Strings", g_.config.modemName + ".DeviceDesc").empty();
}

bool Run::LibraryMatch(const InfSpec& inf) const {
  const std::string deviceClass = inf.Value("version", "Class");
  if (deviceClass.empty()) return false;
  if (SameText(deviceClass, "Quillnet")) return true;
  if (SameText(deviceClass, "Modem")) return !inf.Value("Strings", "Quillnet.DeviceDesc").empty();
  if (!SameText(deviceClass, "Ports")) return false;
  std::string port = inf.Value("Std", "%Quillnet.DeviceDesc%");
  if (port.empty()) port = inf.Value("Std", "%QRMPort.DeviceDesc%");
  return SameText(port, "ComPort,QUILLNET");
}

void Run::DeleteInfNames(const std::string& folder, const std::vector<std::string>& names) {
  for (const std::string& name : names) {
    if (IsPlainName(name)) DeleteFile(folder + "\\" + name);
  }
}

void Run::InfStage(const std::function<bool(const InfSpec&)>& matches) {
  const std::string windows = m_.settings.windowsDirectory;
  const std::string inf = windows + "\\INF";
  const std::string other = inf + "\\Other";
  DeleteInfNames(inf, {std::begin(kPackageInfNames), std::end(kPackageInfNames)});
  const bool windows95 = m_.settings.major == 4 && m_.settings.minor == 0;
  const std::vector<std::string> provider(std::begin(kProviderInfNames), std::end(kProviderInfNames));
  if (who_ == Deliverable::Program) {
    if (windows95 && DirectoryAlive(other) && other.size() <= kLongestPath) DeleteInfNames(other, provider);
  } else if (windows95 && infPaths_[kRoot].find("OEM") != std::string::npos) {
    DeleteInfNames(inf, {infPaths_[kPort], infPaths_[kModem], infPaths_[kRoot]});
  } else {
    DeleteInfNames(other, provider);
  }
  const std::pair<std::string, bool> passes[] = {{inf, true}, {other, false}};
  for (const auto& [folder, oemOnly] : passes) {
    if (folder.size() + (oemOnly ? 9 : 6) > kLongestPath) continue;  // the search pattern must fit
    for (const std::string& path : m_.FilesIn(folder)) {
      if (!MatchesScanPattern(BaseName(path), oemOnly) || !FileAlive(path)) continue;
      auto spec = g_.infs.find(Folded(path));
      if (spec != g_.infs.end() && matches(spec->second)) DeleteFile(path);
    }
  }
}

// ---------------------------------------------------------------- runs

Expectation Run::Program() {
  const Configuration& c = g_.config;
  e_.resultWritten = !ReadOnly(g_.ConfigFile());
  // Each name must be one key: "Microsoft\Windows" as a vendor would make
  // the software key a branch of other programs' keys.
  const bool keyNames = IsKeyName(c.vendor) && IsKeyName(c.modemName) &&
                        std::all_of(c.pnpIds.begin(), c.pnpIds.end(), IsKeyName);
  if (!c.complete || !keyNames) {
    e_.result = 1;
    return e_;
  }
  bool installed = false;
  for (const std::string& id : c.pnpIds) installed = installed || KeyOpens("Enum\\ISAPNP\\" + id);
  if (!installed) {
    e_.result = 2;
    return e_;
  }
  e_.result = 0;
  ProgramFiles();
  ProgramRegistry();
  const std::string& load = c.productFiles.back();
  Lists({m_.settings.systemDirectory + "\\QUILLNET.101\\" + load},
        {"QUILLNET.101\\" + c.modemName + ".drv"});
  InfStage([this](const InfSpec& inf) { return ProgramMatch(inf); });
  return e_;
}

Expectation Run::Library() {
  LibraryFiles();
  LibraryRegistry();
  const std::string system = m_.settings.systemDirectory;
  Lists({system + "\\QUILLNET.101\\QUILLNET.EXE", system + "\\QUILLNET.101\\PRELDR.EXE",
         "QUILLNET.101\\PRELDR.EXE"},
        {"QUILLNET.101\\QUILLNET.DRV"});
  InfStage([this](const InfSpec& inf) { return LibraryMatch(inf); });
  return e_;
}

}  // namespace

const char* Name(Deliverable deliverable) {
  return deliverable == Deliverable::Program ? "mdmclean" : "HVLIB32 Uninstall";
}

std::string CutListEntry(const std::string& line, const std::string& entry) {
  std::string result = Upper(line);
  const std::string wanted = Upper(entry);
  if (wanted.empty()) return result;
  const auto separator = [](char c) { return c == ' ' || c == '\t' || c == ','; };
  for (std::size_t at = result.find(wanted); at != std::string::npos; at = result.find(wanted, at + 1)) {
    const std::size_t end = at + wanted.size();
    if (end < result.size() && !separator(result[end])) continue;
    std::size_t start = at;
    if (at > 0 && !separator(result[at - 1])) {
      if (result[at - 1] != '\\') continue;  // inside another program's entry
      while (start > 0 && !separator(result[start - 1])) --start;  // a full path goes whole
    }
    return result.erase(start, end - start + (end < result.size() ? 1 : 0));
  }
  return result;
}

Expectation Expect(const GeneratedMachine& machine, Deliverable deliverable) {
  Run run(machine, deliverable);
  return deliverable == Deliverable::Program ? run.Program() : run.Library();
}

}  // namespace mdm::safety
