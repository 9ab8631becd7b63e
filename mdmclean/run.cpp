// The run of mdmclean: configuration, presence check, the plan, result.
#include "common/registry_keys.h"
#include "common/text.h"
#include "mdmclean/program.h"

namespace mdm::cleaner {

namespace {

void WriteResult(Platform& platform, int result) {
  char text[8] = {};
  Compose(text, "%d", result);
  // Whether the write works is not checked: nobody would be told.
  platform.WritePrivateProfileStringA("Progress", "Result", text, ".\\mdminfo.ini");
}

}  // namespace

bool IsAnyPnpKeyPresent(Platform& platform, const Configuration& configuration) {
  for (const std::string& id : configuration.pnpIds) {
    if (KeyExists(platform, "Enum\\ISAPNP\\" + id)) return true;
  }
  return false;
}

int RunUninstall(Platform& platform) {
  const std::optional<Configuration> configuration = LoadConfiguration(platform);
  int result = RESULT_DONE;
  if (!configuration) {
    result = RESULT_NO_CONFIG;
  } else if (!IsAnyPnpKeyPresent(platform, *configuration)) {
    result = RESULT_NOT_INSTALLED;
  } else {
    // Once the stages have started, the run is done, whatever they achieved.
    RunPlan(platform, ProgramPlan(*configuration));
  }
  WriteResult(platform, result);
  return result;
}

}  // namespace mdm::cleaner
