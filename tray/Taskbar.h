// TTrayIcon: one icon in the shell's notification area, with a tip, mouse events and popup menus,
// optionally shown only while the application is minimised (hiding its taskbar button), and an
// optional animation through icon resources of the executable, stepped by TIconAnimation. The icon
// comes back by itself when the shell restarts, and is drawn at the small-icon size of the display
// scale in effect (a change of scale sends the new size). It can show a notification (a balloon; a
// toast on Windows 10 and later) and report a click on it.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <atomic>
#include <memory>
#include <string>

#include "framework/Component.h"
#include "framework/Event.h"
#include "framework/Handles.h"
#include "framework/Icon.h"
#include "framework/Menus.h"
#include "framework/StringList.h"
#include "framework/Thread.h"
#include "framework/UtilityWindow.h"

namespace tray {

// The shell reports mouse actions on the icon with this message to the hidden window.
constexpr UINT kTrayCallbackMessage = WM_USER + 200;
constexpr UINT kTrayIconId = 1;
// The tip keeps at most this many bytes, so it fits the record's 64-byte field with its NUL.
constexpr size_t kTipMaxBytes = 62;
// Animation periods below this are raised to it.
constexpr unsigned kMinimumInterval = 50;
// An icon refused while the application minimises is tried again this often (and whenever the
// shell broadcasts that it has started), until the shell takes it.
constexpr UINT_PTR kRetryTimerId = 1;
constexpr UINT kRetryIntervalMs = 3000;

// The icon a notification shows beside its title.
enum class TBalloonIcon : unsigned char { biNone, biInfo, biWarning, biError };

class ENotifyIconError : public framework::Exception {
 public:
  using Exception::Exception;
};

// The record as the shell is sent it: its wide twin of the same (first) version. The tip is the
// program's text (code page 932), which the ANSI call would read in the system's code page and
// garble on a system whose code page is another.
NOTIFYICONDATAW WideIconData(const NOTIFYICONDATAA& record);

enum class TMouseButton : unsigned char { mbLeft, mbRight, mbMiddle };
// A set of shift-state flags as one byte; the component passes the empty set or one button's flag.
using TShiftState = unsigned char;
constexpr TShiftState ssLeft = 1u << 3;
constexpr TShiftState ssRight = 1u << 4;
constexpr TShiftState ssMiddle = 1u << 5;

using TMouseEvent = framework::Event<framework::TObject*, TMouseButton, TShiftState, int, int>;
using TMouseMoveEvent = framework::Event<framework::TObject*, TShiftState, int, int>;

class TTrayIcon;

// Steps the animation of one tray icon. Each step runs on the main thread (handed over and waited
// for), so it never races with the main thread's changes to the component or its destruction.
class TIconAnimation : public framework::TThread {
 public:
  explicit TIconAnimation(TTrayIcon* trayIcon);
  TTrayIcon* TrayIcon() const { return trayIcon_; }
  // Restarts the wait between two steps, so a new interval takes effect at once.
  void Interrupt() { SetEvent(interrupt_.get()); }
  // Asks the thread to end: a step queued for the main thread is dropped, a wait is cut short.
  void Stop();

 protected:
  void Execute() override;

 private:
  TTrayIcon* trayIcon_;
  framework::UniqueHandle stop_;       // manual-reset
  framework::UniqueHandle interrupt_;  // auto-reset
};

class TTrayIcon : public framework::TComponent {
 public:
  explicit TTrayIcon(framework::TComponent* owner);
  ~TTrayIcon() override;

  bool AutoPopup() const { return autoPopup_; }
  void SetAutoPopup(bool value) { autoPopup_ = value; }
  // The explicit icon; it wins over every other source when it holds a handle.
  framework::TIcon& Icon() { return icon_; }
  // Copies the given icon (nullptr clears the owned one).
  void SetIcon(const framework::TIcon* icon);
  const std::string& TipHelp() const { return tipHelp_; }
  void SetTipHelp(const std::string& value);
  bool Minimized() const { return minimized_; }
  void SetMinimized(bool value);
  bool Visible() const { return visible_; }
  void SetVisible(bool value);
  bool HideOnTaskBar() const { return hideOnTaskBar_; }
  void SetHideOnTaskBar(bool value) { hideOnTaskBar_ = value; }
  // Reading resets an index at or beyond the list's end to 0.
  int ResourceIconID() const;
  void SetResourceIconID(int value);
  framework::TStringList& ResourceIconList() { return resourceIconList_; }
  void SetResourceIconList(const framework::TStringList& list);
  unsigned Interval() const { return interval_; }
  void SetInterval(unsigned value);
  framework::TPopupMenu* LButtonPopupMenu() const { return lButtonPopupMenu_; }
  void SetLButtonPopupMenu(framework::TPopupMenu* menu) { lButtonPopupMenu_ = menu; }
  framework::TPopupMenu* RButtonPopupMenu() const { return rButtonPopupMenu_; }
  void SetRButtonPopupMenu(framework::TPopupMenu* menu) { rButtonPopupMenu_ = menu; }

  const framework::TNotifyEvent& OnDblClick() const { return onDblClick_; }
  void SetOnDblClick(framework::TNotifyEvent handler) { onDblClick_ = std::move(handler); }
  const TMouseEvent& OnMouseDown() const { return onMouseDown_; }
  void SetOnMouseDown(TMouseEvent handler) { onMouseDown_ = std::move(handler); }
  const TMouseMoveEvent& OnMouseMove() const { return onMouseMove_; }
  void SetOnMouseMove(TMouseMoveEvent handler) { onMouseMove_ = std::move(handler); }
  const TMouseEvent& OnMouseUp() const { return onMouseUp_; }
  void SetOnMouseUp(TMouseEvent handler) { onMouseUp_ = std::move(handler); }
  const framework::TNotifyEvent& OnIconAnimation() const { return onIconAnimation_; }
  void SetOnIconAnimation(framework::TNotifyEvent handler) { onIconAnimation_ = std::move(handler); }
  // The user clicked the notification.
  const framework::TNotifyEvent& OnBalloonClick() const { return onBalloonClick_; }
  void SetOnBalloonClick(framework::TNotifyEvent handler) { onBalloonClick_ = std::move(handler); }

  // Shows a notification from the icon: a title (at most 63 characters) and a text (at most 255),
  // in UTF-16 so that they read right under any code page. Sent at once while the icon is shown,
  // else when it is next added; a later one replaces one not yet sent. Never repeated.
  void ShowBalloon(const wchar_t* title, const wchar_t* text, TBalloonIcon icon);
  // A notification was shown and the shell has not yet said it is gone.
  bool BalloonShowing() const { return balloonShowing_; }

  // The internal operations, public so their behaviour can be observed.
  bool ShouldShowIcon() const;
  HICON CurrentIconHandle();
  bool AddIcon();
  bool RemoveIcon();
  bool UpdateIcon();
  void UpdateAnimation();
  void StopAnimation();
  void AnimateStep();
  void ApplicationMinimize(framework::TObject* sender);
  void ApplicationRestore(framework::TObject* sender);
  LRESULT IconWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  bool IconShown() const { return iconShown_; }
  // A refused icon waits for the shell (broadcast or slow timer) to be added.
  bool RetryingIcon() const { return retrying_; }
  // The hidden window that receives the shell's notifications; null while no icon is shown or
  // waited for.
  HWND MessageWindow() const { return messageWindow_ ? messageWindow_->Handle() : nullptr; }
  const NOTIFYICONDATAA& IconData() const { return iconData_; }
  TIconAnimation* Animation() const { return animation_.get(); }

  void Loaded() override;
  void Notification(framework::TComponent* component, framework::Operation operation) override;

  static const framework::PropertyTable& ClassProperties();
  const framework::PropertyTable& Published() const override { return ClassProperties(); }

 private:
  friend class TIconAnimation;

  // Neither in a designer nor being loaded: setters act.
  bool Active() const { return !IsDesigning() && !IsLoading(); }
  void CopyTip();
  // NIM_ADD with the current icon and tip; keeps the message window when the shell refuses.
  bool TryAddIcon();
  // The icon is shown now: the shell is asked for its newer callbacks, a notice waiting is sent,
  // the animation goes on.
  void IconIsShown();
  // Asks the shell for the callbacks of its fourth version, which also report the keyboard (the
  // icon selected with the arrows, then Enter, the Menu key or Shift+F10).
  void RequestNewerCallbacks();
  // The explicit icon (or, for nullptr, the application's) at the small-icon size of the scale.
  HICON SmallIcon(const framework::TIcon* explicitIcon);
  // Adds the icon, or, when the shell refuses, keeps trying until it takes it.
  void AddIconOrRetry();
  // Keeps the message window waiting for the shell's broadcast and on a slow timer.
  void StartRetry();
  // One animation step on the main thread, unless the animation was paused meanwhile; pauses the
  // thread when there is nothing to animate. False: the thread is to end.
  bool RunAnimationStep();
  void PopupMenu(framework::TPopupMenu* menu, int x, int y);
  // The icon's menu for the keyboard: the right button's, else the left button's.
  void PopupKeyboardMenu(int x, int y);
  // Sends the notification waiting to be shown, once the shell holds the icon.
  void SendBalloon();

  bool autoPopup_ = true;
  framework::TIcon icon_;
  std::string tipHelp_ = "TipHelp";
  bool minimized_ = false;
  std::atomic<bool> visible_{true};
  bool hideOnTaskBar_ = false;
  mutable int resourceIconID_ = -1;
  framework::TStringList resourceIconList_;
  std::atomic<unsigned> interval_{0};
  framework::TPopupMenu* lButtonPopupMenu_ = nullptr;
  framework::TPopupMenu* rButtonPopupMenu_ = nullptr;
  framework::TNotifyEvent onDblClick_;
  TMouseEvent onMouseDown_;
  TMouseMoveEvent onMouseMove_;
  TMouseEvent onMouseUp_;
  framework::TNotifyEvent onIconAnimation_;
  framework::TNotifyEvent onBalloonClick_;

  // The shell sends this to every top-level window when it starts, e.g. after a crash.
  const UINT taskbarCreatedMessage_ = RegisterWindowMessageA("TaskbarCreated");
  NOTIFYICONDATAA iconData_{};
  bool iconShown_ = false;
  bool retrying_ = false;
  bool newerCallbacks_ = false;   // the shell sends its fourth version's callbacks
  bool menuOpen_ = false;
  bool rightPressMenu_ = false;  // a right press opened the menu: its release's WM_CONTEXTMENU is not another
  std::unique_ptr<framework::UtilityWindow> messageWindow_;
  std::unique_ptr<framework::TIcon> cachedResourceIcon_;
  // The icon is drawn at the small-icon size of this DPI (0: the process's own, from its start).
  UINT iconDpi_ = 0;
  int smallIconSize_ = 0;  // the size of the icon last chosen
  framework::TIcon smallIcon_;
  HICON smallIconSource_ = nullptr;  // the explicit or application icon it was made from
  std::unique_ptr<TIconAnimation> animation_;
  bool animationStopping_ = false;
  bool* destroyedDuringStep_ = nullptr;  // set by the destructor when a step's handler frees this
  bool animationFailed_ = false;
  bool hooked_ = false;
  std::unique_ptr<NOTIFYICONDATAW> balloon_;  // waiting to be sent
  bool balloonShowing_ = false;
  framework::TNotifyEvent savedOnMinimize_;
  framework::TNotifyEvent savedOnRestore_;
};

}  // namespace tray
