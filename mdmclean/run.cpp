// The run of mdmclean: configuration, presence check, the plan, result.
#include "core/package/product.h"
#include "core/base/registry_keys.h"
#include "core/record/run_log.h"
#include "core/base/text.h"
#include "mdmclean/program_plan.h"
#include "mdmclean/run.h"

namespace mdm::mdmclean {

namespace {

constexpr const char* LOG_NAME = "MDMCLEAN";  // MDMCLEAN.LOG and MDMCLEAN.REG

const char* Meaning(int result) {
  switch (result) {
    case RESULT_DONE: return "done";
    case RESULT_NO_CONFIG: return "no usable configuration";
    default: return "the package is not installed";
  }
}

// Remaining goes first, so that a caller who sees this run's Result sees
// its Remaining too. The log hears of a write that failed: the caller then
// has only the exit code.
void WriteResult(Platform& platform, ChangeLog& log, int result, std::size_t remaining) {
  char text[16] = {};
  Compose(text, "%u", static_cast<unsigned>(remaining));
  const bool remainingWritten =
      platform.WritePrivateProfileStringA("Progress", "Remaining", text, CONFIG_FILE) != 0;
  std::uint32_t error = remainingWritten ? 0 : platform.GetLastError();
  Compose(text, "%d", result);
  const bool resultWritten =
      platform.WritePrivateProfileStringA("Progress", "Result", text, CONFIG_FILE) != 0;
  if (!resultWritten) error = platform.GetLastError();
  if (remainingWritten && resultWritten) return;
  const char* which = !resultWritten && !remainingWritten ? "Result and Remaining"
                      : resultWritten                     ? "Remaining"
                                                          : "Result";
  char line[128];
  Compose(line,
          "%s could not be written into mdminfo.ini (error %u); the exit code tells the result",
          which, static_cast<unsigned>(error));
  log.Line(line);
}

}  // namespace

// A null value removes the key.
void RemoveResult(Platform& platform) {
  platform.WritePrivateProfileStringA("Progress", "Result", nullptr, CONFIG_FILE);
  platform.WritePrivateProfileStringA("Progress", "Remaining", nullptr, CONFIG_FILE);
}

int RunUninstall(Platform& platform) {
  RunLog log(platform, LOG_NAME, std::string("mdmclean ") + product::VERSION);
  const std::optional<Configuration> configuration = LoadConfiguration(platform);
  int result = RESULT_DONE;
  StageOutcome outcome;
  if (!configuration) {
    result = RESULT_NO_CONFIG;
  } else {
    // Not installed means nothing of the package is left: whatever an
    // earlier run, stopped or not, left behind, this one finishes.
    const RemovalPlan plan = ProgramPlan(*configuration);
    if (!AnyOfThePackagePresent(platform, plan)) {
      result = RESULT_NOT_INSTALLED;
    } else {
      // Once the stages have started, the run is done, whatever they
      // achieved; what stayed is told apart.
      outcome = RunPlan(platform, plan, log);
    }
  }
  WriteResult(platform, log, result, outcome.remaining.size());
  char line[64];
  Compose(line, "result %d (%s)", result, Meaning(result));
  log.Finish(line, outcome);
  return result;
}

}  // namespace mdm::mdmclean
