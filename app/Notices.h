// The notices the launcher shows from its tray icon when a program it starts cannot be started, or
// the proxy ends by itself: what failed, its path or command line (shortened to fit), the system's
// reason or the exit code, and what a click does.
// UTF-16, so that they read right whatever the system's code page.
#pragma once

#include <windows.h>

#include <string>

// Filled by the functions below (no initializers: a zeroed copy of it would sit in the program).
struct TNotice {
  wchar_t title[64];
  wchar_t text[256];
};

// A program the launcher starts could not be started: what names it, target
// is its path or command line (in the system's code page), error the system's code. A click on the
// notice opens the settings.
TNotice StartFailedNotice(const wchar_t* what, const std::string& target, DWORD error);
// There are no settings, and the configuration program at path could not be started either.
TNotice ConfigurationProgramNotice(const std::string& path, DWORD error);
// The mail proxy at path ended by itself, with exitCode, while the mail ran. A click on the notice
// starts it again.
TNotice ProxyEndedNotice(const std::string& path, DWORD exitCode);
