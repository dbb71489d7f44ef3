// Looks up a user32 function that only newer Windows has (the per-DPI calls of Windows 10), so a
// program that uses it still starts on older systems.
#pragma once

#include <windows.h>

namespace framework {

// The function named name, or null when this Windows has none.
template <class Function>
Function User32Function(const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("user32.dll"), name)));
}

}  // namespace framework
