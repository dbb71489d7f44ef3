// Window procedures bound to their object: the object comes in as lpCreateParams at WM_NCCREATE, is
// kept in GWLP_USERDATA and forgotten at WM_NCDESTROY; every message in between goes to a member
// procedure, and no exception crosses back into the system's dispatch code.
#pragma once

#include <windows.h>

namespace framework {

// Reports an exception that reached a window procedure (defined with the application object).
void ReportWindowProcedureException();

template <class T>
LRESULT DispatchToBoundObject(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                              LRESULT (T::*procedure)(HWND, UINT, WPARAM, LPARAM)) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  T* object = reinterpret_cast<T*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (message == WM_NCDESTROY) SetWindowLongPtrA(window, GWLP_USERDATA, 0);
  if (object == nullptr) return DefWindowProcA(window, message, wParam, lParam);
  try {
    return (object->*procedure)(window, message, wParam, lParam);
  } catch (...) {
    ReportWindowProcedureException();
    return 0;
  }
}

}  // namespace framework
