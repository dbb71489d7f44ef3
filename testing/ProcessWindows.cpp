// Top-level windows of a process, found by enumerating the desktop's windows.
#include "testing/ProcessWindows.h"

#include <shellapi.h>
#include <tlhelp32.h>

#include "cunfigure/ConfigDialog.h"

namespace processwindows {

namespace {
struct WindowsOfProcess {
  DWORD processId;
  std::vector<HWND> windows;
};

BOOL CALLBACK CollectWindowOfProcess(HWND window, LPARAM parameter) {
  auto* collected = reinterpret_cast<WindowsOfProcess*>(parameter);
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  if (processId == collected->processId) collected->windows.push_back(window);
  return TRUE;
}
}  // namespace

std::vector<HWND> TopLevelWindowsOf(DWORD processId) {
  WindowsOfProcess collected{processId, {}};
  EnumWindows(CollectWindowOfProcess, reinterpret_cast<LPARAM>(&collected));
  return collected.windows;
}

std::string ClassOf(HWND window) {
  char className[256] = "";
  GetClassNameA(window, className, sizeof className);
  return className;
}

HWND FindProcessWindow(DWORD processId, const std::string& className, bool visibleOnly) {
  for (HWND window : TopLevelWindowsOf(processId)) {
    if (ClassOf(window) == className && (!visibleOnly || IsWindowVisible(window))) return window;
  }
  return nullptr;
}

HWND WaitForProcessWindow(DWORD processId, const std::string& className, bool visibleOnly, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (HWND window = FindProcessWindow(processId, className, visibleOnly)) return window;
    if (GetTickCount() - start >= timeoutMs) return nullptr;
    Sleep(20);
  }
}

std::vector<DWORD> ProcessesOf(const std::string& path) {
  std::vector<DWORD> found;
  const framework::UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32First(snapshot.get(), &entry); more; more = Process32Next(snapshot.get(), &entry)) {
    const framework::UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
    char image[MAX_PATH * 2] = "";
    DWORD size = sizeof image;
    if (process && QueryFullProcessImageNameA(process.get(), 0, image, &size) && lstrcmpiA(image, path.c_str()) == 0) {
      found.push_back(entry.th32ProcessID);
    }
  }
  return found;
}

HWND ShownTrayIconWindow(DWORD processId) {
  for (HWND window : TopLevelWindowsOf(processId)) {
    if (ClassOf(window) != "TUtilityWindow") continue;
    NOTIFYICONDATAA probe{};
    probe.cbSize = NOTIFYICONDATAA_V1_SIZE;
    probe.hWnd = window;
    probe.uID = 1;
    if (Shell_NotifyIconA(NIM_MODIFY, &probe)) return window;
  }
  return nullptr;
}

HWND WaitForShownTrayIconWindow(DWORD processId, DWORD timeoutMs) {
  for (const DWORD start = GetTickCount();; Sleep(50)) {
    if (HWND window = ShownTrayIconWindow(processId)) return window;
    if (GetTickCount() - start >= timeoutMs) return nullptr;
  }
}

framework::ProcessHandles StartProgram(const std::string& commandLine, const std::string& directory, DWORD& error) {
  std::string writable = commandLine;  // CreateProcessA may write into it
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessA(nullptr, writable.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      directory.empty() ? nullptr : directory.c_str(), &startup, &info)) {
    error = GetLastError();
    return {};
  }
  error = ERROR_SUCCESS;
  return framework::ProcessHandles::Adopt(info);
}

void SaveInConfigurationWindow(HWND window, const std::string& mail, const std::string& proxy) {
  for (const auto& [id, text] :
       {std::pair{configure::kMailEditId, &mail}, std::pair{configure::kProxyEditId, &proxy}}) {
    const int length = MultiByteToWideChar(CP_ACP, 0, text->c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<size_t>(length > 0 ? length : 1), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text->c_str(), -1, wide.data(), length);
    SendMessageW(GetDlgItem(window, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()));
  }
  PostMessageW(GetDlgItem(window, IDOK), BM_CLICK, 0, 0);
}

StayingProgram::StayingProgram(const std::string& program, const std::string& options, DWORD readyTimeoutMs) {
  char temp[MAX_PATH] = "";
  GetTempPathA(MAX_PATH, temp);
  static LONG made = 0;  // several may run at once in one process
  marker_ = std::string(temp) + "staying-" + std::to_string(GetCurrentProcessId()) + "-" +
            std::to_string(InterlockedIncrement(&made)) + ".ready";
  DeleteFileA(marker_.c_str());
  commandLine_ = "\"" + program + "\" --stay --marker \"" + marker_ + "\" " + options;
  std::string writable = commandLine_;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessA(nullptr, writable.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
    startError_ = GetLastError();
    return;
  }
  handles_ = framework::ProcessHandles::Adopt(info);
  const DWORD start = GetTickCount();
  while (!(ready_ = GetFileAttributesA(marker_.c_str()) != INVALID_FILE_ATTRIBUTES) &&
         GetTickCount() - start < readyTimeoutMs) {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    Sleep(10);
  }
}

std::string StayingProgram::Describe() const {
  if (startError_ != ERROR_SUCCESS)
    return commandLine_ + ": CreateProcess failed with error " + std::to_string(startError_);
  return commandLine_ + (ready_ ? "" : ": no marker written");
}

void StayingProgram::End() {
  if (handles_.process) {
    TerminateProcess(handles_.process.get(), 0);
    WaitForSingleObject(handles_.process.get(), 10000);
    handles_.process.reset();
  }
  DeleteFileA(marker_.c_str());
}

}  // namespace processwindows
