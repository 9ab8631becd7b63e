// mdmclean for Windows: no arguments, no output; the outcome goes into
// mdminfo.ini as section "Progress", key "Result".
#include "mdmclean/program_win32.h"

int main() { return mdm::cleaner::RunProgram(); }
