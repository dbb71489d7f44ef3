// The configuration window at a display scale: the system's message font and the window's outer
// size, through the per-DPI calls of Windows 10 where the system has them.
#pragma once

#include <windows.h>

namespace configure {

// The system's message font at a display scale: on Windows it links in a Japanese face wherever one
// is installed. Null when the system gives no metrics.
HFONT MessageFontAt(UINT dpi);
// The outer size of a window of these styles whose client area is client (in pixels at 96 DPI),
// drawn at dpi.
SIZE FrameSize(UINT dpi, SIZE client, DWORD style, DWORD extendedStyle);

}  // namespace configure
