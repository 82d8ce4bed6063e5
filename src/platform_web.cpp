// The program in a web page: a page gets no signals and has no console, a
// failure's line goes to the page, which shows it, and the wait hands the
// browser its thread until an event arrives.
#include <emscripten.h>

#include <cstdio>
#include <cstdlib>

#include "platform.hpp"
#include "sdl.hpp"

// SDL's own wait would wake every millisecond. Instead the program hands the
// browser its thread, through ASYNCIFY, until an event that SDL listens for
// has reached the window: SDL's handlers, registered when it started, on the
// window or below it, have run by then. The run goes on as the runtime's own
// callbacks do, so that its exit() is no uncaught error. Returns whether the
// page was resized. cmake/web.cmake names this function to ASYNCIFY as one
// that suspends, and keeps the calls that lead to it direct.
EM_JS_DEPS(zan_platform, "$callUserCallback");
// The body is JavaScript.
// clang-format off
EM_JS(int, zan_platform_next_dom_event, (), {
  return Asyncify.handleSleep((wakeUp) => {
    const types = ["keydown", "keyup", "resize", "focus", "blur", "visibilitychange"];
    const woken = (event) => {
      types.forEach((type) => removeEventListener(type, woken));
      callUserCallback(() => wakeUp(event.type === "resize" ? 1 : 0));
    };
    types.forEach((type) => addEventListener(type, woken));
  });
});
// clang-format on

// SDL would also hand the browser its thread after presenting each frame,
// from calls the page leaves uninstrumented; the wait below does it.
void zan_platform_settle_in() { SDL_SetHint(SDL_HINT_EMSCRIPTEN_ASYNCIFY, "0"); }

void zan_platform_report(const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); }

int zan_platform_forward_signals() { return 0; }

bool zan_platform_wait() {
  SDL_PumpEvents();
  while (!SDL_HasEvents(SDL_EVENT_FIRST, SDL_EVENT_LAST)) {
    if (zan_platform_next_dom_event() != 0) {
      // On a resize of the page SDL sets the canvas's size again, which
      // clears it, and sends no event when the size stays the same.
      SDL_Event exposed{};
      exposed.type = SDL_EVENT_WINDOW_EXPOSED;
      SDL_PushEvent(&exposed);
    }
    SDL_PumpEvents();
  }
  return true;
}

// Once the run has waited, main's return reaches nobody: the browser's call
// to main returned at the first wait. exit() tells the page.
int zan_platform_ended(int status) { std::exit(status); }
