// What the player's own screen reader is told: the text the window shows,
// each time the program waits for a key. One file implements it for each
// platform (access_atk.cpp: AT-SPI2, which Orca reads, on Linux and the
// BSDs; access_none.cpp where there is none yet); the build chooses one. The
// page tells its own screen reader (platform_web.cpp).
#pragma once

#include <string>

// Called by the platform's wait with the window's text, once a frame is
// presented; cheap when the text is the same as before.
void zan_access_show(const std::string& text);
