// Program entry: the application object, the configuration data module, then the launcher window,
// in this fixed order (the window's creation handler reads the data module), then the message loop.
// A second start for the same settings only brings the running launcher's mail forward.
#include <windows.h>

#include "app/ComData.h"
#include "app/MailWatch.h"
#include "app/MainWin.h"
#include "framework/Application.h"
#include "framework/SystemDllSearch.h"

int WINAPI WinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, LPSTR /*commandLine*/, int /*show*/) {
  framework::SearchSystemFolderForDlls();
  // A windowed program has no console. Wine gives it the console of a console program that started
  // it, and then it could not look into its proxy's console to ask it to close.
  FreeConsole();
  framework::TApplication application;
  application.Initialize();
  // The launcher has no window to show a report in: an error is never a message box.
  application.SetOnException([](const std::exception&) {});
  application.CreateForm(CommonData);
  if (!CommonData->ClaimSettingsFile()) {
    // A launcher already runs for these settings: its mail comes forward, nothing starts twice.
    BringTopMailWindowForward();
    return 0;
  }
  application.CreateForm(Form1);
  application.Run();
  return 0;
}
