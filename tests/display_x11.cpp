// The display back end for an X server: Xvfb, for the Linux build and for
// the Windows build under Wine. Windows are found by _NET_WM_PID, pixels
// read with XGetImage, keys pressed through XTest and windows closed with
// WM_DELETE_WINDOW.
// First: GoogleTest's names clash with Xlib's macros.
#include "harness.hpp"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <thread>

namespace harness {
namespace {

// The test reads windows that may vanish under it; an X error must fail the
// step that caused it, not end the test program.
int ignore_x_error(Display* /*display*/, XErrorEvent* /*error*/) { return 0; }

// Sends one of the WM_PROTOCOLS messages, as a window manager does.
void send_protocol(Display* display, Window window, Atom protocol) {
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(protocol);
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(display, window, False, NoEventMask, &event);
}

class X11 : public DisplayServer {
 public:
  explicit X11(Display* display) : display_(display) {}
  ~X11() override { XCloseDisplay(display_); }
  X11(const X11&) = delete;
  X11& operator=(const X11&) = delete;

  // Not the user's Wayland desktop, which SDL 3 would try first. The
  // runtime folder stays the session's own, which holds no Wayland socket,
  // and goes with the session, with what the accessibility bridge of a demo
  // that was killed leaves in it.
  void environment(std::map<std::string, std::string>& vars) const override {
    vars.erase("WAYLAND_DISPLAY");
    vars.erase("WAYLAND_SOCKET");
  }

  bool find(pid_t pid, Placement& window) override {
    const Atom wm_pid = XInternAtom(display_, "_NET_WM_PID", False);
    Window root;
    Window parent;
    Window* children = nullptr;
    unsigned count = 0;
    XQueryTree(display_, DefaultRootWindow(display_), &root, &parent, &children, &count);
    for (unsigned i = 0; i < count && window.id == 0; ++i) {
      Atom type;
      int format;
      unsigned long items;
      unsigned long left;
      unsigned char* data = nullptr;
      XWindowAttributes attributes;
      if (XGetWindowProperty(display_, children[i], wm_pid, 0, 1, False, XA_CARDINAL, &type,
                             &format, &items, &left, &data) == Success &&
          data != nullptr && items == 1 &&
          static_cast<pid_t>(*reinterpret_cast<unsigned long*>(data)) == pid &&
          XGetWindowAttributes(display_, children[i], &attributes) &&
          attributes.map_state == IsViewable) {
        window.id = children[i];
      }
      if (data != nullptr) {
        XFree(data);
      }
    }
    if (children != nullptr) {
      XFree(children);
    }
    if (window.id == 0) {
      return false;
    }
    char* name = nullptr;
    if (XFetchName(display_, window.id, &name) != 0 && name != nullptr) {
      window.title = name;
      XFree(name);
    }
    if (gives_focus) {
      give_focus(display_, window.id);
    }
    return true;
  }

  Frame read(const Placement& window, int first_row, int row_count) const override {
    Frame frame;
    XWindowAttributes attributes;
    if (window.id == 0 || !XGetWindowAttributes(display_, window.id, &attributes)) {
      frame.error = "no window attributes";
      return frame;
    }
    frame.cell_w = attributes.width / cols;
    frame.cell_h = attributes.height / rows;
    const int top = first_row * frame.cell_h;
    const int height =
        first_row == 0 && row_count == rows ? attributes.height : row_count * frame.cell_h;
    XImage* image = height <= 0 ? nullptr
                                : XGetImage(display_, window.id, 0, top,
                                            static_cast<unsigned>(attributes.width),
                                            static_cast<unsigned>(height), AllPlanes, ZPixmap);
    if (image == nullptr) {
      frame.error = "XGetImage failed on a window of " + std::to_string(attributes.width) + "x" +
                    std::to_string(attributes.height) + ", map state " +
                    std::to_string(attributes.map_state) +
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
    return frame;
  }

  bool press(KeySym key, bool down) override {
    const KeyCode code = XKeysymToKeycode(display_, key);
    if (code == 0) {
      return false;
    }
    XTestFakeKeyEvent(display_, code, down ? True : False, CurrentTime);
    XFlush(display_);
    return true;
  }

  void close(pid_t /*pid*/, const Placement& window) override {
    send_protocol(display_, window.id, XInternAtom(display_, "WM_DELETE_WINDOW", False));
    XFlush(display_);
  }

  void sync() const override { XSync(display_, False); }
  Display* xlib() const override { return display_; }

 private:
  Display* display_;
};

}  // namespace

// With no window manager, keys go to the X focus window. Wine also waits for
// WM_TAKE_FOCUS before it makes its window active again, once it has lost
// the focus: until then it drops every key.
void give_focus(Display* display, Window window) {
  XSetInputFocus(display, window, RevertToPointerRoot, CurrentTime);
  const Atom take_focus = XInternAtom(display, "WM_TAKE_FOCUS", False);
  Atom* protocols = nullptr;
  int count = 0;
  if (XGetWMProtocols(display, window, &protocols, &count) != 0) {
    if (std::find(protocols, protocols + count, take_focus) != protocols + count) {
      send_protocol(display, window, take_focus);
    }
    XFree(protocols);
  }
  XSync(display, False);
}

std::unique_ptr<DisplayServer> open_x11() {
  XSetErrorHandler(ignore_x_error);
  // A busy X server can leave its listen queue full for a moment, and Xlib
  // gives up at once when connect() answers EAGAIN; so try for a while.
  const auto deadline = Clock::now() + patience;
  Display* display = nullptr;
  while ((display = XOpenDisplay(nullptr)) == nullptr && std::getenv("DISPLAY") != nullptr &&
         Clock::now() < deadline) {
    std::this_thread::sleep_for(10ms);
  }
  if (display == nullptr) {
    ADD_FAILURE() << "these tests need an X server: run them under xvfb-run";
    return nullptr;
  }
  auto server = std::make_unique<X11>(display);
  int event_base;
  int error_base;
  int major;
  int minor;
  const Visual* visual = DefaultVisual(display, DefaultScreen(display));
  if (XTestQueryExtension(display, &event_base, &error_base, &major, &minor) &&
      visual->red_mask == 0xff0000UL && visual->blue_mask == 0x0000ffUL) {
    return server;
  }
  ADD_FAILURE() << "the tests need XTest and read 24-bit RGB pixels";
  return nullptr;
}

}  // namespace harness
