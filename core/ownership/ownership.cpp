#include "core/ownership/ownership.h"

#include "core/base/directories.h"
#include "core/base/text.h"

namespace mdm {

namespace {

// Containers of other devices and programs, and every key on the way to
// them: never deleted, whatever shape a removal allows.
bool HoldsOthersKeys(const std::string& path) {
  for (const char* container : {ISAPNP_DEVICES, MODEM_DEVICES, VXD_ROOT, WAVE_RESOURCES}) {
    if (IsAtOrAbove(path, container)) return true;
  }
  for (const DeviceLink* link : {&LINK_MODEM, &LINK_PORT, &LINK_WAVE}) {
    if (IsAtOrAbove(path, Concat({CLASS_ROOT, "\\", link->className}))) return true;
  }
  return false;
}

// The component after `root` in a path that lies below it.
std::string ComponentAfter(const std::string& path, const std::string& root) {
  const std::size_t start = root.size() + 1;
  const std::size_t end = path.find('\\', start);
  return path.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

}  // namespace

namespace {

// The key itself cannot be read: whose it is, is unknown.
Mark Unreadable(std::int32_t status) {
  return {Concat({"it cannot be read", ErrorText(status)}), true};
}

}  // namespace

Mark KeyGuard::ClassKeyMark(const std::string& classKey) const {
  std::string infPath;
  std::string infSection;
  {
    const ScopedKey key(platform_, classKey);
    const std::int32_t status = key.Read("InfPath", infPath);
    if (IsUnknown(status)) return Unreadable(status);
    if (status != ERROR_SUCCESS || infPath.empty()) return {};
    const std::int32_t read = key.Read("InfSection", infSection);
    if (IsUnknown(read)) return Unreadable(read);
  }
  // The package's own section makes the key the package's, whatever INF
  // file it names; a description is no evidence: another vendor's may begin
  // with the same brand.
  for (const std::string& name : identity_.names) {
    if (infSection == name) return {};
  }
  std::string windows;
  const DirectoryAnswer answer = AskDirectory(platform_, DIR_WINDOWS, windows);
  if (answer == DirectoryAnswer::Failed) return {"the Windows folder cannot be named", true};
  if (answer != DirectoryAnswer::Known) return {};
  switch (WhoseInfFile(platform_, windows, infPath, identity_.infRule)) {
    case InfOwner::Other:
      return {"another device's: InfPath " + infPath + " is not the package's, InfSection \"" +
              infSection + "\""};
    case InfOwner::Unknown: return {"the INF file " + infPath + " cannot be looked at", true};
    default: return {};
  }
}

Mark KeyGuard::DeviceMark(const std::string& device) const {
  if (HasShape(device, {ISAPNP_DEVICES, 2})) {
    const std::string id = ComponentAfter(device, ISAPNP_DEVICES);
    if (!IsOneOfCaseBlind(id, identity_.pnpIds)) {
      return {"another card's: Plug-and-Play ID " + id + " is not the package's"};
    }
  }
  std::string driver;
  const std::int32_t status = ScopedKey(platform_, device).Read("Driver", driver);
  if (IsUnknown(status)) return Unreadable(status);
  if (status != ERROR_SUCCESS) return {};
  const std::string classKey = std::string(CLASS_ROOT) + "\\" + driver;
  if (!HasShape(classKey, {CLASS_ROOT, 2})) return {};
  Mark mark = ClassKeyMark(classKey);
  if (!mark.whose.empty()) {
    mark.whose = mark.unknown ? "its Driver " + driver + ": " + mark.whose
                              : "its Driver " + driver + " is " + mark.whose;
  }
  return mark;
}

Mark KeyGuard::OthersMark(const std::string& path, Marks marks) const {
  switch (marks) {
    case Marks::None: return {};
    case Marks::ClassKey: return ClassKeyMark(path);
    case Marks::DeviceInstance: return DeviceMark(path);
    case Marks::WaveDevice: return DeviceMark(path + "\\" + LINK_WAVE.instanceSuffix);
  }
  return {};
}

Verdict KeyGuard::Check(const std::string& path, const KeyShape& shape, Marks marks) const {
  Verdict verdict;
  if (!HasShape(path, shape)) {
    verdict.why = "wrong shape";
  } else if (HoldsOthersKeys(path)) {
    verdict.why = "it holds other devices' or programs' keys";
  } else {
    const Mark mark = OthersMark(path, marks);
    verdict.why = mark.whose;
    verdict.unknown = mark.unknown;
  }
  if (verdict.why.empty()) {
    verdict.key = CheckedKey(path);
  } else {
    log_.Line({"refused key ", path, " (", verdict.why, ")"});
  }
  return verdict;
}

std::int32_t DeleteKeyKeptForUndo(Platform& platform, const CheckedKey& key, ChangeLog& log,
                                  std::string& why) {
  if (!log.KeepForUndo(key.Path(), why)) {
    why = "its undo cannot be kept: " + why;
    log.Line({"kept key ", key.Path(), " (", why, ")"});
    return ERROR_UNDO_NOT_KEPT;
  }
  const std::int32_t status = platform.RegDeleteKeyA(HKEY_LOCAL_MACHINE, key.Path().c_str());
  if (status == ERROR_SUCCESS) {
    log.Line({"removed key ", key.Path()});
    return status;
  }
  char reason[40];
  Compose(reason, "delete failed, error %d", static_cast<int>(status));
  why = reason;
  log.Line({"refused key ", key.Path(), " (", why, ")"});
  return status;
}

std::int32_t DeleteKeyMadeThisCall(Platform& platform, const CheckedKey& key, ChangeLog& log) {
  const std::int32_t status = platform.RegDeleteKeyA(HKEY_LOCAL_MACHINE, key.Path().c_str());
  if (status == ERROR_SUCCESS) log.Line({"removed key ", key.Path(), " (made by this call)"});
  return status;
}

KeyRemoval RemoveCheckedKey(Platform& platform, const CheckedKey& key, ChangeLog& log,
                            StageOutcome& outcome) {
  const std::int32_t opened = ScopedKey(platform, key.Path()).OpenStatus();
  if (opened == ERROR_FILE_NOT_FOUND) {
    log.Line({"absent key ", key.Path()});
    return KeyRemoval::Absent;
  }
  std::string why;
  if (opened != ERROR_SUCCESS) {
    char reason[40];
    Compose(reason, "it does not open, error %d", static_cast<int>(opened));
    why = reason;
    log.Line({"kept key ", key.Path(), " (", why, ")"});
  } else if (DeleteKeyKeptForUndo(platform, key, log, why) == ERROR_SUCCESS) {
    outcome.Went(ItemKind::Key, key.Path());
    return KeyRemoval::Deleted;
  }
  outcome.Stayed(ItemKind::Key, key.Path(), why);
  return KeyRemoval::Stayed;
}

KeyRemoval RemoveKey(const KeyGuard& guard, StageOutcome& outcome, const std::string& path,
                     const KeyShape& shape, Marks marks) {
  const Verdict verdict = guard.Check(path, shape, marks);
  if (verdict.key) return RemoveCheckedKey(guard.platform(), *verdict.key, guard.log(), outcome);
  if (!verdict.unknown) return KeyRemoval::Refused;
  outcome.Stayed(ItemKind::Key, path, verdict.why);
  return KeyRemoval::Stayed;
}

}  // namespace mdm
