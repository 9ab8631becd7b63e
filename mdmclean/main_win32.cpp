// mdmclean for Windows: no arguments, no output; the outcome goes into
// mdminfo.ini as section "Progress", keys "Remaining" and "Result".
#include "core/platform/platform_win32.h"
#include "mdmclean/run.h"
#include "runtime/guard.h"

namespace {

struct Run {
  mdm::Platform& platform;
  std::int32_t status;
};

void RunUninstall(void* context) {
  Run& run = *static_cast<Run*>(context);
  run.status = static_cast<std::int32_t>(mdm::mdmclean::RunUninstall(run.platform));
}

}  // namespace

// The exit code: the result code (0, 1 or 2) after a run, as mdminfo.ini
// gets it; ERROR_NOT_ENOUGH_MEMORY when memory ran out and the run ended part
// way, without a fault dialog. No result may then stand for the run, not
// even one an earlier run left in mdminfo.ini.
int main() {
  std::int32_t status = mdm::ERROR_NOT_ENOUGH_MEMORY;
  {
    // Made outside the guarded call: its end closes what an ended run left open.
    mdm::Win32Platform platform;
    Run run{platform, status};
    mdm::rt::GuardedCall(&RunUninstall, &run);
    status = run.status;
  }
  if (status == mdm::ERROR_NOT_ENOUGH_MEMORY) {
    mdm::Win32Platform platform;
    mdm::mdmclean::RemoveResult(platform);
  }
  return status;
}
