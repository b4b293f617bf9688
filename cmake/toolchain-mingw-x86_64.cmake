# 64-bit Windows through mingw-w64: the same tree, for running the Windows
# tests under a Wine that cannot start 32-bit programs (no 32-bit kernel support).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MES_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# The 64-bit loader itself: /usr/bin/wine prefers the 32-bit one.
find_program(MES_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(MES_WINE NAMES wine64 wine)
if(MES_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${MES_WINE})
endif()
