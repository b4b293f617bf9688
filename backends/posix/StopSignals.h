// Ctrl-C, a closed terminal or a kill must not cut an update in the middle.
// Once the program holds them, SIGINT, SIGTERM and SIGHUP are blocked and the
// file calls look for them between chunks: while the new file is being
// written it is removed and the program's handler is told; once the swap has
// begun (System::SwapBegins), the swap goes on to its end and the handler is
// told after the move. What to say and how to end is the program's.
#pragma once

namespace backends::posix {

// What the file calls met: a stop signal, before or during the swap.
struct StopEvent {
  int signal;
  bool during_swap;
  // Before the swap: the unfinished new file was there and is now removed.
  bool new_file_removed;
  // During the swap: the new archive reached its place.
  bool moved;
};
// Before the swap the handler must end the process (the work cannot go on
// without its new file); during the swap it returns and the work ends as it
// would have.
using StopHandler = void (*)(const StopEvent& event);

// Holds the three signals from now on and hands the ones that arrive to handler.
void HoldStopSignals(StopHandler handler);
// The first of the three that arrived while held, or 0.
int PendingStopSignal();
// Tells the handler, when there is one.
void ReportStop(const StopEvent& event);

}  // namespace backends::posix
