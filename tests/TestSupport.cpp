// Test helpers: temporary folders, files, child programs and message pumping.
#include "tests/TestSupport.h"

#include <gtest/gtest.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "framework/Handles.h"
#include "framework/Paths.h"
#include "framework/Properties.h"

namespace testsupport {

const framework::PropertyTable& THostModule::ClassProperties() {
  static const framework::PropertyTable table("THostModule", &framework::TDataModule::ClassProperties());
  return table;
}

namespace {
void RemoveTree(const std::string& path) {
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA((path + "\\*").c_str(), &entry);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = entry.cFileName;
      if (name == "." || name == "..") continue;
      const std::string child = path + "\\" + name;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(child);
      } else {
        SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(child.c_str());
      }
    } while (FindNextFileA(find, &entry));
    FindClose(find);
  }
  RemoveDirectoryA(path.c_str());
}
}  // namespace

TempDir::TempDir(const std::string& suffix) {
  static std::atomic<int> counter{0};
  char temp[MAX_PATH + 1];
  const DWORD length = GetTempPathA(sizeof temp, temp);
  std::string base(temp, length);
  if (!base.empty() && base.back() == '\\') base.pop_back();
  path_ = base + "\\lt" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(GetTickCount()) + "_" +
          std::to_string(counter++) + suffix;
  CreateDirectoryA(path_.c_str(), nullptr);
}

TempDir::~TempDir() { RemoveTree(path_); }

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string ProgramDir() { return framework::ExtractFileDir(framework::ModuleFileName()); }

std::string BuiltProgram(const std::string& name) { return ProgramDir() + "\\" + name; }

RunResult RunProgram(const std::string& commandLine, const std::string& directory, DWORD timeoutMs) {
  RunResult result;
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) {
    result.exitCode = static_cast<DWORD>(-1);
    result.output = "CreateProcess failed with error " + std::to_string(GetLastError());
    return result;
  }
  framework::UniqueHandle reader(readEnd);
  framework::UniqueHandle writer(writeEnd);
  SetHandleInformation(reader.get(), HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writer.get();
  startup.hStdError = writer.get();
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION info{};
  std::string mutableLine = commandLine;
  if (!CreateProcessA(nullptr, mutableLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                      directory.empty() ? nullptr : directory.c_str(), &startup, &info)) {
    result.exitCode = static_cast<DWORD>(-1);
    result.output = "CreateProcess failed with error " + std::to_string(GetLastError());
    return result;
  }
  framework::ProcessHandles process = framework::ProcessHandles::Adopt(info);
  writer.reset();  // the child holds the only write end now, so the read ends when it exits

  const DWORD start = GetTickCount();
  char buffer[4096];
  for (;;) {
    DWORD available = 0;
    if (PeekNamedPipe(reader.get(), nullptr, 0, nullptr, &available, nullptr) && available > 0) {
      DWORD read = 0;
      if (ReadFile(reader.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) result.output.append(buffer, read);
      continue;
    }
    if (WaitForSingleObject(process.process.get(), 10) == WAIT_OBJECT_0) {
      DWORD read = 0;
      while (PeekNamedPipe(reader.get(), nullptr, 0, nullptr, &available, nullptr) && available > 0 &&
             ReadFile(reader.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) {
        result.output.append(buffer, read);
      }
      break;
    }
    if (GetTickCount() - start > timeoutMs) {
      result.timedOut = true;
      TerminateProcess(process.process.get(), 1);
      WaitForSingleObject(process.process.get(), 5000);
      break;
    }
  }
  GetExitCodeProcess(process.process.get(), &result.exitCode);
  return result;
}

Windows::~Windows() {
  while (!windows_.empty()) windows_.pop_back();
}

HWND Windows::Make(const std::string& title, DWORD style, bool visible, HWND owner, const char* className,
                   DWORD exStyle) {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = DefWindowProcA;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = className;
  RegisterClassA(&windowClass);  // fails harmlessly once the class exists
  HWND window = CreateWindowExA(exStyle, className, title.c_str(), style, 10, 10, 120, 80, owner, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
  EXPECT_NE(window, nullptr) << title;
  if (visible) ShowWindow(window, SW_SHOWNA);
  windows_.emplace_back(window);
  return window;
}

std::thread ChooseFromNextMenu(int position, std::atomic<bool>& shown, DWORD waitMs) {
  return std::thread([position, &shown, waitMs] {
    // A shown menu is a "#32768" window; the menu loop reads keys from the owner thread's queue.
    HWND menu = WaitForProcessWindow(GetCurrentProcessId(), "#32768", true, waitMs);
    if (menu == nullptr) return;
    shown = true;
    for (int i = 0; i < position; ++i) PostMessageA(menu, WM_KEYDOWN, VK_DOWN, 0);
    PostMessageA(menu, WM_KEYDOWN, position > 0 ? VK_RETURN : VK_ESCAPE, 0);
  });
}

double TimeBound(double milliseconds) {
  char scale[16] = "";
  const double factor =
      GetEnvironmentVariableA("TOLVANE_TIME_SCALE", scale, sizeof scale) > 0 ? std::atof(scale) : 1.0;
  return milliseconds * (factor >= 1.0 ? factor : 1.0);
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start >= timeoutMs) return done();
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
  return true;
}

void PumpFor(DWORD milliseconds) {
  PumpUntil([] { return false; }, milliseconds);
}

}  // namespace testsupport

namespace testsupport {

MessageBoxWatcher::MessageBoxWatcher() : thread_([this] { Watch(); }) {}

MessageBoxWatcher::~MessageBoxWatcher() {
  stop_ = true;
  thread_.join();
}

void MessageBoxWatcher::Watch() {
  while (!stop_) {
    HWND box = FindProcessWindow(GetCurrentProcessId(), "#32770", true);
    if (box != nullptr) {
      char text[1024] = "";
      GetDlgItemTextA(box, 0xFFFF, text, sizeof text);  // the box's static text
      wchar_t wideText[1024] = L"";
      GetDlgItemTextW(box, 0xFFFF, wideText, 1024);
      wchar_t wideCaption[256] = L"";
      GetWindowTextW(box, wideCaption, 256);
      {
        std::lock_guard<std::mutex> guard(lock_);
        texts_.emplace_back(text);
        wideTexts_.emplace_back(wideText);
        wideCaptions_.emplace_back(wideCaption);
      }
      SendMessageA(box, WM_COMMAND, IDOK, 0);
      Sleep(100);  // the box is gone before the next look
    }
    Sleep(20);
  }
}

std::vector<std::string> MessageBoxWatcher::Texts() const {
  std::lock_guard<std::mutex> guard(lock_);
  return texts_;
}

std::vector<std::wstring> MessageBoxWatcher::WideTexts() const {
  std::lock_guard<std::mutex> guard(lock_);
  return wideTexts_;
}

std::vector<std::wstring> MessageBoxWatcher::WideCaptions() const {
  std::lock_guard<std::mutex> guard(lock_);
  return wideCaptions_;
}

}  // namespace testsupport

namespace testsupport {

namespace {
constexpr char kDesktopKey[] = "Control Panel\\Desktop";
constexpr char kLogPixels[] = "LogPixels";
}  // namespace

ScopedLogPixels::ScopedLogPixels(DWORD dpi) {
  DWORD size = sizeof previous_;
  hadValue_ = RegGetValueA(HKEY_CURRENT_USER, kDesktopKey, kLogPixels, RRF_RT_REG_DWORD, nullptr, &previous_, &size) ==
              ERROR_SUCCESS;
  RegSetKeyValueA(HKEY_CURRENT_USER, kDesktopKey, kLogPixels, REG_DWORD, &dpi, sizeof dpi);
}

ScopedLogPixels::~ScopedLogPixels() {
  if (hadValue_) {
    RegSetKeyValueA(HKEY_CURRENT_USER, kDesktopKey, kLogPixels, REG_DWORD, &previous_, sizeof previous_);
  } else {
    RegDeleteKeyValueA(HKEY_CURRENT_USER, kDesktopKey, kLogPixels);
  }
}

}  // namespace testsupport

namespace testsupport {

namespace {
constexpr char kShellClass[] = "Shell_TrayWnd";

// Wine's record: window, id, flags, callback message, tip[128], state, state mask, info[256],
// time-out, info title[64], info flags, ... (UTF-16 texts).
constexpr size_t kTipOffset = 16;
constexpr size_t kInfoOffset = kTipOffset + 128 * 2 + 8;
constexpr size_t kInfoTitleOffset = kInfoOffset + 256 * 2 + 4;
constexpr size_t kInfoFlagsOffset = kInfoTitleOffset + 64 * 2;

DWORD Field(const std::string& data, size_t offset) {
  DWORD value = 0;
  if (data.size() >= offset + sizeof value) memcpy(&value, data.data() + offset, sizeof value);
  return value;
}
std::wstring Text(const std::string& data, size_t offset, size_t capacity) {
  std::wstring text;
  for (size_t i = 0; i < capacity && data.size() >= offset + 2 * i + 2; ++i) {
    wchar_t character;
    memcpy(&character, data.data() + offset + 2 * i, 2);
    if (character == L'\0') break;
    text += character;
  }
  return text;
}
}  // namespace

HWND StandInShell::Request::Window() const {
  return reinterpret_cast<HWND>(static_cast<INT_PTR>(static_cast<LONG>(Field(data, 0))));
}
UINT StandInShell::Request::Flags() const { return Field(data, 8); }
UINT StandInShell::Request::CallbackMessage() const { return Field(data, 12); }
std::wstring StandInShell::Request::InfoTitle() const { return Text(data, kInfoTitleOffset, 64); }
std::wstring StandInShell::Request::Info() const { return Text(data, kInfoOffset, 256); }
DWORD StandInShell::Request::InfoFlags() const { return Field(data, kInfoFlagsOffset); }
UINT StandInShell::Request::Version() const { return Field(data, kInfoOffset + 256 * 2); }

std::vector<StandInShell::Request> StandInShell::WaitForNotices(size_t count, DWORD timeoutMs) const {
  std::vector<Request> notices;
  for (const DWORD start = GetTickCount();; Sleep(20)) {
    notices.clear();
    for (const Request& request : Requests()) {
      if (request.Flags() & NIF_INFO) notices.push_back(request);
    }
    if (notices.size() >= count || GetTickCount() - start >= timeoutMs) return notices;
  }
}

void StandInShell::ReportOnNotice(const Request& notice, UINT report) const {
  for (const Request& request : Requests()) {
    if (request.command == NIM_ADD) {
      PostMessageW(notice.Window(), request.CallbackMessage(), 1, report);
      return;
    }
  }
  ADD_FAILURE() << "no icon was added";
}

StandInShell::StandInShell(Answer answer) : answer_(answer) {
  thread_ = std::thread([this] {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = &WindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kShellClass;
    RegisterClassA(&windowClass);
    window_ = CreateWindowExA(0, kShellClass, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    threadId_ = GetCurrentThreadId();
    ready_ = true;
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
    DestroyWindow(window_);
    UnregisterClassA(kShellClass, GetModuleHandleA(nullptr));
  });
  while (!ready_) Sleep(5);
}

LRESULT CALLBACK StandInShell::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* shell = reinterpret_cast<StandInShell*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (message != WM_COPYDATA || shell == nullptr) return DefWindowProcA(window, message, wParam, lParam);
  const auto* copy = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
  const Request request{static_cast<DWORD>(copy->dwData),
                        std::string(static_cast<const char*>(copy->lpData), copy->cbData)};
  {
    std::lock_guard<std::mutex> guard(shell->lock_);
    shell->requests_.push_back(request);
  }
  return shell->Answers(request);
}

bool StandInShell::Answers(const Request& request) {
  if (answer_ != Answer::HoldIcons) return answer_ == Answer::Accept;
  const std::pair<HWND, UINT> icon{request.Window(), Field(request.data, 4)};
  const auto held = std::find(held_.begin(), held_.end(), icon);
  switch (request.command) {
    case NIM_ADD:
      if (held != held_.end()) return false;
      held_.push_back(icon);
      return true;
    case NIM_DELETE:
      if (held == held_.end()) return false;
      held_.erase(held);
      return true;
    default:
      return held != held_.end();
  }
}

bool StandInShell::Active() const { return window_ != nullptr && FindWindowA(kShellClass, nullptr) == window_; }

std::vector<StandInShell::Request> StandInShell::Requests() const {
  std::lock_guard<std::mutex> guard(lock_);
  return requests_;
}

void StandInShell::Leave() {
  if (!thread_.joinable()) return;
  PostThreadMessageA(threadId_, WM_QUIT, 0, 0);
  thread_.join();
}

}  // namespace testsupport
