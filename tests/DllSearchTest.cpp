// Neither shipped program loads a DLL someone left beside it (in the Downloads folder, say): a copy
// of each runs from a folder that also holds the planted DLL (testing/PlantedDll.cpp).
//
// What Wine 8 lets a test see: it takes its own copy of most system DLLs wherever a file of the same
// name lies, unless its per-program DLL overrides say "native,builtin", which makes it search as
// Windows does. With that, the launcher's window code loads uxtheme.dll by name from the launcher's
// folder once WinMain has begun. Cunfigure loads uxtheme.dll too, but while its common controls
// start, before WinMain (as a static import does, out of its reach); what it loads later is either
// a DLL Wine never takes from a program's folder or a delay import of Wine's own DLLs, which Wine
// looks up on the old search path whatever the program set. For it the test asks the running
// process itself to load a DLL that lies only in its folder, as system code would by name.
#include <gtest/gtest.h>

#include <windows.h>

#include <tlhelp32.h>

#include <string>

#include "framework/Handles.h"
#include "framework/Paths.h"
#include "testing/PlantedDll.h"
#include "tests/TestSupport.h"

using testsupport::BuiltProgram;
using testsupport::TempDir;

namespace {

// Makes Wine search for one DLL as Windows does (the program's folder first) in the programs of one
// name, for the life of the object; the keys it had to make go again.
class NativeFirstFor {
 public:
  NativeFirstFor(const std::string& program, const char* dll)
      : programKey_("Software\\Wine\\AppDefaults\\" + program), dll_(dll) {
    madeProgramKey_ = Make(programKey_);
    madeOverridesKey_ = Make(OverridesKey());
    const char order[] = "native,builtin";
    RegSetKeyValueA(HKEY_CURRENT_USER, OverridesKey().c_str(), dll_, REG_SZ, order, sizeof order);
  }
  ~NativeFirstFor() {
    RegDeleteKeyValueA(HKEY_CURRENT_USER, OverridesKey().c_str(), dll_);
    if (madeOverridesKey_) RegDeleteKeyA(HKEY_CURRENT_USER, OverridesKey().c_str());
    if (madeProgramKey_) RegDeleteKeyA(HKEY_CURRENT_USER, programKey_.c_str());
  }
  NativeFirstFor(const NativeFirstFor&) = delete;
  NativeFirstFor& operator=(const NativeFirstFor&) = delete;

 private:
  std::string OverridesKey() const { return programKey_ + "\\DllOverrides"; }
  // Whether the key was not there before.
  static bool Make(const std::string& key) {
    HKEY handle = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_READ, nullptr, &handle, &disposition) !=
        ERROR_SUCCESS) {
      return false;
    }
    RegCloseKey(handle);
    return disposition == REG_CREATED_NEW_KEY;
  }

  std::string programKey_;
  const char* dll_;
  bool madeProgramKey_ = false;
  bool madeOverridesKey_ = false;
};

// A copy of a built program in a folder of its own, with the planted DLL beside it under a name.
class PlantedFolder {
 public:
  PlantedFolder(const char* program, const std::string& dllName)
      : program_(folder_ / program), planted_(folder_ / dllName) {
    copied_ = CopyFileA(BuiltProgram(program).c_str(), program_.c_str(), FALSE) &&
              CopyFileA(BuiltProgram("PlantedDll.dll").c_str(), planted_.c_str(), FALSE);
  }

  bool Copied() const { return copied_; }
  const std::string& Program() const { return program_; }
  // Empty while the planted DLL has not run; else the path of the program it ran in.
  std::string LoadedBy() const {
    const std::string marker = planted_ + testsupport::kPlantedDllMarkerSuffix;
    return testsupport::FileExists(marker) ? testsupport::ReadFileBytes(marker) : std::string();
  }

 private:
  TempDir folder_;
  std::string program_;
  std::string planted_;
  bool copied_ = false;
};

// A copy started with another current directory (so only the search in its own folder can find the
// DLL), waited for until it waits for input or ends; ended with the object.
class StartedCopy {
 public:
  explicit StartedCopy(const std::string& program) {
    DWORD error = ERROR_SUCCESS;
    process_ = processwindows::StartProgram("\"" + program + "\"", elsewhere_.Path(), error);
    if (!process_.process) return;
    idle_ = WaitForInputIdle(process_.process.get(), 30000);
  }
  ~StartedCopy() { End(); }
  StartedCopy(const StartedCopy&) = delete;
  StartedCopy& operator=(const StartedCopy&) = delete;

  // It came up to wait for input; Wine says so of a process that has ended too, so ask Running as well.
  bool Idle() const { return idle_ == 0; }
  bool Running() const { return WaitForSingleObject(process_.process.get(), 0) == WAIT_TIMEOUT; }
  DWORD ExitCode() const {
    DWORD code = 0;
    GetExitCodeProcess(process_.process.get(), &code);
    return code;
  }
  HANDLE Process() const { return process_.process.get(); }
  DWORD ProcessId() const { return process_.processId; }
  void End() {
    if (Running()) {
      TerminateProcess(process_.process.get(), 1);
      WaitForSingleObject(process_.process.get(), 5000);
    }
  }

 private:
  TempDir elsewhere_;  // its current directory, kept until it has ended
  framework::ProcessHandles process_;
  DWORD idle_ = WAIT_FAILED;
};

// The full path of the module of that name in the process; empty when it has none.
std::string LoadedModule(DWORD processId, const char* name) {
  framework::UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, processId));
  MODULEENTRY32 module{};
  module.dwSize = sizeof module;
  for (BOOL more = Module32First(snapshot.get(), &module); more; more = Module32Next(snapshot.get(), &module)) {
    if (lstrcmpiA(module.szModule, name) == 0) return module.szExePath;
  }
  return {};
}

// Whether a folder is the system's: its own, or the one of 32-bit DLLs that a 32-bit program on a
// 64-bit system may be told it loaded them from.
bool IsSystemFolder(const std::string& path) {
  char system[MAX_PATH] = "";
  char wow64[MAX_PATH] = "";
  GetSystemDirectoryA(system, MAX_PATH);
  const bool hasWow64 = GetSystemWow64DirectoryA(wow64, MAX_PATH) != 0;
  return lstrcmpiA(path.c_str(), system) == 0 || (hasWow64 && lstrcmpiA(path.c_str(), wow64) == 0);
}

// Calls LoadLibraryA(name) on a new thread in the process; the low half of its result (0: none).
DWORD LoadLibraryIn(HANDLE process, const std::string& name) {
  void* remoteName = VirtualAllocEx(process, nullptr, name.size() + 1, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  if (remoteName == nullptr) return 0;
  // kernel32 lies at the same address in every process of a session.
  const auto loadLibrary = reinterpret_cast<LPTHREAD_START_ROUTINE>(
      reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "LoadLibraryA")));
  DWORD result = 0;
  if (WriteProcessMemory(process, remoteName, name.c_str(), name.size() + 1, nullptr)) {
    framework::UniqueHandle thread(CreateRemoteThread(process, nullptr, 0, loadLibrary, remoteName, 0, nullptr));
    if (thread && WaitForSingleObject(thread.get(), 10000) == WAIT_OBJECT_0) GetExitCodeThread(thread.get(), &result);
  }
  VirtualFreeEx(process, remoteName, 0, MEM_RELEASE);
  return result;
}

}  // namespace

TEST(DllSearch, TheLauncherLoadsTheVisualStylesDllFromTheSystemNotFromItsFolder) {
  PlantedFolder folder("TolvaneLauncher.exe", "uxtheme.dll");
  ASSERT_TRUE(folder.Copied());
  const NativeFirstFor searchAsWindowsDoes("TolvaneLauncher.exe", "uxtheme");
  // No settings beside it: it makes its window, does not find Cunfigure.exe and waits to close.
  StartedCopy launcher(folder.Program());
  ASSERT_TRUE(launcher.Idle() && launcher.Running())
      << "it did not come up; exit code " << launcher.ExitCode() << ", the DLL beside it ran in "
      << folder.LoadedBy();
  const std::string loaded = LoadedModule(launcher.ProcessId(), "uxtheme.dll");
  launcher.End();

  EXPECT_EQ(folder.LoadedBy(), "") << "the DLL beside it ran in it";
  EXPECT_TRUE(IsSystemFolder(framework::ExtractFileDir(loaded)))
      << "uxtheme.dll came from " << (loaded.empty() ? "nowhere" : loaded);
}

TEST(DllSearch, CunfigureOnceStartedLoadsNoDllFromItsFolder) {
  PlantedFolder folder("Cunfigure.exe", "PlantedDll.dll");
  ASSERT_TRUE(folder.Copied());
  StartedCopy cunfigure(folder.Program());
  ASSERT_TRUE(cunfigure.Idle() && cunfigure.Running()) << "its window did not come up";
  const DWORD module = LoadLibraryIn(cunfigure.Process(), "PlantedDll.dll");
  const bool stillRunning = cunfigure.Running();
  cunfigure.End();

  EXPECT_EQ(folder.LoadedBy(), "") << "the DLL beside it ran in it";
  EXPECT_TRUE(stillRunning) << "exit code " << cunfigure.ExitCode();
  EXPECT_EQ(module, 0u);
}
