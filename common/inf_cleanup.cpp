#include "common/inf_cleanup.h"

#include <algorithm>

#include "common/directories.h"
#include "common/file_removal.h"
#include "common/file_search.h"
#include "common/product.h"
#include "common/text.h"

namespace mdm {

namespace {

bool IsWindows95(Platform& platform) {
  VersionInfo info;
  info.size = VERSION_INFO_SIZE;
  if (platform.GetVersionExA(&info) == 0) return false;
  return info.majorVersion == 4 && info.minorVersion == 0;
}

// A folder "INF\other" below the Windows directory, found by a search for
// the folder's own path: an existence test.
bool HasOtherInfDirectory(Platform& platform, const std::string& windows) {
  char other[MAX_PATH];
  if (!Compose(other, "%s\\INF\\other", windows.c_str())) return false;
  return ScopedSearch(platform, other).Found();
}

// "OEM", in capitals, somewhere in the recorded root INF name.
bool RootInfIsOem(const std::string& rootInfPath) {
  return rootInfPath.find("OEM") != std::string::npos;
}

// Deletes each name from the folder; the stage ignores the results. A name
// that would leave the folder, or a path that does not fit, deletes nothing.
template <typename Names>
void DeleteByName(Platform& platform, ChangeLog& log, const std::string& folder,
                  const Names& names) {
  for (const auto& name : names) {
    const std::string text(name);
    char path[MAX_PATH];
    if (!IsPlainFileName(text) || !Compose(path, "%s\\%s", folder.c_str(), text.c_str())) continue;
    DeleteFileLogged(platform, log, "INF file", path);
  }
}

void DeleteChosenNames(Platform& platform, ChangeLog& log, const InfCleanupPlan& plan,
                       const std::string& windows, const RegistryFindings& found) {
  const std::string inf = windows + "\\INF";
  const std::string other = inf + "\\Other";
  switch (plan.namesAfterPackage) {
    case InfNamesAfterPackage::ProviderCopiesWhereOtherExists:
      if (IsWindows95(platform) && HasOtherInfDirectory(platform, windows)) {
        DeleteByName(platform, log, other, product::PROVIDER_INF_NAMES);
      }
      return;
    case InfNamesAfterPackage::RecordedWhenRootIsOem:
      if (IsWindows95(platform) && RootInfIsOem(found.rootInfPath)) {
        // Empty recorded names are no plain file names: nothing goes for them.
        DeleteByName(platform, log, inf,
                     std::vector<std::string>{found.portInfPath, found.modemInfPath,
                                              found.rootInfPath});
      } else {
        DeleteByName(platform, log, other, product::PROVIDER_INF_NAMES);
      }
      return;
  }
}

// A value of the INF file, read with the rule's limit; empty when the key is
// absent or empty (the read returned 0).
std::string ReadInfValue(Platform& platform, const char* path, std::uint32_t limit,
                         const char* section, const char* key) {
  std::vector<char> buffer(limit);
  const std::uint32_t count =
      platform.GetPrivateProfileStringA(section, key, "", buffer.data(), limit, path);
  return std::string(buffer.data(), std::min<std::uint32_t>(count, limit - 1));
}

bool IsOneOf(const std::string& text, const std::vector<std::string>& candidates) {
  return std::any_of(candidates.begin(), candidates.end(), [&](const std::string& candidate) {
    return EqualsAsciiCaseBlind(text.c_str(), candidate.c_str());
  });
}

// Applies the match rule to one found file; a file it claims is deleted and
// the deletion's outcome becomes the stage result.
void ExamineFile(Platform& platform, ChangeLog& log, const InfMatchRule& rule,
                 const std::string& folder, const char* name, int& result) {
  char path[MAX_PATH];
  // Cut short, the path would name another file: skip it instead.
  if (!Compose(path, "%s\\%s", folder.c_str(), name)) return;
  if (!IsPackageInf(platform, path, rule)) return;
  result = DeleteFileLogged(platform, log, "INF file", path);
}

void ScanPass(Platform& platform, ChangeLog& log, const InfMatchRule& rule,
              const std::string& folder, const char* pattern, int& result) {
  char search[MAX_PATH];
  if (!Compose(search, "%s\\%s", folder.c_str(), pattern)) return;
  ForEachFound(platform, search, [&](const FindData& found) {
    ExamineFile(platform, log, rule, folder, found.fileName, result);
  });
}

}  // namespace

bool IsPackageInf(Platform& platform, const char* path, const InfMatchRule& rule) {
  const auto read = [&](const char* section, const char* key) {
    return ReadInfValue(platform, path, rule.readLimit, section, key);
  };
  const std::string deviceClass = read("version", "Class");
  if (deviceClass.empty()) return false;
  if (EqualsAsciiCaseBlind(deviceClass.c_str(), rule.ownClass.c_str())) return true;
  if (IsOneOf(deviceClass, rule.describedClasses)) {
    return !read("Strings", rule.descriptionKey.c_str()).empty();
  }
  if (rule.portDescription.empty() || !EqualsAsciiCaseBlind(deviceClass.c_str(), "Ports")) {
    return false;
  }
  // The first key with a value is the description; the later ones are not read.
  for (const std::string& key : rule.portDescriptionKeys) {
    const std::string description = read("Std", key.c_str());
    if (!description.empty()) {
      return EqualsAsciiCaseBlind(description.c_str(), rule.portDescription.c_str());
    }
  }
  return false;
}

int CleanInfFiles(Platform& platform, const InfCleanupPlan& plan, const RegistryFindings& found,
                  ChangeLog& log) {
  std::string windows;
  // Without a Windows directory nothing is deleted: an empty one would turn
  // "%s\INF" into a folder at the root of the current drive.
  if (!QueryDirectory(platform, DIR_WINDOWS, windows)) return 0;
  const std::string inf = windows + "\\INF";

  DeleteByName(platform, log, inf, product::PACKAGE_INF_NAMES);
  DeleteChosenNames(platform, log, plan, windows, found);

  int result = 0;
  ScanPass(platform, log, plan.match, inf, "oem*.inf", result);
  ScanPass(platform, log, plan.match, inf + "\\Other", "*.inf", result);
  return result;
}

}  // namespace mdm
