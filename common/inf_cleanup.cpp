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
  return PathExists(platform, other);
}

// "OEM", in capitals, somewhere in the recorded root INF name.
bool RootInfIsOem(const std::string& rootInfPath) {
  return rootInfPath.find("OEM") != std::string::npos;
}

// Deletes each name from the folder. A name that would leave the folder, or
// a path that does not fit, deletes nothing.
template <typename Names>
void DeleteByName(Platform& platform, ChangeLog& log, StageOutcome& outcome,
                  const std::string& folder, const Names& names) {
  for (const auto& name : names) {
    const std::string text(name);
    char path[MAX_PATH];
    if (!IsPlainFileName(text) || !Compose(path, "%s\\%s", folder.c_str(), text.c_str())) continue;
    DeleteFileLogged(platform, log, outcome, ItemKind::InfFile, path);
  }
}

// The recorded names that the INF rules call the package's, whoever
// recorded them: a class key may name one of Windows' own INF files. Empty
// recorded names delete nothing.
void DeleteRecordedNames(Platform& platform, ChangeLog& log, StageOutcome& outcome,
                         const InfMatchRule& rule, const std::string& inf,
                         const std::vector<std::string>& names) {
  for (const std::string& name : names) {
    if (name.empty()) continue;
    if (IsPackageInfFile(platform, inf, false, name, rule)) {
      DeleteByName(platform, log, outcome, inf, std::vector<std::string>{name});
    } else {
      log.Line("refused INF file " + inf + "\\" + name + " (not one of the package's INF files)");
    }
  }
}

void DeleteChosenNames(Platform& platform, ChangeLog& log, StageOutcome& outcome,
                       const InfCleanupPlan& plan, const std::string& windows,
                       const RegistryFindings& found) {
  const std::string inf = windows + "\\INF";
  const std::string other = inf + "\\Other";
  switch (plan.namesAfterPackage) {
    case InfNamesAfterPackage::ProviderCopiesWhereOtherExists:
      if (IsWindows95(platform) && HasOtherInfDirectory(platform, windows)) {
        DeleteByName(platform, log, outcome, other, product::PROVIDER_INF_NAMES);
      }
      return;
    case InfNamesAfterPackage::RecordedWhenRootIsOem:
      if (IsWindows95(platform) && RootInfIsOem(found.rootInfPath)) {
        DeleteRecordedNames(platform, log, outcome, plan.match, inf,
                            {found.portInfPath, found.modemInfPath, found.rootInfPath});
      }
      // In every case: whether they go must not hang on a record that a
      // stopped run may have deleted with its class key.
      DeleteByName(platform, log, outcome, other, product::PROVIDER_INF_NAMES);
      return;
  }
}

// The two passes of the scan: the folder and the pattern of each.
struct ScanPass {
  std::string folder;
  const char* pattern;
};

std::vector<ScanPass> ScanPasses(const std::string& windows) {
  return {{windows + "\\INF", "oem*.inf"}, {windows + "\\INF\\Other", "*.inf"}};
}

// Calls claimed(path) for each file a pass finds that the match rule
// claims. False when the platform failed the search part way: files it did
// not get to may be the package's.
template <typename Claimed>
bool ForEachClaimedFile(Platform& platform, const InfMatchRule& rule, const ScanPass& pass,
                        Claimed claimed) {
  char search[MAX_PATH];
  if (!Compose(search, "%s\\%s", pass.folder.c_str(), pass.pattern)) return true;
  return ForEachFound(platform, search, [&](const FindData& found) {
    char path[MAX_PATH];
    // Cut short, the path would name another file: skip it instead.
    if (!Compose(path, "%s\\%s", pass.folder.c_str(), found.fileName)) return;
    if (IsPackageInf(platform, path, rule)) claimed(static_cast<const char*>(path));
  });
}

}  // namespace

StageOutcome CleanInfFiles(Platform& platform, const InfCleanupPlan& plan,
                           const RegistryFindings& found, ChangeLog& log) {
  StageOutcome outcome;
  std::string windows;
  // Without a Windows directory nothing is deleted: an empty one would turn
  // "%s\INF" into a folder at the root of the current drive. One the
  // platform would not tell may hold the package's INF copies.
  const DirectoryAnswer answer = AskDirectory(platform, DIR_WINDOWS, windows);
  if (answer == DirectoryAnswer::Failed) {
    outcome.Stayed({ItemKind::InfFile, "the INF copies in the Windows folder",
                    "the Windows folder cannot be named"});
  }
  if (answer != DirectoryAnswer::Known) return outcome;
  const std::string inf = windows + "\\INF";

  DeleteByName(platform, log, outcome, inf, product::PACKAGE_INF_NAMES);
  DeleteChosenNames(platform, log, outcome, plan, windows, found);
  for (const ScanPass& pass : ScanPasses(windows)) {
    const bool whole = ForEachClaimedFile(platform, plan.match, pass, [&](const char* path) {
      DeleteFileLogged(platform, log, outcome, ItemKind::InfFile, path);
    });
    if (!whole) {
      log.Line("the INF files " + pass.folder + "\\" + pass.pattern + " cannot be listed whole");
      outcome.Stayed({ItemKind::InfFile, pass.folder + "\\" + pass.pattern,
                      "the folder cannot be listed whole"});
    }
  }
  return outcome;
}

}  // namespace mdm
