// The few SDL calls zan-demo makes itself. They must go to the SDL that
// libtcod runs on: SDL 3 for libtcod 2, SDL 2 (or sdl2-compat) before it.
#pragma once

#include <libtcod/version.h>

#if TCOD_MAJOR_VERSION >= 2
#include <SDL3/SDL.h>
#define ZAN_SDL3 1
#else
#include <SDL.h>
#define ZAN_SDL3 0
#endif

// SDL's own SIGINT and SIGTERM handlers only set a flag that a blocked wait
// may not see; the program takes them itself. zan_sdl_configure() says so,
// with what else SDL must know before the window opens.
inline void zan_sdl_no_signal_handlers() { SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1"); }

// The video driver SDL runs on, or nullptr.
inline const char* zan_sdl_driver() { return SDL_GetCurrentVideoDriver(); }

inline const char* zan_sdl_error() { return SDL_GetError(); }

// A message box of SDL's, which needs no window of its own.
inline void zan_sdl_show_error(const char* title, const char* text) {
  SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, title, text, nullptr);
}

// zan_sdl_watch_damage has SDL set *damaged whenever the window may have lost
// its content, so that the frame is presented again. zan_sdl_watch_focus has
// SDL call on_focus(true or false) as the window gains or loses the keyboard
// focus, for the rest of the run.

#if ZAN_SDL3

// Blocks until an event is queued, and leaves it there; false if SDL cannot.
inline bool zan_sdl_wait() { return SDL_WaitEvent(nullptr); }

inline void zan_sdl_configure() { zan_sdl_no_signal_handlers(); }

inline void zan_sdl_push_quit() {
  SDL_Event quit{};
  quit.type = SDL_EVENT_QUIT;
  SDL_PushEvent(&quit);
}

// Drops the key presses queued so far, and their text.
inline void zan_sdl_drop_keys() {
  SDL_PumpEvents();
  SDL_FlushEvents(SDL_EVENT_KEY_DOWN, SDL_EVENT_TEXT_INPUT);
}

// SDL 3 starts with text input off, and libtcod never turns it on.
inline void zan_sdl_keys_not_text() {}

inline bool zan_sdl_note_damage(void* damaged, SDL_Event* event) {
  switch (event->type) {
    case SDL_EVENT_WINDOW_EXPOSED:
    case SDL_EVENT_WINDOW_PIXEL_SIZE_CHANGED:
    case SDL_EVENT_WINDOW_RESTORED:
    case SDL_EVENT_WINDOW_SHOWN:
      *static_cast<bool*>(damaged) = true;
      break;
    default:
      break;
  }
  return true;
}

inline void zan_sdl_watch_damage(bool* damaged) { SDL_AddEventWatch(zan_sdl_note_damage, damaged); }
inline void zan_sdl_unwatch_damage(bool* damaged) {
  SDL_RemoveEventWatch(zan_sdl_note_damage, damaged);
}

inline bool zan_sdl_note_focus(void* on_focus, SDL_Event* event) {
  if (event->type == SDL_EVENT_WINDOW_FOCUS_GAINED || event->type == SDL_EVENT_WINDOW_FOCUS_LOST) {
    (*static_cast<void (**)(bool)>(on_focus))(event->type == SDL_EVENT_WINDOW_FOCUS_GAINED);
  }
  return true;
}

// Code point c as UTF-8 in `out`; returns its length.
inline int zan_sdl_utf8(Uint32 c, char* out) {
  return static_cast<int>(SDL_UCS4ToUTF8(c, out) - out);
}

#ifdef _WIN32
// The HWND of the program's one window, or nullptr. (Windows builds run on
// SDL 3 only.)
inline void* zan_sdl_window_handle() {
  int count = 0;
  SDL_Window** const windows = SDL_GetWindows(&count);
  void* const hwnd = count < 1
                         ? nullptr
                         : SDL_GetPointerProperty(SDL_GetWindowProperties(windows[0]),
                                                  SDL_PROP_WINDOW_WIN32_HWND_POINTER, nullptr);
  SDL_free(windows);
  return hwnd;
}
#endif

#else

inline bool zan_sdl_wait() { return SDL_WaitEvent(nullptr) != 0; }

inline void zan_sdl_push_quit() {
  SDL_Event quit{};
  quit.type = SDL_QUIT;
  SDL_PushEvent(&quit);
}

inline void zan_sdl_drop_keys() {
  SDL_PumpEvents();
  SDL_FlushEvents(SDL_KEYDOWN, SDL_TEXTINPUT);
}

// With text input on, as libtcod leaves it on SDL 2, a composing input method
// swallows the letters before they are key presses.
inline void zan_sdl_keys_not_text() { SDL_StopTextInput(); }

// sdl2-compat has SDL 3 scale windows to the display on Wayland, which undoes
// the library's request for high density and leaves the window a quarter of
// its size on a 2x desktop. It sets that default over any earlier hint, but
// keeps the environment's, which a user may still set; SDL 2 ignores it.
// (libtcod 2 asks for no high density, so SDL 3 keeps the window full size
// and the compositor enlarges it.)
inline void zan_sdl_configure() {
  zan_sdl_no_signal_handlers();
  SDL_setenv("SDL_VIDEO_WAYLAND_SCALE_TO_DISPLAY", "0", 0);
}

inline int zan_sdl_note_damage(void* damaged, SDL_Event* event) {
  if (event->type == SDL_WINDOWEVENT) {
    switch (event->window.event) {
      case SDL_WINDOWEVENT_EXPOSED:
      case SDL_WINDOWEVENT_SIZE_CHANGED:
      case SDL_WINDOWEVENT_RESTORED:
      case SDL_WINDOWEVENT_SHOWN:
        *static_cast<bool*>(damaged) = true;
        break;
      default:
        break;
    }
  }
  return 1;
}

inline void zan_sdl_watch_damage(bool* damaged) { SDL_AddEventWatch(zan_sdl_note_damage, damaged); }
inline void zan_sdl_unwatch_damage(bool* damaged) {
  SDL_DelEventWatch(zan_sdl_note_damage, damaged);
}

inline int zan_sdl_note_focus(void* on_focus, SDL_Event* event) {
  if (event->type == SDL_WINDOWEVENT && (event->window.event == SDL_WINDOWEVENT_FOCUS_GAINED ||
                                         event->window.event == SDL_WINDOWEVENT_FOCUS_LOST)) {
    (*static_cast<void (**)(bool)>(on_focus))(event->window.event == SDL_WINDOWEVENT_FOCUS_GAINED);
  }
  return 1;
}

// SDL 2 has no public UTF-8 encoder. A code point below 0x80 is one byte;
// others are a lead byte, its top bits one per byte, then bytes of six bits
// each under 0b10.
inline int zan_sdl_utf8(Uint32 c, char* out) {
  constexpr Uint32 one_byte = 0x80;
  constexpr Uint32 two_bytes = 0x800;
  constexpr Uint32 three_bytes = 0x10000;
  constexpr int bits = 6;
  constexpr Uint32 low_bits = (1U << bits) - 1;
  constexpr Uint32 following = 0x80;
  constexpr Uint32 lead = 0xf00;  // shifted right by the length: 0xc0, 0xe0 or 0xf0
  if (c < one_byte) {
    out[0] = static_cast<char>(c);
    return 1;
  }
  const int length = c < two_bytes ? 2 : c < three_bytes ? 3 : 4;
  for (int i = length - 1; i > 0; --i, c >>= bits) {
    out[i] = static_cast<char>(following | (c & low_bits));
  }
  out[0] = static_cast<char>((lead >> length) | c);
  return length;
}

#endif

// Whether the program's window has the keyboard focus now.
inline bool zan_sdl_has_focus() { return SDL_GetKeyboardFocus() != nullptr; }

// SDL keeps a pointer to the callback, which must outlive the run.
inline void zan_sdl_watch_focus(void (**on_focus)(bool)) {
  SDL_AddEventWatch(zan_sdl_note_focus, static_cast<void*>(on_focus));
}
