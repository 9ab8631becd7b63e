#include "common/inf_cleanup.h"

#include <algorithm>

#include "common/directories.h"
#include "common/file_removal.h"
#include "common/file_search.h"
#include "common/product.h"
#include "common/text.h"

namespace mdm {

namespace {

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

// One run of the stage: what it deletes, and the class keys that keep an
// INF file from going.
struct InfRun {
  Platform& platform;
  ChangeLog& log;
  StageOutcome& outcome;
  const RegistryFindings& found;

  // Deletes the INF file `name` in `folder`, unless a class key that stays
  // names it: the file is then that key's, whatever it says of itself.
  void Delete(const std::string& folder, const char* name) {
    char path[MAX_PATH];
    // Cut short, the path would name another file: skip it instead.
    if (!Compose(path, "%s\\%s", folder.c_str(), name)) return;
    for (const auto& [classKey, infPath] : found.infNamesInUse) {
      if (EqualsAsciiCaseBlind(infPath.c_str(), name)) {
        log.Line({"kept INF file ", path, " (named by ", classKey, ", which stays)"});
        return;
      }
    }
    DeleteFileLogged(platform, log, outcome, ItemKind::InfFile, path);
  }

  // A name that would leave the folder deletes nothing.
  void DeleteByName(const std::string& folder, const std::string& name) {
    if (IsPlainFileName(name)) Delete(folder, name.c_str());
  }

  void DeleteByNames(const std::string& folder,
                     const char* const (&names)[product::INF_NAME_COUNT]) {
    for (const char* name : names) Delete(folder, name);
  }

  // The recorded names that the INF rules call the package's, whoever
  // recorded them: a class key may name one of Windows' own INF files. Empty
  // recorded names delete nothing.
  void DeleteRecordedNames(const InfMatchRule& rule, const std::string& inf) {
    for (const std::string* recorded :
         {&found.portInfPath, &found.modemInfPath, &found.rootInfPath}) {
      const std::string& name = *recorded;
      if (name.empty()) continue;
      if (IsPackageInfFile(platform, inf, false, name, rule)) {
        DeleteByName(inf, name);
      } else {
        log.Line({"refused INF file ", inf, "\\", name, " (not one of the package's INF files)"});
      }
    }
  }

  // The same on Windows 95 and 98: both keep the provider-named copies in
  // "INF\Other" and reuse them on the next install.
  void DeleteChosenNames(const InfCleanupPlan& plan, const std::string& windows) {
    const std::string inf = windows + "\\INF";
    const std::string other = inf + "\\Other";
    switch (plan.namesAfterPackage) {
      case InfNamesAfterPackage::ProviderCopiesWhereOtherExists:
        if (HasOtherInfDirectory(platform, windows)) DeleteByNames(other, product::PROVIDER_INF_NAMES);
        return;
      case InfNamesAfterPackage::RecordedWhenRootIsOem:
        if (RootInfIsOem(found.rootInfPath)) DeleteRecordedNames(plan.match, inf);
        // In every case: whether they go must not hang on a record that a
        // stopped run may have deleted with its class key.
        DeleteByNames(other, product::PROVIDER_INF_NAMES);
        return;
    }
  }

  // Deletes each file of the folder that matches the pattern and that the
  // match rule claims. A folder the platform failed to list whole may hold
  // more of the package's: it stays, and the log says so.
  void ScanPass(const InfMatchRule& rule, const std::string& folder, const char* pattern) {
    char search[MAX_PATH];
    if (!Compose(search, "%s\\%s", folder.c_str(), pattern)) return;
    const bool whole = ForEachFound(platform, search, [&](const FindData& file) {
      char path[MAX_PATH];
      if (!Compose(path, "%s\\%s", folder.c_str(), file.fileName)) return;
      if (IsPackageInf(platform, path, rule)) Delete(folder, file.fileName);
    });
    if (!whole) {
      log.Line({"the INF files ", search, " cannot be listed whole"});
      outcome.Stayed(ItemKind::InfFile, search, "the folder cannot be listed whole");
    }
  }
};

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
  // A class key that could not be read may name any of them.
  if (!found.infNamesInUseKnown) {
    outcome.Stayed(ItemKind::InfFile, "the INF copies in the Windows folder",
                   "the class keys that may name them cannot be read");
    return outcome;
  }
  const std::string inf = windows + "\\INF";
  InfRun run{platform, log, outcome, found};
  run.DeleteByNames(inf, product::PACKAGE_INF_NAMES);
  run.DeleteChosenNames(plan, windows);
  run.ScanPass(plan.match, inf, "oem*.inf");
  run.ScanPass(plan.match, inf + "\\Other", "*.inf");
  return outcome;
}

}  // namespace mdm
