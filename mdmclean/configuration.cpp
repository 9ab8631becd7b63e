#include "mdmclean/configuration.h"

#include <algorithm>

#include "common/limits.h"
#include "common/registry_keys.h"
#include "common/text.h"
#include "common/windows_names.h"

namespace mdm::cleaner {

namespace {

struct ConfigValue {
  std::string text;
  bool tooLong = false;
  bool empty() const { return text.empty(); }
};

ConfigValue ReadValue(Platform& platform, const char* section, const char* key) {
  // One read wider than a value may be tells a value that fits from one that
  // would be cut.
  char buffer[CONFIG_VALUE_LIMIT + 2] = {};
  const std::uint32_t count =
      platform.GetPrivateProfileStringA(section, key, "", buffer, sizeof buffer, CONFIG_FILE);
  ConfigValue value;
  // The value ends at its first zero byte, whatever count the read reports:
  // an item after it would be an empty name, a purge of the whole system
  // directory as a file entry.
  const char* begin = buffer;
  const char* end = begin + std::min<std::uint32_t>(count, CONFIG_VALUE_LIMIT);
  value.text.assign(begin, std::find(begin, end, '\0'));
  value.tooLong = count > CONFIG_VALUE_LIMIT;
  return value;
}

// Splits a list at every comma. Empty items are dropped: taken as they stand
// they would name the whole system directory or a whole enumerator branch.
std::vector<std::string> SplitList(const std::string& list) {
  std::vector<std::string> items;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = list.find(',', start);
    const std::string item =
        list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    if (!item.empty()) items.push_back(item);
    if (comma == std::string::npos) return items;
    start = comma + 1;
  }
}

// A required list: present, not wider than a value may be, with at least one item.
bool ReadList(Platform& platform, const char* section, const char* key,
              std::vector<std::string>& items) {
  const ConfigValue value = ReadValue(platform, section, key);
  if (value.empty() || value.tooLong) return false;
  items = SplitList(value.text);
  return !items.empty();
}

// A list of file names, each one plain: "..\WIN.INI" or "C:\IO.SYS" would
// delete what the package never owned.
bool ReadFileList(Platform& platform, const char* key, std::vector<std::string>& names) {
  if (!ReadList(platform, "FileNames", key, names)) return false;
  for (const std::string& name : names) {
    if (!IsPlainFileName(name)) return false;
  }
  return true;
}

// A required single name that must be one registry key name.
bool ReadKeyName(Platform& platform, const char* key, std::string& name) {
  const ConfigValue value = ReadValue(platform, "RegistryKeys", key);
  if (value.tooLong || !IsKeyName(value.text)) return false;
  name = value.text;
  return true;
}

bool AreKeyNames(const std::vector<std::string>& names) {
  return std::all_of(names.begin(), names.end(), IsKeyName);
}

// What the program handles: as many names as its tables always held.
bool FitsTheLimits(const Configuration& c) {
  if (c.systemFiles.size() + c.productFiles.size() > MAX_CONFIGURED_FILES) return false;
  if (c.pnpIds.size() > MAX_PNP_IDS) return false;
  for (const std::string& id : c.pnpIds) {
    if (id.size() > MAX_PNP_ID_LENGTH) return false;
  }
  return c.vendor.size() + c.modemName.size() <= MAX_VENDOR_AND_MODEM_LENGTH;
}

// One of Windows' own device names: a class, an enumerator or a device ID
// such as *PNP0C01, whose root device "Enum\Root\*PNP0C01" is the system board.
bool IsWindowsDevice(const std::string& name) {
  return IsWindowsDeviceName(name) || IsWindowsDeviceId(name);
}

}  // namespace

std::optional<Configuration> LoadConfiguration(Platform& platform) {
  Configuration c;
  const bool systemListed = ReadFileList(platform, "system_dir", c.systemFiles);
  const bool productListed = ReadFileList(platform, "quillnet101_dir", c.productFiles);
  if (!systemListed || !productListed) return std::nullopt;
  // The system folder holds Windows' own files too: "UNIMODEM.VXD" there is
  // Windows' modem driver, never the package's.
  if (std::any_of(c.systemFiles.begin(), c.systemFiles.end(), IsWindowsFile)) return std::nullopt;
  if (!ReadList(platform, "RegistryKeys", "PnpID", c.pnpIds) || !AreKeyNames(c.pnpIds) ||
      std::any_of(c.pnpIds.begin(), c.pnpIds.end(), IsWindowsDeviceId)) {
    return std::nullopt;
  }
  // Each names one key: "Microsoft\Windows" would make the software key a
  // branch of other programs' keys. None is one of Windows' own names.
  if (!ReadKeyName(platform, "Vendor", c.vendor) || IsWindowsSoftwareKey(c.vendor)) {
    return std::nullopt;
  }
  if (!ReadKeyName(platform, "ModemName", c.modemName) || IsWindowsDevice(c.modemName)) {
    return std::nullopt;
  }
  // The one optional value: read as nothing, it is read once more, since a
  // profile read that failed reads as nothing too, and a voice device named
  // like Windows' own would then pass unseen.
  ConfigValue voice = ReadValue(platform, "RegistryKeys", "VoiceName");
  if (voice.empty()) voice = ReadValue(platform, "RegistryKeys", "VoiceName");
  if (voice.tooLong || IsWindowsDevice(voice.text)) return std::nullopt;
  c.voiceName = voice.text;
  if (!FitsTheLimits(c)) return std::nullopt;

  // Required to be present; the run makes no other use of them.
  if (ReadValue(platform, "NewInstallFiles", "FileNames").empty()) return std::nullopt;
  if (ReadValue(platform, "NewInstallFiles", "INFFiles").empty()) return std::nullopt;
  return c;
}

}  // namespace mdm::cleaner
