// Size reference: the bare Win32 program plus std::string and std::vector use, built and linked as
// the launcher is: what the C++ runtime alone adds. bench/exe-sizes.sh compares the launcher with it.
#include <windows.h>

#include <string>
#include <vector>

namespace {
LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}
}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPSTR commandLine, int show) {
  // The title and the words of the command line go through the two containers.
  std::vector<std::string> words;
  std::string word;
  for (const char* p = commandLine; *p != '\0'; ++p) {
    if (*p == ' ') {
      if (!word.empty()) words.push_back(word);
      word.clear();
    } else {
      word += *p;
    }
  }
  if (!word.empty()) words.push_back(word);
  std::string title = "Bare window";
  for (const std::string& each : words) title += " " + each;

  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = "BareWindowStrings";
  if (RegisterClassA(&windowClass) == 0) return 1;
  HWND window = CreateWindowExA(0, windowClass.lpszClassName, title.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                CW_USEDEFAULT, 320, 200, nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return 1;
  ShowWindow(window, show);
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return static_cast<int>(message.wParam);
}
