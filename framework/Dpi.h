// The display scale, for programs aware of it per monitor: the DPI a window is drawn at, and system
// metrics at a DPI, through the per-DPI calls of Windows 10 where the system has them, else from
// the system's own scale. Header only: the configuration program uses it without the framework.
#pragma once

#include <windows.h>

#include "framework/User32Function.h"

namespace framework {

// The scale of the primary monitor at sign-in, as every program saw it before per-monitor scales.
inline UINT SystemDpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

// The DPI a window is drawn at: its monitor's on Windows 10, else the system's.
inline UINT WindowDpi(HWND window) {
  const auto dpiForWindow = User32Function<UINT(WINAPI*)(HWND)>("GetDpiForWindow");
  const UINT dpi = dpiForWindow != nullptr && window != nullptr ? dpiForWindow(window) : 0;
  return dpi != 0 ? dpi : SystemDpi();
}

// A system metric (SM_...) at a DPI; at 0, as the system gives it to this process.
inline int MetricAt(int metric, UINT dpi) {
  if (dpi == 0) return GetSystemMetrics(metric);
  const auto metricsForDpi = User32Function<int(WINAPI*)(int, UINT)>("GetSystemMetricsForDpi");
  return metricsForDpi != nullptr ? metricsForDpi(metric, dpi) : MulDiv(GetSystemMetrics(metric), dpi, SystemDpi());
}

}  // namespace framework
