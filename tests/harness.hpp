// Test harness: runs the real zan-demo on a real display server, presses
// real keys and reads the window's pixels back. The server is an X server
// (display_x11.cpp) unless tests/wayland/under-sway runs the cases on sway
// (display_wayland.cpp).
#pragma once

// GoogleTest comes before Xlib, whose macros (None, Bool) clash with its names.
#include <gtest/gtest.h>
// clang-format off
#include <X11/Xlib.h>
// clang-format on
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace harness {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// The most any single step may take before the test gives up on it. The
// steps themselves wait for conditions, never for a fixed time.
constexpr auto patience = 10s;

// Whether the program under test is the Windows build, run under Wine.
#ifndef ZAN_WINE
#define ZAN_WINE 0
#endif
constexpr bool wine = ZAN_WINE;

constexpr int cols = 80;
constexpr int rows = 50;

constexpr unsigned long black = 0x000000;
constexpr unsigned long white = 0xffffff;
constexpr unsigned long red = 0xff0000;
constexpr unsigned long blue = 0x0000ff;

// The hints in the order the demo shows them, with the column each starts at.
struct Hint {
  std::string text;
  int column;
};
extern const Hint hints[4];

// What one frame shows, read from the window's pixels. A cell holds ink when
// any of its pixels differs from the background.
struct Frame {
  int width = 0;
  int height = 0;
  int cell_w = 0;  // the window's size / 80 by 50, in the pixels read
  int cell_h = 0;
  std::vector<unsigned long> pixels;  // 0xRRGGBB, row by row
  std::string error;                  // why no pixels could be read
  unsigned long background = 0;       // colour of the top-left pixel
  unsigned long ink = 0;              // the ink pixel farthest from the background, as drawn
                                      // (glyphs may be smoothed at their edges)
  std::set<int> ink_rows;
  int first_col = -1;  // leftmost and rightmost cells holding ink
  int last_col = -1;

  // The index of the hint whose cells the ink covers exactly, or -1.
  int hint() const;
  // The pixel at (x, y); outside the frame, an exception that fails the case
  // with both sizes, where an unchecked read could crash the whole suite.
  unsigned long at(int x, int y) const;
};

std::string describe(const Frame& frame);

// What a shell command prints on stdout.
std::string output_of(const std::string& command);

// The nearest of black, white, red and blue to a colour.
unsigned long nearest(unsigned long colour);

struct Ending {
  int status = -1;  // as waitpid reports it
  std::chrono::microseconds took{};
  std::string out;  // what the demo wrote to stdout and stderr
  std::string err;
};

// A new empty folder under the system's temporary folder, removed with
// all it holds when the object goes, however the case ends.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Whether the process ended by exiting with `code`.
bool exited_with(const Ending& ending, int code);

// Where a window is and what it is called, as its display server sees it.
struct Placement {
  unsigned long id = 0;  // its X window; 0 while none is found
  int x = 0;             // on Wayland, in the compositor's logical pixels
  int y = 0;
  int width = 0;
  int height = 0;
  std::string title;
};

// The display server the cases run on, one implementation per kind of
// server, each in a file of its own.
class DisplayServer {
 public:
  virtual ~DisplayServer() = default;
  // Sets what a program about to start must and must not see of it.
  virtual void environment(std::map<std::string, std::string>& vars) const = 0;
  // Looks once for the process's mapped window, ready to take keys.
  virtual bool find(pid_t pid, Placement& window) = 0;
  // The pixels of the rows of cells given, one per logical pixel.
  virtual Frame read(const Placement& window, int first_row, int row_count) const = 0;
  // How many colours the whole window shows, at the server's own resolution.
  virtual size_t colours(const Placement& window) const;
  // Whether it shows every pixel as the program drew it: at a fractional
  // scale a compositor smooths pixels together, or drops rows of them.
  virtual bool pixel_exact() const { return true; }
  virtual bool press(KeySym key, bool down) = 0;
  // Whether press() can type the key at all.
  virtual bool types(KeySym /*key*/) const { return true; }
  // Asks the program to close the window, as the server's close button does.
  virtual void close(pid_t pid, const Placement& window) = 0;
  // A program's stderr without the lines this server's libraries add.
  virtual std::string own_lines(const std::string& err) const { return err; }
  // Waits until the server has handled every request sent so far.
  virtual void sync() const {}
  // The connection of the cases that only an X server can run; else nullptr.
  virtual Display* xlib() const { return nullptr; }
  // Whether find() gives the window the keyboard focus, as a window manager
  // does a new window; on X11 a case may open one without it.
  bool gives_focus = true;
};

std::unique_ptr<DisplayServer> open_x11();
// Gives an X window the keyboard focus as a window manager does.
void give_focus(Display* display, Window window);
std::unique_ptr<DisplayServer> open_wayland();

// One run of the demo, with its window.
class Demo {
 public:
  // Extra environment: a value replaces the variable, nullopt removes it.
  using Env = std::map<std::string, std::optional<std::string>>;

  // Starts the demo, or the program given, in the folder given: by default
  // the built demo's own, which holds the project's tileset. SIGINT and
  // SIGTERM start at their defaults, or SIGINT ignored, as a shell starts a
  // background job.
  explicit Demo(DisplayServer& server, const Env& env = {},
                const std::string& program = demo_path(), const std::string& cwd = demo_dir(),
                bool sigint_ignored = false);
  // The demo the cases start, and its folder, which holds the tileset: the
  // build's, or with the linux preset the archive's, unpacked in the run's
  // session folder.
  static std::string demo_path();
  static std::string demo_dir();
  ~Demo();
  Demo(const Demo&) = delete;
  Demo& operator=(const Demo&) = delete;

  pid_t pid() const { return pid_; }
  Window window() const { return window_.id; }
  const std::string& title() const { return window_.title; }
  size_t colours() const { return server_.colours(window_); }
  Clock::time_point started() const { return started_; }

  // Finds the program's window once it is mapped; false after `patience`.
  bool locate();
  // Waits for the window to be mapped and to show its first frame.
  Frame first_frame();
  // The whole window, or only the rows of cells given.
  Frame grab(int first_row = 0, int row_count = rows) const;
  // Polls the window until `done` holds; fails the test after `patience`.
  Frame wait_for(const std::function<bool(const Frame&)>& done, const std::string& what,
                 Clock::duration timeout = patience) const;
  // Waits for the window to show something other than `before`.
  Frame changed_from(const Frame& before) const;
  // Presses and releases one key, then waits for the window to change.
  Frame next_frame(KeySym key);
  void press(KeySym key, bool down) const;
  void tap(KeySym key) const;
  // Waits until the demo is blocked waiting for input with nothing queued.
  void wait_idle() const;
  // Sends WM_DELETE_WINDOW, as a window manager's close button does.
  void close_window() const;
  // Waits for the process to end; the clock starts at `since`.
  Ending wait_exit(Clock::time_point since = Clock::now());

 private:
  DisplayServer& server_;
  pid_t pid_ = -1;
  int pidfd_ = -1;
  int out_ = -1;
  int err_ = -1;
  Placement window_;
  Clock::time_point started_;
};

// Opens the display server for the test and closes it afterwards: sway when
// ZAN_TEST_WAYLAND is set, else the X server that DISPLAY names.
class DemoTest : public testing::Test {
 protected:
  void SetUp() override;
  std::unique_ptr<DisplayServer> server;
  Display* display = nullptr;  // for the cases that only an X server can run
};

// The cases that drive the X server itself (its keyboard map, its pointer, a
// window's size, a DISPLAY of X11's own): on another server they skip.
class X11Test : public DemoTest {
 protected:
  void SetUp() override;
};

}  // namespace harness
