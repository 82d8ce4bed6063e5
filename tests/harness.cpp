#include "harness.hpp"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace harness {

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

std::string read_all(int fd) {
  std::string text;
  char buffer[4096];
  ssize_t n;
  while ((n = read(fd, buffer, sizeof buffer)) > 0) {
    text.append(buffer, static_cast<size_t>(n));
  }
  return text;
}

// Under Wine a thread that waits for a message reads its wait pipe, whose
// other end the process holds too; one that waits for the wineserver's
// answer to a call reads a pipe whose other end only the server holds.
bool reads_own_pipe(pid_t pid, int fd) {
  const std::string folder = "/proc/" + std::to_string(pid) + "/fd/";
  std::error_code error;
  const auto pipe = std::filesystem::read_symlink(folder + std::to_string(fd), error);
  int ends = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    std::error_code gone;
    ends += std::filesystem::read_symlink(entry.path(), gone) == pipe ? 1 : 0;
  }
  return !error && pipe.string().rfind("pipe:", 0) == 0 && ends == 2;
}

// The demo's main thread and whether it sits in poll(), which is where SDL
// blocks while nothing is queued; under Wine, in read() on its wait pipe.
struct Activity {
  bool in_poll = false;
  std::string switches;
};

Activity activity(pid_t pid) {
  Activity now;
  std::ifstream syscall("/proc/" + std::to_string(pid) + "/syscall");
  long number = -1;
  std::string fd = "-1";
  syscall >> number >> fd;
  now.in_poll = number == SYS_poll || number == SYS_ppoll ||
                (wine && number == SYS_read && reads_own_pipe(pid, std::stoi(fd, nullptr, 16)));
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("voluntary_ctxt_switches:", 0) == 0) {
      now.switches = line;
    }
  }
  return now;
}

}  // namespace

// Under ctest, the cases run in the suite's own session (tests/session),
// never the user's: the harness starts again through tests/in-session,
// which gives it, and the demos it starts, that session's display and bus.
[[maybe_unused]] const bool in_own_session = [] {
  if (std::getenv("ZAN_TEST_SESSION") == nullptr) {
    return false;
  }
  std::vector<std::string> words{ZAN_SOURCE_DIR "/tests/in-session"};
  std::ifstream cmdline("/proc/self/cmdline");
  for (std::string word; std::getline(cmdline, word, '\0');) {
    words.push_back(word);
  }
  std::vector<char*> argv;
  for (std::string& word : words) {
    argv.push_back(word.data());
  }
  argv.push_back(nullptr);
  execv(argv[0], argv.data());
  std::fprintf(stderr, "could not start %s: %s\n", argv[0], std::strerror(errno));
  std::exit(1);
}();

unsigned long nearest(unsigned long colour) {
  unsigned long best = black;
  for (const unsigned long named : {black, white, red, blue}) {
    if (distance(colour, named) < distance(colour, best)) {
      best = named;
    }
  }
  return best;
}

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

std::string output_of(const std::string& command) {
  FILE* const pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) {
    return "";
  }
  std::string text = read_all(fileno(pipe));
  pclose(pipe);
  return text;
}

unsigned long Frame::at(int x, int y) const {
  if (x < 0 || y < 0 || x >= width || y >= height ||
      pixels.size() != static_cast<size_t>(width) * static_cast<size_t>(height)) {
    throw std::out_of_range("pixel (" + std::to_string(x) + ", " + std::to_string(y) +
                            ") read from a frame of " + std::to_string(width) + "x" +
                            std::to_string(height) + " holding " + std::to_string(pixels.size()) +
                            " pixels");
  }
  return pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
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

size_t DisplayServer::colours(const Placement& window) const {
  const Frame frame = read(window, 0, rows);
  return std::set<unsigned long>(frame.pixels.begin(), frame.pixels.end()).size();
}

std::string Demo::demo_dir() {
  const std::string path = ZAN_DEMO_PATH;
  const char* const session = std::getenv("ZAN_SESSION");
  return std::string(ZAN_UNPACKED).empty() || session == nullptr
             ? path.substr(0, path.rfind('/'))
             : session + std::string("/" ZAN_UNPACKED);
}

std::string Demo::demo_path() {
  return std::string(ZAN_UNPACKED).empty() ? ZAN_DEMO_PATH : demo_dir() + "/" ZAN_DEMO_PATH;
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

Demo::Demo(DisplayServer& server, const Env& env, const std::string& program,
           const std::string& cwd, bool sigint_ignored)
    : server_(server) {
  std::map<std::string, std::string> vars;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    const auto equals = text.find('=');
    vars[text.substr(0, equals)] = equals == std::string::npos ? "" : text.substr(equals + 1);
  }
  server.environment(vars);
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
  // A shell may start us with SIGINT ignored, and the child would inherit
  // that; posix_spawn keeps an ignored signal ignored, so to start the demo
  // ignoring SIGINT, ignore it here meanwhile.
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t defaults;
  sigset_t none;
  sigemptyset(&none);
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGTERM);
  if (!sigint_ignored) {
    sigaddset(&defaults, SIGINT);
  }
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
  void (*const before)(int) = sigint_ignored ? std::signal(SIGINT, SIG_IGN) : nullptr;
  started_ = Clock::now();
  const int failed = posix_spawn(&pid_, argv[0], &actions, &attr, argv, envp.data());
  if (sigint_ignored) {
    std::signal(SIGINT, before);
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
  while (pid_ > 0 && Clock::now() < deadline) {
    window_ = Placement{};
    if (server_.find(pid_, window_)) {
      return true;
    }
    std::this_thread::sleep_for(1ms);
  }
  ADD_FAILURE() << "the window did not appear";
  return false;
}

Frame Demo::grab(int first_row, int row_count) const {
  Frame frame = server_.read(window_, first_row, row_count);
  if (frame.cell_w == 0 || frame.cell_h == 0 || frame.pixels.empty()) {
    return frame;
  }
  frame.background = frame.at(0, 0);
  int farthest = 0;
  unsigned long farthest_pixel = frame.background;
  for (int y = 0; y < frame.height; ++y) {
    for (int x = 0; x < frame.width; ++x) {
      const unsigned long pixel = frame.at(x, y);
      if (pixel == frame.background) {
        continue;
      }
      const int col = x / frame.cell_w;
      frame.ink_rows.insert(first_row + y / frame.cell_h);
      frame.first_col = frame.first_col < 0 ? col : std::min(frame.first_col, col);
      frame.last_col = std::max(frame.last_col, col);
      if (distance(pixel, frame.background) > farthest) {
        farthest = distance(pixel, frame.background);
        farthest_pixel = pixel;
      }
    }
  }
  frame.ink = farthest_pixel;
  return frame;
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
  if (!server_.press(key, down)) {
    ADD_FAILURE() << "cannot type keysym 0x" << std::hex << key;
  }
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
  server_.sync();
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

void Demo::close_window() const { server_.close(pid_, window_); }

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
  ending.err = server_.own_lines(read_all(err_));
  return ending;
}

bool exited_with(const Ending& ending, int code) {
  return WIFEXITED(ending.status) && WEXITSTATUS(ending.status) == code;
}

// The one place the display server is chosen.
void DemoTest::SetUp() {
  if (std::getenv("ZAN_TEST_WAYLAND") == nullptr) {
    server = open_x11();
  } else {
#ifdef ZAN_TEST_HAS_WAYLAND
    server = open_wayland();
#else
    FAIL() << "ZAN_TEST_WAYLAND is set, but the tests were built without libwayland-dev";
#endif
  }
  ASSERT_NE(server, nullptr);
  display = server->xlib();
}

void X11Test::SetUp() {
  DemoTest::SetUp();
  if (!HasFatalFailure() && display == nullptr) {
    GTEST_SKIP() << "this case drives the X server itself, and the display server is not one";
  }
}

}  // namespace harness
