// Starting the launcher at sign-in, through the user's Run key.
#include "cunfigure/LauncherStart.h"

#include <exdisp.h>
#include <shellapi.h>
#include <shldisp.h>
#include <shlobj.h>

#include <vector>

#include "framework/Handles.h"

namespace configure {

std::wstring LauncherIn(const std::wstring& folder) {
  if (folder.empty()) return {};
  const std::wstring path = folder + L"\\" + kLauncherFileName;
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ? path : std::wstring();
}

bool StartLauncher(const std::wstring& launcherPath, DWORD& error) {
  const std::wstring folder = launcherPath.substr(0, launcherPath.find_last_of(L'\\'));
  SHELLEXECUTEINFOW execute{};
  execute.cbSize = sizeof execute;
  execute.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
  execute.lpVerb = L"open";
  execute.lpFile = launcherPath.c_str();
  execute.lpDirectory = folder.c_str();
  execute.nShow = SW_SHOWNORMAL;
  error = ShellExecuteExW(&execute) ? ERROR_SUCCESS : GetLastError();
  return error == ERROR_SUCCESS;
}

namespace {
// The user and the elevation of a process's token; false when they cannot be read.
struct TokenRights {
  std::vector<BYTE> user;  // the TOKEN_USER record, whose SID is compared
  DWORD elevated = 0;
};
bool ReadTokenRights(HANDLE process, TokenRights& rights) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(process, TOKEN_QUERY, &token)) return false;
  const framework::UniqueHandle owned(token);
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  rights.user.resize(size);
  TOKEN_ELEVATION elevation{};
  if (size == 0 || !GetTokenInformation(token, TokenUser, rights.user.data(), size, &size) ||
      !GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size)) {
    return false;
  }
  rights.elevated = elevation.TokenIsElevated;
  return true;
}

// Calls use(shellDispatch) with the desktop shell's IShellDispatch2: the shell window's view, its
// background object, and its application.
template <class Use>
HRESULT WithShellDispatch(Use use) {
  IShellWindows* windows = nullptr;
  HRESULT result = CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_PPV_ARGS(&windows));
  if (FAILED(result)) return result;
  VARIANT desktop{};
  desktop.vt = VT_I4;
  desktop.lVal = CSIDL_DESKTOP;
  VARIANT none{};
  long window = 0;
  IDispatch* found = nullptr;
  result = windows->FindWindowSW(&desktop, &none, SWC_DESKTOP, &window, SWFO_NEEDDISPATCH, &found);
  windows->Release();
  if (result != S_OK) return FAILED(result) ? result : E_FAIL;
  IServiceProvider* services = nullptr;
  result = found->QueryInterface(IID_PPV_ARGS(&services));
  found->Release();
  if (FAILED(result)) return result;
  IShellBrowser* browser = nullptr;
  result = services->QueryService(SID_STopLevelBrowser, IID_PPV_ARGS(&browser));
  services->Release();
  if (FAILED(result)) return result;
  IShellView* view = nullptr;
  result = browser->QueryActiveShellView(&view);
  browser->Release();
  if (FAILED(result)) return result;
  IDispatch* background = nullptr;
  result = view->GetItemObject(SVGIO_BACKGROUND, IID_PPV_ARGS(&background));
  view->Release();
  if (FAILED(result)) return result;
  IShellFolderViewDual* folderView = nullptr;
  result = background->QueryInterface(IID_PPV_ARGS(&folderView));
  background->Release();
  if (FAILED(result)) return result;
  IDispatch* application = nullptr;
  result = folderView->get_Application(&application);
  folderView->Release();
  if (FAILED(result)) return result;
  IShellDispatch2* dispatch = nullptr;
  result = application->QueryInterface(IID_PPV_ARGS(&dispatch));
  application->Release();
  if (FAILED(result)) return result;
  result = use(*dispatch);
  dispatch->Release();
  return result;
}
}  // namespace

bool RunsAsTheSignedInUser() {
  // The desktop's shell: the process of its shell window, or of its taskbar where it names none
  // (Wine's desktop does not).
  HWND shellWindow = GetShellWindow();
  if (shellWindow == nullptr) shellWindow = FindWindowW(L"Shell_TrayWnd", nullptr);
  DWORD shellId = 0;
  GetWindowThreadProcessId(shellWindow, &shellId);
  const framework::UniqueHandle shell(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, shellId));
  TokenRights own;
  TokenRights shellRights;
  // Without a shell to compare with (none runs, or it cannot be read), the signed-in user is the
  // one this program runs as.
  if (!ReadTokenRights(GetCurrentProcess(), own)) return true;
  if (!shell || !ReadTokenRights(shell.get(), shellRights)) return !own.elevated;
  const auto sid = [](const TokenRights& rights) { return reinterpret_cast<const TOKEN_USER*>(rights.user.data())->User.Sid; };
  return EqualSid(sid(own), sid(shellRights)) && (!own.elevated || shellRights.elevated);
}

bool StartLauncherThroughShell(const std::wstring& launcherPath, DWORD& error) {
  const HRESULT initialized = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const std::wstring folder = launcherPath.substr(0, launcherPath.find_last_of(L'\\'));
  BSTR file = SysAllocString(launcherPath.c_str());
  VARIANT none{};
  VARIANT directory{};
  directory.vt = VT_BSTR;
  directory.bstrVal = SysAllocString(folder.c_str());
  VARIANT open{};
  open.vt = VT_BSTR;
  open.bstrVal = SysAllocString(L"open");
  VARIANT show{};
  show.vt = VT_I4;
  show.lVal = SW_SHOWNORMAL;
  const HRESULT result = file == nullptr ? E_OUTOFMEMORY : WithShellDispatch([&](IShellDispatch2& dispatch) {
    return dispatch.ShellExecute(file, none, directory, open, show);
  });
  SysFreeString(file);
  VariantClear(&directory);
  VariantClear(&open);
  if (SUCCEEDED(initialized)) CoUninitialize();
  error = SUCCEEDED(result) ? ERROR_SUCCESS : (HRESULT_FACILITY(result) == FACILITY_WIN32 ? HRESULT_CODE(result) : static_cast<DWORD>(result));
  return SUCCEEDED(result);
}

std::wstring SignInCommand(const std::wstring& launcherPath) { return L"\"" + launcherPath + L"\""; }

std::wstring SignInValue() {
  DWORD size = 0;
  if (RegGetValueW(HKEY_CURRENT_USER, kRunKey, kRunValueName, RRF_RT_REG_SZ, nullptr, nullptr, &size) !=
          ERROR_SUCCESS ||
      size < sizeof(wchar_t)) {
    return {};
  }
  std::vector<wchar_t> data(size / sizeof(wchar_t) + 1, L'\0');
  if (RegGetValueW(HKEY_CURRENT_USER, kRunKey, kRunValueName, RRF_RT_REG_SZ, nullptr, data.data(), &size) !=
      ERROR_SUCCESS) {
    return {};
  }
  return std::wstring(data.data());
}

bool StartsAtSignIn(const std::wstring& value, const std::wstring& launcherPath) {
  std::wstring path = value;
  if (path.size() >= 2 && path.front() == L'"') {
    const size_t close = path.find(L'"', 1);
    path = path.substr(1, close == std::wstring::npos ? std::wstring::npos : close - 1);
  }
  return !path.empty() && lstrcmpiW(path.c_str(), launcherPath.c_str()) == 0;
}

bool SetSignInStart(const std::wstring& launcherPath, DWORD& error) {
  const std::wstring data = SignInCommand(launcherPath);
  error = static_cast<DWORD>(RegSetKeyValueW(HKEY_CURRENT_USER, kRunKey, kRunValueName, REG_SZ, data.c_str(),
                                             static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t))));
  return error == ERROR_SUCCESS;
}

bool RemoveSignInStart(DWORD& error) {
  error = static_cast<DWORD>(RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunKey, kRunValueName));
  if (error == ERROR_FILE_NOT_FOUND) error = ERROR_SUCCESS;  // nothing to remove
  return error == ERROR_SUCCESS;
}

}  // namespace configure
