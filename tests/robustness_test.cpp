// End to end: what a user may do besides pressing the four command keys.
#include "harness.hpp"

#include <X11/XKBlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace harness {
namespace {

int next_hint(int hint) { return (hint + 1) % 4; }

// Every key that does not end the run draws exactly the next frame, in the
// same colours.
TEST_F(DemoTest, NonCommandKeysEachDrawTheNextFrame) {
  const KeySym keys[] = {
      XK_a,     XK_x,       XK_z,     XK_0,      XK_7,        XK_comma,  XK_slash,
      XK_minus, XK_percent, XK_space, XK_Return, XK_Tab,      XK_Escape, XK_BackSpace,
      XK_Left,  XK_Right,   XK_Up,    XK_Down,   XK_F1,       XK_F2,     XK_F3,
      XK_F4,    XK_F5,      XK_F6,    XK_F7,     XK_F8,       XK_F9,     XK_F10,
      XK_F11,   XK_F12,     XK_KP_1,  XK_KP_5,   XK_KP_Enter, XK_KP_Add, XK_KP_Divide,
  };
  for (const KeySym key : keys) {
    if (!server->types(key)) {
      GTEST_SKIP() << "this display server's keyboard types only letters";
    }
  }
  Demo demo(*server);
  int hint = demo.first_frame().hint();
  for (const KeySym key : keys) {
    SCOPED_TRACE(XKeysymToString(key));
    const Frame frame = demo.next_frame(key);
    EXPECT_EQ(frame.hint(), next_hint(hint)) << describe(frame);
    EXPECT_EQ(frame.background, black);
    EXPECT_EQ(frame.ink, white);
    hint = frame.hint();
  }
}

// A non-Latin layout, as a Russian one gives: the physical Q key carries a
// Cyrillic letter. It must neither quit nor be lost.
TEST_F(X11Test, AKeyWithANonLatinKeysymDrawsTheNextFrame) {
  const KeyCode q_key = XKeysymToKeycode(display, XK_q);
  ASSERT_NE(q_key, 0);
  int per_code = 0;
  KeySym* const own = XGetKeyboardMapping(display, q_key, 1, &per_code);
  ASSERT_NE(own, nullptr);
  // Give the key back its own symbols however the case ends, so later cases
  // see the server's own keymap.
  struct Restore {
    Display* display;
    KeyCode code;
    KeySym* own;
    int per_code;
    ~Restore() {
      XChangeKeyboardMapping(display, code, per_code, own, 1);
      XSync(display, False);
      XFree(own);
    }
  } restore{display, q_key, own, per_code};
  KeySym cyrillic = XK_Cyrillic_ya;
  XChangeKeyboardMapping(display, q_key, 1, &cyrillic, 1);
  XSync(display, False);

  Demo demo(*server);
  demo.first_frame();
  const Frame before = demo.grab();
  XTestFakeKeyEvent(display, q_key, True, CurrentTime);
  XTestFakeKeyEvent(display, q_key, False, CurrentTime);
  XFlush(display);
  const Frame frame = demo.changed_from(before);
  EXPECT_EQ(frame.hint(), 1) << describe(frame);
  EXPECT_EQ(frame.ink, white);
}

TEST_F(X11Test, AHeldKeyRepeatsAndEveryRepeatDrawsTheNextFrame) {
  XAutoRepeatOn(display);
  Demo demo(*server);
  Frame frame = demo.first_frame();
  demo.press(XK_x, true);
  // The press itself, then at least two repeats, each showing the next hint.
  for (int frames = 0; frames < 3; ++frames) {
    frame = demo.changed_from(frame);
    EXPECT_EQ(frame.ink, white);
    EXPECT_GE(frame.hint(), 0) << describe(frame);
  }
  demo.press(XK_x, false);
  demo.wait_idle();
  const int hint = demo.grab().hint();
  EXPECT_EQ(demo.next_frame(XK_x).hint(), next_hint(hint));
}

// Events that are not key presses change nothing and draw no new frame: the
// window keeps its pixels, and the next key shows the next hint, not a later
// one.
struct Disturbance {
  const char* name;
  void (*send)(Display*, Window);
};

void PrintTo(const Disturbance& disturbance, std::ostream* out) { *out << disturbance.name; }

void click(Display* display, unsigned button) {
  XTestFakeButtonEvent(display, button, True, CurrentTime);
  XTestFakeButtonEvent(display, button, False, CurrentTime);
}

class Disturbances : public X11Test, public testing::WithParamInterface<Disturbance> {};

TEST_P(Disturbances, DrawNothingNewAndChangeNothing) {
  Demo demo(*server);
  demo.first_frame();
  demo.next_frame(XK_r);  // red text, so a lost colour would show
  const Frame before = demo.grab();
  ASSERT_EQ(before.ink, red);

  GetParam().send(display, demo.window());
  XFlush(display);
  demo.wait_idle();
  demo.wait_for([&](const Frame& now) { return now.pixels == before.pixels; },
                "the same frame as before");
  const Frame frame = demo.next_frame(XK_x);
  EXPECT_EQ(frame.hint(), next_hint(before.hint())) << describe(frame);
  EXPECT_EQ(frame.ink, red);
}

INSTANTIATE_TEST_SUITE_P(
    Demo, Disturbances,
    testing::Values(Disturbance{"MouseMotion",
                                [](Display* display, Window) {
                                  for (int step = 0; step < 20; ++step) {
                                    XTestFakeMotionEvent(display, -1, 300 + 40 * step,
                                                         400 + 10 * step, CurrentTime);
                                  }
                                }},
                    Disturbance{"MouseButtons",
                                [](Display* display, Window) {
                                  for (unsigned button = 1; button <= 3; ++button) {
                                    click(display, button);
                                  }
                                }},
                    Disturbance{"MouseWheel",
                                [](Display* display, Window) {
                                  for (unsigned button = 4; button <= 7; ++button) {
                                    click(display, button);
                                  }
                                }},
                    Disturbance{"FocusOutAndIn",
                                [](Display* display, Window window) {
                                  XSetInputFocus(display, DefaultRootWindow(display), RevertToNone,
                                                 CurrentTime);
                                  XSync(display, False);
                                  give_focus(display, window);
                                }},
                    Disturbance{"CoverAndUncover",
                                [](Display* display, Window window) {
                                  XWindowAttributes demo;
                                  XGetWindowAttributes(display, window, &demo);
                                  XSetWindowAttributes opaque{};
                                  opaque.override_redirect = True;
                                  opaque.background_pixel = white;
                                  const Window cover =
                                      XCreateWindow(display, DefaultRootWindow(display), demo.x,
                                                    demo.y, static_cast<unsigned>(demo.width),
                                                    static_cast<unsigned>(demo.height), 0,
                                                    CopyFromParent, InputOutput, CopyFromParent,
                                                    CWOverrideRedirect | CWBackPixel, &opaque);
                                  XMapRaised(display, cover);
                                  XSync(display, False);
                                  XDestroyWindow(display, cover);
                                  XSync(display, False);
                                }},
                    Disturbance{"UnmapAndMap",
                                [](Display* display, Window window) {
                                  XUnmapWindow(display, window);
                                  XSync(display, False);
                                  XMapWindow(display, window);
                                  XSync(display, False);
                                  give_focus(display, window);
                                }}),
    [](const testing::TestParamInfo<Disturbance>& info) { return std::string(info.param.name); });

TEST_F(X11Test, AResizedWindowShowsTheSameFrameAgainWithoutAKey) {
  Demo demo(*server);
  const Frame before = demo.first_frame();
  const auto resize = [&](int width, int height) {
    XResizeWindow(display, demo.window(), static_cast<unsigned>(width),
                  static_cast<unsigned>(height));
    XFlush(display);
  };
  resize(before.width / 2, before.height / 2);
  demo.wait_for(
      [&](const Frame& now) { return now.width == before.width / 2 && now.first_col >= 0; },
      "the frame at half size");
  resize(before.width, before.height);
  demo.wait_for([&](const Frame& now) { return now.pixels == before.pixels; },
                "the same frame at full size", 1s);
  EXPECT_EQ(demo.next_frame(XK_x).hint(), 1);
}

// A key pressed the moment a frame shows counts exactly once, even while the
// library is still presenting that frame and among mouse motion: each key
// draws the next hint, none is lost and none draws two frames.
TEST_F(X11Test, EveryKeyPressedOnceAFrameShowsDrawsExactlyTheNextFrame) {
  Demo demo(*server);
  demo.first_frame();
  XWindowAttributes window;
  XGetWindowAttributes(display, demo.window(), &window);
  constexpr int text_row = 24;
  Frame shown = demo.grab(text_row, 1);
  for (int key = 0; key < 300; ++key) {
    SCOPED_TRACE("key " + std::to_string(key + 1));
    const bool moving = key % 2 == 1;
    demo.tap(XK_x);
    const auto deadline = Clock::now() + patience;
    Frame now = shown;
    for (int step = 0; now.pixels == shown.pixels && Clock::now() < deadline; ++step) {
      if (moving) {
        XTestFakeMotionEvent(display, -1, window.x + (37 * step) % window.width,
                             window.y + (23 * step) % window.height, CurrentTime);
        XFlush(display);
      }
      now = demo.grab(text_row, 1);
    }
    ASSERT_TRUE(now.pixels != shown.pixels) << "the key drew no frame; last " << describe(now);
    ASSERT_EQ(now.hint(), next_hint(shown.hint())) << describe(now);
    shown = now;
  }
}

// Pending keys are discarded by design, so a burst draws fewer frames than
// it has keys; what matters is that the demo still answers afterwards.
void send_burst(const Demo& demo) {
  for (int i = 0; i < 500; ++i) {
    demo.tap(XK_x);
  }
}

TEST_F(DemoTest, AfterABurstOfKeysTheDemoStillAnswers) {
  Demo demo(*server);
  demo.first_frame();
  send_burst(demo);
  demo.wait_idle();
  const int hint = demo.grab().hint();
  ASSERT_GE(hint, 0);
  EXPECT_EQ(demo.next_frame(XK_x).hint(), next_hint(hint));
  demo.tap(XK_q);
  const Ending ending = demo.wait_exit();
  EXPECT_TRUE(exited_with(ending, 0)) << ending.status;
}

TEST_F(DemoTest, ClosingDuringABurstEndsTheRunWithStatusZero) {
  Demo demo(*server);
  demo.first_frame();
  send_burst(demo);
  demo.close_window();
  const Ending ending = demo.wait_exit();
  EXPECT_TRUE(exited_with(ending, 0)) << ending.status;
  EXPECT_EQ(ending.out + ending.err, "");
}

}  // namespace
}  // namespace harness
