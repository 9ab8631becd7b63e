// LoadConfiguration: mdminfo.ini into the run object and the program-wide tables.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "common/text.h"
#include "mdmclean/stages.h"

namespace mdm::cleaner {

namespace {

constexpr const char* kConfigFile = ".\\mdminfo.ini";
constexpr const char* kProductSubdirectory = "QUILLNET.101";
constexpr const char* kPnpKeyPrefix = "Enum\\ISAPNP\\";
// A configuration value holds at most 255 characters; one read wider than
// that tells a value that fits from one that would be cut.
constexpr std::uint32_t kValueLimit = 255;
constexpr int kMaxFileNames = FILE_TABLE_CAPACITY - 2;  // purge entry and DIR_END
constexpr int kMaxPnpIds = PNP_KEY_SLOTS - 1;           // the empty slot ends the list
constexpr std::size_t kMaxPnpIdLength = PNP_KEY_SLOT_SIZE - 1 - (sizeof "Enum\\ISAPNP\\" - 1);
constexpr std::size_t kMaxVendorAndModem = VENDOR_KEY_PATH_SIZE - 1 - (sizeof "SOFTWARE\\\\" - 1);

struct ConfigValue {
  std::string text;
  bool tooLong = false;
  bool empty() const { return text.empty(); }
};

ConfigValue ReadValue(Platform& platform, const char* section, const char* key) {
  char buffer[kValueLimit + 2] = {};
  const std::uint32_t count = platform.GetPrivateProfileStringA(section, key, "", buffer,
                                                                sizeof buffer, kConfigFile);
  ConfigValue value;
  // The value ends at its first zero byte, whatever count the read reports:
  // an item after it would be an empty name, a purge of the whole system
  // directory as a file entry.
  const char* begin = buffer;
  const char* end = begin + std::min<std::uint32_t>(count, kValueLimit);
  value.text.assign(begin, std::find(begin, end, '\0'));
  value.tooLong = count > kValueLimit;
  return value;
}

// Splits a list at every comma. Empty items are dropped: taken as they stand
// they would name the whole system directory or a whole enumerator branch.
std::vector<std::string> SplitList(const std::string& list) {
  std::vector<std::string> items;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = list.find(',', start);
    const std::string item = list.substr(start, comma == std::string::npos ? std::string::npos
                                                                            : comma - start);
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

void SetFileEntry(FileEntry& entry, const char* subdirectory, const std::string& fileName) {
  entry = FileEntry{};
  entry.kind = DIR_SYSTEM;
  CopyFits(entry.subdirectory, sizeof entry.subdirectory, subdirectory);
  CopyFits(entry.fileName, sizeof entry.fileName, fileName.c_str());
}

bool FillFileRemovalTable(const std::vector<std::string>& systemFiles,
                          const std::vector<std::string>& productFiles, ProgramTables& tables) {
  if (systemFiles.size() + productFiles.size() > static_cast<std::size_t>(kMaxFileNames)) {
    return false;
  }
  FileEntry* entry = tables.FileRemovalTable;
  for (const std::string& name : systemFiles) SetFileEntry(*entry++, "", name);
  for (const std::string& name : productFiles) SetFileEntry(*entry++, kProductSubdirectory, name);
  SetFileEntry(*entry++, kProductSubdirectory, "");  // purges what is left, then the folder
  *entry = FileEntry{};                              // DIR_END
  return true;
}

bool FillPnpKeyList(const std::vector<std::string>& ids, ProgramTables& tables) {
  if (ids.size() > static_cast<std::size_t>(kMaxPnpIds)) return false;
  for (const std::string& id : ids) {
    if (id.size() > kMaxPnpIdLength) return false;
  }
  std::size_t slot = 0;
  for (const std::string& id : ids) {
    Compose(tables.PnpKeyList[slot++], "%s%s", kPnpKeyPrefix, id.c_str());
  }
  tables.PnpKeyList[slot][0] = '\0';
  return true;
}

}  // namespace

int LoadConfiguration(Platform& platform, UninstallContext& context, ProgramTables& tables) {
  std::vector<std::string> systemFiles;
  std::vector<std::string> productFiles;
  const bool systemListed = ReadFileList(platform, "system_dir", systemFiles);
  const bool productListed = ReadFileList(platform, "quillnet101_dir", productFiles);
  if (!systemListed || !productListed) return 0;
  if (!FillFileRemovalTable(systemFiles, productFiles, tables)) return 0;
  context.loadProgramName = productFiles.back();

  std::vector<std::string> pnpIds;
  if (!ReadList(platform, "RegistryKeys", "PnpID", pnpIds)) return 0;
  if (!FillPnpKeyList(pnpIds, tables)) return 0;

  const ConfigValue vendor = ReadValue(platform, "RegistryKeys", "Vendor");
  const ConfigValue modem = ReadValue(platform, "RegistryKeys", "ModemName");
  if (vendor.empty() || vendor.tooLong) return 0;
  if (modem.empty() || modem.tooLong) return 0;
  if (vendor.text.size() + modem.text.size() > kMaxVendorAndModem) return 0;
  Compose(tables.VendorKeyPath, "SOFTWARE\\%s\\%s", vendor.text.c_str(), modem.text.c_str());
  context.modemName = modem.text;

  const ConfigValue voice = ReadValue(platform, "RegistryKeys", "VoiceName");
  if (voice.tooLong) return 0;
  context.voiceName = voice.text;

  // Required to be present; the run makes no other use of them.
  if (ReadValue(platform, "NewInstallFiles", "FileNames").empty()) return 0;
  if (ReadValue(platform, "NewInstallFiles", "INFFiles").empty()) return 0;
  return 1;
}

}  // namespace mdm::cleaner
