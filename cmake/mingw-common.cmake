# Settings shared by the mingw-w64 toolchain files; MES_MINGW_PREFIX names the
# target triplet.
set(CMAKE_SYSTEM_NAME Windows)

# The posix thread model: GoogleTest needs std::mutex, which the win32 model lacks.
set(CMAKE_C_COMPILER ${MES_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MES_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${MES_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MES_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# The executables must run alone: no libgcc/libstdc++/winpthread DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
