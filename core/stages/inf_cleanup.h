// The INF file stage, the last of both deliverables' removal stages: the
// package's fixed INF names, then the names its plan chooses, then a scan of
// "oem*.inf" in "INF" and "*.inf" in "INF\Other" that deletes every file the
// plan's match rule claims.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/base/registry_keys.h"
#include "core/record/change_log.h"
#include "core/ownership/inf_rules.h"
#include "core/record/outcome.h"
#include "core/platform/platform.h"

namespace mdm {

// The names deleted after the package's fixed ones.
enum class InfNamesAfterPackage {
  // The provider-named copies in "INF\Other", where that folder exists.
  ProviderCopiesWhereOtherExists,
  // The INF names the registry stage recorded, in "INF", when the root
  // device's name holds "OEM", each only when the INF rules call it the
  // package's; then the provider-named copies.
  RecordedWhenRootIsOem,
};

// What the registry stage tells the INF stage: the INF names that the
// package's class keys recorded before they went (when the plan records
// them; empty when not reached), and the INF files that the class keys left
// after it name.
struct RecordedInfNames {
  std::string modemInfPath;
  std::string portInfPath;
  std::string rootInfPath;
  KeyValues inUse;          // each class key left, with its "InfPath"
  bool inUseKnown = true;   // false: a class key could not be read
};

struct InfCleanupPlan {
  InfNamesAfterPackage namesAfterPackage;
  InfMatchRule match;
};

// Each INF file the stage removed, and each of the package's that stayed.
// The log gets every INF file the stage removes or tries to. An INF file
// that a class key left by the registry stage names stays.
StageOutcome CleanInfFiles(Platform& platform, const InfCleanupPlan& plan,
                           const RecordedInfNames& recorded, ChangeLog& log = NoChangeLog());

}  // namespace mdm
