// The program on Linux and the other POSIX systems: SIGINT and SIGTERM end
// the run as closing the window does, and a failure goes to stderr.
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <ctime>

#include "platform.hpp"
#include "platform_desktop.hpp"
#include "sdl.hpp"

namespace {

// How long a signal's quit event may take to end the run before the process
// simply exits, as it must when the display server hangs.
const int quit_grace_ms = 500;

std::atomic<bool> forwarding{false};  // whether the forwarder thread runs
sigset_t handled;                     // the signals whose handler was installed
pthread_t forwarder;

// Ends the process now: a signal ends a run with status 0, as closing the
// window does, but main's own status stands once main is returning.
[[noreturn]] void end_now() { _exit(zan_desktop_status()); }

// While the window opens the library may never return, and only calls such
// as _exit() are safe wherever a signal lands. No thread waits for signals
// that early: any second thread costs the first frame 8%. A main that failed
// before the thread ran is returning, and its exit goes on unless a second
// signal asks again.
void on_signal(int signal) {
  static std::atomic<int> taken{0};
  if (forwarding.load()) {
    pthread_kill(forwarder, signal);  // a library thread took it
  } else if (!zan_desktop_returning() || ++taken > 1) {
    end_now();
  }
}

// A run that has not ended within the grace ends then.
void* end_after_grace(void* /*unused*/) {
  const timespec grace = {quit_grace_ms / 1000, quit_grace_ms % 1000 * 1000000L};
  timespec left = grace;
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
  if (!zan_desktop_returning()) {
    end_now();
  }
  return nullptr;
}

// Pushing the quit event from a thread wakes SDL_WaitEvent wherever it is,
// which SDL's own handlers do not; a thread of its own keeps the grace. A
// run whose main is returning is not cut short, unless a second signal asks
// again, which ends it at once, the grace too. Only POSIX's sigwait and
// nanosleep: macOS and OpenBSD have no sigtimedwait. The thread never ends,
// so on_signal can always reach it.
void* forward_signals(void* /*unused*/) {
  int signal = 0;
  while (sigwait(&handled, &signal) != 0) {
  }
  if (!zan_desktop_returning()) {
    zan_sdl_push_quit();
    pthread_t grace;
    if (pthread_create(&grace, nullptr, end_after_grace, nullptr) != 0) {
      end_now();
    }
    pthread_detach(grace);
  }
  while (sigwait(&handled, &signal) != 0) {
  }
  end_now();
}

}  // namespace

// A signal the shell had us ignore, as for a background job, stays ignored.
void zan_platform_settle_in() {
  struct sigaction handler {};
  handler.sa_handler = on_signal;
  handler.sa_flags = SA_RESTART;
  sigemptyset(&handler.sa_mask);
  sigemptyset(&handled);
  for (const int signal : {SIGINT, SIGTERM}) {
    struct sigaction before {};
    if (sigaction(signal, nullptr, &before) == 0 && before.sa_handler != SIG_IGN &&
        sigaction(signal, &handler, nullptr) == 0) {
      sigaddset(&handled, signal);
    }
  }
}

void zan_platform_report(const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); }

// Only the handled signals are blocked: Linux queues a blocked signal even
// when it is ignored, and sigwait() would take it.
int zan_platform_forward_signals() {
  pthread_sigmask(SIG_BLOCK, &handled, nullptr);
  const int failed = pthread_create(&forwarder, nullptr, forward_signals, nullptr);
  if (failed == 0) {
    pthread_detach(forwarder);
    forwarding = true;
  }
  return failed;
}
