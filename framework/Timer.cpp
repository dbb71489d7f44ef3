// Timer component.
#include "framework/Timer.h"

#include "framework/Properties.h"

namespace framework {

namespace {
constexpr UINT_PTR kTimerId = 1;
}

TTimer::TTimer(TComponent* owner) : TComponent(owner) {}

TTimer::~TTimer() {
  if (window_) KillTimer(window_->Handle(), kTimerId);
}

void TTimer::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  UpdateTimer();
}

void TTimer::SetInterval(unsigned interval) {
  if (interval == interval_) return;
  interval_ = interval;
  UpdateTimer();
}

void TTimer::SetOnTimer(TNotifyEvent handler) {
  onTimer_ = std::move(handler);
  UpdateTimer();
}

void TTimer::UpdateTimer() {
  if (window_) KillTimer(window_->Handle(), kTimerId);
  if (!enabled_ || interval_ == 0 || !onTimer_) return;
  if (!window_) {
    window_ = std::make_unique<UtilityWindow>([this](HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
      return WindowProcedure(window, message, wParam, lParam);
    });
  }
  SetTimer(window_->Handle(), kTimerId, interval_, nullptr);
}

LRESULT TTimer::WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_TIMER && wParam == kTimerId) {
    if (onTimer_) onTimer_(this);
    return 0;
  }
  return UtilityWindow::Default(window, message, wParam, lParam);
}

const PropertyTable& TTimer::ClassProperties() {
  static const PropertyTable table = [] {
    PropertyTable t("TTimer", &TComponent::ClassProperties());
    t.Boolean("Enabled", &TTimer::Enabled, &TTimer::SetEnabled, true)
        .Integer("Interval", &TTimer::Interval, &TTimer::SetInterval, 1000)
        .EventHandler("OnTimer", &TTimer::OnTimer, &TTimer::SetOnTimer);
    return t;
  }();
  return table;
}

}  // namespace framework
