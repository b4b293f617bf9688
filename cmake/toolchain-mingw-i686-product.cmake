# The shipped 32-bit Windows programs: the win32 thread model (the updater
# starts no threads, so it carries no POSIX-threads runtime) and no symbols.
# The win32 preset builds with this file in build/win32/product, beside its
# posix-model test tree.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(MES_MINGW_PREFIX i686-w64-mingw32)
set(MES_MINGW_THREADS win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
string(APPEND CMAKE_EXE_LINKER_FLAGS_INIT " -s")
