// The Windows entry: the runtime's GUI start-up supplies the instance, the
// command-line text after the program's name and the show state.
#include <windows.h>

#include "app/AppBase.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show_state) {
  return AppMain(instance, previous, command_line, show_state);
}
