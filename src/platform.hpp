// What the program does differently on each platform: how it settles in, how
// a failure reaches the user, how a signal or a console event ends the run,
// how it waits for an event, and how the run's end reaches whoever started
// it. One file implements it for each platform (platform_posix.cpp,
// platform_windows.cpp, platform_web.cpp), the desktop ones with what they
// share in platform_desktop.cpp; the build chooses them.
#pragma once

#include <string>

// First thing in main, before the library starts: where the program runs
// from, and that a signal or console event ends the run while the window
// opens.
void zan_platform_settle_in();

// Shows a failure's one line where the user who started the program sees it.
void zan_platform_report(const std::string& line);

// Once the window is open, a signal ends the run as closing the window does:
// through SDL's quit event. Returns 0, or the error that prevents it.
int zan_platform_forward_signals();

// Blocks until SDL has an event queued, without using the processor; false
// if SDL cannot wait.
bool zan_platform_wait();

// Called as main returns: hands the run's status on. From then on the exit
// that follows (a leak check, say) is not cut short by a signal's grace.
int zan_platform_ended(int status);
