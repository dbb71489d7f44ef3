// A hidden utility window whose window procedure is a function of its owner (usually a bound member
// function): what a non-visual component needs to receive timer, shell or wake-up messages.
#pragma once

#include <windows.h>

#include <functional>

#include "framework/Handles.h"

namespace framework {

class UtilityWindow {
 public:
  // Returns the message's result. Every message goes to it once the window exists; it decides
  // itself whether to call DefWindowProcA.
  using Procedure = std::function<LRESULT(HWND window, UINT message, WPARAM wParam, LPARAM lParam)>;

  // A top-level WS_POPUP window with WS_EX_TOOLWINDOW, at 0,0 with size 0, no parent, no menu, never
  // shown, owned by the calling thread.
  explicit UtilityWindow(Procedure procedure);
  ~UtilityWindow();
  UtilityWindow(const UtilityWindow&) = delete;
  UtilityWindow& operator=(const UtilityWindow&) = delete;

  HWND Handle() const { return window_.get(); }

  // The window procedure a handler can pass messages on to.
  static LRESULT Default(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
  }

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  Procedure procedure_;
  UniqueWindow window_;
};

}  // namespace framework
