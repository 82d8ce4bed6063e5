// The display back end for a Wayland compositor: a headless sway, which
// tests/wayland/under-sway starts. Windows are found in sway's tree, pixels read
// with grim, keys typed on a virtual keyboard (zwp_virtual_keyboard_v1) and
// windows closed through sway's IPC.
#include "harness.hpp"

#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <sstream>

#include "virtual-keyboard-unstable-v1-client-protocol.h"

namespace harness {
namespace {

// One virtual keyboard on sway's seat for the whole test program, since
// keyboards made per key lose keys.
class Keyboard {
 public:
  Keyboard() : display_(wl_display_connect(nullptr)) {
    if (display_ == nullptr) {
      return;
    }
    wl_registry_add_listener(wl_display_get_registry(display_), &listener, this);
    wl_display_roundtrip(display_);
    if (seat_ == nullptr || manager_ == nullptr) {
      return;
    }
    keyboard_ = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(manager_, seat_);
    // The keymap every desktop starts with: US, evdev codes.
    xkb_context* const context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    const xkb_rule_names names = {"evdev", "pc105", "us", "", ""};
    xkb_keymap* const keymap =
        xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
    char* const text =
        keymap == nullptr ? nullptr : xkb_keymap_get_as_string(keymap, XKB_KEYMAP_FORMAT_TEXT_V1);
    const int fd = memfd_create("keymap", MFD_CLOEXEC);
    const size_t size = text == nullptr ? 0 : std::strlen(text) + 1;
    if (size > 0 && fd >= 0 && write(fd, text, size) == static_cast<ssize_t>(size)) {
      zwp_virtual_keyboard_v1_keymap(keyboard_, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd,
                                     static_cast<uint32_t>(size));
      ready_ = wl_display_roundtrip(display_) >= 0;
    }
    close(fd);
    std::free(text);
    xkb_keymap_unref(keymap);
    xkb_context_unref(context);
  }
  // Sends one key event, by its evdev code, and returns once sway has it.
  bool send(int code, bool down) {
    if (!ready_ || code < 0) {
      return false;
    }
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch());
    zwp_virtual_keyboard_v1_key(keyboard_, static_cast<uint32_t>(ms.count()),
                                static_cast<uint32_t>(code), down ? 1 : 0);
    return wl_display_roundtrip(display_) >= 0;
  }

 private:
  static void global(void* data, wl_registry* registry, uint32_t name, const char* interface,
                     uint32_t /*version*/) {
    auto* const self = static_cast<Keyboard*>(data);
    if (std::strcmp(interface, wl_seat_interface.name) == 0) {
      self->seat_ = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    } else if (std::strcmp(interface, zwp_virtual_keyboard_manager_v1_interface.name) == 0) {
      self->manager_ = static_cast<zwp_virtual_keyboard_manager_v1*>(
          wl_registry_bind(registry, name, &zwp_virtual_keyboard_manager_v1_interface, 1));
    }
  }
  static void global_remove(void* /*data*/, wl_registry* /*registry*/, uint32_t /*name*/) {}
  static constexpr wl_registry_listener listener = {global, global_remove};

  wl_display* display_;
  wl_seat* seat_ = nullptr;
  zwp_virtual_keyboard_manager_v1* manager_ = nullptr;
  zwp_virtual_keyboard_v1* keyboard_ = nullptr;
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
  // There sway also blends the outermost pixels with what lies outside the
  // window; the demo draws nothing there, so they are read from within.
  Frame read(const Placement& window, int first_row, int row_count) const override {
    const Frame image = shot(window);
    Frame frame;
    frame.error = image.error;
    frame.cell_w = window.width / cols;
    frame.cell_h = window.height / rows;
    const int top = first_row * frame.cell_h;
    frame.width = window.width;
    frame.height = first_row == 0 && row_count == rows ? window.height : row_count * frame.cell_h;
    for (int row = top; row < top + frame.height && image.error.empty(); ++row) {
      for (int col = 0; col < window.width; ++col) {
        const int x = pixel_exact() ? col : std::clamp(col, 1, window.width - 2);
        const int y = pixel_exact() ? row : std::clamp(row, 1, window.height - 2);
        const unsigned long pixel =
            image.pixels[static_cast<size_t>(physical(y) * image.width + physical(x))];
        frame.pixels.push_back(pixel_exact() ? pixel : nearest(pixel));
      }
    }
    return frame;
  }

  size_t colours(const Placement& window) const override {
    const Frame image = shot(window);
    return std::set<unsigned long>(image.pixels.begin(), image.pixels.end()).size();
  }

  bool pixel_exact() const override { return scale_ == std::floor(scale_); }

  bool press(KeySym key, bool down) override { return keyboard().send(evdev_code(key), down); }
  bool types(KeySym key) const override { return evdev_code(key) >= 0; }

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
  static Keyboard& keyboard() {
    static Keyboard one;
    return one;
  }

  int physical(int logical) const { return static_cast<int>((logical + 0.5) * scale_); }

  // The window's rectangle as grim reads it, at the output's scale.
  Frame shot(const Placement& window) const {
    const std::string geometry = std::to_string(window.x) + "," + std::to_string(window.y) + " " +
                                 std::to_string(window.width) + "x" + std::to_string(window.height);
    std::istringstream ppm(output_of("grim -t ppm -g '" + geometry + "' - 2>/dev/null"));
    Frame image;
    std::string magic;
    int depth = 0;
    ppm >> magic >> image.width >> image.height >> depth;
    ppm.get();
    const std::string bytes{std::istreambuf_iterator<char>(ppm), {}};
    const auto byte = [&](size_t i) { return static_cast<unsigned long>(uint8_t(bytes[i])); };
    for (size_t i = 0; i + 2 < bytes.size(); i += 3) {
      image.pixels.push_back(byte(i) << 16 | byte(i + 1) << 8 | byte(i + 2));
    }
    if (magic != "P6" || depth != 255 || window.width == 0 ||
        image.pixels.size() !=
            static_cast<size_t>(image.width) * static_cast<size_t>(image.height) ||
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
