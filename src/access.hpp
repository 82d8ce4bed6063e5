// What the player's own screen reader is told: the text the window shows,
// each time the program waits for a key. One file implements it for each
// platform (access_atk.cpp: AT-SPI2, which Orca reads, on Linux and the
// BSDs; access_uia.cpp: UI Automation on Windows; access_none.cpp where
// there is none; on the page, platform_web.cpp); the build chooses one.
#pragma once

#include <string>

// The platform's part. zan_access_start runs once, at the first frame, and
// says whether anything can be told at all; zan_access_changed is handed
// each text that differs from the last.
bool zan_access_start();
void zan_access_changed(const std::string& text);

// Called by the platform's wait with the window's text, once a frame is
// presented; cheap when the text is the same as before, and when there is
// nobody to tell.
inline void zan_access_show(const std::string& text) {
  // One of each in the program, made at the first call: an inline
  // function's statics are not a header's.
  // NOLINTBEGIN(bugprone-dynamic-static-initializers)
  static const bool started = zan_access_start();
  static std::string shown;
  // NOLINTEND(bugprone-dynamic-static-initializers)
  if (started && text != shown) {
    shown = text;
    zan_access_changed(text);
  }
}
