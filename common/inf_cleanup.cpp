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

// Deletes the file `name` in the folder. A name that would leave the
// folder, or a path that does not fit, deletes nothing.
void DeleteByName(Platform& platform, ChangeLog& log, StageOutcome& outcome,
                  const std::string& folder, const std::string& name) {
  char path[MAX_PATH];
  if (!IsPlainFileName(name) || !Compose(path, "%s\\%s", folder.c_str(), name.c_str())) return;
  DeleteFileLogged(platform, log, outcome, ItemKind::InfFile, path);
}

void DeleteByNames(Platform& platform, ChangeLog& log, StageOutcome& outcome,
                   const std::string& folder, const char* const (&names)[product::INF_NAME_COUNT]) {
  for (const char* name : names) DeleteByName(platform, log, outcome, folder, name);
}

// The recorded names that the INF rules call the package's, whoever
// recorded them: a class key may name one of Windows' own INF files. Empty
// recorded names delete nothing.
void DeleteRecordedNames(Platform& platform, ChangeLog& log, StageOutcome& outcome,
                         const InfMatchRule& rule, const std::string& inf,
                         const RegistryFindings& found) {
  for (const std::string* recorded :
       {&found.portInfPath, &found.modemInfPath, &found.rootInfPath}) {
    const std::string& name = *recorded;
    if (name.empty()) continue;
    if (IsPackageInfFile(platform, inf, false, name, rule)) {
      DeleteByName(platform, log, outcome, inf, name);
    } else {
      log.Line({"refused INF file ", inf, "\\", name, " (not one of the package's INF files)"});
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
        DeleteByNames(platform, log, outcome, other, product::PROVIDER_INF_NAMES);
      }
      return;
    case InfNamesAfterPackage::RecordedWhenRootIsOem:
      if (IsWindows95(platform) && RootInfIsOem(found.rootInfPath)) {
        DeleteRecordedNames(platform, log, outcome, plan.match, inf, found);
      }
      // In every case: whether they go must not hang on a record that a
      // stopped run may have deleted with its class key.
      DeleteByNames(platform, log, outcome, other, product::PROVIDER_INF_NAMES);
      return;
  }
}

// Deletes each file of the folder that matches the pattern and that the
// match rule claims. A folder the platform failed to list whole may hold
// more of the package's: it stays, and the log says so.
void ScanPass(Platform& platform, ChangeLog& log, StageOutcome& outcome, const InfMatchRule& rule,
              const std::string& folder, const char* pattern) {
  char search[MAX_PATH];
  if (!Compose(search, "%s\\%s", folder.c_str(), pattern)) return;
  const bool whole = ForEachFound(platform, search, [&](const FindData& found) {
    char path[MAX_PATH];
    // Cut short, the path would name another file: skip it instead.
    if (!Compose(path, "%s\\%s", folder.c_str(), found.fileName)) return;
    if (IsPackageInf(platform, path, rule)) {
      DeleteFileLogged(platform, log, outcome, ItemKind::InfFile, path);
    }
  });
  if (!whole) {
    log.Line({"the INF files ", search, " cannot be listed whole"});
    outcome.Stayed(ItemKind::InfFile, search, "the folder cannot be listed whole");
  }
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
    outcome.Stayed(ItemKind::InfFile, "the INF copies in the Windows folder",
                   "the Windows folder cannot be named");
  }
  if (answer != DirectoryAnswer::Known) return outcome;
  const std::string inf = windows + "\\INF";

  DeleteByNames(platform, log, outcome, inf, product::PACKAGE_INF_NAMES);
  DeleteChosenNames(platform, log, outcome, plan, windows, found);
  ScanPass(platform, log, outcome, plan.match, inf, "oem*.inf");
  ScanPass(platform, log, outcome, plan.match, inf + "\\Other", "*.inf");
  return outcome;
}

}  // namespace mdm
