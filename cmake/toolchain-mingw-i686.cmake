# 32-bit Windows through mingw-w64; test executables run under Wine.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(MES_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

find_program(MES_WINE NAMES wine)
if(MES_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${MES_WINE})
endif()
