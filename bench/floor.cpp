// The floor for the benchmark: the least a program on libtcod must do to be
// compared with zan-demo. It opens the same 80 x 50 window with the same
// renderer, prints one line, presents it, and waits for keys the same way,
// drawing a different line after each key so that the frame changes.
// q or closing the window ends it.

#include <SDL.h>
#include <libtcod.hpp>

#include <string>

int main() {
  TCODConsole::initRoot(80, 50, "windowname", false, TCOD_RENDERER_SDL);
  const std::string lines[] = {"floor", "floor floor"};
  for (unsigned frame = 0;; ++frame) {
    TCODConsole::root->clear();
    TCODConsole::root->print(31, 24, lines[frame % 2]);
    SDL_PumpEvents();
    SDL_FlushEvents(SDL_KEYDOWN, SDL_TEXTINPUT);
    TCODConsole::flush();

    TCOD_key_t key{};
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"  // as in zan-demo
    while (
        !TCODConsole::isWindowClosed() && SDL_WaitEvent(nullptr) &&
        !(TCOD_sys_check_for_event(TCOD_EVENT_KEY_PRESS, &key, nullptr) & TCOD_EVENT_KEY_PRESS)) {
    }
#pragma GCC diagnostic pop
    if (key.c == 'q' || TCODConsole::isWindowClosed()) {
      return 0;
    }
  }
}
