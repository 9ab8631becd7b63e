// The INF file stage, the last of both deliverables' removal stages: the
// package's fixed INF names, then the names its plan chooses, then a scan of
// "oem*.inf" in "INF" and "*.inf" in "INF\Other" that deletes every file the
// plan's match rule claims.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/device_registry.h"
#include "common/inf_rules.h"
#include "common/outcome.h"
#include "common/platform.h"

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

struct InfCleanupPlan {
  InfNamesAfterPackage namesAfterPackage;
  InfMatchRule match;
};

// Each INF file the stage removed, and each of the package's that stayed.
// The log gets every INF file the stage removes or tries to. An INF file
// that a class key left by the registry stage names stays.
StageOutcome CleanInfFiles(Platform& platform, const InfCleanupPlan& plan,
                           const RegistryFindings& found, ChangeLog& log = NoChangeLog());

}  // namespace mdm
