// The run of mdmclean: configuration, presence check, the plan, result.
#include "common/product.h"
#include "common/registry_keys.h"
#include "common/run_log.h"
#include "common/text.h"
#include "mdmclean/program.h"

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

// Whether the write works is not checked: nobody would be told. A null
// value removes the key.
void WriteResultText(Platform& platform, const char* text) {
  platform.WritePrivateProfileStringA("Progress", "Result", text, CONFIG_FILE);
}

void WriteResult(Platform& platform, int result) {
  char text[8] = {};
  Compose(text, "%d", result);
  WriteResultText(platform, text);
}

}  // namespace

void RemoveResult(Platform& platform) { WriteResultText(platform, nullptr); }

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
  if (!configuration) {
    result = RESULT_NO_CONFIG;
  } else if (!IsAnyPnpKeyPresent(platform, *configuration)) {
    result = RESULT_NOT_INSTALLED;
  } else {
    // Once the stages have started, the run is done, whatever they achieved.
    RunPlan(platform, ProgramPlan(*configuration), log);
  }
  WriteResult(platform, result);
  char line[64];
  Compose(line, "result %d (%s)", result, Meaning(result));
  log.Line(line);
  return result;
}

}  // namespace mdm::cleaner
