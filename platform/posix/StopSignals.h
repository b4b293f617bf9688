// Ctrl-C, a closed terminal or a kill must not cut an update in the middle.
// Once the player has said yes, SIGINT, SIGTERM and SIGHUP are held (blocked)
// and the file calls look for them between chunks: while the new file is
// being written it is removed and the process ends with status 2, the old
// archive untouched; once the old archive is being replaced, the swap is
// finished first and the exit status says what was left.
#pragma once

#include <string>

namespace platform::posix {

void HoldStopSignals();
// The first of the three that arrived while held, or 0.
int PendingStopSignal();
// Removes new_file (the program's own, unfinished; may be empty), says why on
// stderr in one line and ends the process with status 2.
[[noreturn]] void StopBeforeSwap(int signal, const std::string& new_file);
// One line on stderr: the signal came during the swap, which went on to
// its end (moved: the new archive is in place).
void ReportStopDuringSwap(int signal, bool moved);

}  // namespace platform::posix
