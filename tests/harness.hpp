// Test harness: runs the real zan-demo in the X server named by DISPLAY,
// presses real keys through XTest and reads the window's pixels back.
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

// Whether the cases run on a Wayland compositor (sway) rather than in the X
// server named by DISPLAY: scripts/test-wayland sets ZAN_TEST_WAYLAND.
bool on_wayland();

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
  std::vector<unsigned long> pixels;  // 0xRRGGBB, row by row
  std::string error;                  // why no pixels could be read
  unsigned long background = 0;       // colour of the top-left pixel
  unsigned long ink = 0;              // black, white, red or blue: the nearest to the ink pixel
                                      // farthest from the background (glyphs are smoothed)
  std::set<int> ink_rows;
  int first_col = -1;  // leftmost and rightmost cells holding ink
  int last_col = -1;

  // The index of the hint whose cells the ink covers exactly, or -1.
  int hint() const;
};

std::string describe(const Frame& frame);

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

// One run of the demo, with its window.
class Demo {
 public:
  // Extra environment: a value replaces the variable, nullopt removes it.
  using Env = std::map<std::string, std::optional<std::string>>;

  // Starts the demo, or the program given, in the folder given: by default
  // the built demo's own, which holds the project's tileset. SIGINT and
  // SIGTERM start at their defaults, or SIGINT ignored, as a shell starts a
  // background job.
  explicit Demo(Display* display, const Env& env = {}, const std::string& program = ZAN_DEMO_PATH,
                const std::string& cwd = demo_dir(), bool sigint_ignored = false);
  static std::string demo_dir();
  ~Demo();
  Demo(const Demo&) = delete;
  Demo& operator=(const Demo&) = delete;

  pid_t pid() const { return pid_; }
  Window window() const { return window_; }
  std::string title() const;
  // The window's size in the compositor's logical pixels, on Wayland.
  std::pair<int, int> logical_size() const { return {logical_w_, logical_h_}; }
  Clock::time_point started() const { return started_; }

  // Finds the program's window once it is mapped; false after `patience`.
  bool locate();
  // The raw pixels of one row of cells, cheap enough to poll closely.
  std::vector<char> band(int row) const;
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
  void resize(int width, int height) const;
  // Sends WM_DELETE_WINDOW, as a window manager's close button does.
  void close_window() const;
  // Waits for the process to end; the clock starts at `since`.
  Ending wait_exit(Clock::time_point since = Clock::now());

 private:
  Window find_window() const;

  Display* display_;
  pid_t pid_ = -1;
  int pidfd_ = -1;
  int out_ = -1;
  int err_ = -1;
  Window window_ = 0;
  int logical_x_ = 0;  // on Wayland, where sway placed the window
  int logical_y_ = 0;
  int logical_w_ = 0;
  int logical_h_ = 0;
  std::string title_;
  Clock::time_point started_;
};

// Opens the display named by DISPLAY for the test and closes it afterwards.
class DemoTest : public testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  Display* display = nullptr;
};

}  // namespace harness
