#include "platform/posix/StopSignals.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace platform::posix {
namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kExitNotUpdated = 2;

const char* SignalName(int signal) {
  switch (signal) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    default: return "SIGHUP";
  }
}

}  // namespace

void HoldStopSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal : kStopSignals) sigaddset(&set, signal);
  sigprocmask(SIG_BLOCK, &set, nullptr);
}

int PendingStopSignal() {
  sigset_t pending;
  if (sigpending(&pending) != 0) return 0;
  for (int signal : kStopSignals) {
    if (sigismember(&pending, signal) == 1) return signal;
  }
  return 0;
}

void StopBeforeSwap(int signal, const std::string& new_file) {
  if (!new_file.empty()) unlink(new_file.c_str());
  std::fprintf(stderr, "%s: stopped by %s before the old archive was touched: mes.arc is unchanged%s\n",
               program_invocation_short_name, SignalName(signal),
               new_file.empty() ? "" : ", the unfinished new file was removed");
  std::fflush(stderr);
  _exit(kExitNotUpdated);
}

void ReportStopDuringSwap(int signal, bool moved) {
  std::fprintf(stderr, "%s: %s arrived while mes.arc was being replaced: %s\n",
               program_invocation_short_name, SignalName(signal),
               moved ? "the swap was finished first"
                     : "the swap did not complete (the messages say why); nothing more was done");
}

}  // namespace platform::posix
