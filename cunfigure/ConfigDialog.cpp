// The configuration program's window.
#include "cunfigure/ConfigDialog.h"

#include <commctrl.h>
#include <commdlg.h>

#include <exception>
#include <iterator>
#include <tuple>
#include <vector>

#include "cunfigure/ConfigSettings.h"
#include "cunfigure/DialogScale.h"
#include "cunfigure/DialogTexts.h"
#include "cunfigure/ElevatedSave.h"
#include "cunfigure/LauncherChoices.h"
#include "cunfigure/LauncherStart.h"
#include "framework/Dpi.h"

namespace configure {

namespace {
constexpr wchar_t kTitle[] = L"TOLVANE 設定";

// Layout of the client area in pixels at 96 DPI, scaled to the window's display scale.
constexpr int kMargin = 12;
constexpr int kEditWidth = 420;
constexpr int kButtonWidth = 86;
constexpr int kButtonHeight = 26;
constexpr int kEditHeight = 23;
constexpr int kLabelHeight = 18;
constexpr int kFieldHeight = 58;  // label, edit and the gap to the next field
constexpr int kCheckTop = 122;    // the two check boxes, one under the other
constexpr int kCheckHeight = 22;
constexpr int kClientWidth = kMargin + kEditWidth + 8 + kButtonWidth + kMargin;
constexpr int kClientHeight = 214;
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
constexpr DWORD kExtendedStyle = WS_EX_DLGMODALFRAME;

// The largest file name the open-file dialog may hand back.
constexpr DWORD kFileNameBuffer = 32768;

std::wstring FolderOf(const std::wstring& path) {
  const size_t separator = path.find_last_of(L"\\/");
  return separator == std::wstring::npos ? std::wstring() : path.substr(0, separator);
}

std::wstring ThisProgram() {
  std::vector<wchar_t> path(MAX_PATH);
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) return std::wstring(path.data(), length);
    path.resize(path.size() * 2);
  }
}

}  // namespace

ConfigDialog::ConfigDialog(std::wstring iniPath, bool startLauncher)
    : iniPath_(std::move(iniPath)),
      launcherPath_(LauncherIn(FolderOf(iniPath_))),
      startTicked_(startLauncher || GetFileAttributesW(iniPath_.c_str()) == INVALID_FILE_ATTRIBUTES) {}

ConfigDialog::~ConfigDialog() {
  // The controls go before the font they use, a member freed after this.
  if (window_ != nullptr) DestroyWindow(window_);
}

bool ConfigDialog::Run(HINSTANCE instance, int show) {
  // The controls of version 6 (the manifest asks for them), drawn in the system's visual style.
  INITCOMMONCONTROLSEX commonControls{sizeof commonControls, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&commonControls);

  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // the arrow
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kWindowClass;
  RegisterClassExW(&windowClass);

  // Made hidden at the system's scale; WM_CREATE lays it out for the scale of the monitor it is on.
  dpi_ = framework::SystemDpi();
  const SIZE size = FrameSize(dpi_, {kClientWidth, kClientHeight}, kStyle, kExtendedStyle);
  CreateWindowExW(kExtendedStyle, kWindowClass, kTitle, kStyle, CW_USEDEFAULT, CW_USEDEFAULT, size.cx, size.cy, nullptr,
                  nullptr, instance, this);
  if (window_ == nullptr) return false;
  CentreOnMonitor();

  ShowWindow(window_, show);
  SetForegroundWindow(window_);
  FocusEdit(kMailEditId);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (window_ == nullptr || !IsDialogMessageW(window_, &message)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  return saved_;
}

void ConfigDialog::ApplyScale(UINT dpi) {
  dpi_ = dpi;
  // Each new font and icon is handed to the window before the one it replaces is freed, so that no
  // control or title bar ever holds a freed handle; one that fails to load leaves the old in place.
  UniqueFont replacedFont;
  if (UniqueFont font{MessageFontAt(dpi)}) {
    replacedFont = std::move(font_);
    font_ = std::move(font);
  }
  // The product's icon, drawn for this scale: small in the title bar, large for Alt+Tab.
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  for (const auto& [which, metric, owned] :
       {std::tuple{ICON_SMALL, SM_CXSMICON, &smallIcon_}, std::tuple{ICON_BIG, SM_CXICON, &bigIcon_}}) {
    const int side = framework::MetricAt(metric, dpi);
    framework::UniqueIcon icon(static_cast<HICON>(LoadImageW(instance, L"MAINICON", IMAGE_ICON, side, side, 0)));
    if (!icon) continue;
    SendMessageW(window_, WM_SETICON, which, reinterpret_cast<LPARAM>(icon.get()));
    *owned = std::move(icon);
  }
  Layout();  // sets the new font in every control; the replaced one is freed after
}

void ConfigDialog::Layout() {
  auto place = [this](int id, int x, int y, int width, int height) {
    HWND control = GetDlgItem(window_, id);
    SetWindowPos(control, nullptr, Scale(x), Scale(y), Scale(width), Scale(height), SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_ ? font_.get() : GetStockObject(DEFAULT_GUI_FONT)),
                 TRUE);
  };
  const int fields[][3] = {{kMailLabelId, kMailEditId, kMailBrowseId}, {kProxyLabelId, kProxyEditId, kProxyBrowseId}};
  int top = kMargin;
  for (const auto& field : fields) {
    place(field[0], kMargin, top, kEditWidth, kLabelHeight);
    place(field[1], kMargin, top + 20, kEditWidth, kEditHeight);
    place(field[2], kMargin + kEditWidth + 8, top + 19, kButtonWidth, kButtonHeight);
    top += kFieldHeight;
  }
  place(kStartNowId, kMargin, kCheckTop, kEditWidth + 8 + kButtonWidth, kCheckHeight);
  place(kSignInId, kMargin, kCheckTop + kCheckHeight, kEditWidth + 8 + kButtonWidth, kCheckHeight);
  const int buttonsY = kClientHeight - kMargin - kButtonHeight;
  place(IDOK, kClientWidth - kMargin - 2 * kButtonWidth - 8, buttonsY, kButtonWidth, kButtonHeight);
  place(IDCANCEL, kClientWidth - kMargin - kButtonWidth, buttonsY, kButtonWidth, kButtonHeight);
}

SIZE ConfigDialog::WindowSize() const {
  // The frame as the window has it (the system's estimate for a scale may differ by a pixel or two).
  RECT frame;
  RECT client;
  GetWindowRect(window_, &frame);
  GetClientRect(window_, &client);
  return {Scale(kClientWidth) + (frame.right - frame.left) - client.right,
          Scale(kClientHeight) + (frame.bottom - frame.top) - client.bottom};
}

void ConfigDialog::CentreOnMonitor() {
  const UINT dpi = framework::WindowDpi(window_);
  if (dpi != dpi_) ApplyScale(dpi);
  const SIZE size = WindowSize();
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  if (!GetMonitorInfoW(MonitorFromWindow(window_, MONITOR_DEFAULTTONEAREST), &monitor)) return;
  const RECT& work = monitor.rcWork;
  SetWindowPos(window_, nullptr, work.left + (work.right - work.left - size.cx) / 2,
               work.top + (work.bottom - work.top - size.cy) / 2, size.cx, size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CALLBACK ConfigDialog::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* dialog = static_cast<ConfigDialog*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    dialog->window_ = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(dialog));
  }
  auto* dialog = reinterpret_cast<ConfigDialog*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (dialog == nullptr) return DefWindowProcW(window, message, wParam, lParam);
  return Guarded(window, [&] { return dialog->Handle(message, wParam, lParam); });
}

LRESULT ConfigDialog::Guarded(HWND owner, const std::function<LRESULT()>& handle) {
  std::wstring text = L"エラーが発生しました。";
  try {
    return handle();
  } catch (const std::exception& error) {
    // Our texts are code page 932; the runtime's are ASCII, which that page reads the same.
    const int length = MultiByteToWideChar(932, 0, error.what(), -1, nullptr, 0);
    std::wstring what(length > 0 ? static_cast<size_t>(length) : 1u, L'\0');
    MultiByteToWideChar(932, 0, error.what(), -1, what.data(), length);
    text += L"\n" + std::wstring(what.c_str());
  } catch (...) {
  }
  MessageBoxW(IsWindow(owner) ? owner : nullptr, text.c_str(), kTitle, MB_OK | MB_ICONERROR);
  return 0;
}

LRESULT ConfigDialog::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      CreateControls();
      ApplyScale(framework::WindowDpi(window_));
      return 0;
    case WM_DPICHANGED: {
      // Moved to a monitor of another scale, or the scale changed: the system suggests the new frame.
      ApplyScale(LOWORD(wParam));
      const RECT& suggested = *reinterpret_cast<const RECT*>(lParam);
      SetWindowPos(window_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                   suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
      const SIZE size = WindowSize();
      SetWindowPos(window_, nullptr, 0, 0, size.cx, size.cy, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
      return 0;
    }
    case WM_COMMAND:
      if (busy_) return 0;  // one question at a time
      switch (LOWORD(wParam)) {
        case IDOK: {
          // The check boxes as they were when OK was pressed: the save may ask questions and wait for
          // the elevated copy before they are applied.
          const LauncherChoices choices = CheckedChoices();
          if (Save()) {
            saved_ = true;
            ApplyLauncherChoices(
                choices, launcherPath_, signInValue_,
                [this](const std::wstring& question) {
                  return Message(question, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES;
                },
                [this](const std::wstring& warning) { Message(warning, MB_OK | MB_ICONWARNING); },
                RunsAsTheSignedInUser());
            if (window_ != nullptr) DestroyWindow(window_);
          }
          return 0;
        }
        case IDCANCEL:
          DestroyWindow(window_);
          return 0;
        case kMailBrowseId:
          Browse(kMailEditId);
          return 0;
        case kProxyBrowseId:
          Browse(kProxyEditId);
          return 0;
      }
      break;
    case WM_CLOSE:
      if (busy_) return 0;  // refused while a question or the save is under way, as a command is
      break;
    case WM_DESTROY:
      SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
      window_ = nullptr;
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(window_, message, wParam, lParam);
}

void ConfigDialog::AddControl(const wchar_t* className, const wchar_t* text, DWORD style, int id) {
  const bool edit = lstrcmpW(className, L"EDIT") == 0;
  // Placed and given the font by Layout.
  CreateWindowExW(edit ? WS_EX_CLIENTEDGE : 0, className, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, window_,
                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
}

void ConfigDialog::CreateControls() {
  // In tab order: each field's edit then its browse button, the check boxes, then OK and Cancel.
  const Settings settings = ReadSettings(iniPath_);
  AddControl(L"STATIC", (std::wstring(kMailLabel) + L" (Mail):").c_str(), SS_NOPREFIX, kMailLabelId);
  AddControl(L"EDIT", settings.mail.c_str(), WS_TABSTOP | ES_AUTOHSCROLL, kMailEditId);
  AddControl(L"BUTTON", L"参照(&B)...", WS_TABSTOP | BS_PUSHBUTTON, kMailBrowseId);
  AddControl(L"STATIC", (std::wstring(kProxyLabel) + L" (Ondrel):").c_str(), SS_NOPREFIX, kProxyLabelId);
  AddControl(L"EDIT", settings.proxy.c_str(), WS_TABSTOP | ES_AUTOHSCROLL, kProxyEditId);
  AddControl(L"BUTTON", L"参照(&R)...", WS_TABSTOP | BS_PUSHBUTTON, kProxyBrowseId);
  // The launcher's starts, offered when it is beside the settings file. Started now: on by default
  // for a first run, and when a launcher's notice sent the user here, so that saving goes straight
  // on to the mail.
  const DWORD offered = launcherPath_.empty() ? WS_DISABLED : 0;
  AddControl(L"BUTTON", L"保存したらランチャーを起動する(&S)", WS_TABSTOP | BS_AUTOCHECKBOX | offered, kStartNowId);
  signInValue_ = SignInValue();
  const bool ours = !launcherPath_.empty() && StartsAtSignIn(signInValue_, launcherPath_);
  const std::wstring signInText = std::wstring(L"Windows へのサインイン時にランチャーを起動する(&W)") +
                                  (signInValue_.empty() || ours ? L"" : L" (別の場所のランチャーが登録されています)");
  AddControl(L"BUTTON", signInText.c_str(), WS_TABSTOP | BS_AUTOCHECKBOX | offered, kSignInId);
  CheckDlgButton(window_, kStartNowId, startTicked_ && !launcherPath_.empty() ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(window_, kSignInId, ours ? BST_CHECKED : BST_UNCHECKED);
  AddControl(L"BUTTON", L"OK", WS_TABSTOP | BS_DEFPUSHBUTTON, IDOK);
  AddControl(L"BUTTON", L"キャンセル", WS_TABSTOP | BS_PUSHBUTTON, IDCANCEL);
}

std::wstring ConfigDialog::EditText(int id) const {
  HWND edit = GetDlgItem(window_, id);
  const int length = GetWindowTextLengthW(edit);
  std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1, L'\0');
  const int copied = GetWindowTextW(edit, buffer.data(), length + 1);
  return std::wstring(buffer.data(), static_cast<size_t>(copied > 0 ? copied : 0));
}

void ConfigDialog::FocusEdit(int id) const {
  HWND edit = GetDlgItem(window_, id);
  SetFocus(edit);
  SendMessageW(edit, EM_SETSEL, 0, -1);
}

int ConfigDialog::Message(const std::wstring& text, UINT type) {
  busy_ = true;
  const int answer = MessageBoxW(window_, text.c_str(), kTitle, type);
  busy_ = false;
  return answer;
}

void ConfigDialog::Browse(int editId) {
  const std::wstring current = EditText(editId);
  const bool command = editId == kMailEditId;
  // Start where the current program is, or else in this program's folder.
  std::wstring program = command ? FindCommandProgram(current) : FindProgram(current);
  if (program.empty()) program = command ? NamedProgram(current) : current;
  std::wstring folder = FolderOf(program);
  if (folder.empty() || GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES) {
    folder = FolderOf(iniPath_);
  }

  std::vector<wchar_t> file(kFileNameBuffer, L'\0');
  static constexpr wchar_t kFilter[] = L"プログラム (*.exe)\0*.exe\0すべてのファイル (*.*)\0*.*\0";
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = window_;
  dialog.lpstrFilter = kFilter;
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = file.data();
  dialog.nMaxFile = kFileNameBuffer;
  dialog.lpstrInitialDir = folder.c_str();
  dialog.lpstrTitle = command ? L"メールソフトのプログラムを選択" : L"メールプロキシのプログラムを選択";
  dialog.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
  dialog.lpstrDefExt = L"exe";
  busy_ = true;
  const BOOL chosen = GetOpenFileNameW(&dialog);
  busy_ = false;
  if (!chosen) return;
  const std::wstring path(file.data());
  // A command line keeps its arguments; the program is quoted when its path has a blank.
  SetDlgItemTextW(window_, editId, (command ? ReplaceCommandProgram(current, path) : path).c_str());
  FocusEdit(editId);
}

bool ConfigDialog::ValueAccepted(int editId, const wchar_t* label, std::string& bytes) {
  const std::wstring value = EditText(editId);
  const ValueProblem problem = CheckValue(value, bytes);
  if (problem == ValueProblem::None) return true;
  Message(ValueProblemText(problem, label, value), MB_OK | MB_ICONERROR);
  FocusEdit(editId);
  return false;
}

bool ConfigDialog::Save() {
  std::string mail;
  std::string proxy;
  if (!ValueAccepted(kMailEditId, kMailLabel, mail) || !ValueAccepted(kProxyEditId, kProxyLabel, proxy)) return false;
  std::wstring mailText = EditText(kMailEditId);
  const std::wstring proxyText = EditText(kProxyEditId);

  // An unquoted program with a blank in its path: another program named like the part before a
  // blank would start instead, so offer the quotes. The window then shows what is saved.
  std::wstring startsInstead;
  const std::wstring unquoted = UnquotedProgramWithBlank(mailText, &startsInstead);
  if (!unquoted.empty()) {
    const std::wstring quoted = ReplaceCommandProgram(mailText, unquoted);
    const int answer =
        Message(UnquotedProgramQuestion(unquoted, quoted, startsInstead), MB_YESNOCANCEL | MB_ICONWARNING);
    if (answer == IDCANCEL) {
      FocusEdit(kMailEditId);
      return false;
    }
    if (answer == IDYES) {
      SetDlgItemTextW(window_, kMailEditId, quoted.c_str());
      if (!ValueAccepted(kMailEditId, kMailLabel, mail)) return false;  // two bytes more may be too long
      mailText = quoted;
    }
  }

  // Programs that cannot be found: the user may know better (a drive not yet connected), so ask.
  std::wstring missing;
  int firstMissing = 0;
  if (FindCommandProgram(mailText).empty()) {
    missing += MissingProgramLine(kMailLabel, NamedProgram(mailText), true);
    firstMissing = kMailEditId;
  }
  if (FindProgram(proxyText).empty()) {
    missing += MissingProgramLine(kProxyLabel, proxyText, false);
    if (firstMissing == 0) firstMissing = kProxyEditId;
  }
  if (!missing.empty()) {
    const int answer = Message(MissingProgramsQuestion(missing), MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2);
    if (answer != IDYES) {
      FocusEdit(firstMissing);
      return false;
    }
  }

  const SaveResult result = SaveSettings(iniPath_, mail, proxy);
  if (result.status == SaveStatus::Saved) return true;
  if (result.status == SaveStatus::FolderDenied) return SaveAsAdministrator(mailText, proxyText);
  Message(SaveProblemText(result, iniPath_), MB_OK | MB_ICONERROR);
  return false;
}

LauncherChoices ConfigDialog::CheckedChoices() const {
  return {IsDlgButtonChecked(window_, kStartNowId) == BST_CHECKED,
          IsDlgButtonChecked(window_, kSignInId) == BST_CHECKED};
}

bool ConfigDialog::SaveAsAdministrator(const std::wstring& mail, const std::wstring& proxy) {
  const std::wstring folder = FolderOf(iniPath_);
  // Started again elevated, this program writes beside itself: offered only when that is the file.
  const std::wstring program = ThisProgram();
  if (program.empty() || lstrcmpiW(FolderOf(program).c_str(), folder.c_str()) != 0) {
    Message(FolderDeniedText(folder), MB_OK | MB_ICONERROR);
    return false;
  }
  if (Message(AdministratorQuestion(folder), MB_YESNO | MB_ICONWARNING) != IDYES) return false;
  busy_ = true;
  const ElevatedResult result = SaveElevated(window_, program, mail, proxy);
  busy_ = false;
  if (result.status == ElevatedStatus::Saved) return true;
  Message(ElevatedProblemText(result),
          result.status == ElevatedStatus::Declined ? MB_OK | MB_ICONINFORMATION : MB_OK | MB_ICONERROR);
  return false;
}

}  // namespace configure
