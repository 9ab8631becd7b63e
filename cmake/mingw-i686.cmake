# i686 MinGW-w64: the shipping build (PE32 for Windows 95).
# The win32 thread model keeps winpthread out of the import table; nothing
# in the deliverables starts a thread.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(MDM_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
