// What the desktop platforms share (platform_desktop.hpp).
#include "platform_desktop.hpp"

#include <atomic>

#include "access.hpp"
#include "console_text.hpp"
#include "platform.hpp"
#include "sdl.hpp"

namespace {
std::atomic<bool> returning{false};  // whether main is returning
std::atomic<int> status{0};          // main's status, once it is returning
}  // namespace

bool zan_desktop_returning() { return returning.load(); }

int zan_desktop_status() { return returning.load() ? status.load() : 0; }

// A frame is presented: the screen reader hears what it shows.
bool zan_platform_wait() {
  zan_access_show(zan_console_text());
  return zan_sdl_wait();
}

int zan_platform_ended(int main_status) {
  status = main_status;
  returning = true;
  return main_status;
}
