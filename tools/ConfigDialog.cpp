// The configuration program's window.
#include "tools/ConfigDialog.h"

#include <commdlg.h>

#include <exception>
#include <iterator>
#include <vector>

#include "tools/ConfigSettings.h"
#include "tools/ElevatedSave.h"

namespace configure {

namespace {
constexpr wchar_t kTitle[] = L"TOLVANE 設定";
constexpr wchar_t kMailLabel[] = L"メールソフトの起動コマンド";
constexpr wchar_t kProxyLabel[] = L"メールプロキシのパス";

// Layout in pixels of the client area.
constexpr int kMargin = 12;
constexpr int kEditWidth = 420;
constexpr int kButtonWidth = 86;
constexpr int kButtonHeight = 26;
constexpr int kEditHeight = 23;
constexpr int kClientWidth = kMargin + kEditWidth + 8 + kButtonWidth + kMargin;
constexpr int kClientHeight = 172;

// The largest file name the open-file dialog may hand back.
constexpr DWORD kFileNameBuffer = 32768;

std::wstring Quoted(const std::wstring& text) { return L"「" + text + L"」"; }

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

std::wstring SystemMessage(DWORD error) {
  wchar_t buffer[512] = L"";
  DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, buffer,
                                static_cast<DWORD>(std::size(buffer)), nullptr);
  while (length > 0 && (buffer[length - 1] == L'\r' || buffer[length - 1] == L'\n' || buffer[length - 1] == L' ')) {
    --length;
  }
  std::wstring text(buffer, length);
  return text.empty() ? L"エラー " + std::to_wstring(error) : text + L" (" + std::to_wstring(error) + L")";
}
}  // namespace

ConfigDialog::ConfigDialog(std::wstring iniPath) : iniPath_(std::move(iniPath)) {}

ConfigDialog::~ConfigDialog() {
  if (window_ != nullptr) DestroyWindow(window_);
  if (font_ != nullptr) DeleteObject(font_);
}

bool ConfigDialog::Run(HINSTANCE instance, int show) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // the arrow
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kWindowClass;
  RegisterClassExW(&windowClass);

  // The system's message font: on Windows it links in a Japanese face wherever one is installed.
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
    font_ = CreateFontIndirectW(&metrics.lfMessageFont);
  }

  constexpr DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
  constexpr DWORD extendedStyle = WS_EX_DLGMODALFRAME;
  RECT frame{0, 0, kClientWidth, kClientHeight};
  AdjustWindowRectEx(&frame, style, FALSE, extendedStyle);
  CreateWindowExW(extendedStyle, kWindowClass, kTitle, style, CW_USEDEFAULT, CW_USEDEFAULT, frame.right - frame.left,
                  frame.bottom - frame.top, nullptr, nullptr, instance, this);
  if (window_ == nullptr) return false;

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
      return 0;
    case WM_COMMAND:
      if (busy_) return 0;  // one question at a time
      switch (LOWORD(wParam)) {
        case IDOK:
          if (Save()) {
            saved_ = true;
            DestroyWindow(window_);
          }
          return 0;
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
    case WM_DESTROY:
      SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
      window_ = nullptr;
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(window_, message, wParam, lParam);
}

HWND ConfigDialog::AddControl(const wchar_t* className, const wchar_t* text, DWORD style, int x, int y, int width,
                              int height, int id) {
  const bool edit = lstrcmpW(className, L"EDIT") == 0;
  HWND control = CreateWindowExW(edit ? WS_EX_CLIENTEDGE : 0, className, text, WS_CHILD | WS_VISIBLE | style, x, y,
                                 width, height, window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                 GetModuleHandleW(nullptr), nullptr);
  SendMessageW(control, WM_SETFONT,
               reinterpret_cast<WPARAM>(font_ != nullptr ? font_ : GetStockObject(DEFAULT_GUI_FONT)), FALSE);
  return control;
}

void ConfigDialog::AddField(const std::wstring& label, const std::wstring& value, int top, int editId,
                            const wchar_t* browseText, int browseId) {
  AddControl(L"STATIC", label.c_str(), SS_NOPREFIX, kMargin, top, kEditWidth, 18, -1);
  AddControl(L"EDIT", value.c_str(), WS_TABSTOP | ES_AUTOHSCROLL, kMargin, top + 20, kEditWidth, kEditHeight, editId);
  AddControl(L"BUTTON", browseText, WS_TABSTOP | BS_PUSHBUTTON, kMargin + kEditWidth + 8, top + 19, kButtonWidth,
             kButtonHeight, browseId);
}

void ConfigDialog::CreateControls() {
  const Settings settings = ReadSettings(iniPath_);
  AddField(std::wstring(kMailLabel) + L" (Mail):", settings.mail, 12, kMailEditId, L"参照(&B)...", kMailBrowseId);
  AddField(std::wstring(kProxyLabel) + L" (Ondrel):", settings.proxy, 70, kProxyEditId, L"参照(&R)...",
           kProxyBrowseId);
  const int buttonsY = kClientHeight - kMargin - kButtonHeight;
  AddControl(L"BUTTON", L"OK", WS_TABSTOP | BS_DEFPUSHBUTTON, kClientWidth - kMargin - 2 * kButtonWidth - 8,
             buttonsY, kButtonWidth, kButtonHeight, IDOK);
  AddControl(L"BUTTON", L"キャンセル", WS_TABSTOP | BS_PUSHBUTTON, kClientWidth - kMargin - kButtonWidth, buttonsY,
             kButtonWidth, kButtonHeight, IDCANCEL);
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
  std::wstring problem;
  switch (CheckValue(value, bytes)) {
    case ValueProblem::None:
      return true;
    case ValueProblem::LineBreak:
      problem = Quoted(label) + L"に改行は使えません。";
      break;
    case ValueProblem::NotInCodePage:
      problem = Quoted(label) + L"に、シフト JIS (コードページ 932) で表せない文字があります。"
                L"ランチャーは別の文字として読んでしまうため、保存できません。";
      break;
    case ValueProblem::TooLong: {
      std::string converted;
      ToValueBytes(value, converted);
      problem = Quoted(label) + L"が長すぎます (" + std::to_wstring(converted.size()) +
                L" バイト)。\nランチャーが読めるのは " + std::to_wstring(LongestValue()) +
                L" バイトまでです (全角文字は 2 バイト)。前後に空白がある値と、全体が引用符で囲まれた値は " +
                std::to_wstring(LongestQuotedValue()) + L" バイトまでです。";
      break;
    }
  }
  Message(problem, MB_OK | MB_ICONERROR);
  FocusEdit(editId);
  return false;
}

bool ConfigDialog::Save() {
  std::string mail;
  std::string proxy;
  if (!ValueAccepted(kMailEditId, kMailLabel, mail) || !ValueAccepted(kProxyEditId, kProxyLabel, proxy)) return false;

  // Programs that cannot be found: the user may know better (a drive not yet connected), so ask.
  const std::wstring mailText = EditText(kMailEditId);
  const std::wstring proxyText = EditText(kProxyEditId);
  std::wstring missing;
  int firstMissing = 0;
  if (FindCommandProgram(mailText).empty()) {
    const std::wstring token = NamedProgram(mailText);
    missing += L"・" + std::wstring(kMailLabel) + L": " +
               (token.empty() ? std::wstring(L"入力されていません") : L"プログラム" + Quoted(token) + L"が見つかりません") +
               L"\n";
    firstMissing = kMailEditId;
  }
  if (FindProgram(proxyText).empty()) {
    missing += L"・" + std::wstring(kProxyLabel) + L": " +
               (proxyText.empty() ? std::wstring(L"入力されていません") : Quoted(proxyText) + L"が見つかりません") +
               L"\n";
    if (firstMissing == 0) firstMissing = kProxyEditId;
  }
  if (!missing.empty()) {
    const int answer = Message(L"次の設定を確認してください。\n\n" + missing + L"\nこのまま保存しますか?",
                               MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2);
    if (answer != IDYES) {
      FocusEdit(firstMissing);
      return false;
    }
  }

  const SaveResult result = SaveSettings(iniPath_, mail, proxy);
  std::wstring problem;
  switch (result.status) {
    case SaveStatus::Saved:
      return true;
    case SaveStatus::ReadOnly:
      problem = L"設定ファイル" + Quoted(iniPath_) +
                L"は読み取り専用のため、保存できません。\n読み取り専用を解除してから、もう一度保存してください。";
      break;
    case SaveStatus::InUse:
      problem = L"設定ファイル" + Quoted(iniPath_) +
                L"をほかのプログラムが使用しているか、書き換えが許可されていないため、保存できません。\n"
                L"そのプログラムを終了してから、もう一度保存してください。\n\n" +
                SystemMessage(result.error);
      break;
    case SaveStatus::FolderDenied:
      return SaveAsAdministrator(mailText, proxyText);
    case SaveStatus::CannotWrite:
      problem = L"設定ファイル" + Quoted(iniPath_) + L"を保存できません。\n\n" + SystemMessage(result.error);
      break;
    case SaveStatus::ReadBackDiffers:
      problem = L"保存した値を読み直すと入力と異なる値になるため、保存できません。値が長すぎないか確認してください。";
      break;
  }
  Message(problem + L"\n\n設定ファイルは変更されていません。", MB_OK | MB_ICONERROR);
  return false;
}

bool ConfigDialog::SaveAsAdministrator(const std::wstring& mail, const std::wstring& proxy) {
  const std::wstring folder = FolderOf(iniPath_);
  const std::wstring denied = L"フォルダー" + Quoted(folder) + L"に書き込む権限がないため、設定を保存できません。\n";
  // Started again elevated, this program writes beside itself: offered only when that is the file.
  const std::wstring program = ThisProgram();
  if (program.empty() || lstrcmpiW(FolderOf(program).c_str(), folder.c_str()) != 0) {
    Message(denied + L"\n設定ファイルは変更されていません。", MB_OK | MB_ICONERROR);
    return false;
  }
  if (Message(denied + L"Program Files の中のフォルダーは、管理者だけが変更できます。\n\n"
                       L"管理者として保存しますか? (確認の画面が表示されます)",
              MB_YESNO | MB_ICONWARNING) != IDYES) {
    return false;
  }
  busy_ = true;
  const ElevatedResult result = SaveElevated(window_, program, mail, proxy);
  busy_ = false;
  switch (result.status) {
    case ElevatedStatus::Saved:
      return true;
    case ElevatedStatus::Declined:
      Message(L"管理者としての保存は取り消されました。\n設定ファイルは変更されていません。", MB_OK | MB_ICONINFORMATION);
      return false;
    case ElevatedStatus::Failed:
      break;
  }
  Message(L"管理者として保存できませんでした。\n\n" + SystemMessage(result.error) +
              L"\n\n設定ファイルは変更されていません。",
          MB_OK | MB_ICONERROR);
  return false;
}

}  // namespace configure
