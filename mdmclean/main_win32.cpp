// mdmclean for Windows: no arguments, no output; the outcome goes into
// mdminfo.ini as section "Progress", keys "Remaining" and "Result".
#include "common/guarded_win32.h"
#include "mdmclean/run.h"

// The exit code: 0 after a run, ERROR_NOT_ENOUGH_MEMORY when memory ran out
// and the run ended part way, without a fault dialog. No result may then
// stand for the run, not even one an earlier run left in mdminfo.ini.
int main() {
  const std::int32_t status = mdm::GuardedCall([](mdm::Platform& platform) {
    mdm::cleaner::RunUninstall(platform);
    return mdm::ERROR_SUCCESS;
  });
  if (status == mdm::ERROR_NOT_ENOUGH_MEMORY) {
    mdm::Win32Platform platform;
    mdm::cleaner::RemoveResult(platform);
  }
  return status;
}
