// Tray icon component and its animation thread.
#include "tray/Taskbar.h"

#include <utility>

#include "framework/AnsiText.h"
#include "framework/Application.h"
#include "framework/Dpi.h"
#include "framework/Forms.h"
#include "framework/Properties.h"

namespace tray {

using framework::TApplication;

namespace {
#if defined(__i386__)
// The product is 32-bit: it keeps the record's first version, 88 bytes there, and sends its wide
// twin of the same version.
static_assert(NOTIFYICONDATAA_V1_SIZE == 88, "first version of the tray record");
static_assert(NOTIFYICONDATAW_V1_SIZE == 152, "first version of the wide tray record");
#endif

constexpr char kAddFailed[] = "タスクトレイにアイコンを登録できません。";
constexpr char kModifyFailed[] = "タスクトレイのアイコンを変更できません。";

HWND ApplicationWindow() {
  TApplication* application = TApplication::Current();
  return application != nullptr ? application->Handle() : nullptr;
}

void ProcessPendingMessages() {
  if (TApplication* application = TApplication::Current()) application->ProcessMessages();
}

BOOL NotifyShell(DWORD command, const NOTIFYICONDATAA& record) {
  NOTIFYICONDATAW wide = WideIconData(record);
  return Shell_NotifyIconW(command, &wide);
}
}  // namespace

NOTIFYICONDATAW WideIconData(const NOTIFYICONDATAA& record) {
  NOTIFYICONDATAW wide{};
  wide.cbSize = NOTIFYICONDATAW_V1_SIZE;
  wide.hWnd = record.hWnd;
  wide.uID = record.uID;
  wide.uFlags = record.uFlags;
  wide.uCallbackMessage = record.uCallbackMessage;
  wide.hIcon = record.hIcon;
  // At most 62 bytes give at most 62 characters: the wide field of 64 always keeps its NUL.
  const framework::WideText tip = framework::ProgramTextToWide(record.szTip);
  memcpy(wide.szTip, tip.c_str(), (tip.size() < 63 ? tip.size() : 63) * sizeof(wchar_t));
  return wide;
}

// ---- animation thread ----

TIconAnimation::TIconAnimation(TTrayIcon* trayIcon)
    : trayIcon_(trayIcon),
      stop_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      interrupt_(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {}

void TIconAnimation::Stop() {
  Terminate();
  SetEvent(stop_.get());
}

void TIconAnimation::Execute() {
  while (WaitWhilePaused()) {
    // The step and every decision to pause happen on the main thread, in order with the main
    // thread's own changes; this thread only keeps the beat.
    bool keepGoing = false;
    if (!Synchronize([this, &keepGoing] { keepGoing = trayIcon_->RunAnimationStep(); }, stop_.get())) break;
    if (!keepGoing) break;
    // One interval until the next step; a new interval restarts the wait with its value.
    HANDLE wakers[2] = {stop_.get(), interrupt_.get()};
    DWORD woken;
    do {
      woken = WaitForMultipleObjects(2, wakers, FALSE, trayIcon_->interval_.load());
    } while (woken == WAIT_OBJECT_0 + 1 && !Paused());
  }
}

// ---- tray icon ----

TTrayIcon::TTrayIcon(framework::TComponent* owner) : TComponent(owner) {
  TApplication* application = TApplication::Current();
  if (!IsDesigning() && application != nullptr) {
    savedOnRestore_ = application->OnRestore();
    application->SetOnRestore(framework::TNotifyEvent::Bind(this, &TTrayIcon::ApplicationRestore));
    savedOnMinimize_ = application->OnMinimize();
    application->SetOnMinimize(framework::TNotifyEvent::Bind(this, &TTrayIcon::ApplicationMinimize));
    hooked_ = true;
  }
}

TTrayIcon::~TTrayIcon() {
  if (!IsDesigning()) {
    RemoveIcon();
    TApplication* application = TApplication::Current();
    if (hooked_ && application != nullptr) {
      application->SetOnRestore(std::move(savedOnRestore_));
      application->SetOnMinimize(std::move(savedOnMinimize_));
    }
    savedOnRestore_ = {};
    savedOnMinimize_ = {};
  }
  if (animation_) {
    animationStopping_ = true;
    animation_->Stop();
    if (destroyedDuringStep_ != nullptr) {
      // Destroyed by a handler inside a step: the thread waits for this step to end, so it cannot be
      // waited for here. It ends right after the step and frees itself.
      *destroyedDuringStep_ = true;
      animation_->SetFreeOnTerminate(true);
      animation_.release();
    } else {
      animation_->Resume();  // a paused thread must see the request
      animation_.reset();    // waits until the thread body has returned
    }
  }
}

bool TTrayIcon::ShouldShowIcon() const { return visible_ && (!minimized_ || IsIconic(ApplicationWindow())); }

HICON TTrayIcon::CurrentIconHandle() {
  if (!icon_.Empty()) return SmallIcon(&icon_);
  if (resourceIconList_.Count() == 0 || resourceIconID_ < 0) {
    TApplication* application = TApplication::Current();
    if (application == nullptr || application->Icon().Empty()) return nullptr;
    return SmallIcon(nullptr);
  }
  // An index read from a form beyond the list's end shows the first entry, as the getter reads it.
  const std::string& name = resourceIconList_.Strings(ResourceIconID());
  if (!cachedResourceIcon_) cachedResourceIcon_ = std::make_unique<framework::TIcon>();
  // Loaded afresh on every call; the cached object owns (and so destroys) the icon it replaces.
  smallIconSize_ = framework::SmallIconSize(iconDpi_);
  cachedResourceIcon_->LoadFromResource(name.c_str(), nullptr, smallIconSize_);
  return cachedResourceIcon_->Handle();
}

HICON TTrayIcon::SmallIcon(const framework::TIcon* explicitIcon) {
  // At the tray's size, not a large image the shell would shrink: the explicit icon's own image of
  // that size where its file has one, the application's from its resource.
  const HICON source = explicitIcon != nullptr ? explicitIcon->Handle() : TApplication::Current()->Icon().Handle();
  const int size = framework::SmallIconSize(iconDpi_);
  if (source != smallIconSource_ || size != smallIconSize_ || smallIcon_.Empty()) {
    if (explicitIcon != nullptr) {
      smallIcon_.AssignSized(*explicitIcon, size);
    } else {
      smallIcon_.LoadFromResource(framework::TApplication::kIconName, nullptr, size);
    }
    smallIconSource_ = source;
    smallIconSize_ = size;
  }
  return smallIcon_.Empty() ? source : smallIcon_.Handle();
}

void TTrayIcon::CopyTip() {
  const std::string_view tip = framework::CutOnCharBoundary(tipHelp_, kTipMaxBytes, framework::kProgramCodePage);
  memset(iconData_.szTip, 0, sizeof iconData_.szTip);
  memcpy(iconData_.szTip, tip.data(), tip.size());
}

bool TTrayIcon::AddIcon() {
  if (iconShown_) return true;
  if (CurrentIconHandle() == nullptr) return false;
  if (!TryAddIcon()) {
    // A caller that adds the icon itself learns of the refusal; no window or retry is left behind.
    messageWindow_.reset();
    retrying_ = false;
    throw ENotifyIconError(kAddFailed);
  }
  return true;
}

bool TTrayIcon::TryAddIcon() {
  const HICON icon = CurrentIconHandle();
  // Without an icon nothing is shown, and no message window is made for nothing.
  if (icon == nullptr) return false;
  if (!messageWindow_) {
    messageWindow_ =
        std::make_unique<framework::UtilityWindow>([this](HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
          return IconWndProc(window, message, wParam, lParam);
        });
  }
  iconData_ = NOTIFYICONDATAA{};
  iconData_.cbSize = NOTIFYICONDATAA_V1_SIZE;
  iconData_.hWnd = messageWindow_->Handle();
  iconData_.uID = kTrayIconId;
  iconData_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  iconData_.uCallbackMessage = kTrayCallbackMessage;
  iconData_.hIcon = icon;
  CopyTip();
  if (!NotifyShell(NIM_ADD, iconData_)) return false;
  IconIsShown();
  return true;
}

void TTrayIcon::IconIsShown() {
  iconShown_ = true;
  if (retrying_) {
    KillTimer(messageWindow_->Handle(), kRetryTimerId);  // shown: nothing wakes up any more
    retrying_ = false;
  }
  RequestNewerCallbacks();
  SendBalloon();
  UpdateAnimation();
}

void TTrayIcon::RequestNewerCallbacks() {
  NOTIFYICONDATAW record{};
  record.cbSize = NOTIFYICONDATAW_V2_SIZE;  // the first version of the record with uVersion
  record.hWnd = iconData_.hWnd;
  record.uID = kTrayIconId;
  record.uVersion = NOTIFYICON_VERSION_4;
  newerCallbacks_ = Shell_NotifyIconW(NIM_SETVERSION, &record) != FALSE;
}

void TTrayIcon::ShowBalloon(const wchar_t* title, const wchar_t* text, TBalloonIcon icon) {
  constexpr DWORD kIconFlags[] = {NIIF_NONE, NIIF_INFO, NIIF_WARNING, NIIF_ERROR};
  balloon_ = std::make_unique<NOTIFYICONDATAW>();
  // The second version of the record, the first with notifications.
  balloon_->cbSize = NOTIFYICONDATAW_V2_SIZE;
  balloon_->uID = kTrayIconId;
  balloon_->uFlags = NIF_INFO;
  lstrcpynW(balloon_->szInfoTitle, title, sizeof balloon_->szInfoTitle / sizeof(wchar_t));
  lstrcpynW(balloon_->szInfo, text, sizeof balloon_->szInfo / sizeof(wchar_t));
  // Taken only by older systems; newer ones show it for the user's notification time.
  balloon_->uTimeout = 10000;
  balloon_->dwInfoFlags = kIconFlags[static_cast<size_t>(icon)];
  if (iconShown_) SendBalloon();
}

void TTrayIcon::SendBalloon() {
  if (!balloon_) return;
  balloon_->hWnd = messageWindow_->Handle();
  // Told once: a shell that refuses it does not get it again.
  balloonShowing_ = Shell_NotifyIconW(NIM_MODIFY, balloon_.get()) != FALSE;
  balloon_.reset();
}

void TTrayIcon::AddIconOrRetry() {
  if (iconShown_ || retrying_ || TryAddIcon() || !messageWindow_) return;
  StartRetry();
}

void TTrayIcon::StartRetry() {
  // The shell is not ready (sign-in, a restart, none at all): the window waits for its broadcast,
  // and a slow timer covers a shell that never sends one.
  retrying_ = SetTimer(messageWindow_->Handle(), kRetryTimerId, kRetryIntervalMs, nullptr) != 0;
}

bool TTrayIcon::RemoveIcon() {
  if (iconShown_ || retrying_) {
    // Also while refused: a shell that kept the icon through its broadcast may still show it, and a
    // dead icon would stay until the mouse passes over it. A refusal changes nothing.
    if (iconData_.hWnd != nullptr) NotifyShell(NIM_DELETE, iconData_);
    messageWindow_.reset();  // a retry's timer goes with it
    retrying_ = false;
    iconShown_ = false;
    balloonShowing_ = false;  // it goes with the icon
    StopAnimation();
  }
  return true;
}

bool TTrayIcon::UpdateIcon() {
  if (!iconShown_) {
    if (retrying_) return true;  // the retry adds the icon as it is then
    return ShouldShowIcon() ? AddIcon() : true;
  }
  iconData_.hIcon = CurrentIconHandle();
  CopyTip();
  if (iconData_.hIcon == nullptr) return false;  // the shell keeps showing the previous icon
  if (!NotifyShell(NIM_MODIFY, iconData_)) throw ENotifyIconError(kModifyFailed);
  return true;
}

void TTrayIcon::UpdateAnimation() {
  if (visible_ && interval_ > 0) {
    if (!animation_) animation_ = std::make_unique<TIconAnimation>(this);
    animation_->Resume();
    animation_->Interrupt();
  } else if (animation_ && animation_->Started() && !animation_->Paused()) {
    animation_->Pause();
  }
}

void TTrayIcon::StopAnimation() {
  if (animation_ && animation_->Started() && !animation_->Paused()) animation_->Pause();
}

bool TTrayIcon::RunAnimationStep() {
  if (animationStopping_) return false;
  if (animation_->Paused()) return true;  // paused since the step was handed over: no step
  if (interval_ == 0 || !visible_) {
    animation_->Pause();  // nothing to animate: the thread waits until woken
    return true;
  }
  // A handler may free this component; then nothing of it is touched after the step.
  bool destroyed = false;
  destroyedDuringStep_ = &destroyed;
  try {
    AnimateStep();
  } catch (...) {
    if (destroyed) return false;
    // A failed step ends the animation without a report; it stays stopped.
    destroyedDuringStep_ = nullptr;
    animationFailed_ = true;
    return false;
  }
  if (destroyed) return false;
  destroyedDuringStep_ = nullptr;
  return true;
}

void TTrayIcon::AnimateStep() {
  if (onIconAnimation_) {
    // A copy: the handler may free this component, and with it the event.
    const framework::TNotifyEvent handler = onIconAnimation_;
    // The step's own flag, taken before the handler: once it has freed this, no member may be read.
    bool* const destroyed = destroyedDuringStep_;
    handler(this);
    if (destroyed != nullptr && *destroyed) return;
    UpdateIcon();
    return;
  }
  const int next = resourceIconID_ + 1;
  SetResourceIconID(next < resourceIconList_.Count() ? next : 0);
}

void TTrayIcon::SetIcon(const framework::TIcon* icon) {
  smallIconSource_ = nullptr;  // a new icon may get the handle value of the one it replaces
  if (icon != nullptr) {
    icon_.Assign(*icon);
  } else {
    icon_.SetHandle(nullptr);  // the owned copy is destroyed, not leaked
  }
  if (Active()) UpdateIcon();
}

void TTrayIcon::SetTipHelp(const std::string& value) {
  // Cut on a character boundary: a double-byte character is never split.
  const std::string cut(framework::CutOnCharBoundary(value, kTipMaxBytes, framework::kProgramCodePage));
  if (cut == tipHelp_) return;
  tipHelp_ = cut;
  if (Active()) UpdateIcon();
}

void TTrayIcon::SetMinimized(bool value) {
  if (value == minimized_) return;
  minimized_ = value;
  if (!Active()) return;
  if (ShouldShowIcon()) {
    UpdateIcon();
  } else {
    RemoveIcon();
  }
}

void TTrayIcon::SetVisible(bool value) {
  if (value == visible_) return;
  visible_ = value;
  if (!Active()) return;
  if (ShouldShowIcon()) {
    AddIcon();
  } else {
    RemoveIcon();
  }
}

int TTrayIcon::ResourceIconID() const {
  if (resourceIconID_ >= resourceIconList_.Count()) resourceIconID_ = 0;
  return resourceIconID_;
}

void TTrayIcon::SetResourceIconID(int value) {
  if (value == resourceIconID_ && value != 0) return;
  if (IsLoading()) {
    resourceIconID_ = value;  // the list may not be loaded yet
    return;
  }
  const int count = resourceIconList_.Count();
  if (value >= count) value = count - 1;
  if (value < 0) value = -1;
  resourceIconID_ = value;
  if (Active() && ShouldShowIcon()) UpdateIcon();
}

void TTrayIcon::SetResourceIconList(const framework::TStringList& list) {
  if (resourceIconList_.Count() == 0) {
    resourceIconList_.Assign(list);
    if (Active() && ShouldShowIcon()) UpdateIcon();
    return;
  }
  if (ResourceIconID() < 0) {
    resourceIconList_.Assign(list);  // no entry selected: the shown icon does not depend on the list
    return;
  }
  const std::string remembered = resourceIconList_.Strings(ResourceIconID());
  resourceIconList_.Assign(list);
  SetResourceIconID(ResourceIconID());
  // An empty new list leaves no entry to compare: the icon source has changed.
  const bool changed = resourceIconID_ < 0 || resourceIconList_.Strings(resourceIconID_) != remembered;
  if (changed && Active() && ShouldShowIcon()) UpdateIcon();
}

void TTrayIcon::SetInterval(unsigned value) {
  if (value == interval_) return;
  if (value > 0 && value < kMinimumInterval) value = kMinimumInterval;
  interval_ = value;
  UpdateAnimation();  // in every state, also while loading
}

void TTrayIcon::PopupMenu(framework::TPopupMenu* menu, int x, int y) {
  if (menuOpen_) return;  // the shell's further callbacks arrive while the menu is up
  menuOpen_ = true;
  // The application window must be in the foreground, or the menu would not close when the user
  // clicks elsewhere.
  SetForegroundWindow(ApplicationWindow());
  ProcessPendingMessages();
  menu->Popup(x, y);
  menuOpen_ = false;
}

void TTrayIcon::PopupKeyboardMenu(int x, int y) {
  framework::TPopupMenu* menu = rButtonPopupMenu_ != nullptr ? rButtonPopupMenu_ : lButtonPopupMenu_;
  if (menu != nullptr && autoPopup_) PopupMenu(menu, x, y);
}

LRESULT TTrayIcon::IconWndProc(HWND /*window*/, UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  if (message == kTrayCallbackMessage) {
    // The fourth version puts the event in the low word (the icon's id above it) and the place in
    // wParam (the icon's, for the keyboard); the first gives the event alone, and the cursor tells.
    POINT place{};
    if (newerCallbacks_) {
      place.x = static_cast<short>(LOWORD(wParam));
      place.y = static_cast<short>(HIWORD(wParam));
    } else {
      GetCursorPos(&place);
    }
    const int x = place.x;
    const int y = place.y;
    const UINT event = LOWORD(lParam);
    if (event != WM_CONTEXTMENU && event != WM_MOUSEMOVE && event != WM_RBUTTONUP) rightPressMenu_ = false;
    switch (event) {
      case WM_MOUSEMOVE:
        if (onMouseMove_) onMouseMove_(this, 0, x, y);
        break;
      case WM_LBUTTONDOWN:
        if (lButtonPopupMenu_ != nullptr && autoPopup_) {
          PopupMenu(lButtonPopupMenu_, x, y);
        } else if (onMouseDown_) {
          onMouseDown_(this, TMouseButton::mbLeft, ssLeft, x, y);
        }
        break;
      case WM_LBUTTONUP:
        if (onMouseUp_) onMouseUp_(this, TMouseButton::mbLeft, ssLeft, x, y);
        break;
      case WM_LBUTTONDBLCLK:
        if (onDblClick_) onDblClick_(this);
        break;
      case WM_RBUTTONDOWN:
        if (rButtonPopupMenu_ != nullptr && autoPopup_) {
          rightPressMenu_ = true;  // before the menu: the release's callbacks come while it is up
          PopupMenu(rButtonPopupMenu_, x, y);
        } else if (onMouseDown_) {
          onMouseDown_(this, TMouseButton::mbRight, ssRight, x, y);
        }
        break;
      case WM_RBUTTONUP:
        if (onMouseUp_) onMouseUp_(this, TMouseButton::mbRight, ssRight, x, y);
        break;
      case WM_MBUTTONDOWN:
        if (onMouseDown_) onMouseDown_(this, TMouseButton::mbMiddle, ssMiddle, x, y);
        break;
      case WM_MBUTTONUP:
        if (onMouseUp_) onMouseUp_(this, TMouseButton::mbMiddle, ssMiddle, x, y);
        break;
      case NIN_KEYSELECT:  // Enter or the space bar on the selected icon
        PopupKeyboardMenu(x, y);
        break;
      case WM_CONTEXTMENU:  // the Menu key or Shift+F10; also after a right click's release
        if (!std::exchange(rightPressMenu_, false)) PopupKeyboardMenu(x, y);
        break;
      case NIN_BALLOONUSERCLICK:
        balloonShowing_ = false;
        if (onBalloonClick_) onBalloonClick_(this);
        break;
      case NIN_BALLOONHIDE:
      case NIN_BALLOONTIMEOUT:
        balloonShowing_ = false;
        break;
      default:  // WM_RBUTTONDBLCLK and anything else: nothing
        break;
    }
  } else if (message == WM_QUERYENDSESSION) {
    result = 1;  // consent to the session's end
  } else if (message == taskbarCreatedMessage_ && message != 0 && iconShown_) {
    // The shell has restarted and knows no icons, nor their notices: ours is shown again. It also
    // says so without restarting, keeping its icons, when the primary display's scale or size
    // changes or a remote session connects: then the icon is only changed, to the small-icon size
    // now in effect. A shell that takes neither is waited for as one refusing it at the start is.
    balloonShowing_ = false;
    iconDpi_ = framework::WindowDpi(MessageWindow());
    iconData_.hIcon = CurrentIconHandle();
    if (NotifyShell(NIM_ADD, iconData_) || NotifyShell(NIM_MODIFY, iconData_)) {
      IconIsShown();
    } else {
      iconShown_ = false;
      StopAnimation();
      StartRetry();
    }
  } else if ((message == taskbarCreatedMessage_ && message != 0) || (message == WM_TIMER && wParam == kRetryTimerId)) {
    // An icon the shell refused before: the shell is back, or the slow retry is due.
    if (retrying_ && !iconShown_) TryAddIcon();
  } else if (message == WM_DPICHANGED || message == WM_SETTINGCHANGE || message == WM_DISPLAYCHANGE) {
    // The display scale may have changed: a shown icon follows at the new small-icon size.
    iconDpi_ = message == WM_DPICHANGED ? LOWORD(wParam) : framework::WindowDpi(MessageWindow());
    if (iconShown_ && framework::SmallIconSize(iconDpi_) != smallIconSize_) {
      try {
        UpdateIcon();
      } catch (const ENotifyIconError&) {
        // A shell that lost the icon shows it again on its broadcast, at the size then in effect.
      }
    }
  }
  // Every message is answered here; none goes on to the default procedure.
  ProcessPendingMessages();
  return result;
}

void TTrayIcon::ApplicationMinimize(framework::TObject* sender) {
  if (savedOnMinimize_) savedOnMinimize_(sender);
  if (visible_ && minimized_) {
    // Raised inside the application's Minimize, where a refusal has no one to go to: retried.
    AddIconOrRetry();
    if (hideOnTaskBar_) ShowWindow(ApplicationWindow(), SW_HIDE);  // takes the taskbar button away
  }
}

void TTrayIcon::ApplicationRestore(framework::TObject* sender) {
  if (savedOnRestore_) savedOnRestore_(sender);
  if (minimized_) {
    RemoveIcon();
    if (auto* form = framework::ComponentAs<framework::TForm>(Owner())) SetForegroundWindow(form->Handle());
  }
}

void TTrayIcon::Loaded() {
  if (!IsDesigning() && ShouldShowIcon()) AddIcon();
  TComponent::Loaded();
}

void TTrayIcon::Notification(framework::TComponent* component, framework::Operation operation) {
  TComponent::Notification(component, operation);
  if (operation != framework::Operation::Remove) return;
  if (component == lButtonPopupMenu_) lButtonPopupMenu_ = nullptr;
  if (component == rButtonPopupMenu_) rButtonPopupMenu_ = nullptr;
}

const framework::PropertyTable& TTrayIcon::ClassProperties() {
  static const framework::PropertyTable table = [] {
    framework::PropertyTable t("TTrayIcon", &framework::TComponent::ClassProperties());
    t.Boolean("AutoPopup", &TTrayIcon::AutoPopup, &TTrayIcon::SetAutoPopup, true)
        .Icon("Icon", &TTrayIcon::Icon, &TTrayIcon::SetIcon)
        .String("TipHelp", &TTrayIcon::TipHelp, &TTrayIcon::SetTipHelp)
        .Boolean("Minimized", &TTrayIcon::Minimized, &TTrayIcon::SetMinimized, false)
        .Boolean("Visible", &TTrayIcon::Visible, &TTrayIcon::SetVisible, true)
        .Boolean("HideOnTaskBar", &TTrayIcon::HideOnTaskBar, &TTrayIcon::SetHideOnTaskBar, false)
        .Integer("ResourceIconID", &TTrayIcon::ResourceIconID, &TTrayIcon::SetResourceIconID)
        .Strings("ResourceIconList", &TTrayIcon::ResourceIconList)
        .Integer("Interval", &TTrayIcon::Interval, &TTrayIcon::SetInterval, 1000)
        .Reference("LButtonPopupMenu", &TTrayIcon::LButtonPopupMenu, &TTrayIcon::SetLButtonPopupMenu)
        .Reference("RButtonPopupMenu", &TTrayIcon::RButtonPopupMenu, &TTrayIcon::SetRButtonPopupMenu)
        .EventHandler("OnDblClick", &TTrayIcon::OnDblClick, &TTrayIcon::SetOnDblClick)
        .EventHandler("OnMouseDown", &TTrayIcon::OnMouseDown, &TTrayIcon::SetOnMouseDown)
        .EventHandler("OnMouseMove", &TTrayIcon::OnMouseMove, &TTrayIcon::SetOnMouseMove)
        .EventHandler("OnMouseUp", &TTrayIcon::OnMouseUp, &TTrayIcon::SetOnMouseUp)
        .EventHandler("OnIconAnimation", &TTrayIcon::OnIconAnimation, &TTrayIcon::SetOnIconAnimation)
        .EventHandler("OnBalloonClick", &TTrayIcon::OnBalloonClick, &TTrayIcon::SetOnBalloonClick);
    return t;
  }();
  return table;
}

}  // namespace tray
