#include "common/ownership.h"

#include "common/directories.h"
#include "common/text.h"

namespace mdm {

namespace {

// Containers of other devices and programs: never deleted, whatever shape a
// removal allows.
const char* const PROTECTED_ROOTS[] = {
    "Enum\\Root",
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
    "System\\CurrentControlSet\\control\\MediaResources\\wave",
};

bool StartsWithWord(const std::string& text, const std::string& word) {
  return text.size() > word.size() && text[word.size()] == ' ' &&
         EqualsAsciiCaseBlind(text.substr(0, word.size()).c_str(), word.c_str());
}

// The component after `root` in a path that lies below it.
std::string ComponentAfter(const std::string& path, const std::string& root) {
  const std::size_t start = root.size() + 1;
  const std::size_t end = path.find('\\', start);
  return path.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

}  // namespace

bool KeyGuard::IsPackageName(const std::string& infSection, const std::string& driverDesc) const {
  for (const std::string& name : identity_.names) {
    if (name.empty()) continue;
    if (EqualsAsciiCaseBlind(infSection.c_str(), name.c_str())) return true;
    if (EqualsAsciiCaseBlind(driverDesc.c_str(), name.c_str())) return true;
    if (StartsWithWord(driverDesc, name)) return true;
  }
  return false;
}

std::string KeyGuard::ClassKeyMark(const std::string& classKey) const {
  std::string infPath;
  std::string infSection;
  std::string driverDesc;
  {
    const ScopedKey key(platform_, classKey);
    if (!key.ReadString("InfPath", infPath) || infPath.empty()) return {};
    key.ReadString("InfSection", infSection);
    key.ReadString("DriverDesc", driverDesc);
  }
  // A key that says nothing of itself, or names the package, is not another's.
  if ((infSection.empty() && driverDesc.empty()) || IsPackageName(infSection, driverDesc))
    return {};
  std::string windows;
  if (!QueryDirectory(platform_, DIR_WINDOWS, windows)) return {};
  if (WhoseInfFile(platform_, windows, infPath, identity_.infRule) != InfOwner::Other) return {};
  return "another device's: InfPath " + infPath + " is not the package's, InfSection \"" +
         infSection + "\", DriverDesc \"" + driverDesc + "\"";
}

std::string KeyGuard::DeviceMark(const std::string& device) const {
  const std::string isapnp = "Enum\\ISAPNP";
  if (HasShape(device, {isapnp, 2})) {
    const std::string id = ComponentAfter(device, isapnp);
    if (!IsOneOfCaseBlind(id, identity_.pnpIds)) {
      return "another card's: Plug-and-Play ID " + id + " is not the package's";
    }
  }
  std::string driver;
  if (!ScopedKey(platform_, device).ReadString("Driver", driver)) return {};
  const std::string classKey = std::string(CLASS_ROOT) + "\\" + driver;
  if (!HasShape(classKey, {CLASS_ROOT, 2})) return {};
  const std::string mark = ClassKeyMark(classKey);
  return mark.empty() ? mark : "its Driver " + driver + " is " + mark;
}

std::string KeyGuard::OthersMark(const std::string& path, Marks marks) const {
  switch (marks) {
    case Marks::None: return {};
    case Marks::ClassKey: return ClassKeyMark(path);
    case Marks::DeviceInstance: return DeviceMark(path);
    case Marks::WaveDevice: return DeviceMark(path + "\\" + LINK_WAVE.instanceSuffix);
  }
  return {};
}

std::optional<CheckedKey> KeyGuard::Check(const std::string& path, const KeyShape& shape,
                                          Marks marks) const {
  if (!HasShape(path, shape)) {
    log_.Line("refused key " + path + " (wrong shape)");
    return std::nullopt;
  }
  if (IsOneOfCaseBlind(path, PROTECTED_ROOTS)) {
    log_.Line("refused key " + path + " (it holds other devices' or programs' keys)");
    return std::nullopt;
  }
  const std::string mark = OthersMark(path, marks);
  if (!mark.empty()) {
    log_.Line("refused key " + path + " (" + mark + ")");
    return std::nullopt;
  }
  return CheckedKey(path);
}

std::int32_t DeleteKeyKeptForUndo(Platform& platform, const CheckedKey& key, ChangeLog& log) {
  log.KeepForUndo(key.Path());
  const std::int32_t status = platform.RegDeleteKeyA(HKEY_LOCAL_MACHINE, key.Path().c_str());
  if (status == ERROR_SUCCESS) {
    log.Line("removed key " + key.Path());
  } else {
    char reason[40];
    Compose(reason, " (delete failed, error %d)", static_cast<int>(status));
    log.Line("refused key " + key.Path() + reason);
  }
  return status;
}

KeyRemoval RemoveCheckedKey(Platform& platform, const CheckedKey& key, ChangeLog& log,
                            StageOutcome& outcome) {
  if (!KeyExists(platform, key.Path())) {
    log.Line("absent key " + key.Path());
    return KeyRemoval::Absent;
  }
  const std::int32_t status = DeleteKeyKeptForUndo(platform, key, log);
  if (status == ERROR_SUCCESS) {
    outcome.removed.push_back({ItemKind::Key, key.Path(), ""});
    return KeyRemoval::Deleted;
  }
  char why[24];
  Compose(why, "error %d", static_cast<int>(status));
  outcome.Stayed({ItemKind::Key, key.Path(), why});
  return KeyRemoval::Failed;
}

KeyRemoval RemoveKey(const KeyGuard& guard, StageOutcome& outcome, const std::string& path,
                     const KeyShape& shape, Marks marks) {
  const std::optional<CheckedKey> key = guard.Check(path, shape, marks);
  return key ? RemoveCheckedKey(guard.platform(), *key, guard.log(), outcome) : KeyRemoval::Refused;
}

}  // namespace mdm
