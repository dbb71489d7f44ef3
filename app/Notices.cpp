// Texts of the launcher's notices.
#include "app/Notices.h"

#include "framework/AnsiText.h"

namespace {
// UTF-16 from the start: shown through the wide API, they need no conversion.
constexpr wchar_t kCannotStart[] = L"を起動できません";
constexpr wchar_t kClickForSettings[] = L"クリックすると設定を開きます。";
constexpr wchar_t kConfigurationProgramWords[] = L"設定プログラム";
constexpr wchar_t kNotInFolder[] = L"に見つからないため、設定を開けません。ランチャーを終了します。";
constexpr wchar_t kProxyEnded[] = L"メールプロキシが終了しました";
constexpr wchar_t kClickToRestart[] = L"クリックすると、もう一度起動します。";
// A path or command line longer than this keeps its start and its end, the program's name.
constexpr size_t kLongestTarget = 100;
constexpr size_t kTargetHead = 30;

// Appends to a fixed UTF-16 buffer, cutting what does not fit.
class NoticeText {
 public:
  NoticeText(wchar_t* buffer, size_t capacity) : buffer_(buffer), capacity_(capacity) { buffer_[0] = L'\0'; }
  void Add(const wchar_t* text, size_t count) {
    for (size_t i = 0; i < count && text[i] != L'\0' && length_ + 1 < capacity_; ++i) buffer_[length_++] = text[i];
    buffer_[length_] = L'\0';
  }
  void Add(const wchar_t* text) { Add(text, static_cast<size_t>(lstrlenW(text))); }
  // A path or command line of the system's code page, in brackets, shortened in its middle.
  void AddTarget(const std::string& target) {
    const framework::WideText wide = framework::AnsiToWide(target, CP_ACP);
    Add(L"「");
    if (wide.size() <= kLongestTarget) {
      Add(wide.c_str());
    } else {
      Add(wide.c_str(), kTargetHead);
      Add(L"\u2026", 1);
      Add(wide.c_str() + wide.size() - (kLongestTarget - kTargetHead - 1));
    }
    Add(L"」");
  }
  // The system's text for an error code, without its line break.
  void AddReason(DWORD error) {
    wchar_t reason[160];
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, reason,
                                  sizeof reason / sizeof reason[0], nullptr);
    while (length > 0 && reason[length - 1] <= L' ') --length;
    if (length == 0) {
      wsprintfW(reason, L"エラー %lu", error);
      Add(reason);
    } else {
      Add(reason, length);
    }
  }

 private:
  wchar_t* buffer_;
  size_t capacity_;
  size_t length_ = 0;
};
}  // namespace

TNotice StartFailedNotice(const wchar_t* what, const std::string& target, DWORD error) {
  TNotice notice;
  NoticeText title(notice.title, sizeof notice.title / sizeof(wchar_t));
  title.Add(what);
  title.Add(kCannotStart);
  NoticeText text(notice.text, sizeof notice.text / sizeof(wchar_t));
  text.AddTarget(target);
  text.Add(L"\n");
  text.AddReason(error);
  text.Add(L"\n");
  text.Add(kClickForSettings);
  return notice;
}

TNotice ConfigurationProgramNotice(const std::string& path, DWORD error) {
  TNotice notice;
  NoticeText title(notice.title, sizeof notice.title / sizeof(wchar_t));
  title.Add(kConfigurationProgramWords);
  title.Add(kCannotStart);
  NoticeText text(notice.text, sizeof notice.text / sizeof(wchar_t));
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
    // Which file is missing, and where.
    const size_t separator = framework::LastDelimiter(path, "\\");
    const std::string folder = separator == std::string::npos ? std::string() : path.substr(0, separator);
    text.Add(framework::AnsiToWide(path.substr(separator + 1), CP_ACP).c_str());
    text.Add(L" が、フォルダー");
    text.AddTarget(folder);
    text.Add(kNotInFolder);
  } else {
    text.AddTarget(path);
    text.Add(L"\n");
    text.AddReason(error);
  }
  return notice;
}

TNotice ProxyEndedNotice(const std::string& path, DWORD exitCode) {
  TNotice notice;
  NoticeText title(notice.title, sizeof notice.title / sizeof(wchar_t));
  title.Add(kProxyEnded);
  NoticeText text(notice.text, sizeof notice.text / sizeof(wchar_t));
  text.AddTarget(path);
  // A crash's code is a status value, read in hexadecimal; a program's own code in decimal.
  wchar_t code[40];
  wsprintfW(code, exitCode >= 0xC0000000u ? L"\n終了コード 0x%08lX\n" : L"\n終了コード %lu\n",
            static_cast<unsigned long>(exitCode));
  text.Add(code);
  text.Add(kClickToRestart);
  return notice;
}
