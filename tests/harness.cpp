#include "harness.hpp"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

#ifndef ZAN_WL_KEYS
#define ZAN_WL_KEYS "zan-wl-keys"
#endif

namespace harness {

static void analyse(Frame& frame, int first_row, int cell_w, int cell_h);

const Hint hints[4] = {
    {"Press 'q' to quit.", 31},
    {"Press 'r' for red text.", 28},
    {"Press 'w' for white text.", 27},
    {"Press 'b' for blue background.", 25},
};

namespace {

int distance(unsigned long a, unsigned long b) {
  int sum = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    sum += std::abs(static_cast<int>((a >> shift) & 0xff) - static_cast<int>((b >> shift) & 0xff));
  }
  return sum;
}

unsigned long nearest(unsigned long colour) {
  unsigned long best = black;
  for (const unsigned long named : {black, white, red, blue}) {
    if (distance(colour, named) < distance(colour, best)) {
      best = named;
    }
  }
  return best;
}

// The test reads windows that may vanish under it; an X error must fail the
// step that caused it, not end the test program.
int ignore_x_error(Display*, XErrorEvent*) { return 0; }

std::string read_all(int fd) {
  std::string text;
  char buffer[4096];
  ssize_t n;
  while ((n = read(fd, buffer, sizeof buffer)) > 0) {
    text.append(buffer, static_cast<size_t>(n));
  }
  return text;
}

// The demo's main thread and whether it sits in poll(), which is where SDL
// blocks while nothing is queued; under Wine, in read() on the wineserver.
struct Activity {
  bool in_poll = false;
  std::string switches;
};

Activity activity(pid_t pid) {
  Activity now;
  std::ifstream syscall("/proc/" + std::to_string(pid) + "/syscall");
  std::string number;
  syscall >> number;
  now.in_poll = number == std::to_string(SYS_poll) || number == std::to_string(SYS_ppoll) ||
                (wine && number == std::to_string(SYS_read));
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("voluntary_ctxt_switches:", 0) == 0) {
      now.switches = line;
    }
  }
  return now;
}

// What a shell command prints.
std::string output_of(const std::string& command) {
  std::string text;
  FILE* const pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) {
    return text;
  }
  char buffer[65536];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
    text.append(buffer, n);
  }
  pclose(pipe);
  return text;
}

// The virtual keyboard of tests/wayland/keys.c, one for the whole program.
class Keyboard {
 public:
  Keyboard() {
    int to[2];
    int from[2];
    if (pipe2(to, O_CLOEXEC) != 0 || pipe2(from, O_CLOEXEC) != 0) {
      return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, to[0], 0);
    posix_spawn_file_actions_adddup2(&actions, from[1], 1);
    char* argv[] = {const_cast<char*>(ZAN_WL_KEYS), nullptr};
    pid_t pid;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv, environ) == 0) {
      in_ = fdopen(to[1], "w");
      out_ = fdopen(from[0], "r");
      ready_ = answer() == "ready";
    }
    posix_spawn_file_actions_destroy(&actions);
    close(to[0]);
    close(from[1]);
  }
  // Sends one key event, by its evdev code, once the compositor has it.
  bool send(int code, bool down) {
    if (!ready_) {
      return false;
    }
    std::fprintf(in_, "%d %d\n", code, down ? 1 : 0);
    std::fflush(in_);
    return answer() == "ok";
  }

 private:
  std::string answer() {
    char line[64] = {};
    if (out_ == nullptr || std::fgets(line, sizeof line, out_) == nullptr) {
      return "";
    }
    return std::string(line, strcspn(line, "\n"));
  }
  FILE* in_ = nullptr;
  FILE* out_ = nullptr;
  bool ready_ = false;
};

// The evdev code of a letter's key on a US keyboard, or -1.
int evdev_code(KeySym key) {
  const std::string rows[] = {"qwertyuiop", "asdfghjkl", "zxcvbnm"};
  const int first[] = {16, 30, 44};
  for (int row = 0; row < 3; ++row) {
    const auto at = rows[row].find(static_cast<char>(key));
    if (key < 0x80 && at != std::string::npos) {
      return first[row] + static_cast<int>(at);
    }
  }
  return -1;
}

}  // namespace

bool on_wayland() { return std::getenv("ZAN_TEST_WAYLAND") != nullptr; }

int Frame::hint() const {
  if (ink_rows != std::set<int>{24}) {
    return -1;
  }
  for (int i = 0; i < 4; ++i) {
    const int last = hints[i].column + static_cast<int>(hints[i].text.size()) - 1;
    if (first_col == hints[i].column && last_col == last) {
      return i;
    }
  }
  return -1;
}

std::string describe(const Frame& frame) {
  std::ostringstream text;
  text << std::hex << "frame " << std::dec << frame.width << "x" << frame.height
       << ", background 0x" << std::hex << frame.background << ", ink 0x" << frame.ink << std::dec
       << ", ink columns " << frame.first_col << ".." << frame.last_col << ", ink rows {";
  for (const int row : frame.ink_rows) {
    text << " " << row;
  }
  text << " }, hint " << frame.hint() << (frame.error.empty() ? "" : ", ") << frame.error;
  return text.str();
}

std::string Demo::demo_dir() {
  const std::string path = ZAN_DEMO_PATH;
  return path.substr(0, path.rfind('/'));
}

TempDir::TempDir() : path_(testing::TempDir() + "zan-demo-XXXXXX") {
  if (mkdtemp(path_.data()) == nullptr) {
    ADD_FAILURE() << "mkdtemp failed";
  }
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

Demo::Demo(Display* display, const Env& env, const std::string& program, const std::string& cwd,
           bool sigint_ignored)
    : display_(display) {
  std::map<std::string, std::string> vars;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    const auto equals = text.find('=');
    vars[text.substr(0, equals)] = equals == std::string::npos ? "" : text.substr(equals + 1);
  }
  // As in a desktop session; without it libwayland, which SDL 3 tries
  // first, complains on stderr.
  vars.emplace("XDG_RUNTIME_DIR", testing::TempDir());
  for (const auto& [name, value] : env) {
    if (value) {
      vars[name] = *value;
    } else {
      vars.erase(name);
    }
  }
  std::vector<std::string> strings;
  for (const auto& [name, value] : vars) {
    strings.push_back(name + "=" + value);
  }
  std::vector<char*> envp;
  for (auto& text : strings) {
    envp.push_back(text.data());
  }
  envp.push_back(nullptr);

  int out[2];
  int err[2];
  if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "pipe2 failed";
    return;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
  // A shell may start us with SIGINT ignored, and the child would inherit that.
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGINT);
  sigaddset(&defaults, SIGTERM);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
  // posix_spawn keeps an ignored signal ignored, so ignore it here meanwhile.
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  struct sigaction before {};
  if (sigint_ignored) {
    sigdelset(&defaults, SIGINT);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    sigaction(SIGINT, &ignore, &before);
  }
  started_ = Clock::now();
  const int failed = posix_spawn(&pid_, argv[0], &actions, &attr, argv, envp.data());
  if (sigint_ignored) {
    sigaction(SIGINT, &before, nullptr);
  }
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  close(out[1]);
  close(err[1]);
  out_ = out[0];
  err_ = err[0];
  if (failed != 0) {
    pid_ = -1;
    ADD_FAILURE() << "cannot start " << program;
    return;
  }
  // glibc declares pidfd_open() without C linkage for C++, so ask the kernel.
  pidfd_ = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));
}

Demo::~Demo() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  for (const int fd : {pidfd_, out_, err_}) {
    if (fd >= 0) {
      close(fd);
    }
  }
}

Window Demo::find_window() const {
  const Atom wm_pid = XInternAtom(display_, "_NET_WM_PID", False);
  Window found = 0;
  Window root;
  Window parent;
  Window* children = nullptr;
  unsigned count = 0;
  XQueryTree(display_, DefaultRootWindow(display_), &root, &parent, &children, &count);
  for (unsigned i = 0; i < count && found == 0; ++i) {
    Atom type;
    int format;
    unsigned long items;
    unsigned long left;
    unsigned char* data = nullptr;
    XWindowAttributes attributes;
    if (XGetWindowProperty(display_, children[i], wm_pid, 0, 1, False, XA_CARDINAL, &type, &format,
                           &items, &left, &data) == Success &&
        data != nullptr && items == 1 &&
        static_cast<pid_t>(*reinterpret_cast<unsigned long*>(data)) == pid_ &&
        XGetWindowAttributes(display_, children[i], &attributes) &&
        attributes.map_state == IsViewable) {
      found = children[i];
    }
    if (data != nullptr) {
      XFree(data);
    }
  }
  if (children != nullptr) {
    XFree(children);
  }
  return found;
}

Frame Demo::first_frame() {
  // SDL may replace its first window while it sets up the renderer, so keep
  // looking until a window of ours shows something.
  const auto deadline = Clock::now() + patience;
  Frame frame;
  while (Clock::now() < deadline && locate()) {
    frame = grab();
    if (frame.first_col >= 0) {
      return frame;
    }
    std::this_thread::sleep_for(2ms);
  }
  ADD_FAILURE() << "the demo's window did not show a frame; last " << describe(frame);
  return frame;
}

bool Demo::locate() {
  const auto deadline = Clock::now() + patience;
  while (on_wayland() && pid_ > 0 && Clock::now() < deadline) {
    // sway focuses a new window itself; keys sent before it has, are lost.
    std::istringstream placed(output_of(
        "swaymsg -t get_tree | jq -r '.. | objects | select(.pid? == " + std::to_string(pid_) +
        " and .visible? and .focused?) | \"\\(.rect.x) \\(.rect.y) \\(.rect.width) "
        "\\(.rect.height) "
        "\\(.name)\"'"));
    if (placed >> logical_x_ >> logical_y_ >> logical_w_ >> logical_h_) {
      std::getline(placed >> std::ws, title_);
      window_ = 1;
      return true;
    }
    std::this_thread::sleep_for(20ms);
  }
  while (!on_wayland() && pid_ > 0 && Clock::now() < deadline) {
    window_ = find_window();
    if (window_ != 0) {
      // With no window manager, keys go to the focus window: give it the focus.
      XSetInputFocus(display_, window_, RevertToPointerRoot, CurrentTime);
      XSync(display_, False);
      return true;
    }
    std::this_thread::sleep_for(200us);
  }
  ADD_FAILURE() << "the window did not appear";
  return false;
}

std::vector<char> Demo::band(int row) const {
  XWindowAttributes attributes;
  if (!XGetWindowAttributes(display_, window_, &attributes) || attributes.height < rows) {
    return {};
  }
  const int cell_h = attributes.height / rows;
  XImage* image =
      XGetImage(display_, window_, 0, row * cell_h, static_cast<unsigned>(attributes.width),
                static_cast<unsigned>(cell_h), AllPlanes, ZPixmap);
  if (image == nullptr) {
    return {};
  }
  std::vector<char> bytes(image->data, image->data + image->bytes_per_line * image->height);
  XDestroyImage(image);
  return bytes;
}

std::string Demo::title() const {
  if (on_wayland()) {
    return title_;
  }
  char* name = nullptr;
  std::string text;
  if (XFetchName(display_, window_, &name) != 0 && name != nullptr) {
    text = name;
    XFree(name);
  }
  return text;
}

// On Wayland, the window's pixels through grim, which reads them at the
// output's scale: every pixel of a window that a scale of ZAN_TEST_SCALE
// enlarged crisply is a square of that many, and one of each is kept.
static Frame grab_wayland(int x, int y, int width, int height, int first_row, int row_count) {
  Frame frame;
  const std::string geometry = std::to_string(x) + "," + std::to_string(y) + " " +
                               std::to_string(width) + "x" + std::to_string(height);
  std::istringstream ppm(output_of("grim -t ppm -g '" + geometry + "' - 2>/dev/null"));
  std::string magic;
  int w = 0;
  int h = 0;
  int depth = 0;
  ppm >> magic >> w >> h >> depth;
  ppm.get();
  const char* const scale_text = std::getenv("ZAN_TEST_SCALE");
  const int scale = scale_text != nullptr ? std::atoi(scale_text) : 1;
  if (magic != "P6" || depth != 255 || scale < 1 || w != width * scale || h != height * scale) {
    frame.error = "grim gave " + magic + " " + std::to_string(w) + "x" + std::to_string(h) +
                  " for " + geometry + " at scale " + std::to_string(scale);
    return frame;
  }
  const std::string bytes{std::istreambuf_iterator<char>(ppm), {}};
  const int cell_h = height / rows;
  const int top = first_row * cell_h;
  frame.width = width;
  frame.height = first_row == 0 && row_count == rows ? height : row_count * cell_h;
  for (int row = top; row < top + frame.height; ++row) {
    for (int col = 0; col < width; ++col) {
      const size_t at =
          3 * (static_cast<size_t>(row) * scale * w + static_cast<size_t>(col) * scale);
      if (at + 2 >= bytes.size()) {
        frame.error = "grim's image is cut short";
        return frame;
      }
      frame.pixels.push_back(
          static_cast<unsigned long>(static_cast<unsigned char>(bytes[at])) << 16 |
          static_cast<unsigned long>(static_cast<unsigned char>(bytes[at + 1])) << 8 |
          static_cast<unsigned char>(bytes[at + 2]));
    }
  }
  return frame;
}

Frame Demo::grab(int first_row, int row_count) const {
  if (on_wayland()) {
    Frame frame = window_ == 0 ? Frame{}
                               : grab_wayland(logical_x_, logical_y_, logical_w_, logical_h_,
                                              first_row, row_count);
    analyse(frame, first_row, logical_w_ / cols, logical_h_ / rows);
    return frame;
  }
  Frame frame;
  XWindowAttributes attributes;
  if (window_ == 0 || !XGetWindowAttributes(display_, window_, &attributes)) {
    frame.error = "no window attributes";
    return frame;
  }
  const int cell_w = attributes.width / cols;
  const int cell_h = attributes.height / rows;
  const int top = first_row * cell_h;
  const int height = first_row == 0 && row_count == rows ? attributes.height : row_count * cell_h;
  XImage* image =
      height <= 0 ? nullptr
                  : XGetImage(display_, window_, 0, top, static_cast<unsigned>(attributes.width),
                              static_cast<unsigned>(height), AllPlanes, ZPixmap);
  if (image == nullptr) {
    frame.error = "XGetImage failed on a window at " + std::to_string(attributes.x) + "," +
                  std::to_string(attributes.y) + " of " + std::to_string(attributes.width) + "x" +
                  std::to_string(attributes.height) + ", map state " +
                  std::to_string(attributes.map_state) + ", on a screen of " +
                  std::to_string(WidthOfScreen(attributes.screen)) + "x" +
                  std::to_string(HeightOfScreen(attributes.screen)) +
                  " (a window larger than the screen cannot be read)";
    return frame;
  }
  frame.width = attributes.width;
  frame.height = height;
  frame.pixels.reserve(static_cast<size_t>(frame.width) * static_cast<size_t>(frame.height));
  // Where the image holds 32-bit words in this machine's byte order, as a
  // 24-bit visual does on x86, they are read directly: XGetPixel for every
  // pixel would cost more than the program under test.
  constexpr bool little_endian = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;
  const bool words =
      image->bits_per_pixel == 32 && image->byte_order == (little_endian ? LSBFirst : MSBFirst);
  for (int y = 0; y < frame.height; ++y) {
    const char* const line = image->data + static_cast<ptrdiff_t>(y) * image->bytes_per_line;
    for (int x = 0; x < frame.width; ++x) {
      std::uint32_t word = 0;
      if (words) {
        std::memcpy(&word, line + 4 * x, 4);
      } else {
        word = static_cast<std::uint32_t>(XGetPixel(image, x, y));
      }
      frame.pixels.push_back(word & 0xffffff);
    }
  }
  XDestroyImage(image);
  analyse(frame, first_row, cell_w, cell_h);
  return frame;
}

static void analyse(Frame& frame, int first_row, int cell_w, int cell_h) {
  if (cell_w == 0 || cell_h == 0 || frame.pixels.empty()) {
    return;
  }
  frame.background = frame.pixels[0];
  int farthest = 0;
  unsigned long farthest_pixel = frame.background;
  for (int y = 0; y < frame.height; ++y) {
    for (int x = 0; x < frame.width; ++x) {
      const unsigned long pixel = frame.pixels[static_cast<size_t>(y * frame.width + x)];
      if (pixel == frame.background) {
        continue;
      }
      const int col = x / cell_w;
      frame.ink_rows.insert(first_row + y / cell_h);
      frame.first_col = frame.first_col < 0 ? col : std::min(frame.first_col, col);
      frame.last_col = std::max(frame.last_col, col);
      if (distance(pixel, frame.background) > farthest) {
        farthest = distance(pixel, frame.background);
        farthest_pixel = pixel;
      }
    }
  }
  frame.ink = nearest(farthest_pixel);
}

Frame Demo::wait_for(const std::function<bool(const Frame&)>& done, const std::string& what,
                     Clock::duration timeout) const {
  const auto deadline = Clock::now() + timeout;
  Frame frame = grab();
  while (!done(frame)) {
    if (Clock::now() > deadline) {
      ADD_FAILURE() << "timed out waiting for " << what << "; last " << describe(frame);
      break;
    }
    std::this_thread::sleep_for(2ms);
    frame = grab();
  }
  return frame;
}

void Demo::press(KeySym key, bool down) const {
  if (on_wayland()) {
    static Keyboard keyboard;
    if (!keyboard.send(evdev_code(key), down)) {
      ADD_FAILURE() << "the virtual keyboard cannot type keysym 0x" << std::hex << key;
    }
    return;
  }
  const KeyCode code = XKeysymToKeycode(display_, key);
  if (code == 0) {
    ADD_FAILURE() << "no keycode for keysym 0x" << std::hex << key;
    return;
  }
  XTestFakeKeyEvent(display_, code, down ? True : False, CurrentTime);
  XFlush(display_);
}

void Demo::tap(KeySym key) const {
  press(key, true);
  press(key, false);
}

Frame Demo::changed_from(const Frame& before) const {
  return wait_for([&](const Frame& frame) { return frame.pixels != before.pixels; }, "a new frame");
}

Frame Demo::next_frame(KeySym key) {
  const Frame before = grab();
  tap(key);
  return changed_from(before);
}

void Demo::wait_idle() const {
  if (display_ != nullptr) {
    XSync(display_, False);
  }
  const auto deadline = Clock::now() + patience;
  while (Clock::now() < deadline) {
    const Activity before = activity(pid_);
    if (before.in_poll) {
      std::this_thread::sleep_for(20ms);
      const Activity after = activity(pid_);
      if (after.in_poll && after.switches == before.switches) {
        return;
      }
    }
    std::this_thread::sleep_for(2ms);
  }
  ADD_FAILURE() << "the demo did not settle into waiting";
}

void Demo::resize(int width, int height) const {
  XResizeWindow(display_, window_, static_cast<unsigned>(width), static_cast<unsigned>(height));
  XFlush(display_);
}

void Demo::close_window() const {
  if (on_wayland()) {
    // As the compositor's own close does: xdg_toplevel's close event.
    const std::string kill = "swaymsg '[pid=" + std::to_string(pid_) + "]' kill >/dev/null";
    EXPECT_EQ(std::system(kill.c_str()), 0) << kill;
    return;
  }
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window_;
  event.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(display_, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(display_, window_, False, NoEventMask, &event);
  XFlush(display_);
}

Ending Demo::wait_exit(Clock::time_point since) {
  Ending ending;
  pollfd exited{pidfd_, POLLIN, 0};
  const int waited_ms = static_cast<int>(std::chrono::milliseconds(patience).count());
  if (pid_ <= 0 || poll(&exited, 1, waited_ms) != 1) {
    ADD_FAILURE() << "the demo did not exit";
    return ending;
  }
  ending.took = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - since);
  waitpid(pid_, &ending.status, 0);
  pid_ = -1;
  ending.out = read_all(out_);
  ending.err = read_all(err_);
  if (on_wayland()) {
    // Mesa's EGL and Zink lines on a machine without a GPU are the
    // library's, not the program's; docs/libraries.md names them.
    std::istringstream lines(ending.err);
    ending.err.clear();
    for (std::string line; std::getline(lines, line);) {
      if (line.rfind("MESA", 0) != 0) {
        ending.err += line + "\n";
      }
    }
  }
  return ending;
}

bool exited_with(const Ending& ending, int code) {
  return WIFEXITED(ending.status) && WEXITSTATUS(ending.status) == code;
}

void DemoTest::SetUp() {
  if (on_wayland()) {
    return;
  }
  XSetErrorHandler(ignore_x_error);
  // A busy X server can leave its listen queue full for a moment, and Xlib
  // gives up at once when connect() answers EAGAIN; so try for a while.
  const auto deadline = Clock::now() + patience;
  while ((display = XOpenDisplay(nullptr)) == nullptr && std::getenv("DISPLAY") != nullptr &&
         Clock::now() < deadline) {
    std::this_thread::sleep_for(10ms);
  }
  ASSERT_NE(display, nullptr) << "these tests need an X server: run them under xvfb-run";
  int event_base;
  int error_base;
  int major;
  int minor;
  ASSERT_TRUE(XTestQueryExtension(display, &event_base, &error_base, &major, &minor))
      << "the X server has no XTest extension";
  const Visual* visual = DefaultVisual(display, DefaultScreen(display));
  ASSERT_EQ(visual->red_mask, 0xff0000UL) << "the tests read 24-bit RGB pixels";
  ASSERT_EQ(visual->blue_mask, 0x0000ffUL);
}

void DemoTest::TearDown() {
  if (display != nullptr) {
    XCloseDisplay(display);
  }
}

}  // namespace harness
