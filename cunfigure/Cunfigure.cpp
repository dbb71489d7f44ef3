// The launcher's configuration program: edits the two settings of "TolvaneOndrel.ini" beside it
// (section "Path": "Mail", the mail client's command line, and "Ondrel", the mail proxy's path).
//
//   Cunfigure                        the settings window (ConfigDialog.h); exit code 0 when it saved,
//                                    1 when it was closed without saving
//   Cunfigure /startlauncher         the same, its box that starts the launcher once saved ticked
//                                    (a launcher's notice sends the user here)
//   Cunfigure /set <mail> <ondrel>   writes the two values without asking; exit code 0 when saved
//   Cunfigure /set <mail> <ondrel> /start
//                                    the same, then starts the launcher beside it as a user would
//                                    (exit code 0 when both were done)
#include <windows.h>

#include <shellapi.h>

#include <string>

#include "framework/SystemDllSearch.h"
#include "cunfigure/ConfigDialog.h"
#include "cunfigure/ConfigSettings.h"
#include "cunfigure/LauncherStart.h"

namespace {
// Writes the values with the same checks and the same safe save as the window, without asking.
int SetValues(const std::wstring& mail, const std::wstring& proxy) {
  std::string mailBytes;
  std::string proxyBytes;
  if (configure::CheckValue(mail, mailBytes) != configure::ValueProblem::None ||
      configure::CheckValue(proxy, proxyBytes) != configure::ValueProblem::None) {
    return 1;
  }
  const configure::SaveResult result =
      configure::SaveSettings(configure::SettingsFileBesideProgram(), mailBytes, proxyBytes);
  return result.status == configure::SaveStatus::Saved ? 0 : 1;
}
}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  framework::SearchSystemFolderForDlls();
  int count = 0;
  LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  const bool start = arguments != nullptr && count == 5 && lstrcmpiW(arguments[4], L"/start") == 0;
  if (arguments != nullptr && (count == 4 || start) && lstrcmpiW(arguments[1], L"/set") == 0) {
    int code = SetValues(arguments[2], arguments[3]);
    LocalFree(arguments);
    if (code == 0 && start) {
      const std::wstring ini = configure::SettingsFileBesideProgram();
      const std::wstring launcher = configure::LauncherIn(ini.substr(0, ini.find_last_of(L'\\')));
      DWORD error = ERROR_SUCCESS;
      if (launcher.empty() || !configure::StartLauncher(launcher, error)) code = 1;
    }
    return code;
  }
  const bool startLauncher = arguments != nullptr && count == 2 && lstrcmpiW(arguments[1], L"/startlauncher") == 0;
  if (arguments != nullptr) LocalFree(arguments);

  configure::ConfigDialog dialog(configure::SettingsFileBesideProgram(), startLauncher);
  return dialog.Run(instance, show) ? 0 : 1;
}
