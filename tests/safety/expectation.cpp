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
// Files a Windows 95 or 98 installation puts into its Windows or system folder.
const char* const kWindowsFiles[] = {
    "UNIMODEM.VXD", "SERIAL.VXD", "VCOMM.VXD",    "KERNEL32.DLL", "USER32.DLL", "GDI32.DLL",
    "ADVAPI32.DLL", "VMM32.VXD",  "TAPI32.DLL",   "MMSYSTEM.DLL", "WIN.INI",    "SYSTEM.INI",
    "COMCTL32.DLL", "MSACM.DRV",  "SERWVDRV.DRV", "SERWAVE.VXD",  "TASKMON.EXE"};
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

// A key or value name REGEDIT4 text cannot carry: one with a control character.
bool HasControlCharacter(const std::string& name) {
  return std::any_of(name.begin(), name.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x20; });
}

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

// Why something of the package stays: the residues the rules keep on purpose.
constexpr const char* kUnreadable = "a key whose marks or values cannot be read";
constexpr const char* kTakenForAnothers =
    "a key of the package that looks like another's: an INF file no rule claims, no section of "
    "the package";
constexpr const char* kForeignCard = "a card under an ID the deliverable does not know";
constexpr const char* kUnreached = "no record or search of the package leads to it";
constexpr const char* kLongPath = "a path longer than a Windows call can name";

// What a key deletion checks beyond its shape and the protected roots.
enum class Marks { None, ClassKey, DeviceInstance, WaveDevice };

// Where a file named in a class key's "InfPath" is, and whose it is.
enum class InfOwner { Absent, Package, Other };

// What a record (a link value, a "Driver", the recorded COM port) tells: a
// name, nothing, or unknown when its key is there and does not open.
enum class Record { Names, Nothing, Unknown };
// Another device's mark on a key, or that what would tell cannot be read.
enum class Mark { None, Anothers, Unknown };
// The guard's word on a key.
enum class Verdict { Goes, Refused, Unknown };
// What became of a key the run went for. Stayed: it is the package's and is
// still there, and counts as remaining.
enum class Removal { Absent, Deleted, Stayed, Refused };

// One deliverable's run over the generator's record of the machine.
class Run {
 public:
  Run(const GeneratedMachine& g, Deliverable deliverable) : g_(g), m_(g.model), who_(deliverable) {}

  Expectation Program();
  Expectation Library();

 private:
  // ---- state of the machine as the run changes it
  // The key is there: it opens, or its open fails for a reason other than
  // its absence. A leading backslash names no key.
  bool KeyAlive(const std::string& path) const {
    const ModelKey* key = path.empty() || path[0] == '\\' ? nullptr : m_.Key(path);
    if (key == nullptr) return false;
    const std::string folded = Folded(key->path);
    for (const std::string& gone : e_.deletedKeys) {
      if (folded == gone || folded.compare(0, gone.size() + 1, gone + "\\") == 0) return false;
    }
    return true;
  }
  bool KeyOpens(const std::string& path) const { return KeyAlive(path) && !m_.Key(path)->denyOpen; }
  // There, but every open of it fails: what it holds is unknown.
  bool KeyDenied(const std::string& path) const { return KeyAlive(path) && m_.Key(path)->denyOpen; }
  std::optional<std::string> Read(const std::string& path, const std::string& name) const {
    return KeyAlive(path) ? m_.ReadStageString(path, name) : std::nullopt;
  }
  // A value a stage follows: what it says, nothing, or unknown when its key
  // is there and does not open.
  Record ReadRecord(const std::string& path, const std::string& name, std::string& value) const {
    if (KeyDenied(path)) return Record::Unknown;
    const auto read = Read(path, name);
    if (!read) return Record::Nothing;
    value = *read;
    return Record::Names;
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
  // The INF stage passes over a file that a class key which stays names.
  bool DeleteFile(const std::string& path, char kind = 'F') {
    if (path.size() > kLongestPath) {
      Residue(path, kLongPath);
      return false;
    }
    if (kind == 'I' && NamedByAClassKey(BaseName(path))) {
      if (FileAlive(path)) Residue(path, NamedByAClassKey(BaseName(path)));
      return false;
    }
    if (dry_ && (DirectoryAlive(path) || FileAlive(path))) wouldChange_ = true;
    if (DirectoryAlive(path)) {  // a folder refuses to go as a file
      Stayed(kind, path, "a folder holds a file's name");
      return false;
    }
    if (!FileAlive(path)) return false;
    const ModelFile& file = *m_.File(path);
    const bool held =
        !m_.settings.deletesOpenFiles && (file.inUse || (file.heldByNvram && !nvramReleased_));
    if (file.readOnly || held) {
      Stayed(kind, path, file.readOnly ? "a read-only file" : "a file in use that Windows keeps");
      return false;
    }
    e_.deletedFiles.insert(Folded(path));
    return true;
  }
  // One of the package's things that stayed, counted once whatever the case
  // of its name and however often it was tried: 'F' file, 'D' folder, 'I'
  // INF file, 'L' list entry, 'K' key; and why.
  void Stayed(char kind, const std::string& what, const char* why) {
    stayed_.insert(kind + Folded(what));
    Residue(what, why);
  }
  // Why something of the package stays; the first reason given counts.
  void Residue(const std::string& what, const char* why) const {
    e_.residues.insert({Folded(what), why});
  }
  // A card below "Enum\ISAPNP" under an ID that is not one of the package's.
  bool ForeignCard(const std::string& path) const {
    const auto parts = Components(path);
    return parts && parts->size() >= 3 && SameText((*parts)[0], "Enum") &&
           SameText((*parts)[1], "ISAPNP") && !OneOf((*parts)[2], pnpIds_);
  }
  std::string OtherInfDir() const { return m_.settings.windowsDirectory + "\\INF\\Other"; }
  // Why the INF stage keeps a file of this name; null when no class key that
  // stays names it.
  const char* NamedByAClassKey(const std::string& name) const {
    const auto named = namedInfs_.find(Folded(name));
    return named == namedInfs_.end() ? nullptr : named->second;
  }
  const char* Unreached(const std::string& path, bool key) const;
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
  InfOwner WhoseInf(const std::string& name) const;
  bool IsPackageInfFile(const std::string& folder, bool otherFolder, const std::string& name) const;
  Mark ClassKeyMark(const std::string& classKey) const;
  Mark DeviceMark(const std::string& device) const;
  Verdict Check(const std::string& path, const Shape& shape, Marks marks) const;

  // ---- key removal
  // Every key the run goes for: the guard first. A key it refuses stays
  // untouched and holds nothing; one whose marks cannot be read stays.
  Removal Remove(const std::string& path, const Shape& shape, Marks marks = Marks::None) {
    switch (Check(path, shape, marks)) {
      case Verdict::Refused: return Removal::Refused;
      case Verdict::Unknown: return KeyStays(path, kUnreadable);
      case Verdict::Goes: break;
    }
    return Delete(path);
  }
  Removal RemoveExactKey(const std::string& path) { return Remove(path, {path, 0}); }
  // A key the guard let go stays while a record at or below it is held, when
  // it does not open, or when its undo cannot be kept; else it goes whole.
  Removal Delete(const std::string& path) {
    if (Held(path)) return KeyStays(path, "a record stays with what it leads to, which stays");
    if (!KeyAlive(path)) return Removal::Absent;
    if (!KeyOpens(path)) return KeyStays(path, kUnreadable);
    if (dry_) wouldChange_ = true;
    if (!dry_ && (!undoSlot_ || !UndoReadable(path)))
      return KeyStays(path, "a key whose undo cannot be kept");
    e_.deletedKeys.insert(Folded(path));
    return Removal::Deleted;
  }
  Removal KeyStays(const std::string& path, const char* why) {
    Stayed('K', path, why);
    return Removal::Stayed;
  }
  bool UndoReadable(const std::string& path) const;
  bool UndoSlotUsable() const;
  // Records stay while what they lead to stays.
  void Hold(const std::string& record) { held_.push_back(Folded(record)); }
  void HoldIfStayed(Removal removal, const std::string& record) {
    if (removal == Removal::Stayed) Hold(record);
  }
  bool Held(const std::string& path) const {
    const std::string folded = Folded(path);
    return std::any_of(held_.begin(), held_.end(), [&](const std::string& record) {
      return record == folded || record.compare(0, folded.size() + 1, folded + "\\") == 0;
    });
  }

  // ---- registry
  std::string RootKey() const { return "Enum\\Root\\" + deviceName_; }
  // The instance of the root device whose records the stage follows now.
  const std::string& InstanceKey() const { return instance_; }
  void Registry(const std::string& softwareKey);
  Record LinkedDevice(Link link, std::string& device);
  bool IsTrustedDevice(Link link, const std::string& device);
  Shape ClassShape(Link link) const;
  Record DriverClassKey(const std::string& device, std::string& classKey);
  Record IsDeviceOfLinkClass(const std::string& device, Link link);
  std::optional<std::string> Checked(const std::string& classKey, Link link,
                                     const std::string& record);
  std::optional<std::string> LinkedClassKey(Link link, std::string& device);
  std::vector<std::string> SearchClass(Link link, bool& unsearched) const;
  std::optional<std::vector<std::string>> DeviceInstances() const;
  void CleanLink(Link link, std::vector<std::string>& linked);
  void CleanLinks(Link link);
  void CleanClassKey(const std::string& classKey, Link link, const std::string& device);
  void RemoveDevicesNaming(const std::string& classKey, Link link);
  void RemoveSoftwareKey(const std::string& softwareKey);
  void RemoveIsapnpDevices(const std::vector<std::string>& ids);
  std::string PackageWaveDevice();
  bool WaveEnumeratorHoldsOnly(const std::string& device) const;
  Removal RemoveWaveDevice(const std::string& device, const std::string& record);
  void RemoveEnumeratorKeys(const std::vector<std::string>& ids);
  void UseNames();
  bool FindsAnything() const;
  Expectation Finish();
  std::vector<std::string> LoadEntries() const;

  std::optional<std::string> EditedLine(const ListLine& line,
                                        const std::vector<std::string>& entries,
                                        std::vector<std::string>& cut) const;
  void Lists(const std::vector<std::string>& loadEntries,
             const std::vector<std::string>& driverEntries);

  void InfStage();
  std::vector<std::string> ScanClaims() const;
  void DeleteInfNames(const std::string& folder, const std::vector<std::string>& names);
  bool Matches(const InfSpec& inf) const {
    return who_ == Deliverable::Program ? ProgramMatch(inf) : LibraryMatch(inf);
  }
  bool ProgramMatch(const InfSpec& inf) const;
  bool LibraryMatch(const InfSpec& inf) const;

  const GeneratedMachine& g_;
  const MachineModel& m_;
  Deliverable who_;
  mutable Expectation e_;
  bool nvramReleased_ = false;
  bool dry_ = false;          // a run that changes nothing: does it find anything to change?
  bool wouldChange_ = false;  // it did
  std::string deviceName_;    // the root device "Enum\Root\<name>" and its own class
  // What tells the package's keys from others': the "InfSection" values of
  // its class keys (exact text) and its ISA Plug-and-Play IDs.
  std::vector<std::string> sections_;
  std::string modemSection_, voiceSection_;  // what the class searches look for
  std::vector<std::string> pnpIds_;
  std::vector<std::string> instances_;  // of the root device, as the registry stage found them
  std::string instance_;
  // After the registry stage: the INF file names that class keys which stay
  // name, with why each stays.
  std::map<std::string, const char*> namedInfs_;
  std::string infPaths_[4];  // the library's recorded "InfPath" values, by link
  // The first class key's of a link that names one is recorded.
  void RecordInfPath(Link link, const std::string& classKey) {
    if (infPaths_[link].empty()) infPaths_[link] = Read(classKey, "InfPath").value_or("");
  }
  bool infNamesUnknown_ = false;   // a class key that may name an INF file cannot be read
  bool undoSlot_ = false;          // an undo file can be kept: keys may go
  std::vector<std::string> held_;  // folded paths of the records that stay
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
  if (directory.size() + 4 > kLongestPath) Residue(directory, kLongPath);
  if (directory.size() + 4 <= kLongestPath) {  // "\*.*" must fit
    // The search returns the names in folded order, as FilesIn lists them.
    for (const std::string& file : m_.FilesIn(directory)) {
      if (BaseName(file).size() + directory.size() + 1 > kLongestPath) {
        Residue(file, kLongPath);
        continue;
      }
      if (DeleteFile(file) &&
          SameText(ParentPath(file), m_.settings.systemDirectory + "\\" + kProductFolder)) {
        deletedProductFiles_.push_back(BaseName(file));
      }
    }
    // The purge never descends: it tries a folder inside as a file.
    for (const std::string& folder : m_.DirectoriesIn(directory)) {
      if (BaseName(folder).size() + directory.size() + 1 > kLongestPath) continue;
      Residue(folder, "a folder inside the product folder: the purge does not go into it");
      DeleteFile(folder);
    }
  }
  if (!DirectoryAlive(directory) || directory.size() > kLongestPath) return;
  bool empty = m_.DirectoriesIn(directory).empty();
  for (const std::string& file : m_.FilesIn(directory)) empty = empty && !FileAlive(file);
  if (!empty) {
    Stayed('D', directory, "a folder that keeps what stays in it");
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

// Another device's class key: it was installed from an INF file that is there
// and that the INF rules do not claim, and its "InfSection" is none of the
// package's sections (exact text). Its "DriverDesc" tells nothing. Unknown
// when the key is there and does not open.
Mark Run::ClassKeyMark(const std::string& classKey) const {
  if (KeyDenied(classKey)) return Mark::Unknown;
  const auto infPath = Read(classKey, "InfPath");
  if (!infPath || infPath->empty()) return Mark::None;
  const auto section = Read(classKey, "InfSection");
  if (section && std::find(sections_.begin(), sections_.end(), *section) != sections_.end())
    return Mark::None;
  if (m_.settings.windowsDirectory.size() > kLongestPath)
    return Mark::None;  // no Windows directory to look in
  return WhoseInf(*infPath) == InfOwner::Other ? Mark::Anothers : Mark::None;
}

// Another device's instance: a card below "Enum\ISAPNP" whose ID is not one
// of the package's, or any device whose "Driver" is another device's class key.
Mark Run::DeviceMark(const std::string& device) const {
  if (HasShape(device, {"Enum\\ISAPNP", 2}) && !OneOf((*Components(device))[2], pnpIds_))
    return Mark::Anothers;
  if (KeyDenied(device)) return Mark::Unknown;
  const auto driver = Read(device, "Driver");
  if (!driver) return Mark::None;
  const std::string classKey = kClassRoot + *driver;
  return HasShape(classKey, {kClassRootKey, 2}) ? ClassKeyMark(classKey) : Mark::None;
}

Verdict Run::Check(const std::string& path, const Shape& shape, Marks marks) const {
  const ModelKey* key = m_.Key(path);
  const bool own = key != nullptr && key->owner == Owner::Package;
  if (!HasShape(path, shape) || IsProtected(path)) {
    if (own) Residue(path, "a key of the package where its removal's shape does not reach");
    return Verdict::Refused;
  }
  Mark mark = Mark::None;
  switch (marks) {
    case Marks::None: break;
    case Marks::ClassKey: mark = ClassKeyMark(path); break;
    case Marks::DeviceInstance: mark = DeviceMark(path); break;
    case Marks::WaveDevice: mark = DeviceMark(path + "\\" + kWaveInstance); break;
  }
  if (mark == Mark::Anothers) {
    ++keptForAnothersMark_;
    if (own) Residue(path, ForeignCard(path) ? kForeignCard : kTakenForAnothers);
    return Verdict::Refused;
  }
  return mark == Mark::Unknown ? Verdict::Unknown : Verdict::Goes;
}

// ---------------------------------------------------------------- undo

// The undo text of the key with its subtree can be read whole: every key of
// it opens, and no key or value name holds a control character, which
// REGEDIT4 text cannot carry.
bool Run::UndoReadable(const std::string& path) const {
  const std::string folded = Folded(path);
  for (auto it = m_.Keys().lower_bound(folded); it != m_.Keys().end(); ++it) {
    const auto& [below, key] = *it;
    if (below != folded && below.compare(0, folded.size() + 1, folded + "\\") != 0) break;
    if (!KeyAlive(key.path)) continue;
    if (key.denyOpen || HasControlCharacter(BaseName(key.path))) return false;
    for (const ModelValue& value : key.values) {
      if (HasControlCharacter(value.name)) return false;
    }
  }
  return true;
}

// One of the ten undo file names in the Windows directory can take this
// run's undo: it is free, or holds an undo file of the deliverable's (one
// that is empty or ends within its first line goes, and its name is free).
// A folder, a read-only file or a file of another kind is passed over.
bool Run::UndoSlotUsable() const {
  const std::string name = who_ == Deliverable::Program ? "MDMCLEAN" : "HVLIB32";
  const std::string header = "REGEDIT4\r\n";
  for (int age = 0; age <= 9; ++age) {
    const std::string path = m_.settings.windowsDirectory + "\\" +
                             (age == 0 ? name : name.substr(0, 7) + static_cast<char>('0' + age)) +
                             ".REG";
    if (path.size() > kLongestPath || m_.HasDirectory(path)) continue;
    const ModelFile* file = m_.File(path);
    if (file == nullptr) return true;
    if (file->readOnly) continue;
    const std::size_t start = std::min(file->content.size(), header.size());
    if (file->content.compare(0, start, header, 0, start) == 0) return true;
  }
  return false;
}

// ---------------------------------------------------------------- registry

// The device instance a link names; a missing or empty value names none, and
// one that cannot be read holds the root instance.
Record Run::LinkedDevice(Link link, std::string& device) {
  if (link == kRoot) {
    device = InstanceKey();
    return Record::Names;
  }
  std::string value;
  const Record read = ReadRecord(InstanceKey(), kLinkValues[link], value);
  if (read == Record::Unknown) Hold(InstanceKey());
  if (read != Record::Names) return read;
  if (value.empty()) return Record::Nothing;
  device = link == kWave ? value + "\\" + kWaveInstance : value;
  return Record::Names;
}

// A device the link may lead to: where devices of its kind lie, and not
// another device's. The root device's own instance is the package's. A
// device whose marks cannot be read holds the root instance.
bool Run::IsTrustedDevice(Link link, const std::string& device) {
  const Shape shapes[] = {{"Enum", 3}, {"Enum\\ISAPNP", 2}, {kWaveEnumerator, 2}};
  if (link == kRoot) return true;
  if (!HasShape(device, shapes[link])) return false;
  const Mark mark = DeviceMark(device);
  keptForAnothersMark_ += mark == Mark::Anothers ? 1 : 0;
  if (mark == Mark::Unknown) Hold(InstanceKey());
  return mark == Mark::None;
}

// An instance of the link's class; for the root link of the device's own class.
Shape Run::ClassShape(Link link) const {
  return {kClassRoot + (link == kRoot ? deviceName_ : std::string(kLinkClasses[link])), 1};
}

// The class key a device's "Driver" names; an unreadable one holds the device.
Record Run::DriverClassKey(const std::string& device, std::string& classKey) {
  std::string driver;
  const Record read = ReadRecord(device, "Driver", driver);
  if (read == Record::Unknown) Hold(device);
  if (read == Record::Names) classKey = kClassRoot + driver;
  return read;
}

// The device's own "Driver" names an instance of the link's class: it is
// what the link says. One that cannot be read holds the root instance too.
Record Run::IsDeviceOfLinkClass(const std::string& device, Link link) {
  std::string classKey;
  const Record driver = DriverClassKey(device, classKey);
  if (driver == Record::Unknown) Hold(InstanceKey());
  if (driver != Record::Names) return driver;
  return HasShape(classKey, ClassShape(link)) ? Record::Names : Record::Nothing;
}

// A class key the guard lets go. One whose marks cannot be read stays and
// holds `record` (when given), the device whose "Driver" names it.
std::optional<std::string> Run::Checked(const std::string& classKey, Link link,
                                        const std::string& record) {
  switch (Check(classKey, ClassShape(link), link == kRoot ? Marks::None : Marks::ClassKey)) {
    case Verdict::Refused: return std::nullopt;
    case Verdict::Unknown:
      KeyStays(classKey, kUnreadable);
      if (!record.empty()) Hold(record);
      return std::nullopt;
    case Verdict::Goes: break;
  }
  return classKey;
}

// The class key the trusted linked device's "Driver" names, when the guard
// lets it go; `device` gets the device.
std::optional<std::string> Run::LinkedClassKey(Link link, std::string& device) {
  if (LinkedDevice(link, device) != Record::Names || !IsTrustedDevice(link, device))
    return std::nullopt;
  std::string classKey;
  if (DriverClassKey(device, classKey) != Record::Names) return std::nullopt;
  return Checked(classKey, link, device);
}

// mdmclean's search with its modem and wave links: every subkey of the class
// whose "InfSection" is the modem's (voice's) name, exact text, in
// enumeration order; the first subkey that will not open ends it, and the
// class, not searched whole, counts as remaining (`unsearched`).
std::vector<std::string> Run::SearchClass(Link link, bool& unsearched) const {
  std::vector<std::string> found;
  unsearched = false;
  if (link != kModem && link != kWave) return found;
  const std::string& infSection = link == kModem ? modemSection_ : voiceSection_;
  if (infSection.empty()) return found;  // would match every empty "InfSection"
  const std::string root = kClassRoot + std::string(kLinkClasses[link]);
  unsearched = KeyDenied(root);
  for (const std::string& sub : LiveSubkeys(root)) {
    const std::string key = root + "\\" + sub;
    if (!KeyOpens(key)) {
      unsearched = true;
      break;
    }
    if (Read(key, "InfSection") == infSection) found.push_back(key);
  }
  return found;
}

// Every device instance "Enum\<enumerator>\<id>\<instance>" in the order the
// registry lists them; nothing when a key on the way does not open.
std::optional<std::vector<std::string>> Run::DeviceInstances() const {
  std::vector<std::string> level = {"Enum"};
  for (int depth = 0; depth < 3; ++depth) {
    std::vector<std::string> below;
    for (const std::string& parent : level) {
      if (KeyDenied(parent)) return std::nullopt;
      for (const std::string& name : LiveSubkeys(parent)) below.push_back(parent + "\\" + name);
    }
    level.swap(below);
  }
  return level;
}

// One instance's link: the class key the linked device's "Driver" names
// (`linked` gets it); the root link only records its "InfPath".
void Run::CleanLink(Link link, std::vector<std::string>& linked) {
  std::string device;
  const auto classKey = LinkedClassKey(link, device);
  if (!classKey) return;
  linked.push_back(*classKey);
  if (link != kRoot) {
    CleanClassKey(*classKey, link, device);
  } else if (who_ == Deliverable::Library) {
    RecordInfPath(kRoot, *classKey);
  }
}

// Each link of every instance of the root device, then for the modem and wave
// links every class key their search finds; the root link takes the
// package's device class whole, by its name.
void Run::CleanLinks(Link link) {
  std::vector<std::string> linked;
  for (const std::string& instance : instances_) {
    instance_ = instance;
    CleanLink(link, linked);
  }
  instance_ = RootKey();
  if (link == kRoot) {
    HoldIfStayed(RemoveExactKey(kClassRoot + deviceName_), RootKey());
    return;
  }
  bool unsearched = false;
  const std::vector<std::string> searched = SearchClass(link, unsearched);
  if (unsearched)
    Stayed('K', kClassRoot + std::string(kLinkClasses[link]),
           "a class that cannot be searched whole");
  for (const std::string& found : searched) {
    if (OneOf(found, linked)) continue;
    if (const auto checked = Checked(found, link, "")) CleanClassKey(*checked, link, "");
  }
}

// A class key with what hangs on it: the wave resources before a wave class
// key, which stays while one of them does; before a searched key, the
// devices whose "Driver" names it. A linked device stays while its key does.
void Run::CleanClassKey(const std::string& classKey, Link link, const std::string& device) {
  if (who_ == Deliverable::Library) RecordInfPath(link, classKey);
  if (link == kWave) {
    HoldIfStayed(RemoveExactKey(std::string(kWaveResource) + "<" + BaseName(classKey) + ">"),
                 classKey);
    HoldIfStayed(RemoveExactKey(kAudioVxd), classKey);
  }
  if (!device.empty()) {
    HoldIfStayed(Delete(classKey), device);
    return;
  }
  RemoveDevicesNaming(classKey, link);
  Delete(classKey);
}

// The devices whose "Driver" names a searched class key: a modem device
// itself, a voice device with its parent below "Enum\MODEMWAVE". The class
// key stays while one of them does.
void Run::RemoveDevicesNaming(const std::string& classKey, Link link) {
  const auto devices = DeviceInstances();
  if (!devices) {  // one of them may name it
    Hold(classKey);
    return;
  }
  for (const std::string& device : *devices) {
    if (KeyDenied(device)) Hold(classKey);
    const auto driver = Read(device, "Driver");
    if (!driver || !SameText(kClassRoot + *driver, classKey)) continue;
    const Removal removal = link == kWave ? RemoveWaveDevice(ParentPath(device), classKey)
                                          : Remove(device, {"Enum", 3}, Marks::DeviceInstance);
    HoldIfStayed(removal, classKey);
  }
}

// The COM-port device the software key records, then the software key, which
// stays while the device does.
void Run::RemoveSoftwareKey(const std::string& softwareKey) {
  const std::string comPortKey = softwareKey + "\\1.0\\ComPort";
  std::string port;
  const Record read = ReadRecord(comPortKey, "", port);
  if (read == Record::Unknown) Hold(comPortKey);
  if (read == Record::Names && IsKeyName(port)) {
    // The Modem class key its "Driver" names goes first; the device stays while it does.
    const std::string device = "Enum\\Root\\MDMGEN\\" + port;
    std::string classKey;
    if (DriverClassKey(device, classKey) == Record::Names &&
        HasShape(classKey, ClassShape(kModem))) {
      if (const auto checked = Checked(classKey, kModem, device))
        HoldIfStayed(Delete(*checked), device);
    }
    HoldIfStayed(Remove(device, {"Enum\\Root\\MDMGEN", 1}, Marks::DeviceInstance), comPortKey);
  }
  Remove(softwareKey, {"SOFTWARE", 2});
}

// Every ISAPNP device key of the package's IDs that is there, each after the
// port driver keys of its cards: a card's "Driver" names one, which goes
// when it is a "Ports" instance and no other device's. A card stays while
// its driver key does; a key whose cards cannot be listed stays.
void Run::RemoveIsapnpDevices(const std::vector<std::string>& ids) {
  for (const std::string& id : ids) {
    const std::string key = "Enum\\ISAPNP\\" + id;
    if (!KeyAlive(key)) continue;
    if (!KeyOpens(key)) Hold(key);
    for (const std::string& name : LiveSubkeys(key)) {
      const std::string card = key + "\\" + name;
      std::string classKey;
      if (DriverClassKey(card, classKey) != Record::Names) continue;
      if (const auto checked = Checked(classKey, kPort, card)) HoldIfStayed(Delete(*checked), card);
    }
    HoldIfStayed(Remove(key, {"Enum\\ISAPNP", 1}), RootKey());
  }
}

// The package's voice device below "Enum\MODEMWAVE": the one the wave link
// names when its instance's "Driver" is a MEDIA instance.
std::string Run::PackageWaveDevice() {
  std::string instance;
  const bool linked = LinkedDevice(kWave, instance) == Record::Names &&
                      HasShape(instance, {kWaveEnumerator, 2}) &&
                      IsDeviceOfLinkClass(instance, kWave) == Record::Names;
  return linked ? ParentPath(instance) : std::string();
}

bool Run::WaveEnumeratorHoldsOnly(const std::string& device) const {
  if (!KeyOpens(kWaveEnumerator))
    return false;  // absent, or cannot be listed: see RemoveWaveDevice
  const std::vector<std::string> children = LiveSubkeys(kWaveEnumerator);
  return children.size() == 1 &&
         SameText(std::string(kWaveEnumerator) + "\\" + children[0], device);
}

// mdmclean takes "Enum\MODEMWAVE" when nothing else is in it, or only the
// package's voice device unmarked by another; otherwise each deliverable takes
// only the package's voice device, unless it is another's.
Removal Run::RemoveWaveDevice(const std::string& device, const std::string& record) {
  if (who_ == Deliverable::Program) {
    // What "Enum\MODEMWAVE" holds cannot be told: it stays, and the record
    // with it for the next run.
    const bool only = WaveEnumeratorHoldsOnly(device);
    const Mark mark = DeviceMark(device + "\\" + kWaveInstance);
    if (KeyDenied(kWaveEnumerator) || (only && mark == Mark::Unknown)) {
      Hold(record);
      return KeyStays(kWaveEnumerator, kUnreadable);
    }
    if (only && mark == Mark::None) return RemoveExactKey(kWaveEnumerator);
  }
  return Remove(device, {kWaveEnumerator, 1}, Marks::WaveDevice);
}

// The ISAPNP devices, the linked modem device, the wave device, and last the
// root device, whose instance the steps before read and which stays while
// one of them does.
void Run::RemoveEnumeratorKeys(const std::vector<std::string>& ids) {
  RemoveIsapnpDevices(ids);
  // A linked device goes only when its own "Driver" says it is a modem.
  for (const std::string& instance : instances_) {
    instance_ = instance;
    std::string modem;
    if (LinkedDevice(kModem, modem) == Record::Names &&
        IsDeviceOfLinkClass(modem, kModem) == Record::Names) {
      HoldIfStayed(Remove(modem, {"Enum", 3}, Marks::DeviceInstance), InstanceKey());
    }
    const std::string wave = PackageWaveDevice();
    if (!wave.empty()) HoldIfStayed(RemoveWaveDevice(wave, InstanceKey()), InstanceKey());
  }
  RemoveExactKey(RootKey());
}

// The names that tell the package's keys from others'.
void Run::UseNames() {
  const Configuration& c = g_.config;
  if (who_ == Deliverable::Program) {
    deviceName_ = c.modemName;
    modemSection_ = c.modemName;
    voiceSection_ = c.voiceName;
    pnpIds_ = c.pnpIds;
    pnpIds_.push_back(kFallbackPnpId);
  } else {
    deviceName_ = modemSection_ = "Quillnet";
    voiceSection_ = "QuillnetVoice";
    pnpIds_ = {"QRM1001", "QRM1003", kFallbackPnpId};
  }
  sections_ = {modemSection_, deviceName_};
  if (!voiceSection_.empty()) sections_.push_back(voiceSection_);
}

// Every instance of the root device, each link of each, the software key with
// its COM-port device, then the enumerator keys. After it, the class keys that
// stay keep the INF files they name.
void Run::Registry(const std::string& softwareKey) {
  if (KeyDenied(RootKey())) Hold(RootKey());  // its instances cannot be listed
  for (const std::string& name : LiveSubkeys(RootKey()))
    instances_.push_back(RootKey() + "\\" + name);
  // The library follows no wave link to a class: only the wave device goes.
  for (Link link : {kModem, kPort, kRoot, kWave}) {
    if (link != kWave || who_ == Deliverable::Program) CleanLinks(link);
  }
  RemoveSoftwareKey(softwareKey);
  RemoveEnumeratorKeys(pnpIds_);
  if (who_ == Deliverable::Library) {
    for (const auto& [folded, key] : m_.Keys()) {
      if (key.owner == Owner::Package &&
          (HasShape(key.path, {kClassRoot + std::string("MEDIA"), 1}) ||
           StartsWithFolded(key.path, kWaveResource) || SameText(key.path, kAudioVxd)))
        Residue(key.path, "the library leaves the voice device's class key, its wave resources "
                          "and the audio VxD key: it follows no wave link to a class");
    }
  }
  for (const auto& [folded, key] : m_.Keys()) {
    const bool classKey = HasShape(key.path, {kClassRootKey, 2});
    if ((classKey || HasShape(key.path, {kClassRootKey, 1})) && KeyDenied(key.path))
      infNamesUnknown_ = true;
    if (!classKey || !KeyOpens(key.path)) continue;
    const std::string infPath = Read(key.path, "InfPath").value_or("");
    if (!infPath.empty()) {
      namedInfs_.insert(
          {Folded(infPath), key.owner == Owner::Package
                                ? "an INF file named by a class key of the package that stays"
                                : "an INF file named by another's class key, which stays"});
    }
  }
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
    wouldChange_ = wouldChange_ || !cut.empty();
    // A read-only profile file refuses the write: what was cut stays.
    if (ReadOnly(file)) {
      for (const std::string& entry : cut)
        Stayed('L', file + ": " + entry, "a read-only profile file keeps its line");
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
  // Windows 98 keeps the provider-named copies as Windows 95 does.
  const std::string windows = m_.settings.windowsDirectory;
  const std::string inf = windows + "\\INF";
  if (infNamesUnknown_ && windows.size() <= kLongestPath) {  // a class key unread may name any
    Stayed('I', "the INF copies in the Windows folder", "");
    Residue(inf, "every INF file stays while a class key that may name it cannot be read");
    return;
  }
  const std::string other = inf + "\\Other";
  DeleteInfNames(inf, {std::begin(kPackageInfNames), std::end(kPackageInfNames)});
  const bool windows95 =
      m_.settings.major == 4 && (m_.settings.minor == 0 || m_.settings.minor == 10);
  const std::vector<std::string> provider(std::begin(kProviderInfNames),
                                          std::end(kProviderInfNames));
  if (who_ == Deliverable::Program) {
    if (windows95 && DirectoryAlive(other) && other.size() <= kLongestPath)
      DeleteInfNames(other, provider);
  } else {
    if (windows95 && infPaths_[kRoot].find("OEM") != std::string::npos) {
      // The names the class keys recorded, each only when it is the
      // package's by the INF rules: a class key may name one of Windows' own
      // files.
      for (const std::string& name : {infPaths_[kPort], infPaths_[kModem], infPaths_[kRoot]}) {
        if (IsPackageInfFile(inf, false, name)) DeleteInfNames(inf, {name});
      }
    }
    DeleteInfNames(other, provider);
  }
  for (const std::string& path : ScanClaims()) DeleteFile(path, 'I');
}

// The files the INF scan claims: "oem*.inf" in "INF", then "*.inf" in
// "INF\Other", each when the deliverable's rule calls it the package's.
std::vector<std::string> Run::ScanClaims() const {
  const std::string inf = m_.settings.windowsDirectory + "\\INF";
  const std::pair<std::string, bool> passes[] = {{inf, true}, {inf + "\\Other", false}};
  std::vector<std::string> claimed;
  for (const auto& [folder, oemOnly] : passes) {
    if (folder.size() + (oemOnly ? 9 : 6) > kLongestPath) {  // the search pattern must fit
      Residue(folder, kLongPath);
      continue;
    }
    for (const std::string& path : m_.FilesIn(folder)) {
      if (!MatchesScanPattern(BaseName(path), oemOnly) || !FileAlive(path)) continue;
      auto spec = g_.infs.find(Folded(path));
      if (spec != g_.infs.end() && Matches(spec->second)) claimed.push_back(path);
    }
  }
  return claimed;
}

// ---------------------------------------------------------------- runs

// mdmclean's load-line entries: the start-up program by its full path, every
// configured product file by its full path and relative to the system
// directory, whether it was there or not, then each file the file stage took
// from the product folder.
std::vector<std::string> Run::LoadEntries() const {
  const std::string folder = m_.settings.systemDirectory + "\\" + kProductFolder + "\\";
  std::vector<std::string> load = {folder + g_.config.productFiles.back()};
  for (const auto* names : {&g_.config.productFiles, &deletedProductFiles_}) {
    for (const std::string& name : *names) {
      load.push_back(folder + name);
      load.push_back(std::string(kProductFolder) + "\\" + name);
    }
  }
  return load;
}

// Something mdmclean would remove is on the machine: a run of its plan that
// changes nothing would have changed something. When not, what that run
// kept tells why each thing of the package stays.
bool Run::FindsAnything() const {
  Run dry(g_, who_);
  dry.dry_ = true;
  dry.undoSlot_ = true;  // a run that writes nothing keeps no undo
  dry.UseNames();
  dry.ProgramFiles();
  dry.Registry("SOFTWARE\\" + g_.config.vendor + "\\" + g_.config.modemName);
  dry.Lists(dry.LoadEntries(), {std::string(kProductFolder) + "\\" + g_.config.modemName + ".drv"});
  dry.InfStage();
  if (!dry.wouldChange_) e_.residues = dry.e_.residues;
  return dry.wouldChange_;
}

// A configuration that names what Windows keeps for itself, or is no usable
// set of names, is refused before anything changes. Each name must be one
// key: "Microsoft\Windows" as a vendor would make the software key a branch
// of other programs' keys. A modem named "Net" would own "Enum\Root\Net" and
// the class "Net"; one named "*PNP0C01" a device Windows enumerates itself.
bool Refused(const Configuration& c) {
  const bool keyNames = IsKeyName(c.vendor) && IsKeyName(c.modemName) &&
                        std::all_of(c.pnpIds.begin(), c.pnpIds.end(), IsKeyName);
  const auto windowsId = [](const std::string& name) { return !name.empty() && name[0] == '*'; };
  const bool windowsNames =
      OneOf(c.modemName, kWindowsDeviceNames) || OneOf(c.voiceName, kWindowsDeviceNames) ||
      OneOf(c.vendor, kWindowsSoftwareKeys) || windowsId(c.modemName) || windowsId(c.voiceName) ||
      std::any_of(c.pnpIds.begin(), c.pnpIds.end(), windowsId) ||
      std::any_of(c.systemFiles.begin(), c.systemFiles.end(),
                  [](const std::string& name) { return OneOf(name, kWindowsFiles); });
  return !c.complete || !keyNames || windowsNames;
}

Expectation Run::Program() {
  const Configuration& c = g_.config;
  e_.resultWritten = !ReadOnly(g_.ConfigFile());
  if (Refused(c)) {
    e_.result = 1;
    return Finish();
  }
  UseNames();
  if (!FindsAnything()) {
    e_.result = 2;
    return Finish();
  }
  e_.result = 0;
  undoSlot_ = UndoSlotUsable();
  ProgramFiles();
  Registry("SOFTWARE\\" + c.vendor + "\\" + c.modemName);
  Lists(LoadEntries(), {std::string(kProductFolder) + "\\" + c.modemName + ".drv"});
  InfStage();
  return Finish();
}

Expectation Run::Library() {
  UseNames();
  undoSlot_ = UndoSlotUsable();
  LibraryFiles();
  Registry("SOFTWARE\\QRMeridian\\Quillnet");
  const std::string folder = m_.settings.systemDirectory + "\\" + kProductFolder + "\\";
  Lists({folder + "QUILLNET.EXE", folder + "PRELDR.EXE",
         std::string(kProductFolder) + "\\PRELDR.EXE"},
        {std::string(kProductFolder) + "\\QUILLNET.DRV"});
  InfStage();
  return Finish();
}

// Why a thing of the package that the run never went for stays; null when no
// rule keeps it.
const char* Run::Unreached(const std::string& path, bool key) const {
  if (who_ == Deliverable::Program && e_.result == 1)
    return "a refused configuration changes nothing";
  if (who_ == Deliverable::Library && !g_.productNames)
    return "the package under names the library does not know";
  if (who_ == Deliverable::Program && !SameText(g_.config.modemName, g_.names.modem))
    return "the package under names the configuration does not give";
  if (key) return ForeignCard(path) ? kForeignCard : kUnreached;
  const auto spec = g_.infs.find(Folded(path));
  if (spec == g_.infs.end()) {
    if (SameText(ParentPath(path), m_.settings.systemDirectory))
      return "a file the deliverable's file table does not name";
    return StartsWithFolded(path, m_.settings.windowsDirectory + "\\INF\\")
               ? "an INF file the INF rules cannot read"
               : nullptr;
  }
  if (!Matches(spec->second)) {
    return who_ == Deliverable::Library && SameText(spec->second.Value("version", "Class"), "MEDIA")
               ? "the library keeps MEDIA INF files: its INF rules never claim them"
               : "an INF file that no INF rule claims";
  }
  return MatchesScanPattern(BaseName(path), !SameText(ParentPath(path), OtherInfDir()))
             ? nullptr
             : "an INF file under a name the INF stage passes over";
}

// What the run leaves of the package, each with why: the reason given where
// the run went for it, or the nearest stayed key's or folder's it lies in.
Expectation Run::Finish() {
  e_.keptForAnothersMark = keptForAnothersMark_;
  e_.remaining = static_cast<int>(stayed_.size());
  std::map<std::string, std::string> left;
  auto reason = [&](const std::string& path, bool key) -> std::string {
    for (std::string at = Folded(path); !at.empty(); at = ParentPath(at)) {
      const auto given = e_.residues.find(at);
      if (given != e_.residues.end()) return given->second;
    }
    const char* why = Unreached(path, key);
    return why == nullptr ? std::string() : why;
  };
  for (const auto& [folded, key] : m_.Keys()) {
    if (key.owner == Owner::Package && KeyAlive(key.path))
      left["key " + key.path] = reason(key.path, true);
  }
  for (const auto& [folded, file] : m_.Files()) {
    if (file.owner == Owner::Package && FileAlive(file.path))
      left[file.path] = reason(file.path, false);
  }
  const std::pair<const ListLine*, std::optional<std::string>> lines[] = {
      {&g_.load, e_.loadLine}, {&g_.drivers, e_.driversLine}};
  for (const auto& [line, written] : lines) {
    const std::string file = line == &g_.load ? g_.WinIni() : g_.SystemIni();
    if (!line->fileExists || !line->sectionExists || !line->keyExists) continue;
    const std::vector<std::string> after = ListEntries(written.value_or(line->Value()));
    for (const ListToken& token : line->tokens) {
      if (token.owner != Owner::Package ||
          std::find(after.begin(), after.end(), token.text) == after.end())
        continue;
      const bool quoted = token.text.size() >= 2 && token.text[0] == '"';
      left["entry " + token.text] = ReadOnly(file) ? "a read-only profile file keeps its line"
                                    : token.text.size() - (quoted ? 2 : 0) > kLongestPath
                                        ? kLongPath
                                        : reason(file + ": " + token.text, false);
    }
  }
  e_.residues.swap(left);
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

std::vector<std::string> ReadListEntries(const std::string& fileText) {
  return ListEntries(LineAsInTheFile(ProfileRead(fileText)));
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
