// The application object.
#include "framework/Application.h"

#include "framework/AnsiText.h"
#include "framework/BoundWindow.h"
#include "framework/Forms.h"
#include "framework/Paths.h"

namespace framework {

namespace {
constexpr char kClassName[] = "TApplication";

// The one application of the process. It is process-wide by nature: the main thread, its message
// loop and the taskbar button exist once per process, and workers must find the main thread.
TApplication* currentApplication = nullptr;

// The title the framework gives by default: the executable's name without its extension.
std::string DefaultTitle() { return ExtractFileBaseName(ModuleFileName()); }
}  // namespace

TApplication::TApplication() : TComponent(nullptr), title_(DefaultTitle()) {
  currentApplication = this;
  mainThread_ = std::make_unique<MainThreadQueue>();
  mainThread_->SetExceptionHandler([this](std::exception_ptr exception) { HandleException(exception); });

  icon_.LoadFromResource(kIconName);
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = &TApplication::WindowProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.hIcon = icon_.Handle();
  windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512) /* IDC_ARROW */);
  windowClass.lpszClassName = kClassName;
  RegisterClassA(&windowClass);

  // A zero-size window in the screen's centre: visible or minimised it gives the taskbar button.
  const int x = GetSystemMetrics(SM_CXSCREEN) / 2;
  const int y = GetSystemMetrics(SM_CYSCREEN) / 2;
  window_.reset(CreateWindowExA(0, kClassName, title_.c_str(),
                                WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX, x, y, 0, 0,
                                nullptr, nullptr, GetModuleHandleA(nullptr), this));
  if (window_ && !icon_.Empty()) {
    SendMessageA(window_.get(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_.Handle()));
  }
}

TApplication::~TApplication() {
  // The forms go while the window and the queue they may use still exist.
  DestroyComponents();
  mainThread_.reset();
  window_.reset();
  if (currentApplication == this) currentApplication = nullptr;
}

TApplication* TApplication::Current() { return currentApplication; }

void TApplication::HandleCurrentException() {
  if (currentApplication != nullptr) currentApplication->HandleException(std::current_exception());
}

void TApplication::HandleException(std::exception_ptr exception) {
  try {
    std::rethrow_exception(exception);
  } catch (const std::exception& error) {
    if (onException_) {
      onException_(error);
    } else {
      MessageDialog(error.what(), title_, MB_OK | MB_ICONERROR);
    }
  } catch (...) {
    if (onException_) onException_(Exception("unknown exception"));
  }
}

void TApplication::AdoptMainForm(TComponent* instance) {
  if (mainForm_ != nullptr) return;
  if (auto* form = ComponentAs<TForm>(instance)) mainForm_ = form;
}

void TApplication::Notification(TComponent* component, Operation operation) {
  TComponent::Notification(component, operation);
  if (operation == Operation::Remove && component == mainForm_) mainForm_ = nullptr;
}

void TApplication::Run() {
  // What fails while presenting the form (a handler of OnMinimize, say) is reported as the loop's
  // exceptions are, and the program runs on.
  try {
    if (mainForm_ != nullptr) {
      switch (mainForm_->WindowState()) {
        case TWindowState::wsMinimized:
          Minimize();
          break;
        case TWindowState::wsMaximized:
          mainForm_->ShowWithState(SW_SHOWMAXIMIZED);
          break;
        case TWindowState::wsNormal:
          mainForm_->Show();
          break;
      }
    }
  } catch (...) {
    HandleCurrentException();
  }
  // Peek, not GetMessage: a handler of a message sent from another thread or process may itself
  // dispatch the pending messages and take the quit message out of the queue; GetMessage would
  // then sleep on, but here the loop sees the request as soon as that handler returns.
  while (!terminated_) {
    if (!ProcessMessage() && !terminated_) {
      MsgWaitForMultipleObjectsEx(0, nullptr, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
  }
}

void TApplication::Terminate() { PostQuitMessage(0); }

bool TApplication::ProcessMessage() {
  MSG message;
  if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) return false;
  if (message.message == WM_QUIT) {
    terminated_ = true;
  } else {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return true;
}

void TApplication::ProcessMessages() {
  while (ProcessMessage()) {
  }
}

void TApplication::Minimize() {
  if (IsIconic(window_.get())) return;
  ShowWindow(window_.get(), SW_MINIMIZE);
  if (onMinimize_) onMinimize_(this);
}

void TApplication::Restore() {
  if (!IsIconic(window_.get())) return;
  ShowWindow(window_.get(), SW_RESTORE);
  if (mainForm_ != nullptr) {
    mainForm_->SetWindowState(TWindowState::wsNormal);
    mainForm_->Show();
  }
  if (onRestore_) onRestore_(this);
}

void TApplication::FormClosed(TForm* form) {
  if (form == mainForm_) Terminate();
}

int TApplication::MessageDialog(const std::string& text, const std::string& caption, UINT flags) {
  return ShowProgramMessageBox(window_.get(), text, caption, flags);
}

LRESULT CALLBACK TApplication::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DispatchToBoundObject(window, message, wParam, lParam, &TApplication::WindowProcedure);
}

void ReportWindowProcedureException() { TApplication::HandleCurrentException(); }

LRESULT TApplication::WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SYSCOMMAND:
      switch (wParam & 0xFFF0) {
        case SC_MINIMIZE:
          Minimize();
          return 0;
        case SC_RESTORE:
          Restore();
          return 0;
        case SC_CLOSE:
          if (mainForm_ != nullptr) mainForm_->Close();
          return 0;
      }
      break;
    case WM_CLOSE:
      if (mainForm_ != nullptr) mainForm_->Close();
      return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

int ShowProgramMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT flags) {
  // The texts are the program's (code page 932): through the wide API they read right on any system.
  return MessageBoxW(owner, ProgramTextToWide(text).c_str(), ProgramTextToWide(caption).c_str(), flags | MB_TASKMODAL);
}

int ShowMessageBox(const std::string& text, const std::string& caption, UINT flags) {
  TApplication* application = TApplication::Current();
  if (application != nullptr) return application->MessageDialog(text, caption, flags);
  return ShowProgramMessageBox(nullptr, text, caption, flags);
}

}  // namespace framework
