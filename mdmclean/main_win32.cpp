// mdmclean for Windows: no arguments, no output; the outcome goes into
// mdminfo.ini as section "Progress", key "Result".
#include "common/platform_win32.h"
#include "mdmclean/stages.h"

namespace {
// Program-wide, zero-filled at start, written only by the configuration.
mdm::cleaner::ProgramTables g_tables;
}  // namespace

int main() {
  mdm::Win32Platform platform;
  mdm::cleaner::RunUninstall(platform, g_tables);
  return 0;
}
