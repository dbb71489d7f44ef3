// A DLL for the DLL-planting tests, copied beside a program under the name of a DLL that system code
// loads at run time. Loaded, it leaves its marker file beside itself, holding the path of the program
// that loaded it, then ends that process at once: it has none of the real DLL's functions, and a
// program calling into it would only crash somewhere less telling.
#include <windows.h>

#include "testing/PlantedDll.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  char marker[MAX_PATH + sizeof testsupport::kPlantedDllMarkerSuffix];
  const DWORD length = GetModuleFileNameA(instance, marker, MAX_PATH);
  if (length > 0 && length < MAX_PATH) {
    lstrcpyA(marker + length, testsupport::kPlantedDllMarkerSuffix);
    HANDLE file = CreateFileA(marker, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      char program[MAX_PATH];
      const DWORD programLength = GetModuleFileNameA(nullptr, program, MAX_PATH);
      DWORD written = 0;
      WriteFile(file, program, programLength, &written, nullptr);
      CloseHandle(file);
    }
  }
  TerminateProcess(GetCurrentProcess(), testsupport::kPlantedDllExitCode);
  return FALSE;
}
