// A deliverable's removal, described as a value: the file table, the
// registry plan, the list removals and the INF plan. One runner runs any
// plan; the order of the stages lives there and nowhere else.
#pragma once

#include <vector>

#include "core/stages/device_registry.h"
#include "core/stages/file_removal.h"
#include "core/stages/inf_cleanup.h"
#include "core/stages/ini_lists.h"
#include "core/platform/platform.h"

namespace mdm {

struct RemovalPlan {
  std::vector<FileEntry> files;
  FileRemovalSettings fileRemoval;
  DeviceRegistryPlan registry;
  IniListRemovals lists;
  InfCleanupPlan inf;
};

// Something the plan removes is on the machine: a run of the plan that
// changes nothing (core/platform/dry_run.h) would have changed something.
bool AnyOfThePackagePresent(Platform& platform, const RemovalPlan& plan);

// Runs the stages in order: files, device registry, list lines, INF files.
// Each runs whatever the one before achieved; nothing of a stage's outcome
// changes a later stage except the files the file stage deleted, whose list
// entries go when the plan asks, and what the registry stage found, which
// the INF stage deletes by name. Returns what went and what stayed.
// The log hears of every change in the order made.
StageOutcome RunPlan(Platform& platform, const RemovalPlan& plan, ChangeLog& log = NoChangeLog());

}  // namespace mdm
