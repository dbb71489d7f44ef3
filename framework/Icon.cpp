// Icon object, and the small-icon size of a display scale.
#include "framework/Icon.h"

namespace framework {

namespace {
// A user32 function of Windows 10 and later, or null.
template <class Function>
Function User32Function(const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("user32.dll"), name)));
}
}  // namespace

int SmallIconSize(UINT dpi) {
  using MetricsForDpi = int(WINAPI*)(int, UINT);
  const auto metricsForDpi = dpi != 0 ? User32Function<MetricsForDpi>("GetSystemMetricsForDpi") : nullptr;
  return metricsForDpi != nullptr ? metricsForDpi(SM_CXSMICON, dpi) : GetSystemMetrics(SM_CXSMICON);
}

UINT WindowDpi(HWND window) {
  using DpiForWindow = UINT(WINAPI*)(HWND);
  const auto dpiForWindow = User32Function<DpiForWindow>("GetDpiForWindow");
  return dpiForWindow != nullptr && window != nullptr ? dpiForWindow(window) : 0;
}

void TIcon::AssignSized(const TIcon& other, int size) {
  icon_.reset(other.Empty() ? nullptr
                            : static_cast<HICON>(CopyImage(other.Handle(), IMAGE_ICON, size, size, LR_COPYFROMRESOURCE)));
}

bool TIcon::LoadFromResource(const char* name, HMODULE module, int size) {
  if (module == nullptr) module = GetModuleHandleA(nullptr);
  // Not LR_SHARED: this object owns the icon and destroys it.
  icon_.reset(static_cast<HICON>(LoadImageA(module, name, IMAGE_ICON, size, size, size == 0 ? LR_DEFAULTSIZE : 0)));
  return !Empty();
}

}  // namespace framework
