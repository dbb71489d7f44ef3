// Roots of form descriptions: the data module (a non-visual container of components) and the form
// (a top-level window owned by the application window). Each loads its description from the RCDATA
// resource named after its class, then raises OnCreate.
#pragma once

#include <windows.h>

#include <string>

#include "framework/Component.h"
#include "framework/Event.h"
#include "framework/FormText.h"
#include "framework/Handles.h"

namespace framework {

class TRootComponent : public TComponent {
 public:
  using TComponent::TComponent;

  // Loads the description compiled in as the RCDATA resource named after the class in capitals
  // ("TFORM1" for TForm1), then raises OnCreate.
  void InitializeRoot();

  const TNotifyEvent& OnCreate() const { return onCreate_; }
  void SetOnCreate(TNotifyEvent handler) { onCreate_ = std::move(handler); }

  static const PropertyTable& ClassProperties();
  const PropertyTable& Published() const override { return ClassProperties(); }

 protected:
  // The classes the root's description may create.
  virtual const ClassRegistry& DescriptionClasses() const;
  // Runs before the description is applied (a form makes its window here).
  virtual void BeforeLoad() {}

 private:
  TNotifyEvent onCreate_;
};

class TDataModule : public TRootComponent {
 public:
  using TRootComponent::TRootComponent;
  static const PropertyTable& ClassProperties();
  const PropertyTable& Published() const override { return ClassProperties(); }
};

enum class TWindowState { wsNormal, wsMinimized, wsMaximized };

class TForm : public TRootComponent {
 public:
  explicit TForm(TComponent* owner);
  ~TForm() override;

  // The form's window, made on first use.
  HWND Handle();

  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& caption);
  TWindowState WindowState() const { return windowState_; }
  void SetWindowState(TWindowState state);
  int Left() const { return bounds_.left; }
  void SetLeft(int value) { SetBounds(value, bounds_.top, Width(), Height()); }
  int Top() const { return bounds_.top; }
  void SetTop(int value) { SetBounds(bounds_.left, value, Width(), Height()); }
  int Width() const { return bounds_.right - bounds_.left; }
  void SetWidth(int value) { SetBounds(bounds_.left, bounds_.top, value, Height()); }
  int Height() const { return bounds_.bottom - bounds_.top; }
  void SetHeight(int value) { SetBounds(bounds_.left, bounds_.top, Width(), value); }
  void SetBounds(int left, int top, int width, int height);

  void Show() { ShowWithState(SW_SHOW); }
  void ShowWithState(int showCommand);
  void Hide();
  bool Visible() const { return visible_; }

  // Closes the form: the main form's close ends the application; any other form is hidden.
  void Close();

  static const PropertyTable& ClassProperties();
  const PropertyTable& Published() const override { return ClassProperties(); }

 protected:
  void BeforeLoad() override { Handle(); }

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  std::string caption_;
  TWindowState windowState_ = TWindowState::wsNormal;
  RECT bounds_{0, 0, 320, 240};
  bool visible_ = false;
  UniqueWindow window_;
};

}  // namespace framework
