// The program in a web page: a page gets no signals and has no console, a
// failure's line goes to the page, which shows it, and the wait hands the
// browser its thread until an event arrives. There, too, the page is told
// the text the window shows, for a screen reader.
#include <emscripten.h>
#include <emscripten/html5.h>
#include <libtcod/renderer_sdl2.h>
#include <libtcod.hpp>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "access.hpp"
#include "console_text.hpp"
#include "platform.hpp"
#include "sdl.hpp"

// SDL's own wait would wake every millisecond. Instead the program hands the
// browser its thread, through ASYNCIFY, until an event that SDL listens for
// has reached the window: SDL's handlers, registered when it started, on the
// window or below it, have run by then. The run goes on as the runtime's own
// callbacks do, so that its exit() is no uncaught error. Returns whether the
// page was resized. cmake/web.cmake names this function to ASYNCIFY as one
// that suspends, and keeps the calls that lead to it direct.
// (SDL's own JavaScript uses stringToNewUTF8 without asking for it.)
EM_JS_DEPS(zan_platform, "$callUserCallback,$stringToNewUTF8");
// The body is JavaScript.
// clang-format off
EM_JS(int, zan_platform_next_dom_event, (), {
  return Asyncify.handleSleep((wakeUp) => {
    const types = ["keydown", "keyup", "resize", "focus", "blur", "visibilitychange"];
    const woken = (event) => {
      types.forEach((type) => removeEventListener(type, woken));
      Module["canvas"].removeEventListener("contextrestored", woken);
      callUserCallback(() => wakeUp(event.type === "resize" || event.type === "contextrestored"));
    };
    types.forEach((type) => addEventListener(type, woken));
    Module["canvas"].addEventListener("contextrestored", woken);
  });
});

// The canvas the browser keeps in memory, not on the GPU, made before SDL
// asks for it: WebKitGTK shrinks a GPU canvas without smoothing, and the
// window scaled down to fit a small page lost rows and columns of glyphs.
EM_JS(void, zan_platform_keep_canvas_in_memory, (), {
  Module["canvas"].getContext("2d", {willReadFrequently: true});
});

// Hands the page the window's new text, which it gives a screen reader. (The
// page's own names are quoted, as Closure Compiler renames the others.)
EM_JS(void, zan_platform_window_text, (const char* text), {
  if (Module["windowText"]) Module["windowText"](UTF8ToString(text));
});
// clang-format on

// What SDL's driver would offer the page and the demo never asks for, kept
// out of the runtime's JavaScript, where emscripten's libraries for it were
// a quarter of the whole (bench/README.md). The page draws on a 2D canvas
// with SDL's software renderer, so no OpenGL ES function is ever looked up:
// one lookup would bring in emscripten's table of every one. The page sizes
// the window itself and is never fullscreen, and the demo takes no mouse,
// so never locks the pointer: each request fails, as in a browser without
// them, and watching for a change succeeds and sees none.
extern "C" {
void* emscripten_webgl_get_proc_address(const char* /*name*/) { return nullptr; }
EMSCRIPTEN_RESULT emscripten_request_fullscreen_strategy(
    const char* /*target*/, bool /*defer*/, const EmscriptenFullscreenStrategy* /*strategy*/) {
  return EMSCRIPTEN_RESULT_NOT_SUPPORTED;
}
EMSCRIPTEN_RESULT emscripten_exit_fullscreen() { return EMSCRIPTEN_RESULT_NOT_SUPPORTED; }
EMSCRIPTEN_RESULT emscripten_get_fullscreen_status(EmscriptenFullscreenChangeEvent* /*status*/) {
  return EMSCRIPTEN_RESULT_NOT_SUPPORTED;
}
EMSCRIPTEN_RESULT emscripten_set_fullscreenchange_callback_on_thread(
    const char* /*target*/, void* /*data*/, bool /*capture*/,
    em_fullscreenchange_callback_func /*callback*/, pthread_t /*thread*/) {
  return EMSCRIPTEN_RESULT_SUCCESS;
}
EMSCRIPTEN_RESULT emscripten_request_pointerlock(const char* /*target*/, bool /*defer*/) {
  return EMSCRIPTEN_RESULT_NOT_SUPPORTED;
}
EMSCRIPTEN_RESULT emscripten_exit_pointerlock() { return EMSCRIPTEN_RESULT_NOT_SUPPORTED; }

// The page has no file system either: emscripten's would be two fifths of
// its script. The library reads its tileset, terminal.png, through fopen,
// which here opens the copy linked into the program (tileset_web.c) and
// finds no other file.
extern const unsigned char zan_tileset_png[];
extern const size_t zan_tileset_png_size;
FILE* fopen(const char* path, const char* mode) {
  if (std::strcmp(path, "terminal.png") == 0 && mode[0] == 'r') {
    return fmemopen(const_cast<unsigned char*>(zan_tileset_png), zan_tileset_png_size, "rb");
  }
  errno = ENOENT;
  return nullptr;
}
EMSCRIPTEN_RESULT emscripten_set_pointerlockchange_callback_on_thread(
    const char* /*target*/, void* /*data*/, bool /*capture*/,
    em_pointerlockchange_callback_func /*callback*/, pthread_t /*thread*/) {
  return EMSCRIPTEN_RESULT_SUCCESS;
}
}

namespace {

// libtcod draws the console into a texture of its own, then blends that onto
// the window. The console is opaque, so a copy shows the same; with SDL's
// software renderer the blend took two thirds of a frame's time (2 of 3 ms).
void copy_the_console() {
  const TCOD_Context* const context = TCOD_sys_get_internal_context();
  if (context != nullptr && context->type == TCOD_RENDERER_SDL2) {
    const auto* const sdl = static_cast<const TCOD_RendererSDL2*>(context->contextdata_);
    if (sdl->cache_texture != nullptr) {
      SDL_SetTextureBlendMode(sdl->cache_texture, SDL_BLENDMODE_NONE);
    }
  }
}

}  // namespace

// SDL would also hand the browser its thread after presenting each frame,
// from calls the page leaves uninstrumented; the wait below does it. SDL
// draws on a 2D canvas rather than through WebGL: the browser may take a GPU
// context away for good, but gives a 2D canvas back, cleared, and the wait
// then shows the frame again (bench/README.md has the measurements).
void zan_platform_settle_in() {
  SDL_SetHint(SDL_HINT_EMSCRIPTEN_ASYNCIFY, "0");
  SDL_SetHint(SDL_HINT_RENDER_DRIVER, "software");
  zan_platform_keep_canvas_in_memory();
}

void zan_platform_report(const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); }

int zan_platform_forward_signals() { return 0; }

// The page is the screen reader's way in (access.hpp): it is always there.
bool zan_access_start() { return true; }
void zan_access_changed(const std::string& text) { zan_platform_window_text(text.c_str()); }

bool zan_platform_wait() {
  zan_access_show(zan_console_text());
  copy_the_console();
  SDL_PumpEvents();
  while (!SDL_HasEvents(SDL_EVENT_FIRST, SDL_EVENT_LAST)) {
    if (zan_platform_next_dom_event() != 0) {
      // On a resize of the page SDL sets the canvas's size again, which
      // clears it, and sends no event when the size stays the same; a
      // canvas the browser gives back is cleared too.
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
