#include "tests/safety/expectation.h"

#include <algorithm>
#include <set>
#include <vector>

namespace mdm::safety {

namespace {

constexpr std::size_t kLongestPath = 259;  // MAX_PATH with its terminator
constexpr const char* kClassRootKey = "System\\CurrentControlSet\\Services\\Class";
constexpr const char* kClassRoot = "System\\CurrentControlSet\\Services\\Class\\";
constexpr const char* kWaveResource =
    "System\\CurrentControlSet\\control\\MediaResources\\wave\\serwvdrv.drv";
constexpr const char* kAudioVxd = "System\\CurrentControlSet\\Services\\VxD\\QNAUDIO";

const char* const kPackageInfNames[] = {"QNPORT.IN~",  "QNPORT.INF",   "QNMODEM.IN~",
                                        "QNMODEM.INF", "QUILLNET.INF", "QUILLNET.IN~",
                                        "QUILNT2.INF", "QUILNT2.IN~"};
const char* const kProviderInfNames[] = {
    "Q.R. Meridian, Inc.QUILLNET.INF", "Q.R. Meridian, Inc.QNPORT.INF",
    "Q.R. Meridian, Inc.QUILNT2.INF",  "Q.R. Meridian, Inc.QNMODEM.INF",
    "Q.R. Meridian, Inc.QUILLNET.IN~", "Q.R. Meridian, Inc.QNPORT.IN~",
    "Q.R. Meridian, Inc.QUILNT2.IN~",  "Q.R. Meridian, Inc.QNMODEM.IN~"};

// Keys that hold other devices and programs; a stage never deletes one,
// whatever shape its removal allows, in whatever letter case it is named.
const char* const kProtectedKeys[] = {"Enum\\Root",
                                      "Enum\\ISAPNP",
                                      "Enum\\Root\\MDMGEN",
                                      "System\\CurrentControlSet",
                                      "System\\CurrentControlSet\\Services",
                                      "System\\CurrentControlSet\\Services\\Class",
                                      "System\\CurrentControlSet\\Services\\Class\\Modem",
                                      "System\\CurrentControlSet\\Services\\Class\\MEDIA",
                                      "System\\CurrentControlSet\\Services\\Class\\Ports",
                                      "System\\CurrentControlSet\\Services\\VxD",
                                      "System\\CurrentControlSet\\control",
                                      "System\\CurrentControlSet\\control\\MediaResources",
                                      "System\\CurrentControlSet\\control\\MediaResources\\wave"};

// What Windows 95 names itself: the device classes below the class root and
// the enumerators below "Enum" (a modem or voice device may not take one of
// these names), and its own keys below "SOFTWARE" (no vendor's name).
const char* const kWindowsDeviceNames[] = {
    "Adapter", "CDROM",         "Display",  "DiskDrive",   "fdc",        "hdc",      "HID",
    "Image",   "Infrared",      "Keyboard", "MEDIA",       "Modem",      "Monitor",  "Mouse",
    "MTD",     "MultiFunction", "Net",      "NetClient",   "NetService", "NetTrans", "Nodriver",
    "PCMCIA",  "Ports",         "Printer",  "SCSIAdapter", "System",     "Unknown",  "USB",
    "Root",    "BIOS",          "ISAPNP",   "PCI",         "EISA",       "ESDI",     "FLOP",
    "SCSI",    "HTREE",         "LPTENUM",  "SERENUM",     "MF",         "Network",  "MODEMWAVE",
    "VPOWERD"};
const char* const kWindowsSoftwareKeys[] = {"Microsoft", "Classes",        "Clients", "Description",
                                            "Secure",    "Program Groups", "Policies"};

// The product's folder below the system directory, and its fixed ISA
// Plug-and-Play ID.
constexpr const char* kProductFolder = "QUILLNET.101";
constexpr const char* kFallbackPnpId = "QRM0100";
constexpr const char* kWaveEnumerator = "Enum\\MODEMWAVE";
constexpr const char* kWaveInstance = "ROOT&MODEM&0000";

bool SameText(const std::string& a, const std::string& b) { return Folded(a) == Folded(b); }

template <typename Names>
bool OneOf(const std::string& text, const Names& names) {
  for (const auto& name : names) {
    if (SameText(text, name)) return true;
  }
  return false;
}

bool StartsWithFolded(const std::string& text, const std::string& prefix) {
  return Folded(text).compare(0, prefix.size(), Folded(prefix)) == 0 &&
         text.size() >= prefix.size();
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
  if (!parts || !fixed || parts->size() != fixed->size() + static_cast<std::size_t>(shape.free))
    return false;
  for (std::size_t i = 0; i < fixed->size(); ++i) {
    if (!SameText((*parts)[i], (*fixed)[i])) return false;
  }
  return true;
}

bool IsProtected(const std::string& path) { return OneOf(path, kProtectedKeys); }

// One registry key name: a configured name or a recorded COM port.
bool IsKeyName(const std::string& name) {
  return !name.empty() && name.find('\\') == std::string::npos;
}

// A name that stays inside its folder and names one file, no wildcard.
bool IsPlainName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of("\\/:*?\"<>|") == std::string::npos;
}

bool IsListSeparator(char c) { return c == ' ' || c == '\t' || c == ','; }

// The value a profile read returns for the text after "=": blanks around it
// dropped, then one pair of quotes around the whole of it.
std::string ProfileRead(const std::string& fileText) {
  const std::size_t first = fileText.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  std::string value = fileText.substr(first, fileText.find_last_not_of(" \t") - first + 1);
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return value;
}

// Each entry of the line stands in quotes whole, or holds no quote.
bool EntriesQuotedWhole(const std::string& line) {
  for (const std::string& entry : ListEntries(line)) {
    const std::size_t quotes =
        static_cast<std::size_t>(std::count(entry.begin(), entry.end(), '"'));
    if (quotes == 0) continue;
    if (quotes != 2 || entry.size() < 2 || entry.front() != '"' || entry.back() != '"')
      return false;
  }
  return true;
}

// A list line as the stage edits it: a read that took the quotes off the
// first and the last entry gets them back.
std::string LineAsInTheFile(const std::string& read) {
  if (read.find('"') == std::string::npos || EntriesQuotedWhole(read)) return read;
  const std::string quoted = "\"" + read + "\"";
  return EntriesQuotedWhole(quoted) ? quoted : read;
}

enum Link { kModem, kPort, kWave, kRoot };
const char* const kLinkValues[] = {"ConnectedToModem", "ConnectedToPort", "ConnectedToWave"};
const char* const kLinkClasses[] = {"Modem", "Ports", "MEDIA"};

// What a key deletion checks beyond its shape and the protected roots.
enum class Marks { None, ClassKey, DeviceInstance, WaveDevice };

// Where a file named in a class key's "InfPath" is, and whose it is.
enum class InfOwner { Absent, Package, Other };

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
  std::vector<std::string> LiveSubkeys(const std::string& path) const {
    std::vector<std::string> names;
    if (!KeyOpens(path)) return names;
    for (const std::string& name : m_.SubkeyNames(path)) {
      if (KeyAlive(path + "\\" + name)) names.push_back(name);
    }
    return names;
  }
  bool FileAlive(const std::string& path) const {
    return m_.File(path) != nullptr && e_.deletedFiles.count(Folded(path)) == 0;
  }
  // True when the file went; one that is there and stays counts as remaining.
  bool DeleteFile(const std::string& path, char kind = 'F') {
    if (path.size() > kLongestPath) return false;
    if (DirectoryAlive(path)) {  // a folder refuses to go as a file
      Stayed(kind, path);
      return false;
    }
    if (!FileAlive(path)) return false;
    const ModelFile& file = *m_.File(path);
    const bool held =
        !m_.settings.deletesOpenFiles && (file.inUse || (file.heldByNvram && !nvramReleased_));
    if (file.readOnly || held) {
      Stayed(kind, path);
      return false;
    }
    e_.deletedFiles.insert(Folded(path));
    return true;
  }
  // One of the package's things that stayed, counted once whatever the case
  // of its name and however often it was tried: 'F' file, 'D' folder, 'I'
  // INF file, 'L' list entry.
  void Stayed(char kind, const std::string& what) { stayed_.insert(kind + Folded(what)); }
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
  void DeleteProductFile(const std::string& name);
  void Purge(const std::string& directory);
  void ProgramFiles();
  void LibraryFiles();

  // ---- whose a key is
  bool NamesThePackage(const std::string& infSection, const std::string& driverDesc) const;
  InfOwner WhoseInf(const std::string& name) const;
  bool IsPackageInfFile(const std::string& folder, bool otherFolder, const std::string& name) const;
  bool IsClassKeyOfAnother(const std::string& classKey) const;
  bool IsDeviceOfAnother(const std::string& device) const;
  bool MayGo(const std::string& path, const Shape& shape, Marks marks) const;
  // Open, close, delete: only a key that may go and opens.
  void RemoveKey(const std::string& path, const Shape& shape, Marks marks = Marks::None) {
    if (MayGo(path, shape, marks) && KeyOpens(path)) e_.deletedKeys.insert(Folded(path));
  }
  void RemoveExactKey(const std::string& path) { RemoveKey(path, {path, 0}); }

  // ---- registry
  std::string InstanceKey() const { return "Enum\\Root\\" + deviceName_ + "\\0000"; }
  std::optional<std::string> LinkedDevice(Link link) const;
  bool IsTrustedDevice(Link link, const std::string& device) const;
  Shape ClassShape(Link link) const;
  bool ClassKeyMayGo(Link link, const std::string& classKey) const {
    return MayGo(classKey, ClassShape(link), link == kRoot ? Marks::None : Marks::ClassKey);
  }
  bool DriverIsOfClass(const std::string& device, const std::string& className) const;
  std::optional<std::string> SearchClass(const std::string& className,
                                         const std::string& infSection) const;
  std::optional<std::string> LinkedClassKey(Link link) const;
  void CleanLink(Link link);
  void RemoveSoftwareKey(const std::string& softwareKey);
  void RemoveFirstPresent(const std::vector<std::string>& ids);
  std::string PackageWaveDevice() const;
  bool WaveEnumeratorHoldsOnly(const std::string& device) const;
  void RemoveWaveDevice();
  void RemoveEnumeratorKeys(const std::vector<std::string>& ids);
  void ProgramRegistry();
  void LibraryRegistry();

  std::optional<std::string> EditedLine(const ListLine& line,
                                        const std::vector<std::string>& entries,
                                        std::vector<std::string>& cut) const;
  void Lists(const std::vector<std::string>& loadEntries,
             const std::vector<std::string>& driverEntries);

  void InfStage();
  void DeleteInfNames(const std::string& folder, const std::vector<std::string>& names);
  bool Matches(const InfSpec& inf) const {
    return who_ == Deliverable::Program ? ProgramMatch(inf) : LibraryMatch(inf);
  }
  bool ProgramMatch(const InfSpec& inf) const;
  bool LibraryMatch(const InfSpec& inf) const;

  const GeneratedMachine& g_;
  const MachineModel& m_;
  Deliverable who_;
  Expectation e_;
  bool nvramReleased_ = false;
  std::string deviceName_;  // the root device "Enum\Root\<name>" and its own class
  // What tells the package's keys from others': its names (a class key's
  // "InfSection" or "DriverDesc") and its ISA Plug-and-Play IDs.
  std::vector<std::string> packageNames_;
  std::vector<std::string> pnpIds_;
  std::string infPaths_[4];   // the library's recorded "InfPath" values, by link
  std::string waveClassKey_;  // the wave class key mdmclean's wave link found
  std::vector<std::string> deletedProductFiles_;  // names, in the order they went
  mutable int keptForAnothersMark_ = 0;
  std::set<std::string> stayed_;  // see Stayed()
};

// ---------------------------------------------------------------- files

// A file of the product folder by its configured or stored name; mdmclean
// takes the list entries of each one that went.
void Run::DeleteProductFile(const std::string& name) {
  const std::string path = m_.settings.systemDirectory + "\\" + kProductFolder + "\\" + name;
  if (DeleteFile(path)) deletedProductFiles_.push_back(name);
}

void Run::Purge(const std::string& directory) {
  if (directory.size() + 4 <= kLongestPath) {  // "\*.*" must fit
    // The search returns the names in folded order, as FilesIn lists them.
    for (const std::string& file : m_.FilesIn(directory)) {
      if (BaseName(file).size() + directory.size() + 1 > kLongestPath) continue;
      if (DeleteFile(file) &&
          SameText(ParentPath(file), m_.settings.systemDirectory + "\\" + kProductFolder)) {
        deletedProductFiles_.push_back(BaseName(file));
      }
    }
    // The purge never descends: it tries a folder inside as a file.
    for (const std::string& folder : m_.DirectoriesIn(directory)) {
      if (BaseName(folder).size() + directory.size() + 1 <= kLongestPath) DeleteFile(folder);
    }
  }
  if (!DirectoryAlive(directory) || directory.size() > kLongestPath) return;
  bool empty = m_.DirectoriesIn(directory).empty();
  for (const std::string& file : m_.FilesIn(directory)) empty = empty && !FileAlive(file);
  if (!empty) {
    Stayed('D', directory);
    return;
  }
  e_.removedDirectories.insert(Folded(directory));
}

void Run::ProgramFiles() {
  NotifyNvram();
  const std::string system = m_.settings.systemDirectory;
  for (const std::string& name : g_.config.systemFiles) DeleteFile(system + "\\" + name);
  for (const std::string& name : g_.config.productFiles) DeleteProductFile(name);
  Purge(system + "\\" + kProductFolder);
}

void Run::LibraryFiles() {
  NotifyNvram();
  const std::string system = m_.settings.systemDirectory;
  for (const char* name : {"QUILLNET.CPL", "quillnet.vxd"}) DeleteFile(system + "\\" + name);
  for (const char* name : {"QUILLNET.EXE", "QUILLNET.DRV"}) DeleteProductFile(name);
  Purge(system + "\\" + kProductFolder);
}

// ---------------------------------------------------------------- whose a key is

// A class key's "InfSection" equal to one of the package's names, or its
// "DriverDesc" equal to one or made of one, a blank and more.
bool Run::NamesThePackage(const std::string& infSection, const std::string& driverDesc) const {
  for (const std::string& name : packageNames_) {
    if (name.empty()) continue;
    if (SameText(infSection, name) || SameText(driverDesc, name)) return true;
    if (driverDesc.size() > name.size() && driverDesc[name.size()] == ' ' &&
        SameText(driverDesc.substr(0, name.size()), name)) {
      return true;
    }
  }
  return false;
}

// The INF files of the package in a folder of INF files: its own names there,
// or a name the INF scan examines whose content the deliverable's rule claims.
bool Run::IsPackageInfFile(const std::string& folder, bool otherFolder,
                           const std::string& name) const {
  if (!IsPlainName(name)) return false;
  if (otherFolder ? OneOf(name, kProviderInfNames) : OneOf(name, kPackageInfNames)) return true;
  if (!MatchesScanPattern(name, !otherFolder)) return false;
  const std::string path = folder + "\\" + name;
  if (path.size() > kLongestPath || !FileAlive(path)) return false;
  const auto spec = g_.infs.find(Folded(path));
  return spec != g_.infs.end() && Matches(spec->second);
}

// The file an "InfPath" names, looked for in "INF" and then in "INF\Other".
InfOwner Run::WhoseInf(const std::string& name) const {
  if (!IsPlainName(name)) return InfOwner::Absent;
  const std::string inf = m_.settings.windowsDirectory + "\\INF";
  for (const std::string& folder : {inf, inf + "\\Other"}) {
    const std::string path = folder + "\\" + name;
    if (path.size() > kLongestPath || !FileAlive(path)) continue;
    return IsPackageInfFile(folder, folder != inf, name) ? InfOwner::Package : InfOwner::Other;
  }
  return InfOwner::Absent;
}

// Another device's class key: it says whose it is ("InfSection" or
// "DriverDesc"), that is not the package, and it was installed from an INF
// file that is there and is not the package's.
bool Run::IsClassKeyOfAnother(const std::string& classKey) const {
  const auto infPath = Read(classKey, "InfPath");
  if (!infPath || infPath->empty()) return false;
  const std::string section = Read(classKey, "InfSection").value_or("");
  const std::string description = Read(classKey, "DriverDesc").value_or("");
  if (section.empty() && description.empty()) return false;
  if (NamesThePackage(section, description)) return false;
  if (m_.settings.windowsDirectory.size() > kLongestPath)
    return false;  // no Windows directory to look in
  return WhoseInf(*infPath) == InfOwner::Other;
}

// Another device's instance: a card below "Enum\ISAPNP" whose ID is not one
// of the package's, or any device whose "Driver" is another device's class key.
bool Run::IsDeviceOfAnother(const std::string& device) const {
  if (HasShape(device, {"Enum\\ISAPNP", 2}) && !OneOf((*Components(device))[2], pnpIds_))
    return true;
  const auto driver = Read(device, "Driver");
  if (!driver) return false;
  const std::string classKey = kClassRoot + *driver;
  return HasShape(classKey, {kClassRootKey, 2}) && IsClassKeyOfAnother(classKey);
}

bool Run::MayGo(const std::string& path, const Shape& shape, Marks marks) const {
  if (!HasShape(path, shape) || IsProtected(path)) return false;
  bool anothers = false;
  switch (marks) {
    case Marks::None: break;
    case Marks::ClassKey: anothers = IsClassKeyOfAnother(path); break;
    case Marks::DeviceInstance: anothers = IsDeviceOfAnother(path); break;
    case Marks::WaveDevice: anothers = IsDeviceOfAnother(path + "\\" + kWaveInstance); break;
  }
  keptForAnothersMark_ += anothers ? 1 : 0;
  return !anothers;
}

// ---------------------------------------------------------------- registry

// The device instance a link names; a missing or empty value names none.
std::optional<std::string> Run::LinkedDevice(Link link) const {
  if (link == kRoot) return InstanceKey();
  auto value = Read(InstanceKey(), kLinkValues[link]);
  if (!value || value->empty()) return std::nullopt;
  return link == kWave ? *value + "\\" + kWaveInstance : *value;
}

// A device the link may lead to: where devices of its kind lie, and not
// another device's. The root device's own instance is the package's.
bool Run::IsTrustedDevice(Link link, const std::string& device) const {
  const Shape shapes[] = {{"Enum", 3}, {"Enum\\ISAPNP", 2}, {kWaveEnumerator, 2}};
  if (link == kRoot) return true;
  if (!HasShape(device, shapes[link])) return false;
  const bool anothers = IsDeviceOfAnother(device);
  keptForAnothersMark_ += anothers ? 1 : 0;
  return !anothers;
}

// An instance of the link's class; for the root link of the device's own class.
Shape Run::ClassShape(Link link) const {
  return {kClassRoot + (link == kRoot ? deviceName_ : std::string(kLinkClasses[link])), 1};
}

bool Run::DriverIsOfClass(const std::string& device, const std::string& className) const {
  const auto driver = Read(device, "Driver");
  return driver && HasShape(kClassRoot + *driver, {kClassRoot + className, 1});
}

// The class search by "InfSection" (mdmclean's modem and wave links): exact
// text, in enumeration order, ended by the first subkey that will not open.
std::optional<std::string> Run::SearchClass(const std::string& className,
                                            const std::string& infSection) const {
  if (infSection.empty()) return std::nullopt;  // would match every empty "InfSection"
  const std::string root = kClassRoot + className;
  for (const std::string& sub : LiveSubkeys(root)) {
    const std::string key = root + "\\" + sub;
    if (!KeyOpens(key)) return std::nullopt;
    if (Read(key, "InfSection") == infSection) return key;
  }
  return std::nullopt;
}

// The class key a link leads to, when it may go: the trusted device's
// "Driver", or else (a link that is missing, refused, or leads to a key that
// may not go) mdmclean's search for its modem or voice. A trusted device
// without a readable "Driver" leads nowhere.
std::optional<std::string> Run::LinkedClassKey(Link link) const {
  if (const auto device = LinkedDevice(link); device && IsTrustedDevice(link, *device)) {
    const auto driver = Read(*device, "Driver");
    if (!driver) return std::nullopt;
    if (ClassKeyMayGo(link, kClassRoot + *driver)) return kClassRoot + *driver;
  }
  if (who_ == Deliverable::Library || (link != kModem && link != kWave)) return std::nullopt;
  const auto found =
      SearchClass(kLinkClasses[link], link == kModem ? g_.config.modemName : g_.config.voiceName);
  if (found && ClassKeyMayGo(link, *found)) return found;
  return std::nullopt;
}

void Run::CleanLink(Link link) {
  const auto classKey = LinkedClassKey(link);
  if (!classKey) return;
  if (who_ == Deliverable::Library) infPaths_[link] = Read(*classKey, "InfPath").value_or("");
  if (link == kWave) {
    waveClassKey_ = *classKey;
    RemoveExactKey(std::string(kWaveResource) + "<" + BaseName(*classKey) + ">");
    RemoveExactKey(kAudioVxd);
  }
  if (link == kRoot) {
    // The package's own device class goes whole.
    RemoveKey(ParentPath(*classKey), {kClassRoot + deviceName_, 0});
  } else if (KeyOpens(*classKey)) {
    e_.deletedKeys.insert(Folded(*classKey));
  }
}

void Run::RemoveSoftwareKey(const std::string& softwareKey) {
  const std::string comPortKey = softwareKey + "\\1.0\\ComPort";
  if (KeyOpens(comPortKey)) {
    const auto port = Read(comPortKey, "");
    if (port && IsKeyName(*port)) {
      RemoveKey("Enum\\Root\\MDMGEN\\" + *port, {"Enum\\Root\\MDMGEN", 1}, Marks::DeviceInstance);
    }
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

// The package's own voice device below "Enum\MODEMWAVE": the one the wave link
// names when its instance's "Driver" is a MEDIA instance and it is no other
// device's; else the first one whose instance's "Driver" is the class key
// mdmclean's wave link found; else the linked one, which the guard refuses.
std::string Run::PackageWaveDevice() const {
  const auto instance = LinkedDevice(kWave);
  const bool linked =
      instance && HasShape(*instance, {kWaveEnumerator, 2}) && DriverIsOfClass(*instance, "MEDIA");
  if (linked && !IsDeviceOfAnother(*instance)) return ParentPath(*instance);
  if (!waveClassKey_.empty()) {
    for (const std::string& name : LiveSubkeys(kWaveEnumerator)) {
      const std::string device = std::string(kWaveEnumerator) + "\\" + name;
      const auto driver = Read(device + "\\" + kWaveInstance, "Driver");
      if (driver && SameText(kClassRoot + *driver, waveClassKey_)) return device;
    }
  }
  return linked ? ParentPath(*instance) : std::string();
}

bool Run::WaveEnumeratorHoldsOnly(const std::string& device) const {
  if (!KeyOpens(kWaveEnumerator)) return false;
  const std::vector<std::string> children = LiveSubkeys(kWaveEnumerator);
  return children.empty() || (children.size() == 1 && !device.empty() &&
                              SameText(std::string(kWaveEnumerator) + "\\" + children[0], device));
}

// mdmclean takes "Enum\MODEMWAVE" when nothing else is in it, or only the
// package's voice device unmarked by another; otherwise each deliverable takes
// only the package's voice device, unless it is another's.
void Run::RemoveWaveDevice() {
  const std::string device = PackageWaveDevice();
  if (who_ == Deliverable::Program && WaveEnumeratorHoldsOnly(device) &&
      (device.empty() || !IsDeviceOfAnother(device + "\\" + kWaveInstance))) {
    RemoveExactKey(kWaveEnumerator);
  } else if (!device.empty()) {
    RemoveKey(device, {kWaveEnumerator, 1}, Marks::WaveDevice);
  }
}

// The ISAPNP device, the linked modem device, the wave device, and last the
// root device, whose instance the steps before read.
void Run::RemoveEnumeratorKeys(const std::vector<std::string>& ids) {
  RemoveFirstPresent(ids);
  // A linked device goes only when its own "Driver" says it is a modem.
  if (const auto modem = LinkedDevice(kModem); modem && DriverIsOfClass(*modem, "Modem")) {
    RemoveKey(*modem, {"Enum", 3}, Marks::DeviceInstance);
  }
  RemoveWaveDevice();
  RemoveExactKey("Enum\\Root\\" + deviceName_);
}

void Run::ProgramRegistry() {
  const Configuration& c = g_.config;
  deviceName_ = c.modemName;
  packageNames_ = {c.modemName, c.voiceName};
  pnpIds_ = c.pnpIds;
  pnpIds_.push_back(kFallbackPnpId);
  for (Link link : {kModem, kPort, kRoot, kWave}) CleanLink(link);
  RemoveSoftwareKey("SOFTWARE\\" + c.vendor + "\\" + c.modemName);
  RemoveEnumeratorKeys(pnpIds_);
}

void Run::LibraryRegistry() {
  deviceName_ = "Quillnet";
  packageNames_ = {"Quillnet"};
  pnpIds_ = {"QRM1001", "QRM1003", kFallbackPnpId};
  for (Link link : {kModem, kPort, kRoot}) CleanLink(link);
  RemoveSoftwareKey("SOFTWARE\\QRMeridian\\Quillnet");
  RemoveEnumeratorKeys(pnpIds_);
}

// ---------------------------------------------------------------- list lines

// What a line is written back with; nothing when it is not written: a line
// that held something from which nothing was cut stays as it is.
// `cut` gets each entry that took something out of the line.
std::optional<std::string> Run::EditedLine(const ListLine& line,
                                           const std::vector<std::string>& entries,
                                           std::vector<std::string>& cut) const {
  if (!line.fileExists || !line.sectionExists || !line.keyExists) return std::string();
  const std::string text = LineAsInTheFile(ProfileRead(line.fileText));
  if (text.empty()) return text;
  std::string edited = text;
  for (const std::string& entry : entries) {
    if (entry.empty() || entry.size() > kLongestPath) continue;
    const std::string before = edited;
    edited = CutListEntry(edited, entry);
    if (edited != before) cut.push_back(entry);
  }
  if (edited == text) return std::nullopt;
  return edited;
}

void Run::Lists(const std::vector<std::string>& loadEntries,
                const std::vector<std::string>& driverEntries) {
  const std::pair<const ListLine*, std::string> lines[] = {{&g_.load, g_.WinIni()},
                                                           {&g_.drivers, g_.SystemIni()}};
  for (const auto& [line, file] : lines) {
    std::vector<std::string> cut;
    const auto edited = EditedLine(*line, line == &g_.load ? loadEntries : driverEntries, cut);
    // A read-only profile file refuses the write: what was cut stays.
    if (ReadOnly(file)) {
      for (const std::string& entry : cut) Stayed('L', file + ": " + entry);
    } else {
      (line == &g_.load ? e_.loadLine : e_.driversLine) = edited;
    }
  }
}

// ---------------------------------------------------------------- INF files

bool Run::ProgramMatch(const InfSpec& inf) const {
  const std::string deviceClass = inf.Value("version", "Class");
  if (deviceClass.empty()) return false;
  if (SameText(deviceClass, g_.config.modemName)) return true;
  if (!SameText(deviceClass, "Modem") && !SameText(deviceClass, "Ports") &&
      !SameText(deviceClass, "MEDIA")) {
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
    if (IsPlainName(name)) DeleteFile(folder + "\\" + name, 'I');
  }
}

void Run::InfStage() {
  const std::string windows = m_.settings.windowsDirectory;
  const std::string inf = windows + "\\INF";
  const std::string other = inf + "\\Other";
  DeleteInfNames(inf, {std::begin(kPackageInfNames), std::end(kPackageInfNames)});
  const bool windows95 = m_.settings.major == 4 && m_.settings.minor == 0;
  const std::vector<std::string> provider(std::begin(kProviderInfNames),
                                          std::end(kProviderInfNames));
  if (who_ == Deliverable::Program) {
    if (windows95 && DirectoryAlive(other) && other.size() <= kLongestPath)
      DeleteInfNames(other, provider);
  } else if (windows95 && infPaths_[kRoot].find("OEM") != std::string::npos) {
    // The names the class keys recorded, each only when it is the package's
    // by the INF rules: a class key may name one of Windows' own files.
    for (const std::string& name : {infPaths_[kPort], infPaths_[kModem], infPaths_[kRoot]}) {
      if (IsPackageInfFile(inf, false, name)) DeleteInfNames(inf, {name});
    }
  } else {
    DeleteInfNames(other, provider);
  }
  const std::pair<std::string, bool> passes[] = {{inf, true}, {other, false}};
  for (const auto& [folder, oemOnly] : passes) {
    if (folder.size() + (oemOnly ? 9 : 6) > kLongestPath) continue;  // the search pattern must fit
    for (const std::string& path : m_.FilesIn(folder)) {
      if (!MatchesScanPattern(BaseName(path), oemOnly) || !FileAlive(path)) continue;
      auto spec = g_.infs.find(Folded(path));
      if (spec != g_.infs.end() && Matches(spec->second)) DeleteFile(path, 'I');
    }
  }
}

// ---------------------------------------------------------------- runs

Expectation Run::Program() {
  const Configuration& c = g_.config;
  e_.resultWritten = !ReadOnly(g_.ConfigFile());
  // Each name must be one key: "Microsoft\Windows" as a vendor would make
  // the software key a branch of other programs' keys. No name may be one
  // that Windows keeps for itself: a modem named "Net" would own
  // "Enum\Root\Net" and the class "Net".
  const bool keyNames = IsKeyName(c.vendor) && IsKeyName(c.modemName) &&
                        std::all_of(c.pnpIds.begin(), c.pnpIds.end(), IsKeyName);
  const bool windowsNames = OneOf(c.modemName, kWindowsDeviceNames) ||
                            OneOf(c.voiceName, kWindowsDeviceNames) ||
                            OneOf(c.vendor, kWindowsSoftwareKeys);
  if (!c.complete || !keyNames || windowsNames) {
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
  // The start-up program, then each file that went from the product folder,
  // by its full path and relative to the system directory.
  const std::string folder = m_.settings.systemDirectory + "\\" + kProductFolder + "\\";
  std::vector<std::string> load = {folder + c.productFiles.back()};
  for (const std::string& name : deletedProductFiles_) {
    load.push_back(folder + name);
    load.push_back(std::string(kProductFolder) + "\\" + name);
  }
  Lists(load, {std::string(kProductFolder) + "\\" + c.modemName + ".drv"});
  InfStage();
  e_.keptForAnothersMark = keptForAnothersMark_;
  e_.remaining = static_cast<int>(stayed_.size());
  return e_;
}

Expectation Run::Library() {
  LibraryFiles();
  LibraryRegistry();
  const std::string folder = m_.settings.systemDirectory + "\\" + kProductFolder + "\\";
  Lists({folder + "QUILLNET.EXE", folder + "PRELDR.EXE",
         std::string(kProductFolder) + "\\PRELDR.EXE"},
        {std::string(kProductFolder) + "\\QUILLNET.DRV"});
  InfStage();
  e_.keptForAnothersMark = keptForAnothersMark_;
  e_.remaining = static_cast<int>(stayed_.size());
  return e_;
}

}  // namespace

const char* Name(Deliverable deliverable) {
  return deliverable == Deliverable::Program ? "mdmclean" : "HVLIB32 Uninstall";
}

std::vector<std::string> ListEntries(const std::string& line) {
  std::vector<std::string> entries;
  std::size_t at = 0;
  while (at < line.size()) {
    if (IsListSeparator(line[at])) {
      ++at;
      continue;
    }
    std::size_t end = at;
    if (line[at] == '"') {
      const std::size_t close = line.find('"', at + 1);
      end = close == std::string::npos ? line.size() : close + 1;
    }
    while (end < line.size() && !IsListSeparator(line[end]))
      ++end;  // text glued to it belongs to it
    entries.push_back(line.substr(at, end - at));
    at = end;
  }
  return entries;
}

std::string CutListEntry(const std::string& line, const std::string& entry) {
  std::string result = line;
  if (entry.empty()) return result;
  std::size_t at = 0;
  while (at < result.size()) {
    if (IsListSeparator(result[at])) {
      ++at;
      continue;
    }
    // One entry of the line: [at, end), its name what stands between its quotes.
    const std::string whole = ListEntries(result.substr(at)).front();
    const std::size_t end = at + whole.size();
    const bool quoted = whole.size() >= 2 && whole.front() == '"' && whole.back() == '"' &&
                        std::count(whole.begin(), whole.end(), '"') == 2;
    const std::string name = quoted ? whole.substr(1, whole.size() - 2) : whole;
    const bool unquotedName = quoted || name.find('"') == std::string::npos;
    const bool stands = SameText(name, entry) || (name.size() > entry.size() &&
                                                  name[name.size() - entry.size() - 1] == '\\' &&
                                                  EndsWithFolded(name, entry));
    if (unquotedName && stands) {
      result.erase(at, end - at + (end < result.size() ? 1 : 0));  // with the separator after it
    } else {
      at = end;
    }
  }
  return result;
}

Expectation Expect(const GeneratedMachine& machine, Deliverable deliverable) {
  Run run(machine, deliverable);
  return deliverable == Deliverable::Program ? run.Program() : run.Library();
}

}  // namespace mdm::safety
