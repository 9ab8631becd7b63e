#include "tests/safety/generator.h"

#include <algorithm>
#include <cstdio>
#include <random>

namespace mdm::safety {

namespace {

constexpr const char* kClassRoot = "System\\CurrentControlSet\\Services\\Class\\";
constexpr const char* kWaveResources = "System\\CurrentControlSet\\control\\MediaResources\\wave\\";
constexpr const char* kVxd = "System\\CurrentControlSet\\Services\\VxD\\";
constexpr const char* kMdmgen = "Enum\\Root\\MDMGEN\\";

class Dice {
 public:
  explicit Dice(std::uint64_t seed) : rng_(seed) {}
  bool Coin(double p) { return std::uniform_real_distribution<double>(0.0, 1.0)(rng_) < p; }
  int Range(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng_); }
  template <typename T>
  const T& Pick(const std::vector<T>& items) {
    return items[static_cast<std::size_t>(Range(0, static_cast<int>(items.size()) - 1))];
  }
  template <typename T>
  void Shuffle(std::vector<T>& items) {
    std::shuffle(items.begin(), items.end(), rng_);
  }

 private:
  std::mt19937_64 rng_;
};

std::string Upper(std::string text) {
  for (char& c : text) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  return text;
}

std::string Lower(std::string text) {
  for (char& c : text) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  return text;
}

std::string Trim(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string Number(int n) {
  char text[16];
  std::snprintf(text, sizeof text, "%04d", n);
  return text;
}

std::string Join(const std::vector<std::string>& items, const std::string& separator) {
  std::string joined;
  for (std::size_t i = 0; i < items.size(); ++i) joined += (i ? separator : "") + items[i];
  return joined;
}

// Hands out distinct numbers for the subkeys of one class, or for OEM files.
class Numbers {
 public:
  Numbers(Dice& dice, int low, int high) : dice_(dice), low_(low), high_(high) {}
  int Next() { return Next(dice_); }
  int Next(Dice& dice) {
    for (;;) {
      const int n = dice.Range(low_, high_);
      if (used_.insert(n).second) return n;
    }
  }
  void Reserve(int n) { used_.insert(n); }

 private:
  Dice& dice_;
  int low_;
  int high_;
  std::set<int> used_;
};

std::string InfDir(const GeneratedMachine& g) {
  return g.model.settings.windowsDirectory + "\\INF";
}
std::string OtherDir(const GeneratedMachine& g) { return InfDir(g) + "\\Other"; }

// How much of the package a machine holds.
enum class Install { Full, Partial, None };

// What a machine went through before the uninstall, each now and then and
// drawn from dice of their own, so that a machine without one is the one its
// seed always gave. Slots: "modem added again" takes MDMGEN\0001, \0003 and
// Modem\0001, \0002; the newer modem takes the first two, the sibling the
// last two.
enum History {
  kTwice,          // a second root instance, linking a second modem
  kReadded,        // a standard modem took the package's old slots
  kCardChanged,    // the card came back under the package's other ID
  kWindows98,      // version 4.10, with the provider-named INF copies
  kNewerModem,     // the vendor's newer modem, not the package, where the stale link points
  kSibling,        // another vendor's modem whose INF describes the package's chipset
  kWindowsNames,   // the configuration names Windows' own device IDs or files
  kComPortDriver,  // the COM-port device names a Modem class key
  kPortInfOnly,    // the port class key names the package only by its INF file
  kZoomWave,       // another voice modem, listed after the package's
  kHistories
};
constexpr const char* kHistoryNames[kHistories] = {"installed twice",
                                                   "modem added again",
                                                   "card ID changed",
                                                   "Windows 98",
                                                   "the vendor's newer modem",
                                                   "a chipset sibling",
                                                   "Windows' own names",
                                                   "COM port with a driver",
                                                   "port class key by INF name",
                                                   "voice modem after the package's"};

class Generator {
 public:
  // "Ports\0000" is COM1's, as Windows installs it.
  Generator(std::uint64_t seed, const Variation& variation)
      : dice_(seed),
        variation_(variation),
        modemKeys_(dice_, 0, 12),
        portKeys_(dice_, 1, 9),
        mediaKeys_(dice_, 0, 9),
        oemNumbers_(dice_, 0, 60),
        history_(seed ^ 0x9E3779B97F4A7C15ull) {
    g_.seed = seed;
    const bool plain = !variation_.fullPackage && variation_.windowsDirectory.empty();
    for (int h = 0; h < kHistories; ++h) had_[h] = plain && history_.Coin(0.07);
    if (had_[kReadded]) had_[kNewerModem] = had_[kSibling] = false;
    had_[kZoomWave] = history_.Coin(0.5);  // only when that modem is there
    if (had_[kReadded] || had_[kNewerModem] || had_[kSibling]) {
      modemKeys_.Reserve(1);
      modemKeys_.Reserve(2);
    }
    if (had_[kNewerModem]) oemNumbers_.Reserve(9);
    if (had_[kSibling]) oemNumbers_.Reserve(8);
  }

  GeneratedMachine Run();

 private:
  bool Has() {
    if (install_ == Install::Full) return true;
    if (install_ == Install::None) return false;
    return dice_.Coin(0.6);
  }
  bool Has(bool history) { return history || Has(); }
  std::string OemName() {
    const std::string name = "OEM" + std::to_string(oemNumbers_.Next()) + ".INF";
    return dice_.Coin(0.2) ? Lower(name) : name;
  }
  std::string CaseVariant(const std::string& text) {
    const int pick = dice_.Range(0, 5);
    if (pick == 0) return Upper(text);
    if (pick == 1) return Lower(text);
    return text;
  }
  void AddInf(const std::string& path, const InfSpec& spec, Owner owner, double readOnly = 0.0) {
    ModelFile& file = m().AddFile(path, spec.Text(), owner);
    file.readOnly = dice_.Coin(readOnly);
    g_.infs[Folded(path)] = spec;
  }
  MachineModel& m() { return g_.model; }
  // `normal` most of the time; now and then one of `odd`, except on the
  // clean installs that the tests with hostile values build on.
  std::string Mostly(const std::string& normal, const std::vector<std::string>& odd,
                     double p = 0.2) {
    if (variation_.fullPackage || !dice_.Coin(p)) return normal;
    return dice_.Pick(odd);
  }
  // A "Driver" value: the class key the package installed, or now and then
  // an instance of another device class, which must then stay.
  std::string Driver(const std::string& own, const std::vector<std::string>& crossClass = {}) {
    std::vector<std::string> foreign = {"Net\\0000", "Display\\0000", "hdc\\0000", "System\\0000",
                                        "AcmeFax\\0000"};
    foreign.insert(foreign.end(), crossClass.begin(), crossClass.end());
    return Mostly(CaseVariant(own), foreign);
  }
  // A link value: what the package wrote, or now and then an empty value (a
  // missing link) or one that names no device instance.
  std::string LinkValue(const std::string& device) {
    return Mostly(device, {"", "", ParentPath(device), device + "\\", "\\" + device,
                           device + "\\0000", "Enum\\\\" + device.substr(5)});
  }
  // Now and then a record that is stale: it names another device of the same
  // kind, which Windows gave the name or the key to since.
  // Only where the other device's INF file can be named within MAX_PATH:
  // without it nothing tells its keys from the package's.
  std::string Stale(const std::string& value, const std::vector<std::string>& others,
                    double p = 0.1) {
    const bool infReachable = InfDir(g_).size() + 1 + 12 <= 259;  // an 8.3 name
    if (variation_.fullPackage || !infReachable || others.empty() || !dice_.Coin(p)) return value;
    return dice_.Pick(others);
  }

  void ChooseSettings();
  void ChooseNames();
  void ChooseOtherDevices();
  void InstallRegistry();
  void InstallInfFiles();
  void InstallFiles();
  void AddBystanderRegistry();
  void AddHistories();
  void AddBystanderInfFiles();
  void AddBystanderFiles();
  void Separate(std::vector<ListToken>& tokens);
  void WriteLists();
  void WriteConfiguration();
  void Describe();

  Dice dice_;
  Variation variation_;
  GeneratedMachine g_;
  Install install_ = Install::Full;
  Numbers modemKeys_;
  Numbers portKeys_;
  Numbers mediaKeys_;
  Numbers oemNumbers_;
  Dice history_;
  bool had_[kHistories] = {};
  std::vector<std::string> items_[kHistories];  // what each history made
  // The package's own names of things, chosen as it installs them.
  std::string modemKey_, portKey_, mediaKey_;
  std::string rootInf_, modemInf_, portInf_, voiceInf_;
  std::vector<std::string> systemFiles_;
  std::vector<std::string> productFiles_;
  bool keyPathNames_ = false;   // the configuration names a registry path, not a key name
  bool windowsNames_ = false;   // the configuration names one of Windows' own keys
  bool containerName_ = false;  // the configured modem is named like a container of devices
  // Other devices of the package's classes, chosen before the package is
  // installed so that its stale records can name them. Each class key below
  // names another device and an INF file that is not the package's.
  std::string standardModemKey_;  // Modem\<n> of "Enum\Root\MDMGEN\0000"
  std::string standardModemInf_;  // MDMGEN.INF, or an Acme "oem" INF file
  bool msportsInf_ = true;        // MSPORTS.INF, which COM1's class key names, is there
  bool acmeCard_ = false;         // "Enum\ISAPNP\ACM2000\<serial>", another card's port
  std::string acmePortKey_, acmePortInf_;
  bool acmePortInfThere_ = false;  // without it only the card's ID tells it from the package's
  std::string soundKey_;           // MEDIA\<n> of the sound card
  bool acmeWave_ = false;          // "Enum\MODEMWAVE\ACMEWAVE", another voice modem
  std::string acmeWaveKey_, acmeWaveInf_, acmeWaveDevice_;
};

constexpr const char* kCom1 = "Enum\\BIOS\\*PNP0501\\0D";
constexpr const char* kStandardModem = "Enum\\Root\\MDMGEN\\0000";
constexpr const char* kAcmeCard = "Enum\\ISAPNP\\ACM2000\\5E6F7A8B";
constexpr const char* kSoundCard = "Enum\\ISAPNP\\CTL0031\\1A2B3C4D";

void Generator::ChooseSettings() {
  Settings& s = m().settings;
  const int windows = dice_.Range(0, 9);
  if (windows < 6) {
    s.windowsDirectory = "C:\\WINDOWS";
    s.systemDirectory = "C:\\WINDOWS\\SYSTEM";
  } else if (windows < 8) {
    s.windowsDirectory = "C:\\WIN95";
    s.systemDirectory = "C:\\WIN95\\SYSTEM";
  } else {
    s.windowsDirectory = "D:\\Windows";
    s.systemDirectory = "D:\\Windows\\System";
  }
  if (!variation_.windowsDirectory.empty()) {
    s.windowsDirectory = variation_.windowsDirectory;
    s.systemDirectory = variation_.windowsDirectory + "\\SYSTEM";
  }
  s.tempPath = "C:\\WINDOWS\\TEMP\\";
  s.workingDirectory = "C:\\QNSETUP";
  if (dice_.Coin(0.15)) {
    s.major = 4;
    s.minor = 10;
  }
  if (had_[kWindows98]) s.minor = 10;
  s.nvramWindow = dice_.Coin(0.5);
  m().AddDirectory(s.systemDirectory);
  m().AddDirectory(s.workingDirectory);
  m().AddDirectory(InfDir(g_));
}

PackageNames VariantNames() {
  return {"QNX56K", "QNX56KVoice", "QRM Labs", "QNX56K", {"QRM2001", "QRM2003"}, "QNX56K.EXE"};
}

void Generator::ChooseNames() {
  const int kind = dice_.Range(0, 9);
  install_ = kind < 4 ? Install::Full : kind < 8 ? Install::Partial : Install::None;
  if (variation_.fullPackage) install_ = Install::Full;
  g_.productNames = dice_.Coin(0.8) || variation_.productNames;
  g_.names = g_.productNames ? ProductNames() : VariantNames();
  if (variation_.names) {
    g_.names = *variation_.names;
    g_.productNames = false;
    return;
  }
  // The root device's class is the device's name, in any letter case; now
  // and then another one, whose branch then stays.
  const std::string modem = g_.names.modem;
  g_.names.rootClass = Mostly(CaseVariant(modem), {modem + "Ctl", modem.substr(0, 5), "QNCTRL"});
}

void Generator::ChooseOtherDevices() {
  standardModemKey_ = Number(modemKeys_.Next());
  standardModemInf_ = dice_.Coin(0.6) ? "MDMGEN.INF" : OemName();
  msportsInf_ = !dice_.Coin(0.15);
  acmeCard_ = dice_.Coin(0.3);
  if (acmeCard_) {
    acmePortKey_ = Number(portKeys_.Next());
    acmePortInf_ = OemName();
    acmePortInfThere_ = dice_.Coin(0.5);
  }
  soundKey_ = Number(mediaKeys_.Next());
  acmeWave_ = dice_.Coin(0.35);
  acmeWaveDevice_ = had_[kZoomWave] ? "Enum\\MODEMWAVE\\ZOOMWAVE" : "Enum\\MODEMWAVE\\ACMEWAVE";
  had_[kZoomWave] = had_[kZoomWave] && acmeWave_;
  if (acmeWave_) {
    acmeWaveKey_ = Number(mediaKeys_.Next());
    acmeWaveInf_ = OemName();
  }
}

// ---------------------------------------------------------------- the package

void Generator::InstallRegistry() {
  const PackageNames& n = g_.names;
  const std::string root = "Enum\\Root\\" + n.modem;
  const std::string instance = root + "\\0000";
  modemKey_ = Number(modemKeys_.Next());
  portKey_ = Number(portKeys_.Next());
  mediaKey_ = Number(mediaKeys_.Next());
  rootInf_ = OemName();
  modemInf_ = OemName();
  portInf_ = OemName();
  voiceInf_ = OemName();
  std::string modemDevice = kMdmgen + Number(20 + dice_.Range(0, 5));
  // Added again: the modem's old slots went to a standard modem.
  const bool readded = had_[kReadded];
  if (readded) {
    modemDevice = kMdmgen + std::string("0003");
    modemKey_ = "0002";
  }
  // The old instance still links the slot another modem took since.
  const bool staleSlot = readded || had_[kNewerModem];
  items_[kReadded] = {"mdmgen\\0001", "modem\\0001", "mdmgen\\0003", "modem\\0002"};
  items_[kNewerModem] = {"mdmgen\\0001", "modem\\0001", "oem9.inf"};
  items_[kSibling] = {"mdmgen\\0003", "modem\\0002", "oem8.inf"};
  items_[kWindows98] = {"q.r. meridian, inc."};
  items_[kWindowsNames] = {"result "};  // mdmclean's result: nothing may change
  items_[kZoomWave] = {"zoomwave"};     // deleting Enum\MODEMWAVE whole takes it too
  items_[kPortInfOnly] = {"qnport.inf", Folded(kClassRoot + std::string("Ports\\") + portKey_)};
  const std::string comPort = Number(30 + dice_.Range(0, 5));
  const std::string serial = "0A1B2C3D";
  const std::string portDevice = "Enum\\ISAPNP\\" + n.pnpIds[0] + "\\" + serial;
  const std::string waveRoot = "Enum\\MODEMWAVE\\QNWAVE";
  std::string waveLink;

  if (Has(staleSlot)) {
    m().AddKey(root, Owner::Package);
    m().AddKey(instance, Owner::Package);
    m().SetString(instance, "Class", n.rootClass, Owner::Package);
    m().SetString(instance, "DeviceDesc", n.modem + " Modem Controller", Owner::Package);
    if (Has()) m().SetString(instance, "Driver", Driver(n.rootClass + "\\0000"), Owner::Package);
    // Stale links name the standard modem, COM1 or another card's port, and
    // another voice modem.
    std::string modemLink = Stale(LinkValue(modemDevice), {kStandardModem}, 0.12);
    if (staleSlot) modemLink = kMdmgen + std::string("0001");
    std::vector<std::string> otherPorts = {kCom1};
    if (acmeCard_) otherPorts.push_back(kAcmeCard);
    const std::string portLink = Stale(LinkValue(portDevice), otherPorts, 0.15);
    waveLink = Stale(LinkValue(waveRoot), acmeWave_ ? std::vector<std::string>{acmeWaveDevice_}
                                                    : std::vector<std::string>{});
    if (Has(staleSlot)) m().SetString(instance, "ConnectedToModem", modemLink, Owner::Package);
    if (Has()) m().SetString(instance, "ConnectedToPort", portLink, Owner::Package);
    if (Has()) m().SetString(instance, "ConnectedToWave", waveLink, Owner::Package);
    if (dice_.Coin(0.2)) m().AddKey(root + "\\0001", Owner::Package);
  } else if (Has()) {
    m().AddKey(root, Owner::Package);  // the instance is gone already
  }

  if (Has(readded)) {
    m().AddKey(modemDevice, Owner::Package);
    m().SetString(modemDevice, "Class", "Modem", Owner::Package);
    // Now and then the class key was given to the standard modem since.
    const std::string driver = Stale(Driver("Modem\\" + modemKey_, {"Ports\\0000"}),
                                     {"Modem\\" + standardModemKey_}, 0.08);
    if (Has(readded))
      m().SetString(modemDevice, "Driver", readded ? "Modem\\" + modemKey_ : driver,
                    Owner::Package);
    m().SetString(modemDevice, "AttachedTo", "COM3", Owner::Package);
  }
  const std::string modemClass = std::string(kClassRoot) + "Modem\\" + modemKey_;
  if (Has(readded)) {
    m().AddKey(modemClass, Owner::Package);
    m().SetString(modemClass, "DriverDesc", n.modem + " Modem", Owner::Package);
    if (Has(readded)) m().SetString(modemClass, "InfSection", n.modem, Owner::Package);
    // Installed from Windows' own modem INF now and then: the file stays.
    const std::string infPath = dice_.Coin(0.1) ? "MDMGEN.INF" : modemInf_;
    if (Has()) m().SetString(modemClass, "InfPath", infPath, Owner::Package);
  }

  for (std::size_t i = 0; i < n.pnpIds.size(); ++i) {
    if (!Has()) continue;
    const std::string key = "Enum\\ISAPNP\\" + n.pnpIds[i];
    m().AddKey(key, Owner::Package);
    m().SetString(key + "\\" + (i == 0 ? serial : "11223344"), "Class", "Ports", Owner::Package);
  }
  if (Has()) {
    m().AddKey("Enum\\ISAPNP\\" + n.pnpIds[0], Owner::Package);
    m().AddKey(portDevice, Owner::Package);
    m().SetString(portDevice, "Class", "Ports", Owner::Package);
    // COM1's class key only while MSPORTS.INF tells it from the package's.
    const std::string driver = Stale(
        Driver("Ports\\" + portKey_, {"MEDIA\\" + soundKey_}),
        msportsInf_ ? std::vector<std::string>{"Ports\\0000"} : std::vector<std::string>{}, 0.08);
    if (Has()) m().SetString(portDevice, "Driver", driver, Owner::Package);
    m().SetString(portDevice, "PortName", "COM3", Owner::Package);
  }
  const std::string portClass = std::string(kClassRoot) + "Ports\\" + portKey_;
  if (Has()) {
    m().AddKey(portClass, Owner::Package);
    m().SetString(portClass, "DriverDesc", n.modem + " Communications Port", Owner::Package);
    const std::string infPath = dice_.Coin(0.1) ? "MSPORTS.INF" : portInf_;
    if (Has()) m().SetString(portClass, "InfPath", infPath, Owner::Package);
    // Only its INF file's name tells it for the package's.
    if (had_[kPortInfOnly]) {
      m().SetString(portClass, "DriverDesc", "Communications Port", Owner::Package);
      m().SetString(portClass, "InfPath", "QNPORT.INF", Owner::Package);
    }
  }
  // The card came back under the package's other ID, with a port of its own.
  if (had_[kCardChanged]) {
    const std::string card = "Enum\\ISAPNP\\" + n.pnpIds[1] + "\\" + serial;
    const std::string key = Number(portKeys_.Next(history_));
    items_[kCardChanged] = {Folded(card), Folded(kClassRoot + std::string("Ports\\") + key)};
    m().AddKey(ParentPath(card), Owner::Package);
    m().AddKey(card, Owner::Package);
    for (const auto& [name, value] : std::vector<std::pair<std::string, std::string>>{
             {"Class", "Ports"}, {"Driver", "Ports\\" + key}, {"PortName", "COM3"}})
      m().SetString(card, name, value, Owner::Package);
    m().SetString(std::string(kClassRoot) + "Ports\\" + key, "DriverDesc",
                  n.modem + " Communications Port", Owner::Package);
    m().SetString(std::string(kClassRoot) + "Ports\\" + key, "InfPath", portInf_, Owner::Package);
  }
  if (dice_.Coin(0.2)) m().AddKey("Enum\\ISAPNP\\QRM0100", Owner::Package);

  if (Has()) {
    m().AddKey(waveRoot, Owner::Package);
    const std::string waveDevice = waveRoot + "\\ROOT&MODEM&0000";
    m().AddKey(waveDevice, Owner::Package);
    m().SetString(waveDevice, "Class", "MEDIA", Owner::Package);
    const std::string driver =
        Stale(Driver("MEDIA\\" + mediaKey_, {"Ports\\0000"}), {"MEDIA\\" + soundKey_}, 0.08);
    if (Has()) m().SetString(waveDevice, "Driver", driver, Owner::Package);
  }
  const std::string mediaClass = std::string(kClassRoot) + "MEDIA\\" + mediaKey_;
  if (Has()) {
    m().AddKey(mediaClass, Owner::Package);
    // As the package's INF describes it; now and then only by the voice's
    // name, which the library does not know (to it the key is another's).
    m().SetString(mediaClass, "DriverDesc", Mostly(n.modem + " Voice", {n.voice}), Owner::Package);
    if (Has()) m().SetString(mediaClass, "InfSection", n.voice, Owner::Package);
    if (Has()) m().SetString(mediaClass, "InfPath", voiceInf_, Owner::Package);
  }
  if (Has()) {
    const std::string resource = std::string(kWaveResources) + "serwvdrv.drv<" + mediaKey_ + ">";
    m().AddKey(resource, Owner::Package);
    m().SetString(resource, "Driver", "serwvdrv.drv", Owner::Package);
  }
  if (Has()) m().AddKey(std::string(kVxd) + "QNAUDIO", Owner::Package);

  const std::string rootClass = std::string(kClassRoot) + n.rootClass;
  if (Has()) {
    m().AddKey(rootClass, Owner::Package);
    m().AddKey(rootClass + "\\0000", Owner::Package);
    const int inf = dice_.Range(0, 9);
    if (inf < 7) m().SetString(rootClass + "\\0000", "InfPath", rootInf_, Owner::Package);
    if (inf == 7) m().SetString(rootClass + "\\0000", "InfPath", Lower(rootInf_), Owner::Package);
    if (dice_.Coin(0.3)) m().AddKey(rootClass + "\\0001", Owner::Package);
  }

  const std::string software = "SOFTWARE\\" + n.vendor + "\\" + n.modem;
  if (Has()) {
    m().AddKey("SOFTWARE\\" + n.vendor, Owner::Frame);
    m().AddKey(software, Owner::Package);
    m().SetString(software + "\\1.0", "InstallDir", m().settings.systemDirectory + "\\QUILLNET.101",
                  Owner::Package);
    m().SetString(software + "\\1.0\\Base", "", "0x2F8", Owner::Package);
    // A recorded port that is not one key name names no device of the package's.
    // Or one that names the standard modem's instance.
    const std::string recorded = Stale(Mostly(comPort, {"", comPort + "\\", "\\" + comPort}, 0.1),
                                       {BaseName(kStandardModem)}, 0.08);
    if (Has()) m().SetString(software + "\\1.0\\ComPort", "", recorded, Owner::Package);
  }
  if (Has()) {
    m().AddKey(kMdmgen + comPort, Owner::Package);
    m().SetString(kMdmgen + comPort, "Class", "Ports", Owner::Package);
    m().SetString(kMdmgen + comPort, "DeviceDesc", n.modem + " Virtual COM Port", Owner::Package);
    // Its driver: a Modem class key of the package's, or the standard modem's.
    if (had_[kComPortDriver]) {
      const std::string key =
          history_.Coin(0.3) ? standardModemKey_ : Number(modemKeys_.Next(history_));
      m().SetString(kMdmgen + comPort, "Driver", "Modem\\" + key, Owner::Package);
      items_[kComPortDriver] = {Folded(kMdmgen + comPort), Folded(kClassRoot + ("Modem\\" + key))};
      if (key != standardModemKey_) {
        const std::string classKey = std::string(kClassRoot) + "Modem\\" + key;
        m().SetString(classKey, "DriverDesc", n.modem + " Virtual COM Port", Owner::Package);
        m().SetString(classKey, "InfPath", modemInf_, Owner::Package);
      }
    }
  }
}

InfSpec VersionOnly(const std::string& deviceClass) {
  return InfSpec{{{"Version", "Signature", "\"$CHICAGO$\""}, {"Version", "Class", deviceClass}}};
}

InfSpec WithStrings(InfSpec spec, const std::string& key, const std::string& raw) {
  spec.lines.push_back({"Strings", key, raw});
  return spec;
}

void Generator::InstallInfFiles() {
  const PackageNames& n = g_.names;
  const std::string inf = InfDir(g_) + "\\";
  const std::string description = n.modem + ".DeviceDesc";
  const InfSpec rootSpec = WithStrings(VersionOnly(CaseVariant(n.rootClass)), description,
                                       "\"" + n.modem + " Controller\"");
  const InfSpec modemSpec =
      WithStrings(VersionOnly(CaseVariant("Modem")), description, "\"" + n.modem + " Modem\"");
  InfSpec portSpec = WithStrings(VersionOnly(CaseVariant("Ports")), description, n.modem + " Port");
  const bool product = g_.productNames;
  if (dice_.Coin(0.3) && product) {
    portSpec.lines.push_back({"Std", "%QRMPort.DeviceDesc%", "ComPort,QUILLNET"});
  } else {
    portSpec.lines.push_back({"Std", "%" + n.modem + ".DeviceDesc%",
                              product ? CaseVariant("ComPort,QUILLNET") : "ComPort," + n.modem});
  }
  // The voice device's INF describes it under the modem's name only sometimes.
  InfSpec voiceSpec = VersionOnly(CaseVariant("MEDIA"));
  if (dice_.Coin(0.5)) voiceSpec = WithStrings(voiceSpec, description, n.voice);

  const double readOnly = 0.08;
  if (Has()) AddInf(inf + rootInf_, rootSpec, Owner::Package, readOnly);
  if (Has()) AddInf(inf + modemInf_, modemSpec, Owner::Package, readOnly);
  if (Has()) AddInf(inf + portInf_, portSpec, Owner::Package, readOnly);
  if (Has()) AddInf(inf + voiceInf_, voiceSpec, Owner::Package, readOnly);

  // Copies under the package's own file names, and the provider-named ones.
  const std::vector<std::pair<std::string, InfSpec>> fixed = {
      {"QNMODEM.INF", modemSpec}, {"QNPORT.INF", portSpec},   {"QUILLNET.INF", rootSpec},
      {"QUILNT2.INF", rootSpec},  {"QNMODEM.IN~", modemSpec}, {"QUILLNET.IN~", rootSpec}};
  for (const auto& [name, spec] : fixed) {
    if (dice_.Coin(0.3) && Has()) AddInf(inf + CaseVariant(name), spec, Owner::Package, readOnly);
  }
  if (had_[kPortInfOnly]) AddInf(inf + "QNPORT.INF", portSpec, Owner::Package);
  // The folder's name in any letter case: Windows finds it whatever the case.
  if (dice_.Coin(0.8) || had_[kWindows98])
    m().AddDirectory(InfDir(g_) + "\\" +
                     dice_.Pick(std::vector<std::string>{"Other", "OTHER", "other"}));
  if (!m().HasDirectory(OtherDir(g_))) return;
  const std::vector<std::pair<std::string, InfSpec>> provider = {{"QNMODEM.INF", modemSpec},
                                                                 {"QNPORT.INF", portSpec},
                                                                 {"QUILLNET.INF", rootSpec},
                                                                 {"QNMODEM.IN~", modemSpec}};
  for (const auto& [name, spec] : provider) {
    if ((dice_.Coin(0.4) && Has()) || (had_[kWindows98] && name == "QNPORT.INF")) {
      AddInf(OtherDir(g_) + "\\Q.R. Meridian, Inc." + name, spec, Owner::Package, readOnly);
    }
  }
  // A leftover that no rule reaches: not an "oem*.inf" name in "INF".
  if (dice_.Coin(0.2) && Has()) AddInf(inf + "QNOLD.INF", rootSpec, Owner::Package);
}

void Generator::InstallFiles() {
  const PackageNames& n = g_.names;
  const std::string system = m().settings.systemDirectory;
  const std::string product = system + "\\QUILLNET.101";
  // 8.3 names; a long modem name keeps short file names.
  const std::string stem = g_.productNames ? "QUILLNET" : n.modem.size() <= 8 ? n.modem : "QNLONG";
  systemFiles_ = {CaseVariant(stem + ".CPL"), Lower(stem + ".vxd")};
  if (dice_.Coin(0.3)) systemFiles_.push_back("QNTAPI.DLL");
  for (const std::string& name : systemFiles_) {
    if (!Has()) continue;
    ModelFile& file = m().AddFile(system + "\\" + name, "MZ " + name, Owner::Package);
    file.readOnly = dice_.Coin(0.08);
  }
  productFiles_ = {"PRELDR.EXE", "QUILLNET.DRV", "QNVRAM.DAT", n.loadProgram};
  bool any = false;
  for (const std::string& name : productFiles_) {
    if (!Has()) continue;
    any = true;
    ModelFile& file = m().AddFile(product + "\\" + name, "MZ " + name, Owner::Package);
    file.readOnly = dice_.Coin(0.06);
    file.heldByNvram = dice_.Coin(0.2);
  }
  if (any && dice_.Coin(0.3)) m().AddFile(product + "\\QNLOG.TXT", "log", Owner::Package);
  if (any && dice_.Coin(0.15)) m().AddFile(product + "\\LOGS\\OLD.LOG", "log", Owner::Package);
}

// ---------------------------------------------------------------- bystanders

void Generator::AddBystanderRegistry() {
  const PackageNames& n = g_.names;
  auto bystander = [&](const std::string& path,
                       std::vector<std::pair<std::string, std::string>> values,
                       Exemption exemption = {}) {
    m().AddKey(path, Owner::Bystander, exemption);
    for (const auto& [name, value] : values) m().SetString(path, name, value, Owner::Bystander);
  };
  for (const char* frame : {"Enum\\Root", "Enum\\ISAPNP", "Enum\\Root\\MDMGEN",
                            "System\\CurrentControlSet\\Services\\Class\\Modem",
                            "System\\CurrentControlSet\\Services\\Class\\Ports",
                            "System\\CurrentControlSet\\Services\\Class\\MEDIA",
                            "System\\CurrentControlSet\\Services\\VxD",
                            "System\\CurrentControlSet\\control\\MediaResources\\wave"}) {
    m().AddKey(frame, Owner::Frame);
  }
  m().SetString("System\\CurrentControlSet\\Services\\Class\\Modem", "", "Modem", Owner::Frame);
  // Devices of other classes, with the class keys their "Driver" values
  // name; the package's own "Driver" values name some of these now and then.
  const std::vector<std::vector<std::string>> devices = {
      {"Enum\\Root\\Net\\0000", "Net", "0000"},
      {"Enum\\PCI\\VEN_5333&DEV_8811\\BUS_00&DEV_0A", "Display", "0000"},
      {"Enum\\ESDI\\GENERIC_IDE_DISK\\MF&CHILD0000", "hdc", "0000"},
      {"Enum\\Root\\*PNP0C01\\0000", "System", "0000"},
      {"Enum\\Root\\ACMEFAX\\0000", "AcmeFax", "0000"},
  };
  for (const std::vector<std::string>& d : devices) {
    bystander(d[0], {{"Class", d[1]}, {"Driver", d[1] + "\\" + d[2]}});
    // An "oem" INF name, which a recorded root "InfPath" would delete.
    bystander(std::string(kClassRoot) + d[1] + "\\" + d[2],
              {{"DriverDesc", d[1] + " device"}, {"InfPath", "OEM70.INF"}});
  }
  // The modem's name as an "InfSection" of another class.
  m().SetString(std::string(kClassRoot) + "Net\\0000", "InfSection", n.modem, Owner::Bystander);
  // COM1 and the sound card as Windows installs them, from its own INF files.
  bystander(kCom1, {{"Class", "Ports"}, {"Driver", "Ports\\0000"}, {"PortName", "COM1"}});
  bystander(std::string(kClassRoot) + "Ports\\0000", {{"DriverDesc", "Communications Port"},
                                                      {"InfSection", "ComPort"},
                                                      {"InfPath", "MSPORTS.INF"}});
  bystander(kSoundCard, {{"Class", "MEDIA"}, {"Driver", "MEDIA\\" + soundKey_}});
  bystander(std::string(kClassRoot) + "MEDIA\\" + soundKey_,
            {{"DriverDesc", "Sound Blaster 16"}, {"InfSection", "SB16"}, {"InfPath", "SB16.INF"}});
  // The standard modem, which stale records of the package name now and then.
  const bool acmeModem = standardModemInf_ != "MDMGEN.INF";
  bystander(
      kStandardModem,
      {{"Class", "Modem"}, {"Driver", "Modem\\" + standardModemKey_}, {"AttachedTo", "COM1"}});
  bystander(std::string(kClassRoot) + "Modem\\" + standardModemKey_,
            {{"DriverDesc", acmeModem ? "Acme 56K Voice Modem" : "Standard 28800 bps Modem"},
             {"InfSection", acmeModem ? "Acme56K" : "Gen28800"},
             {"InfPath", standardModemInf_}});
  // Another card with a port of its own, whose INF file may be gone.
  if (acmeCard_) {
    bystander(kAcmeCard,
              {{"Class", "Ports"}, {"Driver", "Ports\\" + acmePortKey_}, {"PortName", "COM4"}});
    bystander(std::string(kClassRoot) + "Ports\\" + acmePortKey_,
              {{"DriverDesc", "Acme Communications Port"},
               {"InfSection", "AcmePort"},
               {"InfPath", acmePortInf_}});
  }

  // Other modems, each with its class key; their "InfSection" values come
  // close to the package's without being equal.
  std::vector<std::string> sections = {"Gen28800", n.modem + "X", n.modem + " ", "Acme56K"};
  for (const std::string& near : {Lower(n.modem), Upper(n.modem)}) {
    if (near != n.modem) sections.push_back(near);  // differs in letter case only
  }
  const int modems = dice_.Range(1, 4);
  bool denied = false;
  for (int i = 1; i <= modems; ++i) {
    const std::string key = Number(modemKeys_.Next());
    // After the slots a history gave the modems it tells of.
    const bool slots = had_[kReadded] || had_[kNewerModem] || had_[kSibling];
    const std::string device = kMdmgen + Number(i + (slots ? 3 : 0));
    const std::string classKey = std::string(kClassRoot) + "Modem\\" + key;
    bystander(device, {{"Class", "Modem"}, {"Driver", "Modem\\" + key}, {"AttachedTo", "COM1"}});
    bystander(classKey, {{"DriverDesc", "Other Modem"}, {"InfPath", "MDMGEN.INF"}});
    if (dice_.Coin(0.8))
      m().SetString(classKey, "InfSection", dice_.Pick(sections), Owner::Bystander);
    // A class key that cannot be opened ends the class search.
    if (!denied && dice_.Coin(0.08)) {
      m().AddKey(classKey, Owner::Bystander).denyOpen = true;
      denied = true;
    }
  }
  for (int i = 0, ports = dice_.Range(1, 3); i < ports; ++i) {
    const std::string classKey = std::string(kClassRoot) + "Ports\\" + Number(portKeys_.Next());
    bystander(classKey, {{"DriverDesc", "Communications Port"}, {"InfPath", "MSPORTS.INF"}});
    if (dice_.Coin(0.5)) m().SetString(classKey, "InfSection", "ComPort", Owner::Bystander);
  }
  std::vector<std::string> voices = {"SB16", "", n.voice + "2", "Acme Voice"};
  if (Lower(n.voice) != n.voice) voices.push_back(Lower(n.voice));
  for (int i = 0, media = dice_.Range(1, 3); i < media; ++i) {
    const std::string number = Number(mediaKeys_.Next());
    const std::string classKey = std::string(kClassRoot) + "MEDIA\\" + number;
    bystander(classKey, {{"DriverDesc", "Sound"}, {"InfPath", "SB16.INF"}});
    // An empty "InfSection" must not match an empty voice name.
    if (dice_.Coin(0.8))
      m().SetString(classKey, "InfSection", dice_.Pick(voices), Owner::Bystander);
    if (dice_.Coin(0.5)) {
      bystander(std::string(kWaveResources) + "serwvdrv.drv<" + number + ">",
                {{"Driver", "serwvdrv.drv"}});
    }
  }
  bystander(std::string(kWaveResources) + "sb16.drv<0000>", {{"Driver", "sb16.drv"}});
  bystander(std::string(kVxd) + "QNAUDIO2", {{"StaticVxD", "qnaudio2.vxd"}});
  bystander(std::string(kVxd) + "VCOMM", {{"StaticVxD", "*vcomm"}});
  bystander("Enum\\ISAPNP\\" + n.pnpIds[0] + "X\\01", {{"Class", "Net"}});
  bystander("Enum\\Root\\" + n.modem + "Tools\\0000", {{"Class", "System"}});
  bystander(kMdmgen + std::string("0010"), {{"Class", "Ports"}, {"DeviceDesc", "Other COM"}});
  // Another voice modem beside the package's, with its wave driver's key.
  if (acmeWave_) {
    bystander(acmeWaveDevice_, {});
    bystander(acmeWaveDevice_ + "\\ROOT&MODEM&0000",
              {{"Class", "MEDIA"}, {"Driver", "MEDIA\\" + acmeWaveKey_}});
    bystander(std::string(kClassRoot) + "MEDIA\\" + acmeWaveKey_,
              {{"DriverDesc", "Acme Voice Modem Wave"},
               {"InfSection", "AcmeVoice"},
               {"InfPath", acmeWaveInf_}});
    bystander(std::string(kWaveResources) + "serwvdrv.drv<" + acmeWaveKey_ + ">",
              {{"Driver", "serwvdrv.drv"}});
  }
  // An enumerator left empty by an earlier uninstall.
  if (!m().HasKey("Enum\\MODEMWAVE") && dice_.Coin(0.05))
    m().AddKey("Enum\\MODEMWAVE", Owner::Frame);
  // mdmclean removes the wave enumerator when nothing but the package's
  // device is in it; otherwise it stays.
  if (m().HasKey("Enum\\MODEMWAVE")) {
    Exemption whenOnlyThePackage;
    whenOnlyThePackage.byProgramWhenOnlyThePackageIsBelow = true;
    m().AddKey("Enum\\MODEMWAVE", Owner::Frame, whenOnlyThePackage);
  }
  bystander(std::string(kClassRoot) + n.rootClass + "Tools\\0000", {{"InfPath", "OEM99.INF"}});
  bystander("SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
            {{"Version", "Windows 95"}, {"ProgramFilesDir", "C:\\Program Files"}});
  bystander("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", {{n.modem, "QUILLNET.EXE"}});
  bystander("SOFTWARE\\" + n.vendor + "\\" + n.modem + "Fax", {{"Version", "2.1"}});
  bystander("SOFTWARE\\" + n.vendor + "Labs\\" + n.modem + "\\1.0\\ComPort", {{"", "0000"}});
  if (dice_.Coin(0.5)) {
    ModelValue binary{"Blob", REG_BINARY, {0x00, 0x5C, 0xFF, 0x0D, 0x0A}};
    m().SetValue("SOFTWARE\\Microsoft\\Windows\\CurrentVersion", binary, Owner::Bystander);
    m().SetValue("SOFTWARE\\Microsoft\\Windows\\CurrentVersion", {"Count", REG_DWORD, {1, 2, 3, 4}},
                 Owner::Bystander);
  }
}

// What the histories left besides the package's own keys.
void Generator::AddHistories() {
  const PackageNames& n = g_.names;
  auto set = [&](const std::string& path, std::vector<std::pair<std::string, std::string>> values,
                 Owner owner) {
    m().AddKey(path, owner);
    for (const auto& [name, value] : values) m().SetString(path, name, value, owner);
  };
  const std::string classRoot = kClassRoot;
  const std::string modem1 = classRoot + "Modem\\0001", modem2 = classRoot + "Modem\\0002";
  const InfSpec modemInf = VersionOnly("Modem");
  if (had_[kTwice]) {
    // Installed once more: a second instance linking a second modem.
    const std::string instance = "Enum\\Root\\" + n.modem + "\\0001";
    const std::string device = kMdmgen + Number(40 + history_.Range(0, 5));
    const std::string key = Number(modemKeys_.Next(history_));
    items_[kTwice] = {Folded(instance), Folded(device), Folded(classRoot + "Modem\\" + key)};
    for (const std::string& parent : {ParentPath(instance), classRoot + n.rootClass}) {
      if (!m().HasKey(parent)) m().AddKey(parent, Owner::Package);
    }
    set(instance,
        {{"Class", n.rootClass}, {"Driver", n.rootClass + "\\0001"}, {"ConnectedToModem", device}},
        Owner::Package);
    set(classRoot + n.rootClass + "\\0001", {{"InfPath", rootInf_}}, Owner::Package);
    set(device, {{"Class", "Modem"}, {"Driver", "Modem\\" + key}, {"AttachedTo", "COM3"}},
        Owner::Package);
    set(classRoot + "Modem\\" + key,
        {{"DriverDesc", n.modem + " Modem"}, {"InfSection", n.modem}, {"InfPath", modemInf_}},
        Owner::Package);
  }
  if (had_[kReadded]) {
    set(kMdmgen + std::string("0001"),
        {{"Class", "Modem"}, {"Driver", "Modem\\0001"}, {"AttachedTo", "COM1"}}, Owner::Bystander);
    set(modem1,
        {{"DriverDesc", "Standard 28800 bps Modem"},
         {"InfSection", "Gen28800"},
         {"InfPath", "MDMGEN.INF"}},
        Owner::Bystander);
  }
  if (had_[kNewerModem]) {
    set(kMdmgen + std::string("0001"),
        {{"Class", "Modem"}, {"Driver", "Modem\\0001"}, {"AttachedTo", "COM3"}}, Owner::Bystander);
    set(modem1,
        {{"DriverDesc", "Quillnet 56K Modem"}, {"InfSection", "QN56K"}, {"InfPath", "OEM9.INF"}},
        Owner::Bystander);
    AddInf(InfDir(g_) + "\\OEM9.INF",
           WithStrings(modemInf, "QN56K.DeviceDesc", "\"Quillnet 56K Modem\""), Owner::Bystander);
  }
  if (had_[kSibling]) {
    // Its INF describes the chipset under the package's names.
    set(kMdmgen + std::string("0003"),
        {{"Class", "Modem"}, {"Driver", "Modem\\0002"}, {"AttachedTo", "COM2"}}, Owner::Bystander);
    set(modem2,
        {{"DriverDesc", "Chipset 56K Modem"}, {"InfSection", "Chip56K"}, {"InfPath", "OEM8.INF"}},
        Owner::Bystander);
    InfSpec sibling = WithStrings(modemInf, "Quillnet.DeviceDesc", "\"Quillnet chipset\"");
    if (n.modem != "Quillnet") sibling = WithStrings(sibling, n.modem + ".DeviceDesc", "chipset");
    AddInf(InfDir(g_) + "\\OEM8.INF", sibling, Owner::Bystander);
  }
}

void Generator::AddBystanderInfFiles() {
  const PackageNames& n = g_.names;
  const std::string inf = InfDir(g_) + "\\";
  const std::string description = n.modem + ".DeviceDesc";
  AddInf(inf + "MDMGEN.INF",
         WithStrings(VersionOnly("Modem"), "Gen28800.DeviceDesc", "Standard Modem"),
         Owner::Bystander);
  InfSpec ports = VersionOnly("Ports");
  ports.lines.push_back({"Std", "%*PNP0501.DeviceDesc%", "ComPort,*PNP0501"});
  if (msportsInf_) AddInf(inf + "MSPORTS.INF", ports, Owner::Bystander);
  // The other devices' own INF files.
  if (standardModemInf_ != "MDMGEN.INF") {
    AddInf(inf + standardModemInf_,
           WithStrings(VersionOnly("Modem"), "Acme.DeviceDesc", "Acme 56K"), Owner::Bystander);
  }
  if (acmeCard_ && acmePortInfThere_) {
    InfSpec acmePorts = VersionOnly("Ports");
    acmePorts.lines.push_back({"Std", "%AcmePort.DeviceDesc%", "ComPort,ACM2000"});
    AddInf(inf + acmePortInf_, acmePorts, Owner::Bystander);
  }
  if (acmeWave_) {
    AddInf(inf + acmeWaveInf_,
           WithStrings(VersionOnly("MEDIA"), "AcmeVoice.DeviceDesc", "Acme Voice"),
           Owner::Bystander);
  }
  AddInf(inf + "SB16.INF", VersionOnly("MEDIA"), Owner::Bystander);
  AddInf(inf + "OEM70.INF", VersionOnly("Display"), Owner::Bystander);  // other classes' "InfPath"
  // A non-"oem" name is never examined, whatever it holds.
  AddInf(inf + "MYMODEM.INF", WithStrings(VersionOnly("Modem"), description, "Mine"),
         Owner::Bystander);

  std::vector<InfSpec> kinds = {
      WithStrings(VersionOnly("Net"), description, "Not a modem"),
      WithStrings(VersionOnly("Modem"), "Acme.DeviceDesc", "Acme 56K"),
      WithStrings(VersionOnly("Modem"), n.modem + "X.DeviceDesc", "Near miss"),
      WithStrings(VersionOnly("Modem"), description, "\"\""),
      WithStrings(VersionOnly("MEDIA"), "SB16.DeviceDesc", "Sound Blaster"),
      WithStrings(VersionOnly(n.rootClass + "X"), description, "Other class"),
      VersionOnly(""),
      InfSpec{{{"Strings", description, "No version section"}}},
      VersionOnly("Display"),
  };
  InfSpec portsNear = VersionOnly("Ports");
  portsNear.lines.push_back({"Std", "%Quillnet.DeviceDesc%", "ComPort, QUILLNET"});
  kinds.push_back(portsNear);
  InfSpec portsFirstWins = VersionOnly("Ports");
  portsFirstWins.lines.push_back({"Std", "%Quillnet.DeviceDesc%", "ComPort,OTHER"});
  portsFirstWins.lines.push_back({"Std", "%QRMPort.DeviceDesc%", "ComPort,QUILLNET"});
  kinds.push_back(portsFirstWins);
  InfSpec portsOther = VersionOnly("Ports");
  portsOther.lines.push_back({"Std", "%Acme.DeviceDesc%", "ComPort,ACME"});
  kinds.push_back(portsOther);

  for (int i = 0, count = dice_.Range(2, 8); i < count; ++i) {
    AddInf(inf + OemName(), dice_.Pick(kinds), Owner::Bystander, 0.1);
  }
  if (m().HasDirectory(OtherDir(g_))) {
    AddInf(OtherDir(g_) + "\\Acme Inc.ACMEMDM.INF",
           WithStrings(VersionOnly("Modem"), "Acme.DeviceDesc", "Acme 56K"), Owner::Bystander);
    if (dice_.Coin(0.5))
      AddInf(OtherDir(g_) + "\\Other Vendor.NET.INF", dice_.Pick(kinds), Owner::Bystander);
    m().AddFile(OtherDir(g_) + "\\notes.txt", "Class=" + n.rootClass, Owner::Bystander);
  }
}

void Generator::AddBystanderFiles() {
  const Settings& s = m().settings;
  const std::string system = s.systemDirectory + "\\";
  for (const char* name :
       {"TASKMON.EXE", "UNIMODEM.VXD", "QUILLNETX.DLL", "QUILLNET.CPL.BAK", "QNVRAM.DAT",
        "QUILLNET.EXE", "SERIAL.VXD", "KERNEL32.DLL", "VCOMM.VXD"}) {
    m().AddFile(system + name, std::string("bytes of ") + name, Owner::Bystander);
  }
  m().AddFile(system + "VMM32.VXD", "vmm", Owner::Bystander).inUse = true;
  m().AddFile(system + "LOCKED.DLL", "locked", Owner::Bystander).readOnly = true;
  m().AddFile(system + "QUILLNET.1010\\X.DAT", "x", Owner::Bystander);
  m().AddFile(s.windowsDirectory + "\\QUILLNET.101\\KEEP.TXT", "keep", Owner::Bystander);
  m().AddFile(s.windowsDirectory + "\\TEMP\\~DF1234.TMP", "tmp", Owner::Bystander);
  m().AddFile("C:\\Program Files\\Acme\\agent.exe", "agent", Owner::Bystander);
  m().AddFile(s.workingDirectory + "\\SETUP.EXE", "setup", Owner::Bystander);
  // Logs of earlier runs: the running deliverable's own may grow or start
  // afresh (or stay, read-only); the other's must stay as it is.
  for (const char* log : {"\\MDMCLEAN.LOG", "\\HVLIB32.LOG", "\\HVLIB32.REG"}) {
    if (!dice_.Coin(0.3)) continue;
    const std::string earlier = dice_.Coin(0.3) ? std::string(70000, 'x') : "an earlier run\r\n";
    m().AddFile(s.windowsDirectory + log, earlier, Owner::Bystander).readOnly = dice_.Coin(0.3);
  }
}

// ---------------------------------------------------------------- lists

// Blanks mostly, commas sometimes, or a mix with tabs.
void Generator::Separate(std::vector<ListToken>& tokens) {
  const int style = dice_.Range(0, 9);
  const std::vector<std::string> mixed = {" ", ",", "\t", ", "};
  for (ListToken& token : tokens)
    token.separator = style < 6 ? " " : style < 8 ? "," : dice_.Pick(mixed);
}

void Generator::WriteLists() {
  const PackageNames& n = g_.names;
  const Settings& s = m().settings;
  const std::string sys = s.systemDirectory;
  // Other programs' entries, some in their own letters, which they keep, and
  // long names with blanks in quotes.
  std::vector<ListToken> load = {
      {sys + "\\TASKMON.EXE"},
      {dice_.Pick(std::vector<std::string>{"C:\\PROGRA~1\\ACME\\AGENT.EXE",
                                           "c:\\progra~1\\acme\\agent.exe",
                                           "C:\\Progra~1\\Acme\\Agent.exe"})},
      {dice_.Pick(std::vector<std::string>{"QUILLNETX.EXE", "QuillnetX.exe"})},
      {sys + "\\QUILLNET.EXE"},
      {"C:\\QUILLNET.101\\TOOLS.EXE"},
      {dice_.Pick(std::vector<std::string>{"MSOFFICE.EXE", "msoffice.exe", "MsOffice.exe"})},
  };
  std::vector<std::string> quoted;
  if (dice_.Coin(0.4)) quoted.push_back("\"C:\\Program Files\\Acme\\agent.exe\"");
  if (dice_.Coin(0.3)) quoted.push_back("\"C:\\Program Files\\Other Tools\\tray.exe\"");
  // A package entry inside quotes that does not end there, or not after a
  // backslash: part of another program's entry.
  if (dice_.Coin(0.15))
    quoted.push_back("\"" + sys + "\\QUILLNET.101\\" + n.loadProgram + " /min\"");
  if (dice_.Coin(0.15)) quoted.push_back("\"C:\\Old Files\\XQUILLNET.101\\PRELDR.EXE\"");
  for (const std::string& text : quoted) load.push_back({text});
  std::vector<ListToken> own;
  if (Has()) own.push_back({CaseVariant(sys + "\\QUILLNET.101\\" + n.loadProgram), Owner::Package});
  if (g_.productNames) {
    if (Has()) own.push_back({CaseVariant(sys + "\\QUILLNET.101\\PRELDR.EXE"), Owner::Package});
    if (Has()) own.push_back({CaseVariant("QUILLNET.101\\PRELDR.EXE"), Owner::Package});
  }
  // The package's entries in quotes now and then, and written twice.
  for (ListToken& token : own) {
    if (dice_.Coin(0.1)) token.text = "\"" + token.text + "\"";
  }
  if (!own.empty() && dice_.Coin(0.25)) own.push_back(dice_.Pick(own));
  load.insert(load.end(), own.begin(), own.end());
  // Other programs' entries that hold a package entry without being one: it
  // does not start or end them, or not after a separator or backslash. One
  // of them is a full path that ends in the start-up program's relative
  // entry, which mdmclean takes with that entry.
  const std::string loadEntry = "QUILLNET.101\\" + n.loadProgram;
  const std::vector<std::string> nearEntries = {
      "X" + sys + "\\" + loadEntry, sys + "\\" + loadEntry + "C", "XQUILLNET.101\\PRELDR.EXE",
      "C:\\X\\QUILLNET.EXEC"};
  for (const std::string& near : nearEntries) {
    if (!dice_.Coin(0.2)) continue;
    load.push_back({near});
    if (near == nearEntries[0]) load.back().productFile = n.loadProgram;
  }
  // The stub under another Windows directory, now and then a long name in
  // quotes: a full path the library's entry ends, which goes whole, and
  // mdmclean's too: it cuts the relative entry of every configured product
  // file.
  Exemption byLibrary;
  byLibrary.byLibrary = true;
  const std::string oldStub = !dice_.Coin(0.25) ? ""
                              : dice_.Coin(0.7) ? "D:\\OLD\\QUILLNET.101\\PRELDR.EXE"
                                                : "\"D:\\OLD WINDOWS\\QUILLNET.101\\PRELDR.EXE\"";
  if (!oldStub.empty()) {
    load.push_back({oldStub, Owner::Bystander, byLibrary});
    load.back().productFile = "PRELDR.EXE";
  }
  if (dice_.Coin(0.15)) {
    for (int i = 0; i < 30; ++i)
      load.push_back({"C:\\APPS\\TOOL" + std::to_string(i) + "\\RUN.EXE"});
  }
  dice_.Shuffle(load);
  // Quoted entries first and last: a profile read drops the two outer quotes.
  if (quoted.size() >= 2 && dice_.Coin(0.5)) {
    auto isQuoted = [&](const ListToken& t) { return t.text == quoted[0] || t.text == quoted[1]; };
    std::stable_partition(load.begin(), load.end(),
                          [&](const ListToken& t) { return t.text == quoted[0]; });
    std::stable_partition(load.begin() + 1, load.end(),
                          [&](const ListToken& t) { return !isQuoted(t); });
  }
  // The entry after one that goes must stay whole.
  if (!oldStub.empty()) {
    const auto stub = std::find_if(load.begin(), load.end(),
                                   [&](const ListToken& t) { return t.text == oldStub; });
    load.insert(stub + 1, {"Z.EXE"});
  }
  g_.load.tokens = load;

  std::vector<ListToken> drivers = {
      {"mmsystem.dll"}, {"msacm.drv"}, {"midimap.drv"}, {"QUILLNET.101\\QNFAX.drv"}};
  const std::string driverEntry = "QUILLNET.101\\" + n.modem + ".drv";
  if (Has()) drivers.push_back({CaseVariant(driverEntry), Owner::Package});
  if (Has() && dice_.Coin(0.15))
    drivers.push_back({CaseVariant(driverEntry), Owner::Package});  // twice
  if (dice_.Coin(0.1)) drivers.push_back({driverEntry + "32"});
  if (dice_.Coin(0.1)) drivers.push_back({"X" + driverEntry});
  if (dice_.Coin(0.1)) {
    Exemption both;
    both.byProgram = true;
    both.byLibrary = g_.productNames;
    drivers.push_back({"C:\\OLD\\" + driverEntry, Owner::Bystander, both});
  }
  dice_.Shuffle(drivers);
  g_.drivers.tokens = drivers;
  for (ListLine* line : {&g_.load, &g_.drivers}) Separate(line->tokens);

  // Every other line of both files must come back byte for byte.
  for (ListLine* line : {&g_.load, &g_.drivers}) {
    const int state = dice_.Range(0, 19);
    line->fileExists = state != 0;
    line->sectionExists = state != 1;
    line->keyExists = state != 2;
    if (state == 3) line->tokens.clear();
  }
  if (g_.load.fileExists) {
    std::string text = "; win.ini\r\n";
    if (g_.load.sectionExists) {
      text += "[windows]\r\n";
      // Blanks around "=" and quotes around the value are not part of it.
      const std::string value = g_.load.Value();
      const int form = dice_.Range(0, 9);
      g_.load.fileText = form == 0 ? " " + value : form == 1 ? "\"" + value + "\"" : value;
      if (g_.load.keyExists) text += "load=" + g_.load.fileText + "\r\n";
      text += "run=" + sys + "\\QUILLNET.101\\QUILLNET.EXE\r\nNullPort=None\r\n";
      // Only the first key of the first section of a name counts.
      if (form == 2 && g_.load.keyExists)
        text += "load=" + sys + "\\QUILLNET.101\\QUILLNET.EXE SECOND.EXE\r\n";
    }
    text += "\r\n[Desktop]\r\nWallpaper=(None)\r\n\r\n[Ports]\r\nCOM1:=9600,n,8,1\r\n";
    if (dice_.Coin(0.1) && g_.load.sectionExists)
      text += "[windows]\r\nload=QUILLNET.101\\PRELDR.EXE\r\n";
    m().AddFile(g_.WinIni(), text, Owner::Frame).readOnly = dice_.Coin(0.03);
  }
  if (g_.drivers.fileExists) {
    std::string text = "[boot]\r\nshell=Explorer.exe\r\n";
    if (!g_.drivers.sectionExists) text = "[boot.description]\r\nshell=Explorer.exe\r\n";
    g_.drivers.fileText = g_.drivers.Value();
    if (g_.drivers.sectionExists && g_.drivers.keyExists)
      text += "drivers=" + g_.drivers.fileText + "\r\n";
    text += "system.drv=system.drv\r\n\r\n[386Enh]\r\ndevice=*vcomm\r\n[drivers]\r\nwave=" +
            std::string("QUILLNET.101\\") + n.modem + ".drv\r\n";
    m().AddFile(g_.SystemIni(), text, Owner::Frame).readOnly = dice_.Coin(0.03);
  }
}

void Generator::WriteConfiguration() {
  Configuration& c = g_.config;
  const PackageNames& n = g_.names;
  c.systemFiles = systemFiles_;
  if (dice_.Coin(0.3)) c.systemFiles.push_back("QNOLD.DLL");  // already gone
  std::vector<std::string> product = {"PRELDR.EXE", "QUILLNET.DRV"};
  if (dice_.Coin(0.3)) product.push_back("QNVRAM.DAT");
  dice_.Shuffle(product);
  product.push_back(n.loadProgram);  // the start-up program is named last
  if (dice_.Coin(0.15)) dice_.Shuffle(product);
  c.productFiles = product;
  c.pnpIds = n.pnpIds;
  if (dice_.Coin(0.3)) c.pnpIds = {n.pnpIds[1]};
  if (dice_.Coin(0.2)) std::reverse(c.pnpIds.begin(), c.pnpIds.end());
  if (dice_.Coin(0.2)) c.pnpIds.insert(c.pnpIds.begin(), "QRM9999");
  if (had_[kCardChanged]) c.pnpIds = n.pnpIds;  // both of the card's IDs
  c.vendor = n.vendor;
  c.modemName = n.modem;
  c.voiceName = dice_.Coin(0.8) ? n.voice : "";
  // Windows' own device IDs or system files: nothing may change.
  switch (had_[kWindowsNames] ? history_.Range(0, 3) : -1) {
    case 0: c.modemName = "*PNP0C01"; break;
    case 1: c.voiceName = "*PNP0500"; break;
    case 2: c.pnpIds.push_back("*PNP0501"); break;
    case 3:
      c.systemFiles.push_back(history_.Pick(
          std::vector<std::string>{"UNIMODEM.VXD", "serial.vxd", "KERNEL32.DLL", "Vcomm.vxd"}));
      break;
  }
  // One of Windows' own names, in any letter case: nothing may change.
  if (!variation_.fullPackage && dice_.Coin(0.05)) {
    const std::string name = CaseVariant(
        dice_.Pick(std::vector<std::string>{"Net", "Modem", "Display", "MEDIA", "Ports"}));
    const int which = dice_.Range(0, 2);
    if (which == 0) c.modemName = name;
    if (which == 1) c.voiceName = name;
    if (which == 2) c.vendor = CaseVariant("Microsoft");
    windowsNames_ = true;
  }
  // A modem named like the standard modem's key below "Enum\Root", in any
  // letter case: not one of Windows' names, but its root device key is a
  // container of other devices, which stays.
  if (!variation_.fullPackage && !windowsNames_ && dice_.Coin(0.02)) {
    c.modemName = dice_.Pick(std::vector<std::string>{"mdmgen", "Mdmgen", "MDMGEN"});
    containerName_ = true;
  }
  // Names that are not one registry key name each: nothing may change.
  if (!variation_.fullPackage && dice_.Coin(0.06)) {
    const std::vector<std::string*> name = {&c.vendor, &c.modemName, &c.pnpIds.back()};
    const std::vector<std::string> forms = {"Microsoft\\Windows", *name[0] + "\\",
                                            n.modem + "\\0000", "\\" + n.modem,
                                            c.pnpIds.back() + "\\0A1B2C3D"};
    const int form = dice_.Range(0, 4);
    *name[form / 2] = forms[static_cast<std::size_t>(form)];
    keyPathNames_ = true;
  }

  std::vector<std::pair<std::string, std::string>> keys = {
      {"FileNames", "system_dir=" + Join(c.systemFiles, ",")},
      {"FileNames", "quillnet101_dir=" + Join(c.productFiles, ",")},
      {"RegistryKeys", "PnpID=" + Join(c.pnpIds, ",")},
      {"RegistryKeys", "Vendor=" + c.vendor},
      {"RegistryKeys", "ModemName=" + c.modemName},
      {"NewInstallFiles", "FileNames=QUILLNET.EXE,QUILLNET.DRV,PRELDR.EXE"},
      {"NewInstallFiles", "INFFiles=QNMODEM.INF,QNPORT.INF"},
  };
  if (!variation_.fullPackage && dice_.Coin(0.05)) {
    keys.erase(keys.begin() + dice_.Range(0, static_cast<int>(keys.size()) - 1));
    c.complete = false;
  }
  if (!c.voiceName.empty()) keys.push_back({"RegistryKeys", "VoiceName=" + c.voiceName});
  std::string text = "; Prepared by the setup program.\r\n";
  for (const char* section : {"FileNames", "RegistryKeys", "NewInstallFiles"}) {
    text += std::string("[") + section + "]\r\n";
    for (const auto& [in, line] : keys) {
      if (in == section) text += line + "\r\n";
    }
    text += "\r\n";
  }
  if (dice_.Coin(0.7)) text += "[Progress]\r\nResult=-1\r\n";
  c.text = text;
  // A read-only file keeps its old result: the write fails, unnoticed.
  m().AddFile(g_.ConfigFile(), text, Owner::Frame).readOnly = dice_.Coin(0.03);
}

void Generator::Describe() {
  const char* kinds[] = {"full", "partial", "none"};
  const Settings& s = m().settings;
  g_.description = std::string("package ") + kinds[static_cast<int>(install_)] + " as " +
                   g_.names.modem + ", windows " + s.windowsDirectory + ", version " +
                   std::to_string(s.major) + "." + std::to_string(s.minor) +
                   (s.nvramWindow ? ", NVRAM window" : "") +
                   (s.deletesOpenFiles ? "" : ", files in use refuse deletion") +
                   (g_.config.complete ? "" : ", incomplete configuration") +
                   (keyPathNames_ ? ", configured registry names with a backslash" : "") +
                   (windowsNames_ ? ", one of Windows' own names configured" : "") +
                   (containerName_ ? ", the modem named like the standard modem's key" : "");
  for (const auto& history : g_.histories) g_.description += ", " + history.name;
}

GeneratedMachine Generator::Run() {
  ChooseSettings();
  ChooseNames();
  ChooseOtherDevices();
  InstallRegistry();
  InstallInfFiles();
  InstallFiles();
  AddBystanderRegistry();
  AddHistories();
  AddBystanderInfFiles();
  AddBystanderFiles();
  WriteLists();
  WriteConfiguration();
  // Drawn last, so that the machines drawn before stay as they were.
  m().settings.deletesOpenFiles = dice_.Coin(0.5);
  for (int h = 0; h < kHistories; ++h) {
    if (had_[h]) g_.histories.push_back({kHistoryNames[h], items_[h]});
  }
  Describe();
  return std::move(g_);
}

}  // namespace

// ---------------------------------------------------------------- public

std::string InfSpec::Text() const {
  std::string text = "; generated\r\n";
  std::string current;
  for (const InfLine& line : lines) {
    if (line.section != current) {
      text += "\r\n[" + line.section + "]\r\n";
      current = line.section;
    }
    text += line.key + "=" + line.raw + "\r\n";
  }
  return text;
}

std::string InfSpec::Value(const std::string& section, const std::string& key) const {
  // Only the first section of a name is searched: the first run of lines
  // under it, as Text() writes them.
  bool seen = false;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const InfLine& line = lines[i];
    const bool inSection = Folded(line.section) == Folded(section);
    const bool newRun = i == 0 || lines[i - 1].section != line.section;
    if (inSection && newRun && seen) break;
    seen = seen || inSection;
    if (!inSection || Folded(line.key) != Folded(key)) continue;
    std::string value = Trim(line.raw);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
      value = value.substr(1, value.size() - 2);
    }
    return value;
  }
  return {};
}

std::string ListLine::Value() const {
  std::string value;
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    value += (i ? tokens[i - 1].separator : "") + tokens[i].text;
  }
  return value;
}

std::string GeneratedMachine::WinIni() const {
  return model.settings.windowsDirectory + "\\WIN.INI";
}
std::string GeneratedMachine::SystemIni() const {
  return model.settings.windowsDirectory + "\\SYSTEM.INI";
}
std::string GeneratedMachine::ConfigFile() const {
  return model.settings.workingDirectory + "\\mdminfo.ini";
}

PackageNames ProductNames() {
  return {"Quillnet", "QuillnetVoice",        "QRMeridian",
          "Quillnet", {"QRM1001", "QRM1003"}, "QUILLNET.EXE"};
}

GeneratedMachine Generate(std::uint64_t seed) { return Generator(seed, Variation{}).Run(); }

GeneratedMachine Generate(std::uint64_t seed, const Variation& variation) {
  return Generator(seed, variation).Run();
}

}  // namespace mdm::safety
