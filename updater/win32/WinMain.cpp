// The Windows entry: the runtime's GUI start-up supplies the instance, the
// command-line text after the program's name and the show state. Declared
// without <windows.h>, which only backends/win32 includes: the handles are
// pointers and WINAPI is __stdcall, so the linker sees the runtime's WinMain.
#include "app/AppBase.h"

extern "C" int __stdcall WinMain(void* instance, void* previous, char* command_line,
                                 int show_state) {
  return AppMain(instance, previous, command_line, show_state);
}
