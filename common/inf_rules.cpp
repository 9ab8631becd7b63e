#include "common/inf_rules.h"

#include <algorithm>

#include "common/file_search.h"
#include "common/product.h"
#include "common/text.h"

namespace mdm {

namespace {

// A value of the INF file, read with the rule's limit; empty when the key is
// absent or empty (the read returned 0).
std::string ReadInfValue(Platform& platform, const char* path, std::uint32_t limit,
                         const char* section, const char* key) {
  std::vector<char> buffer(limit);
  const std::uint32_t count =
      platform.GetPrivateProfileStringA(section, key, "", buffer.data(), limit, path);
  return std::string(buffer.data(), std::min<std::uint32_t>(count, limit - 1));
}

bool EndsWithCaseBlind(const std::string& text, const char* suffix) {
  const std::string tail(suffix);
  return text.size() >= tail.size() &&
         EqualsAsciiCaseBlind(text.substr(text.size() - tail.size()).c_str(), tail.c_str());
}

}  // namespace

bool IsPackageInf(Platform& platform, const char* path, const InfMatchRule& rule) {
  const auto read = [&](const char* section, const char* key) {
    return ReadInfValue(platform, path, rule.readLimit, section, key);
  };
  const std::string deviceClass = read("version", "Class");
  if (deviceClass.empty()) return false;
  if (EqualsAsciiCaseBlind(deviceClass.c_str(), rule.ownClass.c_str())) return true;
  if (IsOneOfCaseBlind(deviceClass, rule.describedClasses)) {
    return !read("Strings", rule.descriptionKey.c_str()).empty();
  }
  if (rule.portDescription.empty() || !EqualsAsciiCaseBlind(deviceClass.c_str(), "Ports")) {
    return false;
  }
  // The first key with a value is the description; the later ones are not
  // read. A key read as empty decides that a later one counts, so it is
  // read once more: a profile read has no error of its own, and a read that
  // failed would let another file's later key claim it.
  for (const std::string& key : rule.portDescriptionKeys) {
    const std::string description = read("Std", key.c_str());
    if (!description.empty()) {
      return EqualsAsciiCaseBlind(description.c_str(), rule.portDescription.c_str());
    }
    if (!read("Std", key.c_str()).empty()) return false;
  }
  return false;
}

bool IsScannedInfName(const std::string& name, bool otherFolder) {
  if (!EndsWithCaseBlind(name, ".inf")) return false;
  return otherFolder ||
         (name.size() >= 7 && EqualsAsciiCaseBlind(name.substr(0, 3).c_str(), "oem"));
}

namespace {

// One of the package's own INF names of the folder.
bool IsPackageInfName(const std::string& name, bool otherFolder) {
  return otherFolder ? IsOneOfCaseBlind(name, product::PROVIDER_INF_NAMES)
                     : IsOneOfCaseBlind(name, product::PACKAGE_INF_NAMES);
}

// The file `name` at `path`, which is there, is the package's: by its name
// alone, or by its content when the scan examines such names.
bool ClaimsFileAt(Platform& platform, const char* path, bool otherFolder, const std::string& name,
                  const InfMatchRule& rule) {
  return IsPackageInfName(name, otherFolder) ||
         (IsScannedInfName(name, otherFolder) && IsPackageInf(platform, path, rule));
}

}  // namespace

bool IsPackageInfFile(Platform& platform, const std::string& folder, bool otherFolder,
                      const std::string& name, const InfMatchRule& rule) {
  if (!IsPlainFileName(name)) return false;
  if (IsPackageInfName(name, otherFolder)) return true;
  char path[MAX_PATH];
  if (!IsScannedInfName(name, otherFolder) ||
      !Compose(path, "%s\\%s", folder.c_str(), name.c_str())) {
    return false;
  }
  return FileExists(platform, path) && IsPackageInf(platform, path, rule);
}

InfOwner WhoseInfFile(Platform& platform, const std::string& windows, const std::string& name,
                      const InfMatchRule& rule) {
  if (!IsPlainFileName(name)) return InfOwner::Absent;
  const std::string inf = windows + "\\INF";
  const std::string other = inf + "\\Other";
  for (const std::string* folder : {&inf, &other}) {
    char path[MAX_PATH];
    if (!Compose(path, "%s\\%s", folder->c_str(), name.c_str())) continue;
    const PathHolds holds = WhatIsAt(platform, path);
    if (holds == PathHolds::Unknown) return InfOwner::Unknown;
    if (holds != PathHolds::File) continue;
    // Known to be there: a second look could only fail.
    return ClaimsFileAt(platform, path, folder == &other, name, rule) ? InfOwner::Package
                                                                      : InfOwner::Other;
  }
  return InfOwner::Absent;
}

}  // namespace mdm
