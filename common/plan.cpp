#include "common/plan.h"

#include "common/dry_run.h"

#include "common/product.h"
#include "common/registry_keys.h"
#include "common/text.h"

namespace mdm {

namespace {

// The plan's list removals, and when it asks for them the entries (by full
// path and relative to the system directory) of each file the file stage
// deleted from the product folder: Windows would miss them at every start.
IniListRemovals ListRemovals(Platform& platform, const RemovalPlan& plan,
                             const StageOutcome& files) {
  IniListRemovals lists = plan.lists;
  std::string folder;
  if (!lists.alsoEntriesOfDeletedProductFiles ||
      !ComposeEntryPath(platform, plan.fileRemoval, {DIR_SYSTEM, product::SUBDIRECTORY, ""},
                        folder)) {
    return lists;
  }
  for (const OutcomeItem& item : files.removed) {
    if (item.kind != ItemKind::File ||
        !EqualsAsciiCaseBlind(CutAtLastBackslash(item.path).c_str(), folder.c_str())) {
      continue;
    }
    const std::string entry = std::string(product::SUBDIRECTORY) + "\\" + LastComponent(item.path);
    lists.load.push_back({true, entry});
    lists.load.push_back({false, entry});
  }
  return lists;
}

}  // namespace

bool AnyOfThePackagePresent(Platform& platform, const RemovalPlan& plan) {
  DryRun dry(platform);
  RunPlan(dry, plan, NoChangeLog());
  return dry.WouldChange();
}

StageOutcome RunPlan(Platform& platform, const RemovalPlan& plan, ChangeLog& log) {
  StageOutcome outcome;
  // Files first: the file stage tells the NVRAM program to let go of them
  // before anything else changes.
  const StageOutcome files = RemoveAllEntries(platform, plan.fileRemoval, plan.files, log);
  outcome.Add(files);
  // Only the registry stage can find the INF names, and it deletes the keys
  // that hold them: it comes before the INF stage.
  const RegistryFindings found = CleanDeviceRegistry(platform, plan.registry, plan.inf.match, log);
  outcome.Add(found.outcome);
  outcome.Add(CleanIniLists(platform, ListRemovals(platform, plan, files), log));
  outcome.Add(CleanInfFiles(platform, plan.inf, found, log));
  return outcome;
}

}  // namespace mdm
