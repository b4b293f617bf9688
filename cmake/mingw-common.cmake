# Settings shared by the mingw-w64 toolchain files; MES_MINGW_PREFIX names the
# target triplet, MES_MINGW_THREADS the compiler's thread model.
set(CMAKE_SYSTEM_NAME Windows)

# The test builds keep the posix thread model: GoogleTest needs std::mutex,
# which the win32 model of GCC 12 lacks. The product's toolchain picks win32.
if(NOT MES_MINGW_THREADS)
  set(MES_MINGW_THREADS posix)
endif()
set(CMAKE_C_COMPILER ${MES_MINGW_PREFIX}-gcc-${MES_MINGW_THREADS})
set(CMAKE_CXX_COMPILER ${MES_MINGW_PREFIX}-g++-${MES_MINGW_THREADS})
set(CMAKE_RC_COMPILER ${MES_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MES_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# The executables must run alone: no libgcc/libstdc++/winpthread DLLs beside
# them. No link time in the PE header, so that two builds of one commit match.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ -Wl,--no-insert-timestamp")
