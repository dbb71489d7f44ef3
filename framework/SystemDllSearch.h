// Keeps the DLLs that system code loads by name at run time (the open-file dialog, ShellExecuteEx,
// icon extraction, the visual styles) out of the program's own folder: a program run from the
// Downloads folder would otherwise load a DLL someone left beside it. Header-only, so Cunfigure can
// use it without linking the framework.
#pragma once

#include <windows.h>

namespace framework {

// Call it first in WinMain, before anything loads a DLL by name.
inline void SearchSystemFolderForDlls() {
  // Looked up: Vista and a 7 without its loader update lack it.
  const auto searchOnly = reinterpret_cast<BOOL(WINAPI*)(DWORD)>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories")));
  if (searchOnly != nullptr) {
    searchOnly(LOAD_LIBRARY_SEARCH_SYSTEM32);
  } else {
    // There the program's folder stays first; at least the current directory leaves the search.
    SetDllDirectoryW(L"");
  }
}

}  // namespace framework
