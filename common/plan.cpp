#include "common/plan.h"

namespace mdm {

void RunPlan(Platform& platform, const RemovalPlan& plan, ChangeLog& log) {
  // Files first: the file stage tells the NVRAM program to let go of them
  // before anything else changes.
  RemoveAllEntries(platform, plan.fileRemoval, plan.files, log);
  // Only the registry stage can find the INF names, and it deletes the keys
  // that hold them: it comes before the INF stage.
  const RegistryFindings found = CleanDeviceRegistry(platform, plan.registry, log);
  CleanIniLists(platform, plan.lists, log);
  CleanInfFiles(platform, plan.inf, found, log);
}

}  // namespace mdm
