// Which INF files are the package's: the content rule each deliverable plans,
// and where Windows keeps the INF files of installed devices. The INF stage
// deletes by these rules, and a class key whose "InfPath" names a file they do
// not claim carries a mark of another device (core/ownership/ownership.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/platform/platform.h"

namespace mdm {

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
  std::uint32_t readLimit = 0;  // of each value read from a file
};

// An INF file read with the rule's limit: true when the rule claims it.
bool IsPackageInf(Platform& platform, const char* path, const InfMatchRule& rule);

// The names the scan examines: "oem*.inf" in "INF", "*.inf" in "INF\Other".
bool IsScannedInfName(const std::string& name, bool otherFolder);

// The file `name` in the INF folder `folder` ("<windows>\INF", or its "Other"
// folder when `otherFolder`) is the package's by the INF rules: one of the
// package's own INF names there, or a name the scan examines whose content
// the rule claims.
bool IsPackageInfFile(Platform& platform, const std::string& folder, bool otherFolder,
                      const std::string& name, const InfMatchRule& rule);

// Whose the INF file an "InfPath" value names is: it is looked for in "INF",
// then in "INF\Other" below the Windows directory. Unknown when a search for
// it failed for another reason than its absence.
enum class InfOwner { Absent, Package, Other, Unknown };
InfOwner WhoseInfFile(Platform& platform, const std::string& windows, const std::string& name,
                      const InfMatchRule& rule);

}  // namespace mdm
