// What the planted test DLL (testing/PlantedDll.cpp) does when a program loads it, for the tests that
// look for it.
#pragma once

#include <windows.h>

namespace testsupport {

// The exit code of a process that loaded the planted DLL.
inline constexpr DWORD kPlantedDllExitCode = 0x0D11;
// The file the DLL leaves beside itself once loaded, holding the path of the program that loaded it.
inline constexpr char kPlantedDllMarkerSuffix[] = ".loaded";

}  // namespace testsupport
