// The INF file stage, the last of both deliverables' removal stages: the
// package's fixed INF names, then the names its plan chooses, then a scan of
// "oem*.inf" in "INF" and "*.inf" in "INF\Other" that deletes every file the
// plan's match rule claims.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/device_registry.h"
#include "common/platform.h"

namespace mdm {

// The names deleted after the package's fixed ones.
enum class InfNamesAfterPackage {
  // The provider-named copies in "INF\Other", on Windows 95 and where that
  // folder exists.
  ProviderCopiesWhereOtherExists,
  // The INF names the registry stage recorded, in "INF", on Windows 95 when
  // the root device's name holds "OEM"; otherwise the provider-named copies.
  RecordedWhenRootIsOem,
};

// Which files of the scan are the package's. Classes compare case-blind.
struct InfMatchRule {
  std::string ownClass;  // a file of this class is the package's
  // Generic classes whose files are the package's when [Strings] holds a
  // value for `descriptionKey`.
  std::vector<std::string> describedClasses;
  std::string descriptionKey;
  // A "Ports" file not of the above is the package's when its port
  // description, the first of these [Std] keys with a value, equals
  // `portDescription`. Empty: no port test.
  std::vector<std::string> portDescriptionKeys;
  std::string portDescription;
  std::uint32_t readLimit;  // of each value read from a file
};

struct InfCleanupPlan {
  InfNamesAfterPackage namesAfterPackage;
  InfMatchRule match;
};

// An INF file read with the rule's limit: true when the rule claims it.
bool IsPackageInf(Platform& platform, const char* path, const InfMatchRule& rule);

// The stage result: 0 when the scan deleted nothing, otherwise the result of
// the last deletion the scan attempted. Deletions by name never touch it.
// The log gets every INF file the stage removes or tries to.
int CleanInfFiles(Platform& platform, const InfCleanupPlan& plan, const RegistryFindings& found,
                  ChangeLog& log = NoChangeLog());

}  // namespace mdm
