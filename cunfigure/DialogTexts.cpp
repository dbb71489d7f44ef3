// The configuration window's messages.
#include "cunfigure/DialogTexts.h"

#include <iterator>

namespace configure {

namespace {
constexpr wchar_t kUnchanged[] = L"設定ファイルは変更されていません。";

std::wstring DeniedLine(const std::wstring& folder) {
  return L"フォルダー" + Bracketed(folder) + L"に書き込む権限がないため、設定を保存できません。\n";
}
}  // namespace

std::wstring Bracketed(const std::wstring& text) { return L"「" + text + L"」"; }

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

std::wstring ValueProblemText(ValueProblem problem, const wchar_t* label, const std::wstring& value) {
  switch (problem) {
    case ValueProblem::None:
      break;
    case ValueProblem::LineBreak:
      return Bracketed(label) + L"に改行は使えません。";
    case ValueProblem::NotInCodePage:
      return Bracketed(label) +
             L"に、シフト JIS (コードページ 932) で表せない文字があります。"
             L"ランチャーは別の文字として読んでしまうため、保存できません。";
    case ValueProblem::TooLong: {
      std::string converted;
      ToValueBytes(value, converted);
      return Bracketed(label) + L"が長すぎます (" + std::to_wstring(converted.size()) +
             L" バイト)。\nランチャーが読めるのは " + std::to_wstring(LongestValue()) +
             L" バイトまでです (全角文字は 2 バイト)。前後に空白がある値と、全体が引用符で囲まれた値は " +
             std::to_wstring(LongestQuotedValue()) + L" バイトまでです。";
    }
  }
  return {};
}

std::wstring UnquotedProgramQuestion(const std::wstring& unquoted, const std::wstring& quoted,
                                     const std::wstring& startsInstead) {
  const std::wstring risk =
      startsInstead.empty()
          ? L"空白の手前まで (" + Bracketed(unquoted.substr(0, unquoted.find_first_of(L" \t"))) +
                L"など) を名前とするプログラムがあると、そちらが起動されてしまいます。"
          : L"このままでは、空白の手前までを名前とする" + Bracketed(startsInstead) + L"が起動されます。";
  return Bracketed(kMailLabel) + L"のプログラム" + Bracketed(unquoted) +
         L"は、空白を含むのに引用符で囲まれていません。\n" + risk +
         L"\n\nプログラムを引用符で囲んで保存しますか? (いいえ: 入力のまま保存します)\n\n" + quoted;
}

std::wstring MissingProgramLine(const wchar_t* label, const std::wstring& named, bool command) {
  const std::wstring what = named.empty() ? std::wstring(L"入力されていません")
                                          : (command ? L"プログラム" : L"") + Bracketed(named) + L"が見つかりません";
  return L"・" + std::wstring(label) + L": " + what + L"\n";
}

std::wstring MissingProgramsQuestion(const std::wstring& lines) {
  return L"次の設定を確認してください。\n\n" + lines + L"\nこのまま保存しますか?";
}

std::wstring SaveProblemText(const SaveResult& result, const std::wstring& iniPath) {
  std::wstring problem;
  switch (result.status) {
    case SaveStatus::ReadOnly:
      problem = L"設定ファイル" + Bracketed(iniPath) +
                L"は読み取り専用のため、保存できません。\n読み取り専用を解除してから、もう一度保存してください。";
      break;
    case SaveStatus::InUse:
      problem = L"設定ファイル" + Bracketed(iniPath) +
                L"をほかのプログラムが使用しているか、書き換えが許可されていないため、保存できません。\n"
                L"そのプログラムを終了してから、もう一度保存してください。\n\n" +
                SystemMessage(result.error);
      break;
    case SaveStatus::ReadBackDiffers:
      problem = L"保存した値を読み直すと入力と異なる値になるため、保存できません。値が長すぎないか確認してください。";
      break;
    case SaveStatus::Saved:
    case SaveStatus::FolderDenied:
    case SaveStatus::CannotWrite:
      problem = L"設定ファイル" + Bracketed(iniPath) + L"を保存できません。\n\n" + SystemMessage(result.error);
      break;
  }
  return problem + L"\n\n" + kUnchanged;
}

std::wstring FolderDeniedText(const std::wstring& folder) { return DeniedLine(folder) + L"\n" + kUnchanged; }

std::wstring AdministratorQuestion(const std::wstring& folder) {
  return DeniedLine(folder) +
         L"Program Files の中のフォルダーは、管理者だけが変更できます。\n\n"
         L"管理者として保存しますか? (確認の画面が表示されます)";
}

std::wstring ElevatedProblemText(const ElevatedResult& result) {
  if (result.status == ElevatedStatus::Declined)
    return std::wstring(L"管理者としての保存は取り消されました。\n") + kUnchanged;
  return L"管理者として保存できませんでした。\n\n" + SystemMessage(result.error) + L"\n\n" + kUnchanged;
}

}  // namespace configure
