// End to end: the real demo in a real X server, real key events, real pixels.
#include "harness.hpp"

#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>

namespace harness {
namespace {

void expect_clean_exit(const Ending& ending) {
  EXPECT_TRUE(exited_with(ending, 0)) << "wait status " << ending.status;
  EXPECT_EQ(ending.out, "");
  EXPECT_EQ(ending.err, "");
}

TEST_F(DemoTest, FirstFrameShowsTheQuitHintOnBlack) {
  Demo demo(display);
  const Frame frame = demo.first_frame();

  char* title = nullptr;
  ASSERT_TRUE(XFetchName(display, demo.window(), &title));
  EXPECT_STREQ(title, "windowname");
  XFree(title);
  EXPECT_EQ(frame.width % cols, 0) << "the window is a whole number of cells wide";
  EXPECT_EQ(frame.height % rows, 0);

  EXPECT_EQ(frame.hint(), 0) << describe(frame);
  EXPECT_EQ(frame.background, black);
  EXPECT_EQ(frame.ink, white) << "the library's default text colour";
}

TEST_F(DemoTest, AnyOtherKeyShowsTheNextHintInTheSameColours) {
  Demo demo(display);
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
      {XK_r, 1, black, red}, {XK_x, 2, black, red}, {XK_w, 3, black, white},
      {XK_b, 0, blue, white}, {XK_r, 1, blue, red}, {XK_x, 2, blue, red},
  };
  Demo demo(display);
  demo.first_frame();
  for (const Step& step : steps) {
    const Frame frame = demo.next_frame(step.key);
    EXPECT_EQ(frame.hint(), step.hint) << describe(frame);
    EXPECT_EQ(frame.background, step.background) << describe(frame);
    EXPECT_EQ(frame.ink, step.ink) << describe(frame);
  }
}

TEST_F(DemoTest, QQuitsSilentlyWithStatusZero) {
  Demo demo(display);
  demo.first_frame();
  demo.next_frame(XK_x);
  demo.tap(XK_q);
  expect_clean_exit(demo.wait_exit());
}

#ifdef __SANITIZE_ADDRESS__
// LeakSanitizer scans the whole heap at exit, which takes a few hundred ms.
constexpr auto exit_bound = 1000ms;
#else
constexpr auto exit_bound = 100ms;
#endif

// Each of these must end the run while the demo waits for a key, without
// another key press.
struct Stop {
  const char* name;
  void (*send)(const Demo&);
};

void PrintTo(const Stop& stop, std::ostream* out) { *out << stop.name; }

class Stops : public DemoTest, public testing::WithParamInterface<Stop> {};

TEST_P(Stops, EndTheWaitingDemoPromptlyWithStatusZero) {
  Demo demo(display);
  demo.first_frame();
  demo.wait_idle();
  const auto sent = Clock::now();
  GetParam().send(demo);
  const Ending ending = demo.wait_exit(sent);
  expect_clean_exit(ending);
  EXPECT_LT(ending.took, exit_bound) << "took " << ending.took.count() << " µs";
}

INSTANTIATE_TEST_SUITE_P(
    Demo, Stops,
    testing::Values(Stop{"WindowClose", [](const Demo& demo) { demo.close_window(); }},
                    Stop{"SIGINT", [](const Demo& demo) { kill(demo.pid(), SIGINT); }},
                    Stop{"SIGTERM", [](const Demo& demo) { kill(demo.pid(), SIGTERM); }}),
    [](const testing::TestParamInfo<Stop>& info) { return std::string(info.param.name); });

TEST(NoDisplay, ReportsOneLineAndStatusOne) {
  // A display number nobody serves; the X11 driver is named so that SDL does
  // not fall back to drawing off screen. XDG_RUNTIME_DIR is set as in any
  // desktop session, so that SDL's probe of other drivers stays quiet.
  int number = 90;
  while (std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(number))) {
    ++number;
  }
  const std::string runtime_dir = testing::TempDir();
  Demo demo(nullptr, {{"DISPLAY", ":" + std::to_string(number)},
                      {"SDL_VIDEODRIVER", "x11"},
                      {"XDG_RUNTIME_DIR", runtime_dir}});
  const Ending ending = demo.wait_exit();
  EXPECT_TRUE(exited_with(ending, 1)) << "wait status " << ending.status;
  EXPECT_EQ(ending.out, "");
  EXPECT_EQ(ending.err.rfind("windowname: cannot open the window: ", 0), 0u) << ending.err;
  EXPECT_NE(ending.err.find("SDL"), std::string::npos) << "the library's reason: " << ending.err;
  EXPECT_EQ(ending.err.find('\n'), ending.err.size() - 1) << "one line: " << ending.err;
}

}  // namespace
}  // namespace harness
