// What the desktop platforms (platform_posix.cpp, platform_windows.cpp)
// share, in platform_desktop.cpp: the wait, and main's status once it is
// returning, which an end forced by a signal or a console event keeps.
#pragma once

// Whether main is returning (zan_platform_ended was called).
bool zan_desktop_returning();

// The status a forced end gives the process: 0, as closing the window
// does, but main's own once main is returning. Safe in a signal handler.
int zan_desktop_status();
