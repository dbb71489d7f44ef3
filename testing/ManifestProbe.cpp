// Tells what a process running under an application manifest got from it: built once with each
// shipped program's manifest as its own (testing/ManifestProbe*.rc), run by tests/ManifestTest.cpp.
// Prints one line:
//   awareness=<its thread's DPI awareness: 0 unaware, 1 system, 2 per monitor; -1 no such call>
//   v2=<1 when that is per monitor version 2> knowsV2=<1 when the system has version 2>
//   cueBanner=<1 when an edit control takes a cue banner, which only common controls 6 do>
#include <windows.h>

#include <commctrl.h>

#include <cstdio>

#include "framework/User32Function.h"

namespace {

using framework::User32Function;

struct DpiReport {
  int awareness = -1;
  int version2 = 0;
  int knowsVersion2 = 0;
};

// Looked up: the calls are Windows 10's.
DpiReport DpiAwareness() {
  DpiReport report;
  const auto threadContext = User32Function<DPI_AWARENESS_CONTEXT(WINAPI*)()>("GetThreadDpiAwarenessContext");
  const auto awarenessOf =
      User32Function<DPI_AWARENESS(WINAPI*)(DPI_AWARENESS_CONTEXT)>("GetAwarenessFromDpiAwarenessContext");
  const auto equal =
      User32Function<BOOL(WINAPI*)(DPI_AWARENESS_CONTEXT, DPI_AWARENESS_CONTEXT)>("AreDpiAwarenessContextsEqual");
  const auto valid = User32Function<BOOL(WINAPI*)(DPI_AWARENESS_CONTEXT)>("IsValidDpiAwarenessContext");
  if (threadContext == nullptr || awarenessOf == nullptr || equal == nullptr || valid == nullptr) return report;
  const DPI_AWARENESS_CONTEXT context = threadContext();
  report.awareness = awarenessOf(context);
  report.version2 = equal(context, DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2) ? 1 : 0;
  report.knowsVersion2 = valid(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2) ? 1 : 0;
  return report;
}

// Cunfigure starts its common controls the same way.
bool TakesCueBanner() {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  HWND edit = CreateWindowExW(0, L"Edit", L"", WS_POPUP, 0, 0, 100, 20, nullptr, nullptr, nullptr, nullptr);
  const bool taken = SendMessageW(edit, EM_SETCUEBANNER, FALSE, reinterpret_cast<LPARAM>(L"cue")) != 0;
  DestroyWindow(edit);
  return taken;
}

}  // namespace

int main() {
  const DpiReport dpi = DpiAwareness();
  std::printf("awareness=%d v2=%d knowsV2=%d cueBanner=%d\n", dpi.awareness, dpi.version2, dpi.knowsVersion2,
              TakesCueBanner() ? 1 : 0);
  return 0;
}
