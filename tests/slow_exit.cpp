// Preloaded into the demo by one case: an exit that takes a second, as a
// sanitizer's leak check may on a busy machine, and that says when it is done.
#include <unistd.h>

#include <ctime>

__attribute__((destructor)) static void zan_slow_exit() {
  const timespec second{1, 0};
  nanosleep(&second, nullptr);
  static const char done[] = "slow exit done\n";
  if (write(STDERR_FILENO, done, sizeof done - 1) < 0) {
    _exit(2);
  }
}
