// The launcher's configuration program: edits the two settings of "TolvaneOndrel.ini" beside it
// (section "Path": "Mail", the mail client's command line, and "Ondrel", the mail proxy's path).
//
//   Cunfigure                        a small window with the two fields, OK and Cancel
//   Cunfigure /set <mail> <ondrel>   writes the two values without asking
#include <windows.h>

#include <cstring>
#include <string>

#include "framework/Paths.h"

namespace {
constexpr char kSection[] = "Path";
constexpr char kMailKey[] = "Mail";
constexpr char kProxyKey[] = "Ondrel";
constexpr int kMailEdit = 101;
constexpr int kProxyEdit = 102;

std::string SettingsPath() { return framework::ExtractFilePath(framework::ModuleFileName()) + "TolvaneOndrel.ini"; }

std::string ReadSetting(const char* key) {
  char value[2048] = "";
  GetPrivateProfileStringA(kSection, key, "", value, sizeof value, SettingsPath().c_str());
  return value;
}

bool WriteSettings(const std::string& mail, const std::string& proxy) {
  const std::string path = SettingsPath();
  const bool written = WritePrivateProfileStringA(kSection, kMailKey, mail.c_str(), path.c_str()) &&
                       WritePrivateProfileStringA(kSection, kProxyKey, proxy.c_str(), path.c_str());
  WritePrivateProfileStringA(nullptr, nullptr, nullptr, path.c_str());  // flush to the file now
  return written;
}

std::string EditText(HWND window, int id) {
  char text[2048] = "";
  GetDlgItemTextA(window, id, text, sizeof text);
  return text;
}

void AddControl(HWND parent, const char* className, const char* text, DWORD style, int x, int y, int width,
                int height, int id) {
  HWND control = CreateWindowExA(std::strcmp(className, "EDIT") == 0 ? WS_EX_CLIENTEDGE : 0, className, text,
                                 WS_CHILD | WS_VISIBLE | style, x, y, width, height, parent,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr), nullptr);
  SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), TRUE);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      AddControl(window, "STATIC", "メールの起動コマンド (Mail):", 0, 12, 12, 400, 18, -1);
      AddControl(window, "EDIT", ReadSetting(kMailKey).c_str(), WS_TABSTOP | ES_AUTOHSCROLL, 12, 32, 420, 22, kMailEdit);
      AddControl(window, "STATIC", "プロキシのパス (Ondrel):", 0, 12, 64, 400, 18, -1);
      AddControl(window, "EDIT", ReadSetting(kProxyKey).c_str(), WS_TABSTOP | ES_AUTOHSCROLL, 12, 84, 420, 22, kProxyEdit);
      AddControl(window, "BUTTON", "OK", WS_TABSTOP | BS_DEFPUSHBUTTON, 252, 120, 86, 26, IDOK);
      AddControl(window, "BUTTON", "キャンセル", WS_TABSTOP, 346, 120, 86, 26, IDCANCEL);
      return 0;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) {
        if (!WriteSettings(EditText(window, kMailEdit), EditText(window, kProxyEdit))) {
          MessageBoxA(window, "設定ファイルに書き込めません。", "Cunfigure", MB_OK | MB_ICONERROR);
          return 0;
        }
        DestroyWindow(window);
      } else if (LOWORD(wParam) == IDCANCEL) {
        DestroyWindow(window);
      }
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}
}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  if (__argc == 4 && _stricmp(__argv[1], "/set") == 0) return WriteSettings(__argv[2], __argv[3]) ? 0 : 1;

  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = "Cunfigure";
  RegisterClassA(&windowClass);
  HWND window = CreateWindowExA(WS_EX_DLGMODALFRAME, "Cunfigure", "TOLVANE 設定",
                                WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, CW_USEDEFAULT, CW_USEDEFAULT, 460, 190,
                                nullptr, nullptr, instance, nullptr);
  ShowWindow(window, show);
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    if (!IsDialogMessageA(window, &message)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
  return 0;
}
