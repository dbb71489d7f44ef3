// Program entry: the application object, the configuration data module, then the launcher window,
// in this fixed order (the window's creation handler reads the data module), then the message loop.
#include <windows.h>

#include "app/ComData.h"
#include "app/MainWin.h"
#include "framework/Application.h"
#include "framework/SystemDllSearch.h"

int WINAPI WinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, LPSTR /*commandLine*/, int /*show*/) {
  framework::SearchSystemFolderForDlls();
  framework::TApplication application;
  application.Initialize();
  // The launcher has no window to show a report in: an error is never a message box.
  application.SetOnException([](const std::exception&) {});
  application.CreateForm(CommonData);
  application.CreateForm(Form1);
  application.Run();
  return 0;
}
