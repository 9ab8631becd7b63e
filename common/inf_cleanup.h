// The INF file stage, the last of both deliverables' four removal stages: the
// package's fixed INF names, then names chosen by a platform test, then a scan
// of "oem*.inf" in "INF" and "*.inf" in "INF\Other" that deletes every file the
// deliverable's match rule claims. The deliverables differ only in the
// configuration they pass.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/platform.h"

namespace mdm {

// Read limits of the two configurations.
constexpr std::uint32_t PROGRAM_INF_READ_LIMIT = 260;
constexpr std::uint32_t LIBRARY_INF_READ_LIMIT = 256;

// One INF file as the match rule sees it.
class InfFile {
 public:
  InfFile(Platform& platform, const char* path, std::uint32_t readLimit)
      : platform_(platform), path_(path), readLimit_(readLimit) {}

  // The value read with the configuration's limit; empty when the key is
  // absent or empty (the read returned 0).
  std::string Read(const char* section, const char* key) const;

 private:
  Platform& platform_;
  const char* path_;
  std::uint32_t readLimit_;
};

// The names deleted after PackageInfNames, in order, from `folder` (relative
// to the Windows directory). No names: nothing is deleted at this step.
struct ChosenInfNames {
  std::string folder;
  std::vector<std::string> names;
};

struct InfCleanupConfig {
  std::function<ChosenInfNames(Platform&)> chooseNames;
  // True when the file is one of the package's and must go.
  std::function<bool(const InfFile&)> matches;
  std::uint32_t readLimit;
};

// The stage result: 0 when the scan deleted nothing, otherwise the result of
// the last deletion the scan attempted. Deletions by name never touch it.
int CleanInfFiles(Platform& platform, const InfCleanupConfig& config);

// Windows 95 (version 4.0) and a folder "INF\other" below the Windows directory.
bool HasOtherInfDirectory(Platform& platform);

// Windows 95 (version 4.0) and "OEM", in capitals, somewhere in the recorded
// root INF name.
bool RootInfIsOem(Platform& platform, const std::string& rootInfPath);

}  // namespace mdm
