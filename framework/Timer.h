// A message-based timer component: ticks arrive on the thread that made it, through its message loop.
#pragma once

#include <windows.h>

#include <memory>

#include "framework/Component.h"
#include "framework/Event.h"
#include "framework/UtilityWindow.h"

namespace framework {

class TTimer : public TComponent {
 public:
  explicit TTimer(TComponent* owner);
  ~TTimer() override;

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  // Milliseconds; 0 never ticks. Setting it (or enabling) starts the interval afresh.
  unsigned Interval() const { return interval_; }
  void SetInterval(unsigned interval);
  const TNotifyEvent& OnTimer() const { return onTimer_; }
  void SetOnTimer(TNotifyEvent handler);

  static const PropertyTable& ClassProperties();
  const PropertyTable& Published() const override { return ClassProperties(); }

 private:
  // The system timer runs while enabled, with a non-zero interval and a handler to call. Its window
  // is made when the timer first runs, on that thread (a timer that never runs costs no window).
  void UpdateTimer();
  LRESULT WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  bool enabled_ = true;
  unsigned interval_ = 1000;
  TNotifyEvent onTimer_;
  std::unique_ptr<UtilityWindow> window_;
};

}  // namespace framework
