#include "backends/posix/StopSignals.h"

#include <signal.h>

#include <cstdlib>

namespace backends::posix {
namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
StopHandler g_handler = nullptr;

}  // namespace

void HoldStopSignals(StopHandler handler) {
  g_handler = handler;
  sigset_t set;
  sigemptyset(&set);
  for (int signal : kStopSignals) sigaddset(&set, signal);
  sigprocmask(SIG_BLOCK, &set, nullptr);
}

int PendingStopSignal() {
  if (!g_handler) return 0;
  sigset_t pending;
  if (sigpending(&pending) != 0) return 0;
  for (int signal : kStopSignals) {
    if (sigismember(&pending, signal) == 1) return signal;
  }
  return 0;
}

void ReportStop(const StopEvent& event) {
  if (!g_handler) return;
  g_handler(event);
  // Before the swap the new file is gone: no way on.
  if (!event.during_swap) std::abort();
}

}  // namespace backends::posix
