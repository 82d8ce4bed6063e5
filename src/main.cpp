// zan-demo: a character-cell console window driven by key presses.
//
// Opens an 80 x 50-cell libtcod window titled "windowname" and shows one line
// of key hints, centred one row above the middle of the window. Every key
// press that does not end the run draws the next of four hints.
//
//   q  quit          r  red text          w  white text again
//   b  blue background                    closing the window also quits
//
// The program writes nothing to the terminal and exits with status 0; SIGINT
// and SIGTERM end it like closing the window, or at once while the window is
// still opening. If the window cannot be opened or drawn, or opens only on a
// video driver that shows nothing, it says why in one line on stderr and
// exits with 1.

#include <pthread.h>
#include <unistd.h>

#include <libtcod.hpp>

#include <algorithm>
#include <array>
#include <atomic>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <exception>
#include <string>

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

// Video drivers that draw nowhere visible. SDL 2 falls back to the first when
// it finds no display; it uses the others only when SDL_VIDEODRIVER names them.
const std::array<const char*, 3> headless_drivers = {"offscreen", "dummy", "evdev"};

// How long a signal's quit event may take to end the run before the process
// simply exits: the event needs the X server to wake the loop, and a server
// that hangs never does.
const int quit_grace_ms = 500;

// The signals whose handler was installed, the thread that turns them into
// SDL's quit event, and whether it runs yet; see zan_gui_on_signal.
sigset_t handled;
pthread_t forwarder;
std::atomic<bool> forwarding{false};

}  // namespace

// Places a line of text: centred across the window, one row above its middle.
// Only the text's length matters. The column truncates toward zero, so a text
// wider than the window gets a zero or negative column, which the library
// clips when printing. The signature, two ints and a string copied by value,
// is how the rest of the program calls it, so tidy's advice on it is waived.
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters,performance-unnecessary-value-param)
void zan_gui_centering(int& x, int& y, std::string text) {
  const int length = static_cast<int>(text.size());
  x = (win_x - length) / 2;
  y = win_y / 2;
  --y;
}

// The library's reason for a failed start spans several lines; this joins
// them so that the failure reads as one line on stderr.
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

// Why the video driver SDL runs on cannot show the window, or "" if it can.
// Such a driver draws into memory and receives no keys, so a run on it could
// never be seen or ended by a key.
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

// SIGINT and SIGTERM end the run as closing the window does. While the window
// is still opening, this handler simply ends the process with status 0: the
// library may be stuck there for good, in an X server that accepted the
// connection and never answers, and only calls such as _exit() are safe
// whatever the program is doing. No thread waits for signals that early: a
// process that has ever had a second thread loses glibc's single-threaded
// fast paths, which made the first frame 8% slower. Once the window is open,
// the forwarder takes them; the threads the libraries started while it
// opened do not block them, so if one of those runs this, it hands the signal
// on.
void zan_gui_on_signal(int signal) {
  if (!forwarding.load()) {
    _exit(0);
  }
  pthread_kill(forwarder, signal);
}

// Takes the handled signals with sigwait() and queues SDL's quit event. SDL's
// own handlers are turned off: they only set a flag that SDL reads before it
// blocks in poll(), so a signal landing just after that read would wait for
// the next X event. An event pushed from another thread instead wakes
// SDL_WaitEvent at any point, since SDL registers the wait before checking
// the queue and the push checks for it. The frame loop stays on the main
// thread; if it has not ended the run within quit_grace_ms, this ends it.
void* zan_gui_forward_signals(void* /*unused*/) {
  int signal = 0;
  while (sigwait(&handled, &signal) != 0) {
  }
  zan_sdl_push_quit();
  const timespec grace = {quit_grace_ms / 1000, quit_grace_ms % 1000 * 1000000L};
  nanosleep(&grace, nullptr);
  _exit(0);
}

// Installs zan_gui_on_signal for SIGINT and SIGTERM, but for one the shell
// has us ignore, as it does for background jobs: that stays ignored.
void zan_gui_end_on_signals() {
  struct sigaction on_signal {};
  on_signal.sa_handler = zan_gui_on_signal;
  on_signal.sa_flags = SA_RESTART;
  sigemptyset(&on_signal.sa_mask);
  sigemptyset(&handled);
  for (const int signal : {SIGINT, SIGTERM}) {
    struct sigaction before {};
    if (sigaction(signal, nullptr, &before) == 0 && before.sa_handler != SIG_IGN &&
        sigaction(signal, &on_signal, nullptr) == 0) {
      sigaddset(&handled, signal);
    }
  }
}

// From here on the main thread, and every thread it starts, blocks the
// handled signals, and the forwarder takes them. An ignored one is left out:
// Linux queues a blocked signal even when it is ignored, and sigwait() would
// take it. Returns pthread_create's error.
int zan_gui_start_forwarding() {
  pthread_sigmask(SIG_BLOCK, &handled, nullptr);
  const int failed = pthread_create(&forwarder, nullptr, zan_gui_forward_signals, nullptr);
  if (failed == 0) {
    pthread_detach(forwarder);
    forwarding = true;
  }
  return failed;
}

// The demo is built on libtcod's classic interface, deprecated in later releases.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

// Blocks until a key is pressed or the window is closed, like the library's
// TCODConsole::waitForKeypress(true), whose dropping of earlier keys main
// does before the frame is presented. That wait cannot be used here: since
// SDL 2.0.18, and in SDL 3, every drained poll ends with an internal
// sentinel event, and the library's loop looks only at the last event it
// polled, so it never sees the quit event that a window close, SIGINT or
// SIGTERM produce, and blocks until some later key press. (Measured with a
// queued quit event: the wait misses it on SDL 2.26, 2.32 and 3.2, and sees
// it only on sdl2-compat 2.32.74.)
//
// Sleeping happens in SDL_WaitEvent, which leaves the event queued; the
// library then translates the queue itself, so TCODConsole::isWindowClosed()
// remains its answer. While waiting, the unchanged frame is presented again
// whenever the window loses its content, so it never stays blank or cut off
// until the next key. Returns false only if SDL cannot wait.
bool zan_gui_wait_key(TCOD_key_t& key) {
  bool damaged = false;
  // SDL keeps a pointer to `damaged`, so the watch goes on every way out,
  // a throwing flush included.
  const struct Watch {
    bool* damaged;
    explicit Watch(bool* flag) : damaged(flag) { zan_sdl_watch_damage(damaged); }
    ~Watch() { zan_sdl_unwatch_damage(damaged); }
    Watch(const Watch&) = delete;
    Watch& operator=(const Watch&) = delete;
  } watch(&damaged);
  bool waited = true;
  key = TCOD_key_t{};
  while (!TCODConsole::isWindowClosed()) {
    if (damaged) {
      damaged = false;
      TCODConsole::flush();
    }
    if (!zan_sdl_wait()) {
      waited = false;
      break;
    }
    const TCOD_event_t events = TCOD_sys_check_for_event(TCOD_EVENT_KEY_PRESS, &key, nullptr);
    if ((events & TCOD_EVENT_KEY_PRESS) != 0) {
      break;
    }
  }
  return waited;
}

int main() {
  zan_gui_end_on_signals();
  zan_sdl_no_signal_handlers();
#if TCOD_MAJOR_VERSION >= 2 || TCOD_MINOR_VERSION >= 19
  // The library's log goes to stderr from 1.19 on: a warning about the
  // renderer at every start, and an error for a missing terminal.png although
  // its fallback font then works. Our own failures still get their one line.
  TCOD_set_log_callback(nullptr, nullptr);
#endif

  // Every library call that can throw is in here, so that a failure ends in
  // one line and status 1 rather than an abort.
  const char* doing = "open the window";
  try {
    TCODConsole::initRoot(win_x, win_y, "windowname", false, TCOD_RENDERER_SDL);
    const int failed = zan_gui_start_forwarding();
    if (failed != 0) {
      std::fprintf(stderr, "windowname: cannot watch for signals: %s\n", std::strerror(failed));
      return 1;
    }
    const std::string unseen = zan_gui_unseen(zan_sdl_driver());
    if (!unseen.empty()) {
      std::fprintf(stderr, "windowname: cannot open the window: %s\n", unseen.c_str());
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
      // Until a colour key is pressed the library's own text colour applies.
      if (colors_set) {
        TCODConsole::root->setDefaultForeground(fg_color);
      }
      TCODConsole::root->clear();

      const char* const hint = hints[static_cast<size_t>(hint_step)];
      hint_step = static_cast<std::int16_t>((hint_step + 1) % hint_count);

      int x = 0;
      int y = 0;
      const std::string text = hint;
      zan_gui_centering(x, y, text);
      TCODConsole::root->print(x, y, text);
      // Keys typed before a frame is presented do not count, so they are
      // dropped just before it is. Dropping them any later would lose a key
      // pressed while the library presents, which libtcod before 1.22.3 does
      // twice per flush.
      zan_sdl_drop_keys();
      TCODConsole::flush();

      TCOD_key_t key;
      if (!zan_gui_wait_key(key)) {
        std::fprintf(stderr, "windowname: cannot wait for a key: %s\n", zan_sdl_error());
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
    std::fprintf(stderr, "windowname: cannot %s: %s\n", doing,
                 zan_gui_one_line(error.what()).c_str());
    return 1;
  }
  return 0;
}
#pragma GCC diagnostic pop
