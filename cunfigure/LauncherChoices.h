// The window's two choices for the launcher beside the settings file, applied once they are saved:
// start it now, as a user would (so a first run goes on in one go), and start it at sign-in through
// the user's Run key (LauncherStart.h), replacing another copy's value only when the user says so.
#pragma once

#include <functional>
#include <string>

namespace configure {

struct LauncherChoices {
  bool startNow = false;
  bool signIn = false;
};

// Applies choices for the launcher at launcherPath, given the Run value as it was when the window
// opened. ask puts a yes/no question to the user; tell shows a warning (something could not be done).
// asSignedInUser tells whether this program runs as the signed-in user with the shell's rights
// (RunsAsTheSignedInUser): if not, the launcher is started through the shell, and the Run value,
// which belongs to the signed-in user, is left as it is.
void ApplyLauncherChoices(const LauncherChoices& choices, const std::wstring& launcherPath,
                          const std::wstring& signInValue, const std::function<bool(const std::wstring&)>& ask,
                          const std::function<void(const std::wstring&)>& tell, bool asSignedInUser);

}  // namespace configure
