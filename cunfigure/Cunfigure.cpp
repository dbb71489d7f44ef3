// The launcher's configuration program: edits the two settings of "TolvaneOndrel.ini" beside it
// (section "Path": "Mail", the mail client's command line, and "Ondrel", the mail proxy's path).
//
//   Cunfigure                        the settings window (ConfigDialog.h); exit code 0 when it saved,
//                                    1 when it was closed without saving
//   Cunfigure /startlauncher         the same, its box that starts the launcher once saved ticked
//                                    (a launcher's notice sends the user here)
//   Cunfigure /set <mail> <ondrel>   writes the two values without asking; exit code 0 when saved,
//                                    else the system's code for what failed
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
// The exit code is the system's code for what failed (a copy started elevated hands it back).
DWORD SetValues(const std::wstring& mail, const std::wstring& proxy) {
  std::string mailBytes;
  std::string proxyBytes;
  if (configure::CheckValue(mail, mailBytes) != configure::ValueProblem::None ||
      configure::CheckValue(proxy, proxyBytes) != configure::ValueProblem::None) {
    return ERROR_INVALID_DATA;
  }
  const configure::SaveResult result =
      configure::SaveSettings(configure::SettingsFileBesideProgram(), mailBytes, proxyBytes);
  if (result.status == configure::SaveStatus::Saved) return ERROR_SUCCESS;
  return result.error != ERROR_SUCCESS ? result.error : ERROR_INVALID_DATA;
}
}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  framework::SearchSystemFolderForDlls();
  int count = 0;
  LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  const bool start = arguments != nullptr && count == 5 && lstrcmpiW(arguments[4], L"/start") == 0;
  if (arguments != nullptr && (count == 4 || start) && lstrcmpiW(arguments[1], L"/set") == 0) {
    DWORD code = SetValues(arguments[2], arguments[3]);
    LocalFree(arguments);
    if (code == ERROR_SUCCESS && start) {
      const std::wstring ini = configure::SettingsFileBesideProgram();
      const std::wstring launcher = configure::LauncherIn(ini.substr(0, ini.find_last_of(L'\\')));
      if (launcher.empty()) {
        code = ERROR_FILE_NOT_FOUND;
      } else if (!configure::StartLauncher(launcher, code)) {
        if (code == ERROR_SUCCESS) code = ERROR_GEN_FAILURE;
      }
    }
    return static_cast<int>(code);
  }
  const bool startLauncher = arguments != nullptr && count == 2 && lstrcmpiW(arguments[1], L"/startlauncher") == 0;
  if (arguments != nullptr) LocalFree(arguments);

  configure::ConfigDialog dialog(configure::SettingsFileBesideProgram(), startLauncher);
  return dialog.Run(instance, show) ? 0 : 1;
}
