// Starting the launcher beside the configuration program: now, as a user would (so a first run goes
// on in one go), and at sign-in, through a value under the user's own Run key (HKCU, the standard
// per-user autostart), named for the launcher, whose data is the launcher's full path in quotes.
// Nothing is ever written for another user or for the whole machine.
#pragma once

#include <windows.h>

#include <string>

namespace configure {

inline constexpr wchar_t kLauncherFileName[] = L"TolvaneLauncher.exe";
inline constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr wchar_t kRunValueName[] = L"TolvaneLauncher";

// The launcher in a folder; empty when it is not there.
std::wstring LauncherIn(const std::wstring& folder);
// Starts the launcher as opening it from its folder does; false (with the system's code) when not.
bool StartLauncher(const std::wstring& launcherPath, DWORD& error);

// Whether this program runs as the signed-in user with the rights of the desktop's shell: the same
// account, and elevated only if the shell is too. Not so once elevated by the system's prompt, or
// elevated as another account: what it started would run with its rights, and the user's HKCU
// would be that account's.
bool RunsAsTheSignedInUser();
// Starts the launcher through the desktop's shell (its shell dispatch), which runs it as the
// signed-in user with the shell's rights; false (with the system's code) when the shell cannot.
bool StartLauncherThroughShell(const std::wstring& launcherPath, DWORD& error);

// What the Run value holds for a launcher: its path in quotes.
std::wstring SignInCommand(const std::wstring& launcherPath);

// The Run value's data as it stands; empty when there is none.
std::wstring SignInValue();
// Whether the value starts this launcher (its path, quoted or not, in any letter case).
bool StartsAtSignIn(const std::wstring& value, const std::wstring& launcherPath);
// Writes the value for the launcher, or removes it; false (with the system's code) when refused.
bool SetSignInStart(const std::wstring& launcherPath, DWORD& error);
bool RemoveSignInStart(DWORD& error);

}  // namespace configure
