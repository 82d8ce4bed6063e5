// The display back end for a Wayland compositor: a headless sway, which
// scripts/test-wayland starts. Windows are found in sway's tree, pixels read
// with grim, keys typed on one virtual keyboard (tests/wayland/keys.c) and
// windows closed through sway's IPC.
#include "harness.hpp"

#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <sstream>

extern char** environ;

#ifndef ZAN_WL_KEYS
#define ZAN_WL_KEYS "zan-wl-keys"
#endif

namespace harness {
namespace {

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

// The virtual keyboard of tests/wayland/keys.c.
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
    if (!ready_ || code < 0) {
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

class Sway : public DisplayServer {
 public:
  // The seat has its keyboard before any demo starts: SDL binds one while it
  // starts, before its window exists, so wl_keyboard.enter reaches the demo,
  // on the same socket and ahead of any key, as soon as sway focuses it. A
  // keyboard that comes later reaches the demo only once it has bound it,
  // and keys sent before that are lost.
  Sway() : scale_(std::atof(output_of("swaymsg -t get_outputs | jq '.[0].scale'").c_str())) {
    keyboard();
  }

  void environment(std::map<std::string, std::string>& vars) const override {
    vars.erase("DISPLAY");
  }

  bool find(pid_t pid, Placement& window) override {
    std::istringstream placed(output_of(
        "swaymsg -t get_tree | jq -r '.. | objects | select(.pid? == " + std::to_string(pid) +
        " and .visible? and .focused?) | \"\\(.rect.x) \\(.rect.y) \\(.rect.width) "
        "\\(.rect.height) \\(.name)\"'"));
    if (!(placed >> window.x >> window.y >> window.width >> window.height)) {
      return false;
    }
    std::getline(placed >> std::ws, window.title);
    window.id = 1;
    return true;
  }

  // Every logical pixel is read at the physical pixel nearest its centre. At
  // a fractional scale sway smooths the window, so each is named by the
  // nearest of the demo's colours: a neighbour contributes at most a sixth.
  Frame read(const Placement& window, int first_row, int row_count) const override {
    Frame frame;
    const Image image = shot(window);
    if (!image.error.empty()) {
      frame.error = image.error;
      return frame;
    }
    frame.cell_w = window.width / cols;
    frame.cell_h = window.height / rows;
    const int top = first_row * frame.cell_h;
    frame.width = window.width;
    frame.height = first_row == 0 && row_count == rows ? window.height : row_count * frame.cell_h;
    for (int row = top; row < top + frame.height; ++row) {
      for (int col = 0; col < window.width; ++col) {
        const unsigned long pixel = image.at(physical(col), physical(row));
        frame.pixels.push_back(pixel_exact() ? pixel : nearest(pixel));
      }
    }
    return frame;
  }

  size_t colours(const Placement& window) const override {
    const Image image = shot(window);
    std::set<unsigned long> all;
    for (int y = 0; y < image.height; ++y) {
      for (int x = 0; x < image.width; ++x) {
        all.insert(image.at(x, y));
      }
    }
    return all.size();
  }

  bool pixel_exact() const override { return scale_ == std::floor(scale_); }

  bool press(KeySym key, bool down) override { return keyboard().send(evdev_code(key), down); }

  // As the compositor's own close does: xdg_toplevel's close event.
  void close(pid_t pid, const Placement& /*window*/) override {
    const std::string kill = "swaymsg '[pid=" + std::to_string(pid) + "]' kill >/dev/null";
    EXPECT_EQ(std::system(kill.c_str()), 0) << kill;
  }

  // Mesa's EGL and Zink lines on a machine without a GPU are the library's,
  // not the program's; docs/libraries.md names them.
  std::string own_lines(const std::string& err) const override {
    std::istringstream lines(err);
    std::string kept;
    for (std::string line; std::getline(lines, line);) {
      if (line.rfind("MESA", 0) != 0) {
        kept += line + "\n";
      }
    }
    return kept;
  }

 private:
  struct Image {
    int width = 0;
    int height = 0;
    std::string bytes;
    std::string error;
    unsigned long at(int x, int y) const {
      const size_t i =
          3 * (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x));
      return static_cast<unsigned long>(static_cast<unsigned char>(bytes[i])) << 16 |
             static_cast<unsigned long>(static_cast<unsigned char>(bytes[i + 1])) << 8 |
             static_cast<unsigned char>(bytes[i + 2]);
    }
  };

  static Keyboard& keyboard() {
    static Keyboard one;
    return one;
  }

  int physical(int logical) const { return static_cast<int>((logical + 0.5) * scale_); }

  // The window's rectangle as grim reads it, at the output's scale.
  Image shot(const Placement& window) const {
    const std::string geometry = std::to_string(window.x) + "," + std::to_string(window.y) + " " +
                                 std::to_string(window.width) + "x" + std::to_string(window.height);
    std::istringstream ppm(output_of("grim -t ppm -g '" + geometry + "' - 2>/dev/null"));
    Image image;
    std::string magic;
    int depth = 0;
    ppm >> magic >> image.width >> image.height >> depth;
    ppm.get();
    image.bytes.assign(std::istreambuf_iterator<char>(ppm), {});
    const bool whole = image.bytes.size() ==
                       3 * static_cast<size_t>(image.width) * static_cast<size_t>(image.height);
    if (magic != "P6" || depth != 255 || !whole || window.width == 0 ||
        image.width < physical(window.width - 1) + 1 ||
        image.height < physical(window.height - 1) + 1) {
      image.error = "grim gave " + magic + " " + std::to_string(image.width) + "x" +
                    std::to_string(image.height) + " for " + geometry + " at scale " +
                    std::to_string(scale_);
    }
    return image;
  }

  double scale_;
};

}  // namespace

std::unique_ptr<DisplayServer> open_wayland() { return std::make_unique<Sway>(); }

}  // namespace harness
