// Starting the launcher at sign-in, through the user's Run key.
#include "cunfigure/LauncherStart.h"

#include <shellapi.h>

#include <vector>

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
