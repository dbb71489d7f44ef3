// The configuration window at a display scale.
#include "cunfigure/DialogScale.h"

#include "framework/Dpi.h"

namespace configure {

HFONT MessageFontAt(UINT dpi) {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  using ParametersForDpi = BOOL(WINAPI*)(UINT, UINT, void*, UINT, UINT);
  const auto parametersForDpi = framework::User32Function<ParametersForDpi>("SystemParametersInfoForDpi");
  if (parametersForDpi != nullptr) {
    if (!parametersForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi)) return nullptr;
  } else {
    if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) return nullptr;
    metrics.lfMessageFont.lfHeight = MulDiv(metrics.lfMessageFont.lfHeight, dpi, framework::SystemDpi());
  }
  return CreateFontIndirectW(&metrics.lfMessageFont);
}

SIZE FrameSize(UINT dpi, SIZE client, DWORD style, DWORD extendedStyle) {
  RECT frame{0, 0, MulDiv(client.cx, static_cast<int>(dpi), 96), MulDiv(client.cy, static_cast<int>(dpi), 96)};
  using AdjustForDpi = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
  const auto adjustForDpi = framework::User32Function<AdjustForDpi>("AdjustWindowRectExForDpi");
  if (adjustForDpi == nullptr || !adjustForDpi(&frame, style, FALSE, extendedStyle, dpi)) {
    AdjustWindowRectEx(&frame, style, FALSE, extendedStyle);
  }
  return {frame.right - frame.left, frame.bottom - frame.top};
}

}  // namespace configure
