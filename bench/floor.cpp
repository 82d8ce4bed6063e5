// The floor for the benchmark: the least a program on libtcod must do to be
// compared with zan-demo. It opens the same 80 x 50 window with the same
// renderer, prints one line, presents it, and waits for keys the same way,
// drawing a different line after each key so that the frame changes. It waits
// in SDL's own wait, as a libtcod program built the plain way does, in a page
// too.
// q or closing the window ends it.

#include <libtcod.hpp>

#include <string>

#include "../src/sdl.hpp"

// The same classic interface as zan-demo, deprecated in later releases.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

int main() {
#if TCOD_MAJOR_VERSION >= 2 || TCOD_MINOR_VERSION >= 19
  TCOD_set_log_callback(nullptr, nullptr);
#endif
  TCODConsole::initRoot(80, 50, "windowname", false, TCOD_RENDERER_SDL);
  zan_sdl_keys_not_text();
  const std::string lines[] = {"floor", "floor floor"};
  for (unsigned frame = 0;; ++frame) {
    TCODConsole::root->clear();
    TCODConsole::root->print(31, 24, lines[frame % 2]);
    zan_sdl_drop_keys();
    TCODConsole::flush();

    TCOD_key_t key{};
    while (
        !TCODConsole::isWindowClosed() && zan_sdl_wait() &&
        !(TCOD_sys_check_for_event(TCOD_EVENT_KEY_PRESS, &key, nullptr) & TCOD_EVENT_KEY_PRESS)) {
    }
    if (key.c == 'q' || TCODConsole::isWindowClosed()) {
      return 0;
    }
  }
}

#pragma GCC diagnostic pop
