// Real mouse input at screen points, as the user's mouse gives it, and where the shell's taskbar is:
// for the demo driver and the end-to-end tests that click the tray icon and its menu.
#pragma once

#include <windows.h>

namespace mouseinput {

// Moves the pointer to the point.
void MoveTo(int x, int y);
// Moves the pointer to the point and presses and releases a button there (down/up: the
// MOUSEEVENTF_ flags of the button).
void Click(int x, int y, DWORD down, DWORD up);

// The shown taskbar, waited for up to timeoutMs (null when none came): in a fresh session the shell
// shows it only once there is something to put on it. Wine's shell may also have a hidden window of
// the taskbar's class, found first at times, whose rectangle is empty.
HWND WaitForShownTaskbar(DWORD timeoutMs);

// Right-clicks the notification area's rightmost icon (the newest: the one of the program under
// test) until a menu of the process shows, waiting up to waitMs after each of the clicks: the shell
// may lay a new icon out a moment late, and a slow program its menu, so the user clicks again. The
// shown menu, or null.
HWND OpenTrayMenu(DWORD processId, int clicks, DWORD waitMs);
// Clicks the middle of a menu of one item, which the item fills.
void ClickOnlyMenuItem(HWND menu);

}  // namespace mouseinput
