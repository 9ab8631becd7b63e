// mdmclean for Windows: no arguments, no output; the outcome goes into
// mdminfo.ini as section "Progress", key "Result".
#include "mdmclean/program_win32.h"

namespace {
// Program-wide, zero-filled at start, written only by the configuration.
mdm::cleaner::ProgramTables g_tables;
}  // namespace

int main() { return mdm::cleaner::RunProgram(g_tables); }
