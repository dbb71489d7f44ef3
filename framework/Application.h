// The application object: the hidden top-level application window that carries the taskbar button
// and the icon "MAINICON", the forms and data modules it owns, the message loop, minimise and
// restore with their notifications, and the queue of work handed to the main thread.
#pragma once

#include <windows.h>

#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "framework/Component.h"
#include "framework/Event.h"
#include "framework/Handles.h"
#include "framework/Icon.h"
#include "framework/MainThreadQueue.h"

namespace framework {

class TForm;

class TApplication : public TComponent {
 public:
  // One application per process, created on the thread that becomes the main thread.
  TApplication();
  // Frees the forms and data modules (last created first), then the window and the queue.
  ~TApplication() override;

  // The group-icon resource of the executable that is the application's icon.
  static constexpr char kIconName[] = "MAINICON";

  // The application of this process, or nullptr.
  static TApplication* Current();
  // Passes the exception in flight to the current application (no application: it is dropped).
  static void HandleCurrentException();

  void Initialize() {}

  // Creates a form or data module owned by the application: the reference is set once the object
  // exists, then the object loads its description and runs its creation handler. The first form
  // created becomes the main form.
  template <class T>
  T* CreateForm(T*& reference) {
    T* instance = new T(this);
    reference = instance;
    instance->InitializeRoot();
    AdoptMainForm(instance);
    return instance;
  }

  // Presents the main form as its window state says (minimised: the application minimises), then
  // dispatches messages until termination is requested.
  void Run();
  // Requests the end of the message loop with a quit message, code 0 (main thread).
  void Terminate();
  bool Terminated() const { return terminated_; }
  // Dispatches every message waiting in the main thread's queue.
  void ProcessMessages();

  // Minimises the application window (showing its taskbar button), then raises OnMinimize.
  void Minimize();
  // Restores the application window and the main form, then raises OnRestore.
  void Restore();

  HWND Handle() const { return window_.get(); }
  const std::string& Title() const { return title_; }
  TIcon& Icon() { return icon_; }
  TForm* MainForm() const { return mainForm_; }
  MainThreadQueue& MainThread() { return *mainThread_; }

  const TNotifyEvent& OnMinimize() const { return onMinimize_; }
  void SetOnMinimize(TNotifyEvent handler) { onMinimize_ = std::move(handler); }
  const TNotifyEvent& OnRestore() const { return onRestore_; }
  void SetOnRestore(TNotifyEvent handler) { onRestore_ = std::move(handler); }
  // Replaces the default report of an exception that reached the message loop (a message box).
  void SetOnException(std::function<void(const std::exception&)> handler) { onException_ = std::move(handler); }
  void HandleException(std::exception_ptr exception);

  // A modal message box owned by the application window.
  int MessageDialog(const std::string& text, const std::string& caption, UINT flags);

  // The form's window is closing: the main form's close ends the application.
  void FormClosed(TForm* form);
  // A form leaves the application.
  void Notification(TComponent* component, Operation operation) override;

 private:
  void AdoptMainForm(TComponent* instance);
  bool ProcessMessage();
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  std::string title_;
  UniqueWindow window_;
  TIcon icon_;
  std::unique_ptr<MainThreadQueue> mainThread_;
  TForm* mainForm_ = nullptr;
  bool terminated_ = false;
  TNotifyEvent onMinimize_;
  TNotifyEvent onRestore_;
  std::function<void(const std::exception&)> onException_;
};

// A modal message box owned by the current application's window (or by none).
int ShowMessageBox(const std::string& text, const std::string& caption, UINT flags);
// A message box with the program's texts (code page 932 bytes), owned by the given window.
int ShowProgramMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT flags);

}  // namespace framework
