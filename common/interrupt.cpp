#include "common/interrupt.hpp"

#include <csignal>

#include "common/ending.hpp"

namespace xk {

namespace {

// The one piece of process-wide state of the suite: a signal handler can
// reach nothing but a static object of type volatile sig_atomic_t, so the
// signal number is kept here for the run to find at its next check point.
volatile std::sig_atomic_t received_signal = 0;

extern "C" void record_signal(int sig) {
  if (received_signal == 0) received_signal = sig;
}

}  // namespace

void install_interrupt_handlers() {
  struct sigaction action {};
  action.sa_handler = record_signal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: a blocked wait returns with EINTR
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
    // A signal ignored when the program started (nohup, a background job
    // of a shell without job control) stays ignored, as the user asked.
    struct sigaction before {};
    if (::sigaction(sig, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
    ::sigaction(sig, &action, nullptr);
  }
}

int interrupt_signal() { return received_signal; }

void check_interrupt() {
  if (const int sig = received_signal; sig != 0) throw Interrupted(sig);
}

void clear_interrupt() { received_signal = 0; }

}  // namespace xk
