// Data modules and forms.
#include "framework/Forms.h"

#include "framework/AnsiText.h"
#include "framework/Application.h"
#include "framework/BoundWindow.h"
#include "framework/Properties.h"

namespace framework {

// ---- root ----

void TRootComponent::InitializeRoot() {
  BeforeLoad();
  const std::string resourceName = AsciiUpperCase(Published().ClassName());
  ReadComponentResource(*this, resourceName.c_str(), DescriptionClasses());
  if (onCreate_) onCreate_(this);
}

const ClassRegistry& TRootComponent::DescriptionClasses() const {
  static const ClassRegistry none;
  return none;
}

const PropertyTable& TRootComponent::ClassProperties() {
  static const PropertyTable table = [] {
    PropertyTable t("TRootComponent", &TComponent::ClassProperties());
    t.EventHandler("OnCreate", &TRootComponent::OnCreate, &TRootComponent::SetOnCreate);
    return t;
  }();
  return table;
}

const PropertyTable& TDataModule::ClassProperties() {
  static const PropertyTable table("TDataModule", &TRootComponent::ClassProperties());
  return table;
}

// ---- form ----

TForm::TForm(TComponent* owner) : TRootComponent(owner) {}

TForm::~TForm() {
  if (window_) SetWindowLongPtrA(window_.get(), GWLP_USERDATA, 0);
}

HWND TForm::Handle() {
  if (window_) return window_.get();
  // Each form class gets a window class of its own name, as a tool looking for the window expects.
  const std::string& className = Published().ClassName();
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = &TForm::WindowProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512) /* IDC_ARROW */);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = className.c_str();
  RegisterClassA(&windowClass);  // fails harmlessly once the class exists

  // Owned by the application window, so the form has no taskbar button of its own.
  TApplication* application = TApplication::Current();
  HWND owner = application != nullptr ? application->Handle() : nullptr;
  window_.reset(CreateWindowExA(0, className.c_str(), caption_.c_str(), WS_OVERLAPPEDWINDOW, bounds_.left, bounds_.top,
                                Width(), Height(), owner, nullptr, GetModuleHandleA(nullptr), this));
  return window_.get();
}

void TForm::SetCaption(const std::string& caption) {
  caption_ = caption;
  if (window_) SetWindowTextA(window_.get(), caption_.c_str());
}

void TForm::SetWindowState(TWindowState state) {
  windowState_ = state;
  if (window_ && visible_) {
    ShowWindow(window_.get(), state == TWindowState::wsMinimized   ? SW_SHOWMINIMIZED
                              : state == TWindowState::wsMaximized ? SW_SHOWMAXIMIZED
                                                                   : SW_SHOWNORMAL);
  }
}

void TForm::SetBounds(int left, int top, int width, int height) {
  bounds_ = RECT{left, top, left + width, top + height};
  if (window_) MoveWindow(window_.get(), left, top, width, height, TRUE);
}

void TForm::ShowWithState(int showCommand) {
  ShowWindow(Handle(), showCommand);
  visible_ = true;
}

void TForm::Hide() {
  if (window_) ShowWindow(window_.get(), SW_HIDE);
  visible_ = false;
}

void TForm::Close() {
  TApplication* application = TApplication::Current();
  if (application != nullptr && application->MainForm() == this) {
    application->FormClosed(this);
  } else {
    Hide();
  }
}

LRESULT CALLBACK TForm::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DispatchToBoundObject(window, message, wParam, lParam, &TForm::WindowProcedure);
}

LRESULT TForm::WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CLOSE) {
    Close();
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

const PropertyTable& TForm::ClassProperties() {
  static const PropertyTable table = [] {
    PropertyTable t("TForm", &TRootComponent::ClassProperties());
    t.Integer("Left", &TForm::Left, &TForm::SetLeft)
        .Integer("Top", &TForm::Top, &TForm::SetTop)
        .Integer("Width", &TForm::Width, &TForm::SetWidth)
        .Integer("Height", &TForm::Height, &TForm::SetHeight)
        .String("Caption", &TForm::Caption, &TForm::SetCaption)
        .Enumeration("WindowState", &TForm::WindowState, &TForm::SetWindowState,
                     {"wsNormal", "wsMinimized", "wsMaximized"}, TWindowState::wsNormal);
    return t;
  }();
  return table;
}

}  // namespace framework
