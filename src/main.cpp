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
// page, on the page) and exits with 1. docs/libraries.md has the
// measurements behind the workarounds below.

#ifdef _WIN32
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#elif !defined(__EMSCRIPTEN__)
#include <pthread.h>
#include <unistd.h>
#endif

#include <libtcod.hpp>

#include <algorithm>
#include <array>
#include <atomic>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <string>

#include "sdl.hpp"

// The demo is built on libtcod's classic interface, deprecated since 1.19.
// libtcod's own TCODLIB_BEGIN_IGNORE_DEPRECATIONS misses most of it on 1.24.
#ifdef _MSC_VER
#define ZAN_BEGIN_CLASSIC_INTERFACE __pragma(warning(push)) __pragma(warning(disable : 4996))
#define ZAN_END_CLASSIC_INTERFACE __pragma(warning(pop))
#else
#define ZAN_BEGIN_CLASSIC_INTERFACE \
  _Pragma("GCC diagnostic push") _Pragma("GCC diagnostic ignored \"-Wdeprecated-declarations\"")
#define ZAN_END_CLASSIC_INTERFACE _Pragma("GCC diagnostic pop")
#endif

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

// Whether main is returning. From then on the exit that follows (a leak
// check, say) is not cut short: only a run that did not end is.
std::atomic<bool> returning{false};

#ifndef __EMSCRIPTEN__  // a page gets no signals

// How long a signal's quit event may take to end the run before the process
// simply exits, as it must when the display server hangs.
const int quit_grace_ms = 500;

// Whether the window is open, so that a signal goes through SDL's quit event.
std::atomic<bool> forwarding{false};

#ifndef _WIN32
sigset_t handled;  // the signals whose handler was installed
pthread_t forwarder;
#endif

#endif

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

#ifdef _WIN32

// Whether the program let go of a console that Windows made for it alone.
bool console_let_go = false;

// Started from Explorer or a shortcut, the program gets a console of its own,
// an empty window beside the game that ends the run when closed: it goes.
// From a terminal the console is shared, and stays for errors and Ctrl+C.
// Wherever it starts, the program runs in its own folder, where the library
// finds the tileset, as the Linux launcher does.
void zan_gui_settle_in() {
  DWORD processes[2];
  if (GetConsoleProcessList(processes, 2) == 1 && FreeConsole()) {
    console_let_go = true;
  }
  std::wstring path(32768, L'\0');
  path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
  const auto folder = path.find_last_of(L'\\');
  if (folder != std::wstring::npos) {
    SetCurrentDirectoryW(path.substr(0, folder).c_str());
  }
}

// A failure's one line: in a message box when nobody would see the console.
void zan_gui_report(const std::string& line) {
  if (console_let_go) {
    zan_sdl_show_error("windowname", line.c_str());
  } else {
    std::fprintf(stderr, "%s\n", line.c_str());
  }
}

// Windows calls this on a thread of its own. While the window opens the
// library may never return, so the process ends at once.
BOOL WINAPI zan_gui_on_console_event(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) {
    return FALSE;
  }
  if (forwarding.load()) {
    zan_sdl_push_quit();
    Sleep(quit_grace_ms);
  }
  if (returning.load()) {
    Sleep(INFINITE);  // main's own exit ends the process, with main's status
  }
  TerminateProcess(GetCurrentProcess(), 0);
  return TRUE;
}

// A Ctrl+C that the parent had us ignore is never passed to a handler.
void zan_gui_end_on_signals() { SetConsoleCtrlHandler(zan_gui_on_console_event, TRUE); }

int zan_gui_start_forwarding() {
  forwarding = true;
  return 0;
}

int zan_gui_ended(int status) { return status; }

#elif defined(__EMSCRIPTEN__)

// A page gets no signals and has no console: a failure's line goes to the
// page, which shows it.
void zan_gui_settle_in() {}
void zan_gui_report(const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); }
void zan_gui_end_on_signals() {}
int zan_gui_start_forwarding() { return 0; }

// Once the run has waited, main's return reaches nobody: the browser's call
// to main returned at the first wait. exit() tells the page.
int zan_gui_ended(int status) { std::exit(status); }

#else

void zan_gui_settle_in() {}

void zan_gui_report(const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); }

// While the window opens the library may never return, and only calls such
// as _exit() are safe wherever a signal lands. No thread waits for signals
// that early: any second thread costs the first frame 8%.
void zan_gui_on_signal(int signal) {
  if (!forwarding.load()) {
    _exit(0);
  }
  pthread_kill(forwarder, signal);  // a library thread took it
}

// Pushing the quit event from a thread wakes SDL_WaitEvent wherever it is,
// which SDL's own handlers do not.
void* zan_gui_forward_signals(void* /*unused*/) {
  int signal = 0;
  while (sigwait(&handled, &signal) != 0) {
  }
  zan_sdl_push_quit();
  const timespec grace = {quit_grace_ms / 1000, quit_grace_ms % 1000 * 1000000L};
  nanosleep(&grace, nullptr);
  if (!returning.load()) {
    _exit(0);
  }
  return nullptr;
}

// A signal the shell had us ignore, as for a background job, stays ignored.
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

// Only the handled signals are blocked: Linux queues a blocked signal even
// when it is ignored, and sigwait() would take it. Returns the error.
int zan_gui_start_forwarding() {
  pthread_sigmask(SIG_BLOCK, &handled, nullptr);
  const int failed = pthread_create(&forwarder, nullptr, zan_gui_forward_signals, nullptr);
  if (failed == 0) {
    pthread_detach(forwarder);
    forwarding = true;
  }
  return failed;
}

int zan_gui_ended(int status) { return status; }

#endif

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
    if (!zan_sdl_wait()) {
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
    const int failed = zan_gui_start_forwarding();
    if (failed != 0) {
      zan_gui_report(std::string("windowname: cannot watch for signals: ") + std::strerror(failed));
      return 1;
    }
    const std::string unseen = zan_gui_unseen(zan_sdl_driver());
    if (!unseen.empty()) {
      zan_gui_report("windowname: cannot open the window: " + unseen);
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
      TCODConsole::root->print(x, y, text);
      // Only keys pressed once the frame is presented count; dropping them
      // any later could lose one pressed while the library presents.
      zan_sdl_drop_keys();
      TCODConsole::flush();

      TCOD_key_t key;
      if (!zan_gui_wait_key(key)) {
        zan_gui_report(std::string("windowname: cannot wait for a key: ") + zan_sdl_error());
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
    zan_gui_report(std::string("windowname: cannot ") + doing + ": " +
                   zan_gui_one_line(error.what()));
    return 1;
  }
  return 0;
}

int main() {
  zan_gui_settle_in();
  zan_gui_end_on_signals();
  zan_sdl_configure();
#if TCOD_MAJOR_VERSION >= 2 || TCOD_MINOR_VERSION >= 19
  TCOD_set_log_callback(nullptr, nullptr);  // the library's log is no failure of ours
#endif
  const int status = zan_gui_run();
  returning = true;  // the exit that follows (a leak check, say) is not cut short
  return zan_gui_ended(status);
}

ZAN_END_CLASSIC_INTERFACE
