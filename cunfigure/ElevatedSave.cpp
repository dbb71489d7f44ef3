// Saving the settings with administrator rights.
#include "cunfigure/ElevatedSave.h"

#include <shellapi.h>

#include "framework/Handles.h"

namespace configure {

std::wstring QuotedArgument(const std::wstring& text) {
  // Backslashes count only before a quote: there they are doubled, and the quote escaped.
  std::wstring quoted = L"\"";
  size_t backslashes = 0;
  for (const wchar_t c : text) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
    quoted += c;
    backslashes = 0;
  }
  quoted.append(2 * backslashes, L'\\');  // before the closing quote
  return quoted + L"\"";
}

namespace {
// The owner disabled for a scope, as under a message box: no click, no key, no Alt+F4 reaches it.
class DisabledOwner {
 public:
  explicit DisabledOwner(HWND owner) : owner_(owner != nullptr && !EnableWindow(owner, FALSE) ? owner : nullptr) {}
  ~DisabledOwner() {
    if (owner_ != nullptr) EnableWindow(owner_, TRUE);
  }
  DisabledOwner(const DisabledOwner&) = delete;
  DisabledOwner& operator=(const DisabledOwner&) = delete;

 private:
  HWND owner_;  // null when it was disabled already: it stays so
};
}  // namespace

ElevatedResult SaveElevated(HWND owner, const std::wstring& program, const std::wstring& mail,
                            const std::wstring& proxy) {
  const DisabledOwner disabled(owner);
  const std::wstring parameters = L"/set " + QuotedArgument(mail) + L" " + QuotedArgument(proxy);
  SHELLEXECUTEINFOW execute{};
  execute.cbSize = sizeof execute;
  execute.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
  execute.hwnd = owner;
  execute.lpVerb = L"runas";
  execute.lpFile = program.c_str();
  execute.lpParameters = parameters.c_str();
  execute.nShow = SW_HIDE;
  if (!ShellExecuteExW(&execute)) {
    const DWORD error = GetLastError();
    return {error == ERROR_CANCELLED ? ElevatedStatus::Declined : ElevatedStatus::Failed, error};
  }
  if (execute.hProcess == nullptr) return {ElevatedStatus::Failed, ERROR_INVALID_HANDLE};
  const framework::UniqueHandle process(execute.hProcess);

  // The save is short; the owner still repaints while it runs.
  while (MsgWaitForMultipleObjects(1, &execute.hProcess, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(message.wParam));  // for the caller's loop, once this is done
        WaitForSingleObject(execute.hProcess, INFINITE);
        break;
      }
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  DWORD code = ERROR_GEN_FAILURE;
  if (!GetExitCodeProcess(execute.hProcess, &code)) code = GetLastError();
  if (code == ERROR_SUCCESS) return {ElevatedStatus::Saved, ERROR_SUCCESS};
  return {ElevatedStatus::Failed, code};  // the copy's exit code is the system's code for its failure
}

}  // namespace configure
