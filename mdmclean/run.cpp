// The run of mdmclean: configuration, presence check, the plan, result.
#include "common/product.h"
#include "common/registry_keys.h"
#include "common/run_log.h"
#include "common/text.h"
#include "mdmclean/plan.h"
#include "mdmclean/run.h"

namespace mdm::cleaner {

namespace {

constexpr const char* LOG_NAME = "MDMCLEAN";  // MDMCLEAN.LOG and MDMCLEAN.REG

const char* Meaning(int result) {
  switch (result) {
    case RESULT_DONE: return "done";
    case RESULT_NO_CONFIG: return "no usable configuration";
    default: return "the package is not installed";
  }
}

// Whether the writes work is not checked: nobody would be told. Remaining
// goes first, so that a caller who sees this run's Result sees its
// Remaining too.
void WriteResult(Platform& platform, int result, std::size_t remaining) {
  char text[16] = {};
  Compose(text, "%u", static_cast<unsigned>(remaining));
  platform.WritePrivateProfileStringA("Progress", "Remaining", text, CONFIG_FILE);
  Compose(text, "%d", result);
  platform.WritePrivateProfileStringA("Progress", "Result", text, CONFIG_FILE);
}

}  // namespace

// A null value removes the key.
void RemoveResult(Platform& platform) {
  platform.WritePrivateProfileStringA("Progress", "Result", nullptr, CONFIG_FILE);
  platform.WritePrivateProfileStringA("Progress", "Remaining", nullptr, CONFIG_FILE);
}

bool IsAnyPnpKeyPresent(Platform& platform, const Configuration& configuration) {
  for (const std::string& id : configuration.pnpIds) {
    if (KeyExists(platform, "Enum\\ISAPNP\\" + id)) return true;
  }
  return false;
}

int RunUninstall(Platform& platform) {
  RunLog log(platform, LOG_NAME, std::string("mdmclean ") + product::VERSION);
  const std::optional<Configuration> configuration = LoadConfiguration(platform);
  int result = RESULT_DONE;
  StageOutcome outcome;
  if (!configuration) {
    result = RESULT_NO_CONFIG;
  } else if (!IsAnyPnpKeyPresent(platform, *configuration)) {
    result = RESULT_NOT_INSTALLED;
  } else {
    // Once the stages have started, the run is done, whatever they achieved;
    // what stayed is told apart.
    outcome = RunPlan(platform, ProgramPlan(*configuration), log);
  }
  WriteResult(platform, result, outcome.remaining.size());
  char line[64];
  Compose(line, "result %d (%s)", result, Meaning(result));
  log.Finish(line, outcome);
  return result;
}

}  // namespace mdm::cleaner
