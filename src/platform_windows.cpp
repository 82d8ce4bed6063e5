// The program on Windows: it shows no console of its own beside the window,
// a failure goes to the terminal it was started from or else to a message
// box, and Ctrl+C, Ctrl+Break or closing that terminal end the run as
// closing the window does.
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <string>

#include "platform.hpp"
#include "platform_desktop.hpp"
#include "sdl.hpp"

namespace {

// How long a console event's quit event may take to end the run before the
// process simply ends, as it must when the window hangs.
const int quit_grace_ms = 500;

// The longest path Windows allows, in UTF-16 units.
const DWORD longest_path = 32768;

std::atomic<bool> forwarding{false};  // whether the window is open
std::atomic<int> events{0};           // the console events taken so far
bool stderr_seen = true;              // whether a failure's line on stderr reaches anyone

// Windows calls this on a thread of its own, each event on another. While
// the window opens the library may never return, so the process ends at
// once; so it does on a second event, which asks again to end a slow exit,
// even during the first one's grace. An event ends a run with status 0, as
// closing the window does, but main's own status stands once it is returning.
BOOL WINAPI on_console_event(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) {
    return FALSE;
  }
  const bool first = ++events == 1;
  if (first && forwarding.load() && !zan_desktop_returning()) {
    zan_sdl_push_quit();
    Sleep(quit_grace_ms);
  }
  if (first && zan_desktop_returning()) {
    Sleep(INFINITE);  // main's own exit ends the process, with main's status
  }
  TerminateProcess(GetCurrentProcess(), static_cast<UINT>(zan_desktop_status()));
  return TRUE;
}

}  // namespace

// Started from Explorer or a shortcut, the program gets a console of its own
// (Windows 11 24H2 and later make none: see the manifest), an empty window
// beside the game that ends the run when closed: it goes. From a terminal the
// console is shared, and stays for errors and Ctrl+C. A launcher may start
// the program with no console at all. Wherever it starts, the program runs in
// its own folder, where the library finds the tileset, as the Linux launcher
// does. A Ctrl+C that the parent had us ignore is never passed to a handler.
// A stderr that goes to a pipe or a file, as a launcher or a script may have
// it, is read there, console or none.
void zan_platform_settle_in() {
  const DWORD err_type = GetFileType(GetStdHandle(STD_ERROR_HANDLE));
  std::array<DWORD, 2> processes{};
  const DWORD sharing = GetConsoleProcessList(processes.data(), processes.size());
  const bool no_console = sharing == 0 || (sharing == 1 && FreeConsole() != 0);
  stderr_seen = !no_console || err_type == FILE_TYPE_PIPE || err_type == FILE_TYPE_DISK;
  std::wstring path(longest_path, L'\0');
  path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
  const auto folder = path.find_last_of(L'\\');
  if (folder != std::wstring::npos) {
    SetCurrentDirectoryW(path.substr(0, folder).c_str());
  }
  SetConsoleCtrlHandler(on_console_event, TRUE);
}

// Otherwise a message box says it, but only on a desktop someone sees: a
// modal box in a service's or a scheduled task's hidden window station would
// wait for ever.
void zan_platform_report(const std::string& line) {
  if (stderr_seen) {
    std::fprintf(stderr, "%s\n", line.c_str());
    return;
  }
  USEROBJECTFLAGS flags{};
  const HWINSTA station = GetProcessWindowStation();
  if (station != nullptr &&
      GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, nullptr) != 0 &&
      (flags.dwFlags & WSF_VISIBLE) != 0) {
    zan_sdl_show_error("windowname", line.c_str());
  }
}

int zan_platform_forward_signals() {
  forwarding = true;
  return 0;
}
