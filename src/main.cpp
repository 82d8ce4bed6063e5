// zan-demo: a character-cell console window driven by key presses.
//
// Opens an 80 x 50-cell libtcod window titled "windowname" and shows one line
// of key hints, centred one row above the middle of the window. Every key
// press that does not end the run draws the next of four hints.
//
//   q  quit          r  red text          w  white text again
//   b  blue background                    closing the window also quits
//
// SIGINT and SIGTERM (on Windows Ctrl+C, Ctrl+Break and closing the console)
// end the run as closing the window does. The program writes nothing and
// exits with 0; if the window cannot be opened or drawn, it says why in one
// line on stderr (on Windows without a terminal, in a message box; in a web
// page, on the page) and exits with 1. What differs by platform is in
// platform.hpp; docs/libraries.md has the measurements behind the
// workarounds below.

#include <libtcod.hpp>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <exception>
#include <string>

#include "classic.hpp"
#include "platform.hpp"
#include "sdl.hpp"

namespace {

const int win_x = 80;  // window width, in character cells
const int win_y = 50;  // window height, in character cells

const std::array<const char*, 4> hints = {
    "Press 'q' to quit.",
    "Press 'r' for red text.",
    "Press 'w' for white text.",
    "Press 'b' for blue background.",
};
const int hint_count = static_cast<int>(hints.size());

// Video drivers that draw nowhere visible.
const std::array<const char*, 3> headless_drivers = {"offscreen", "dummy", "evdev"};

}  // namespace

// Places a line of text: centred across the window, one row above its middle.
// The column truncates toward zero; the library clips a negative one.
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters,performance-unnecessary-value-param)
void zan_gui_centering(int& x, int& y, std::string text) {
  const int length = static_cast<int>(text.size());
  x = (win_x - length) / 2;
  y = win_y / 2;
  --y;
}

// The library's reason for a failed start spans several lines; a failure is
// reported in one.
std::string zan_gui_one_line(std::string text) {
  while (!text.empty() && text.back() == '\n') {
    text.pop_back();
  }
  std::string line;
  for (const char c : text) {
    if (c != '\n') {
      line += c;
    } else if (!line.empty() && (line.back() == ':' || line.back() == '.')) {
      line += ' ';
    } else {
      line += "; ";
    }
  }
  return line;
}

// Why the video driver SDL runs on cannot show the window, or "" if it can:
// a run nobody can see could never be ended by a key.
std::string zan_gui_unseen(const char* driver) {
  if (driver == nullptr) {
    return "SDL has no video driver";
  }
  const std::string name = driver;
  if (name == "offscreen") {
    return "no display could be opened, so SDL chose its \"offscreen\" video driver, which "
           "shows no window";
  }
  if (std::find(headless_drivers.begin(), headless_drivers.end(), name) != headless_drivers.end()) {
    return "SDL runs on its \"" + name + "\" video driver, which shows no window";
  }
  return "";
}

ZAN_BEGIN_CLASSIC_INTERFACE

// TCODConsole::waitForKeypress misses a window close on SDL 2.0.18 and later,
// so this waits in SDL and lets the library translate the event. Returns false
// only if SDL cannot wait.
bool zan_gui_wait_key(TCOD_key_t& key) {
  bool damaged = false;
  // SDL keeps a pointer to `damaged`, so the watch goes on every way out.
  const struct Watch {
    bool* damaged;
    explicit Watch(bool* flag) : damaged(flag) { zan_sdl_watch_damage(damaged); }
    ~Watch() { zan_sdl_unwatch_damage(damaged); }
    Watch(const Watch&) = delete;
    Watch& operator=(const Watch&) = delete;
  } watch(&damaged);
  key = TCOD_key_t{};
  while (!TCODConsole::isWindowClosed()) {
    if (damaged) {  // a window that lost its content shows the frame again
      damaged = false;
      TCODConsole::flush();
    }
    if (!zan_platform_wait()) {
      return false;
    }
    const TCOD_event_t events = TCOD_sys_check_for_event(TCOD_EVENT_KEY_PRESS, &key, nullptr);
    if ((events & TCOD_EVENT_KEY_PRESS) != 0) {
      break;
    }
  }
  return true;
}

// The run: the window, the loop, and the status they end with.
int zan_gui_run() {
  // Every library call that can throw is in here: a failure is one line and
  // status 1, never an abort.
  const char* doing = "open the window";
  try {
    TCODConsole::initRoot(win_x, win_y, "windowname", false, TCOD_RENDERER_SDL);
    const int failed = zan_platform_forward_signals();
    if (failed != 0) {
      zan_platform_report(std::string("windowname: cannot watch for signals: ") +
                          std::strerror(failed));
      return 1;
    }
    const std::string unseen = zan_gui_unseen(zan_sdl_driver());
    if (!unseen.empty()) {
      zan_platform_report("windowname: cannot open the window: " + unseen);
      return 1;
    }
    zan_sdl_keys_not_text();
    doing = "draw the window";

    bool quit = false;
    bool colors_set = false;
    TCODColor bg_color = TCODColor::black;
    TCODColor fg_color = TCODColor::white;
    std::int16_t hint_step = 0;

    while (!quit && !TCODConsole::isWindowClosed()) {
      TCODConsole::root->setDefaultBackground(bg_color);
      if (colors_set) {  // until then the library's own text colour applies
        TCODConsole::root->setDefaultForeground(fg_color);
      }
      TCODConsole::root->clear();

      const char* const hint = hints[static_cast<size_t>(hint_step)];
      hint_step = static_cast<std::int16_t>((hint_step + 1) % hint_count);

      int x = 0;
      int y = 0;
      const std::string text = hint;
      zan_gui_centering(x, y, text);
      // The hint itself is the format text: none holds a '%'. This is the
      // library's byte-per-cell print; its UTF-8 one would link a Unicode
      // database the page would carry for four lines of ASCII.
      TCODConsole::root->print(x, y, hint);
      // Only keys pressed once the frame is presented count; dropping them
      // any later could lose one pressed while the library presents.
      zan_sdl_drop_keys();
      TCODConsole::flush();

      TCOD_key_t key;
      if (!zan_gui_wait_key(key)) {
        zan_platform_report(std::string("windowname: cannot wait for a key: ") + zan_sdl_error());
        return 1;
      }
      if (key.c == 'q') {
        quit = true;
      } else if (key.c == 'w') {
        fg_color = TCODColor::white;
        colors_set = true;
      } else if (key.c == 'r') {
        fg_color = TCODColor::red;
        colors_set = true;
      } else if (key.c == 'b') {
        bg_color = TCODColor::blue;
        colors_set = true;
      }
    }
  } catch (const std::exception& error) {
    zan_platform_report(std::string("windowname: cannot ") + doing + ": " +
                        zan_gui_one_line(error.what()));
    return 1;
  }
  return 0;
}

int main() {
  zan_platform_settle_in();
  zan_sdl_configure();
#if TCOD_MAJOR_VERSION >= 2 || TCOD_MINOR_VERSION >= 19
  TCOD_set_log_callback(nullptr, nullptr);  // the library's log is no failure of ours
#endif
  return zan_platform_ended(zan_gui_run());
}

ZAN_END_CLASSIC_INTERFACE
