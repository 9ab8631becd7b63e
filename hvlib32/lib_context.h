// The run object of one Uninstall call: the INF names that the registry stage
// records for the INF stage, and the COM-port instance name.
#pragma once

#include <string>

namespace mdm::hvlib {

class LibUninstallContext {
 public:
  LibUninstallContext() = default;
  virtual ~LibUninstallContext() = default;
  LibUninstallContext(const LibUninstallContext&) = delete;
  LibUninstallContext& operator=(const LibUninstallContext&) = delete;

  std::string modemInfPath;
  std::string portInfPath;
  std::string rootInfPath;
  std::string comPort;
};

}  // namespace mdm::hvlib
