// Hidden utility windows bound to a handler object.
#include "framework/UtilityWindow.h"

#include "framework/BoundWindow.h"

namespace framework {

namespace {
constexpr char kUtilityClassName[] = "TUtilityWindow";

void RegisterUtilityClass() {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = DefWindowProcA;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = kUtilityClassName;
  RegisterClassA(&windowClass);  // fails harmlessly once the class exists
}
}  // namespace

UtilityWindow::UtilityWindow(Procedure procedure) : procedure_(std::move(procedure)) {
  RegisterUtilityClass();
  window_.reset(CreateWindowExA(WS_EX_TOOLWINDOW, kUtilityClassName, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr));
  if (window_) {
    // The handler takes over only after creation, so the creation messages (WM_NCCREATE among
    // them) keep the default answers whatever the handler returns.
    SetWindowLongPtrA(window_.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrA(window_.get(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&UtilityWindow::WindowProc));
  }
}

UtilityWindow::~UtilityWindow() {
  if (window_) {
    SetWindowLongPtrA(window_.get(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&DefWindowProcA));
    SetWindowLongPtrA(window_.get(), GWLP_USERDATA, 0);
  }
  window_.reset();
}

LRESULT CALLBACK UtilityWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<UtilityWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcA(window, message, wParam, lParam);
  try {
    return self->procedure_(window, message, wParam, lParam);
  } catch (...) {
    // No exception may cross into the system's dispatch code.
    ReportWindowProcedureException();
    return 0;
  }
}

}  // namespace framework
