// End to end: the real demo in a real X server, real key events, real pixels.
#include "harness.hpp"
#include "reader.hpp"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <libtcod.hpp>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace harness {
namespace {

void expect_clean_exit(const Ending& ending) {
  EXPECT_TRUE(exited_with(ending, 0)) << "wait status " << ending.status;
  EXPECT_EQ(ending.out, "");
  EXPECT_EQ(ending.err, "");
}

// The cell size of the tileset at `path`, an image of 16 x 16 tiles, as
// libtcod reads it. A file it cannot read as one fails the case.
std::pair<int, int> tileset_cell(const std::string& path) {
  int width = 0;
  int height = 0;
  TCODImage(path.c_str()).getSize(&width, &height);
  if (width < 16 || height < 16) {
    throw std::runtime_error(path + " is no tileset: libtcod reads it as " + std::to_string(width) +
                             "x" + std::to_string(height));
  }
  return {width / 16, height / 16};
}

// The first frame; with `smoothed` glyphs, whose every pixel is the text's
// colour blended into black, the ink is a shade of the library's white.
void expect_first_frame(const Demo& demo, const Frame& frame, bool smoothed = false) {
  EXPECT_EQ(demo.title(), "windowname");
  EXPECT_EQ(frame.width % cols, 0) << "the window is a whole number of cells wide";
  EXPECT_EQ(frame.height % rows, 0);
  EXPECT_EQ(frame.hint(), 0) << describe(frame);
  EXPECT_EQ(frame.background, black);
  const unsigned long grey = frame.ink & 0xff;
  EXPECT_EQ(frame.ink, smoothed ? grey * 0x010101 : white) << "the library's default text colour";
}

// The ink of the first hint's cells as a plain PBM image (P1), where 1 is
// ink.
std::string hint_pbm(const Frame& frame, int cell_w, int cell_h) {
  const int left = hints[0].column * cell_w;
  const int width = static_cast<int>(hints[0].text.size()) * cell_w;
  std::string text = "P1\n" + std::to_string(width) + " " + std::to_string(cell_h) + "\n";
  for (int y = 24 * cell_h; y < 25 * cell_h; ++y) {
    for (int x = left; x < left + width; ++x) {
      text += frame.at(x, y) == frame.background ? '0' : '1';
    }
    text += '\n';
  }
  return text;
}

// The look users get: the project's tileset, crisp upright cells, and the
// glyphs themselves, compared with tests/first-hint.pbm. That image was
// checked by eye; it does not come from terminal.png, so a fault in making or
// laying out the tileset (mirrored bits, wrong tiles, a wrong code page) shows
// here. To remake it when the font changes on purpose: run this case, look at
// first-hint.pbm in the build folder and copy it over tests/first-hint.pbm.
TEST_F(DemoTest, FirstFrameShowsTheQuitHintOnBlackInTheTileset) {
  Demo demo(*server);
  const Frame frame = demo.first_frame();
  expect_first_frame(demo, frame);

  const auto [cell_w, cell_h] = tileset_cell(Demo::demo_dir() + "/terminal.png");
  ASSERT_EQ(frame.width, cols * cell_w) << "the window is not in the tileset's cells";
  ASSERT_EQ(frame.height, rows * cell_h);
  EXPECT_GT(cell_h, cell_w) << "upright cells";
  std::set<unsigned long> colours;
  for (int y = 24 * cell_h; y < 25 * cell_h; ++y) {
    for (int x = frame.first_col * cell_w; x < (frame.last_col + 1) * cell_w; ++x) {
      colours.insert(frame.at(x, y));
    }
  }
  EXPECT_EQ(colours, (std::set<unsigned long>{black, white})) << "only text and background";
  // For the platform tables: what a scaled desktop really shows.
  std::printf("window: %dx%d logical, %zu colours\n", frame.width, frame.height, demo.colours());
  if (!server->pixel_exact()) {
    std::printf("glyphs not compared: this display does not show the window pixel for pixel\n");
    return;
  }

  std::ifstream golden_file(std::string(ZAN_SOURCE_DIR) + "/tests/first-hint.pbm");
  std::ostringstream golden;
  golden << golden_file.rdbuf();
  const std::string seen = hint_pbm(frame, cell_w, cell_h);
  if (seen != golden.str()) {
    std::ofstream(std::string(ZAN_BUILD_DIR) + "/first-hint.pbm") << seen;
  }
  EXPECT_EQ(seen, golden.str()) << "the glyphs differ; what the window showed is in "
                                << ZAN_BUILD_DIR << "/first-hint.pbm";
}

// The cases a screen reader judges, listening from before the demo starts:
// skipped where none can listen, failed in CI, where every case must run.
template <class Base>
class WithReader : public Base {
 protected:
  void SetUp() override {
    Base::SetUp();
    std::string why_not;
    reader = Reader::open(why_not);
    if (this->IsSkipped() || reader != nullptr) {
      return;
    }
    if (const char* ci = std::getenv("CI"); ci != nullptr && std::string(ci) == "true") {
      FAIL() << why_not;
    }
    GTEST_SKIP() << why_not;
  }

  // The title and the hint shown, as a window that gets the focus is told.
  static std::string window_told() { return "windowname\n" + hints[0].text + "\n"; }

  // q ends the run cleanly, and nothing was said twice.
  void quit(Demo& demo) const {
    demo.tap(XK_q);
    expect_clean_exit(demo.wait_exit());
    if (reader->hears_each_saying()) {
      EXPECT_EQ(reader->told_until_quiet(), "");
    } else {
      std::printf("once: not checked, as this reader reads the tree, not each saying\n");
    }
  }

  std::unique_ptr<Reader> reader;
};
using ScreenReader = WithReader<DemoTest>;
using ScreenReaderOnX11 = WithReader<X11Test>;

// A blind player hears the window's title and the first hint as the game
// starts, then each new hint once, and keys act as before: on Linux as
// Orca itself speaks it, under Wine as a UI Automation client reads it.
TEST_F(ScreenReader, TellsTheTitleAndEachHintOnce) {
  Demo demo(*server);
  Frame frame = demo.first_frame();
  EXPECT_EQ(reader->told(0), window_told()) << describe(frame);
  frame = demo.next_frame(XK_x);
  EXPECT_EQ(reader->told(1), hints[1].text + "\n") << describe(frame);
  frame = demo.next_frame(XK_r);
  EXPECT_EQ(reader->told(2), hints[2].text + "\n") << describe(frame);
  EXPECT_EQ(frame.ink, red) << "r acted";
  frame = demo.next_frame(XK_x);
  EXPECT_EQ(reader->told(3), hints[3].text + "\n") << describe(frame);
  quit(demo);
}

// While it lives, the X server has a window manager as far as SDL can tell
// (EWMH's check window) that steals no focus: SDL then leaves a new window
// without it, where with no manager at all it takes the focus itself.
struct ManagerThatStealsNoFocus {
  explicit ManagerThatStealsNoFocus(Display* x) : display(x) {
    for (const Window window : {check, DefaultRootWindow(x)}) {
      XChangeProperty(x, window, atom, XA_WINDOW, 32, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(&check), 1);
    }
    XSetInputFocus(x, DefaultRootWindow(x), RevertToNone, CurrentTime);
    XSync(x, False);
  }
  ~ManagerThatStealsNoFocus() {
    XDeleteProperty(display, DefaultRootWindow(display), atom);
    XDestroyWindow(display, check);
    XSync(display, False);
  }
  Display* const display;
  const Window check =
      XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
  const Atom atom = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", False);
};

// A window that opens without the focus, as focus-stealing prevention
// leaves it, is not told until the player comes to it; then, and again when
// the player comes back from another window, the title and hint are told.
TEST_F(ScreenReaderOnX11, TellsTheWindowOnlyWithTheFocusAndOnEachReturn) {
  if (!reader->hears_each_saying()) {
    GTEST_SKIP() << "this reader reads the tree as it is, and hears no focus change";
  }
  const ManagerThatStealsNoFocus manager(display);
  server->gives_focus = false;
  Demo demo(*server);
  demo.first_frame();
  Demo other(*server);
  other.first_frame();
  EXPECT_EQ(reader->told_until_quiet(), "") << "told before a window had the focus";
  // Each window as it is now: SDL may have replaced the first one it showed.
  const auto focus = [&](Demo& to) {
    to.locate();
    give_focus(display, to.window());
  };
  focus(demo);
  EXPECT_EQ(reader->told(0), window_told());
  focus(other);
  EXPECT_EQ(reader->told(0), window_told()) << "the other window";
  focus(demo);
  EXPECT_EQ(reader->told(0), window_told()) << "back";
  quit(demo);
}

// A screen reader started once the game runs, while another client (a
// magnifier, say) has listened from the start, is told the window as well.
// tests/access/with-orca --later starts Orca when the case asks.
TEST_F(ScreenReaderOnX11, AReaderStartedLaterIsToldTheWindow) {
  const char* const start_orca = std::getenv("ZAN_ORCA_START");
  if (start_orca == nullptr) {
    GTEST_SKIP() << "run through tests/access/with-orca --later";
  }
  Demo demo(*server);
  demo.first_frame();
  std::ofstream{start_orca};
  EXPECT_EQ(reader->told(0), window_told());
  quit(demo);
}

// Started elsewhere, the bare program has no tileset and the library draws
// with its fallback font; the demo must work all the same.
TEST_F(DemoTest, WithoutTheTilesetTheLibrarysFallbackFontWorks) {
  const TempDir elsewhere;
  Demo demo(*server, {}, Demo::demo_path(), elsewhere.path());
  expect_first_frame(demo, demo.first_frame(), true);
  demo.tap(XK_q);
  expect_clean_exit(demo.wait_exit());
}

// The installed command enters the data folder, wherever it is started
// from. The demo is installed with cmake --install into a temporary prefix,
// unless ZAN_INSTALLED_PREFIX names where it is installed already, as
// scripts/check-package does with /usr after installing the Debian package.
// On Windows, where the program, its DLLs and the tileset share one folder,
// the program enters that folder itself, from a shortcut or a terminal
// anywhere.
TEST_F(DemoTest, TheInstalledLauncherShowsTheTilesetFromAnyFolder) {
  const char* installed = std::getenv("ZAN_INSTALLED_PREFIX");
  // With the linux preset, the archive unpacked is the installed program.
  const std::string unpacked = Demo::demo_dir();
  if (installed == nullptr && !std::string(ZAN_UNPACKED).empty()) {
    installed = unpacked.c_str();
  }
  if (wine && installed == nullptr) {
    GTEST_SKIP() << "set ZAN_INSTALLED_PREFIX to an unpacked zip or an installed folder";
  }
  const TempDir own_prefix;
  const std::string prefix = installed != nullptr ? installed : own_prefix.path();
  if (installed == nullptr) {
    const std::string install = std::string(ZAN_CMAKE) + " --install " + ZAN_BUILD_DIR +
                                " --prefix " + prefix + " >/dev/null";
    ASSERT_EQ(std::system(install.c_str()), 0) << install;
  }
  const TempDir elsewhere;
  const std::string data = wine ? prefix : prefix + "/" ZAN_DATA;
  Demo demo = wine ? Demo(*server, {{"ZAN_EXE", prefix + "/zan-demo.exe"}}, Demo::demo_path(),
                          elsewhere.path())
                   : Demo(*server, {}, prefix + "/" ZAN_GAMES "/zan-demo", elsewhere.path());
  const Frame frame = demo.first_frame();
  EXPECT_EQ(frame.hint(), 0) << describe(frame);
  const auto [cell_w, cell_h] = tileset_cell(data + "/terminal.png");
  EXPECT_EQ(frame.width, cols * cell_w);
  EXPECT_EQ(frame.height, rows * cell_h);
  demo.tap(XK_q);
  expect_clean_exit(demo.wait_exit());
}

// A terminal.png that is not a tileset of ours is the library's to judge:
// it ignores a file it cannot decode and cuts any other image into tiles.
// Either way the demo opens its window and answers q.
TEST_F(DemoTest, AForeignTerminalPngIsNoCrash) {
  const TempDir folder;
  const std::string file = folder.path() + "/terminal.png";
  std::ifstream ours(Demo::demo_dir() + "/terminal.png", std::ios::binary);
  const std::string tileset{std::istreambuf_iterator<char>(ours), {}};
  TCODImage red_square(64, 64);
  red_square.clear(TCODColor(255, 0, 0));
  const std::pair<const char*, std::function<void()>> files[] = {
      {"empty", [&] { std::ofstream(file, std::ios::trunc); }},
      {"truncated",
       [&] { std::ofstream(file, std::ios::binary) << tileset.substr(0, tileset.size() / 2); }},
      {"a red square", [&] { red_square.save(file.c_str()); }},
  };
  for (const auto& [name, write] : files) {
    SCOPED_TRACE(name);
    write();
    Demo demo(*server, {}, Demo::demo_path(), folder.path());
    ASSERT_TRUE(demo.locate());
    demo.wait_idle();
    demo.tap(XK_q);
    expect_clean_exit(demo.wait_exit());
  }
}

TEST_F(DemoTest, AnyOtherKeyShowsTheNextHintInTheSameColours) {
  Demo demo(*server);
  demo.first_frame();
  for (const int expected : {1, 2, 3, 0}) {
    const Frame frame = demo.next_frame(XK_x);
    EXPECT_EQ(frame.hint(), expected) << describe(frame);
    EXPECT_EQ(frame.background, black);
    EXPECT_EQ(frame.ink, white);
  }
}

TEST_F(DemoTest, ColourKeysRecolourTheFollowingFrames) {
  struct Step {
    KeySym key;
    int hint;
    unsigned long background;
    unsigned long ink;
  };
  const Step steps[] = {
      {XK_r, 1, black, red},  {XK_x, 2, black, red}, {XK_w, 3, black, white},
      {XK_b, 0, blue, white}, {XK_r, 1, blue, red},  {XK_x, 2, blue, red},
  };
  Demo demo(*server);
  demo.first_frame();
  for (const Step& step : steps) {
    const Frame frame = demo.next_frame(step.key);
    EXPECT_EQ(frame.hint(), step.hint) << describe(frame);
    EXPECT_EQ(frame.background, step.background) << describe(frame);
    EXPECT_EQ(frame.ink, step.ink) << describe(frame);
  }
}

TEST_F(DemoTest, QQuitsSilentlyWithStatusZero) {
  Demo demo(*server);
  demo.first_frame();
  demo.next_frame(XK_x);
  demo.tap(XK_q);
  expect_clean_exit(demo.wait_exit());
}

// The demo ends on the event itself, in 5 to 10 ms on a quiet machine. The
// bound stays below the signal forwarder's 500 ms fallback, so a run that
// only that timer ended fails, yet leaves room for a busy machine, where
// two CPU burners beside CI made it take up to 118 ms.
#ifdef __SANITIZE_ADDRESS__
// LeakSanitizer scans the whole heap at exit, which takes a few hundred ms.
constexpr auto exit_bound = 1000ms;
#else
constexpr auto exit_bound = 400ms;
#endif

// Each of these must end the run with status 0 without a key press: while the
// demo waits for a key, promptly; while the window is still opening, at once.
enum class When {
  waiting,  // for a key, the first frame shown
  opening,  // while the library looks for its fallback font
  stuck,    // in an X server that accepted the connection and never answers
  frozen,   // for a key, in an X server that has since stopped answering
  ignored,  // for a key, started with SIGINT ignored: q, not the signal, ends it
};

struct Stop {
  const char* name;
  When when;
  void (*send)(const Demo&);
  bool windows = true;  // whether Windows has it: it has no SIGTERM
};

void PrintTo(const Stop& stop, std::ostream* out) { *out << stop.name; }

class Stops : public DemoTest, public testing::WithParamInterface<Stop> {};

// Whether the process has started a child. Without a tileset the library
// finds its fallback font by running fc-match: that is inside main, before
// SDL and the window exist.
bool has_child(pid_t pid) {
  std::ifstream children("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) +
                         "/children");
  std::string child;
  return static_cast<bool>(children >> child);
}

// A display that takes connections and never answers, like a frozen X
// server: a socket on 127.0.0.1 that listens and never accepts, since the
// kernel completes the connection all the same.
struct SilentServer {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  std::string display;
  SilentServer() {
    for (int number = 90; number < 200 && display.empty(); ++number) {
      sockaddr_in address{};
      address.sin_family = AF_INET;
      address.sin_port = htons(static_cast<uint16_t>(6000 + number));
      address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
          listen(fd, 4) == 0) {
        display = "127.0.0.1:" + std::to_string(number);
      }
    }
  }
  ~SilentServer() { close(fd); }
  SilentServer(const SilentServer&) = delete;
  SilentServer& operator=(const SilentServer&) = delete;
  bool connected() const {
    pollfd pending{fd, POLLIN, 0};
    return poll(&pending, 1, static_cast<int>(std::chrono::milliseconds(patience).count())) == 1;
  }
};

// Stops the X server named by DISPLAY, whose pid Xvfb keeps in its lock file,
// and lets it go on when the object goes.
struct FrozenServer {
  pid_t pid = 0;
  FrozenServer() {
    const char* const name = std::getenv("DISPLAY");
    const char* const number = name != nullptr ? std::strchr(name, ':') : nullptr;
    if (number != nullptr) {
      std::ifstream(std::string("/tmp/.X") + (number + 1) + "-lock") >> pid;
    }
    if (pid > 0) {
      kill(pid, SIGSTOP);
    }
  }
  ~FrozenServer() {
    if (pid > 0) {
      kill(pid, SIGCONT);
    }
  }
  FrozenServer(const FrozenServer&) = delete;
  FrozenServer& operator=(const FrozenServer&) = delete;
};

TEST_P(Stops, EndTheRunWithStatusZero) {
  const When when = GetParam().when;
  if (wine) {
    if (!GetParam().windows) {
      GTEST_SKIP() << "Windows has no SIGTERM";
    }
    if (when == When::opening) {
      GTEST_SKIP() << "libtcod on Windows runs no fc-match, which this case waits for";
    }
    if (when == When::stuck) {
      GTEST_SKIP() << "Wine's own desktop process, not the program, waits for that display";
    }
    if (when == When::ignored) {
      GTEST_SKIP() << "Wine does not carry an ignored SIGINT over into the console's state";
    }
  }
  if (display == nullptr && (when == When::stuck || when == When::frozen)) {
    GTEST_SKIP() << "an X server's own way to fail";
  }
  const TempDir elsewhere;
  const SilentServer silent;
  ASSERT_FALSE(silent.display.empty()) << "no free port for a silent display";
  Demo::Env env;
  if (when == When::stuck) {
    env = {{"DISPLAY", silent.display}};
  }
  Demo demo(*server, env, Demo::demo_path(),
            when == When::opening ? elsewhere.path() : Demo::demo_dir(), when == When::ignored);
  if (when == When::opening) {
    const auto deadline = Clock::now() + patience;
    while (!has_child(demo.pid()) && Clock::now() < deadline) {
      std::this_thread::sleep_for(100us);
    }
    ASSERT_TRUE(has_child(demo.pid())) << "the demo never looked for its fallback font";
  } else if (when == When::stuck) {
    ASSERT_TRUE(silent.connected()) << "the demo never connected to the silent display";
  } else {
    demo.first_frame();
    demo.wait_idle();
  }
  std::optional<FrozenServer> frozen;
  if (when == When::frozen) {
    frozen.emplace();
    ASSERT_GT(frozen->pid, 0) << "no lock file of Xvfb's names the server's pid";
  }
  const auto sent = Clock::now();
  GetParam().send(demo);
  const Ending ending = demo.wait_exit(sent);
  expect_clean_exit(ending);
  const std::map<When, Clock::duration> bound = {
      {When::waiting, exit_bound}, {When::frozen, 2s}, {When::ignored, patience}};
  EXPECT_LT(ending.took, bound.count(when) != 0 ? bound.at(when) : 1000ms)
      << "took " << ending.took.count() << " µs";
}

void interrupt(const Demo& demo) { kill(demo.pid(), SIGINT); }
void terminate(const Demo& demo) { kill(demo.pid(), SIGTERM); }
constexpr bool no_windows = false;

INSTANTIATE_TEST_SUITE_P(
    Demo, Stops,
    testing::Values(Stop{"WindowClose", When::waiting,
                         [](const Demo& demo) { demo.close_window(); }},
                    Stop{"SIGINT", When::waiting, interrupt},
                    Stop{"SIGTERM", When::waiting, terminate, no_windows},
                    Stop{"SIGINTWhileOpening", When::opening, interrupt},
                    Stop{"SIGTERMWhileOpening", When::opening, terminate, no_windows},
                    Stop{"SIGINTWhileTheDisplayNeverAnswers", When::stuck, interrupt},
                    Stop{"SIGTERMWhileTheDisplayNeverAnswers", When::stuck, terminate, no_windows},
                    Stop{"SIGTERMWhileTheXServerIsStopped", When::frozen, terminate, no_windows},
                    Stop{"AnIgnoredSIGINTThenQ", When::ignored,
                         [](const Demo& demo) {
                           interrupt(demo);
                           const Frame before = demo.grab();
                           demo.tap(XK_x);
                           EXPECT_EQ(demo.changed_from(before).hint(), 1) << "still running";
                           demo.tap(XK_q);
                         }}),
    [](const testing::TestParamInfo<Stop>& info) { return std::string(info.param.name); });

// Whether the process's main thread sleeps within patience: in the slow
// exit, once main has returned.
bool sleeps(pid_t pid) {
  for (const auto deadline = Clock::now() + patience; Clock::now() < deadline;) {
    long number = -1;
    std::ifstream("/proc/" + std::to_string(pid) + "/syscall") >> number;
    if (number == SYS_clock_nanosleep || number == SYS_nanosleep) {
      return true;
    }
    std::this_thread::sleep_for(1ms);
  }
  return false;
}

// Whether the process has taken the SIGINT sent to it within patience: a
// second one sent while the first is pending would merge with it.
bool took_sigint(pid_t pid) {
  for (const auto deadline = Clock::now() + patience; Clock::now() < deadline;) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
      if (line.rfind("ShdPnd:", 0) == 0 && (std::stoull(line.substr(7), nullptr, 16) & 2) == 0) {
        return true;
      }
    }
    std::this_thread::sleep_for(1ms);
  }
  return false;
}

// After a signal, an exit that takes its time (a sanitizer's leak check,
// say) is not cut short; only a run that does not end is, or one that a
// second signal asks to end again, at once, not after the first one's half
// second of grace. A run that failed keeps its status.
TEST_F(DemoTest, ASlowExitAfterASignalIsNotCutShortButASecondSignalEndsIt) {
  if (wine) {
    GTEST_SKIP() << "LD_PRELOAD, which brings the slow exit, is the Linux loader's";
  }
  const Demo::Env slow = {{"LD_PRELOAD", ZAN_SLOW_EXIT},
                          {"ASAN_OPTIONS", "verify_asan_link_order=0"}};
  Demo::Env failing = slow;
  failing.insert({{"SDL_VIDEODRIVER", "dummy"}, {"SDL_VIDEO_DRIVER", "dummy"}});
  // Signals sent while the demo waits for a key, then once its exit began;
  // the failed run (no window to show) exits as soon as it starts.
  const struct {
    const char* name;
    const Demo::Env& env;
    int waiting;
    int exiting;
    int status;
  } cases[] = {{"one signal", slow, 1, 0, 0},
               {"two signals", slow, 1, 1, 0},
               {"two signals as a failed run exits", failing, 0, 2, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Demo demo(*server, c.env);
    if (c.waiting > 0) {
      demo.first_frame();
      demo.wait_idle();
      interrupt(demo);
    }
    if (c.exiting > 0) {
      ASSERT_TRUE(sleeps(demo.pid())) << "the slow exit never began";
    }
    auto sent = Clock::now();
    for (int i = 0; i < c.exiting; ++i) {
      sent = Clock::now();
      interrupt(demo);
      ASSERT_TRUE(took_sigint(demo.pid())) << "signal " << i + 1 << " was never taken";
    }
    const Ending ending = demo.wait_exit(sent);
    EXPECT_TRUE(exited_with(ending, c.status)) << "wait status " << ending.status;
    const bool cut_short = c.waiting + c.exiting > 1;
    EXPECT_EQ(ending.err.find("slow exit done"), cut_short ? std::string::npos : 0) << ending.err;
    if (cut_short) {
      EXPECT_LT(ending.took, 250ms) << "the second signal waited out the first one's grace: took "
                                    << ending.took.count() << " µs";
    }
  }
}

// Without a display the demo must say so and stop rather than run where
// nobody can see it, whatever SDL's reason: SDL 2 falls back to a driver that
// draws off screen, SDL 3 fails to start.
using NoDisplay = X11Test;
TEST_F(NoDisplay, ReportsOneLineAndStatusOneWithinTwoSeconds) {
  if (wine) {
    GTEST_SKIP() << "Windows always has a display; under Wine, Wine fails before the program";
  }
  int number = 90;
  while (std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(number))) {
    ++number;
  }
  const std::string unanswered = ":" + std::to_string(number);
  struct Case {
    const char* name;
    Demo::Env env;
    std::string reason;  // what the line must name, if anything
  };
  const Case cases[] = {
      {"no DISPLAY", {{"DISPLAY", std::nullopt}}, ""},
      {"unanswered DISPLAY", {{"DISPLAY", unanswered}}, ""},
      {"unanswered DISPLAY, X11 driver named",
       {{"DISPLAY", unanswered}, {"SDL_VIDEODRIVER", "x11"}, {"SDL_VIDEO_DRIVER", "x11"}},
       ""},
      {"dummy driver named",
       {{"SDL_VIDEODRIVER", "dummy"}, {"SDL_VIDEO_DRIVER", "dummy"}},
       "\"dummy\" video driver"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Demo demo(*server, c.env);
    const Ending ending = demo.wait_exit();
    EXPECT_TRUE(exited_with(ending, 1)) << "wait status " << ending.status;
    EXPECT_LT(ending.took, 2s);
    EXPECT_EQ(ending.out, "");
    EXPECT_EQ(ending.err.rfind("windowname: cannot open the window: ", 0), 0u) << ending.err;
    EXPECT_NE(ending.err.find(c.reason), std::string::npos) << ending.err;
    EXPECT_EQ(ending.err.find('\n'), ending.err.size() - 1) << "one line: " << ending.err;
  }
}

}  // namespace
}  // namespace harness
