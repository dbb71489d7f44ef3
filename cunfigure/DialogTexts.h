// What the configuration window tells its user, in Japanese: the fields' names, what is wrong with a
// value, the programs it cannot find, why a save failed, and the questions it asks on the way.
#pragma once

#include <windows.h>

#include <string>

#include "cunfigure/ConfigSettings.h"
#include "cunfigure/ElevatedSave.h"

namespace configure {

inline constexpr wchar_t kMailLabel[] = L"メールソフトの起動コマンド";
inline constexpr wchar_t kProxyLabel[] = L"メールプロキシのパス";

// A name or value set off in the text of a message, in corner brackets.
std::wstring Bracketed(const std::wstring& text);
// The system's text for an error code, with the code.
std::wstring SystemMessage(DWORD error);

// Why a value of the field named label cannot be saved.
std::wstring ValueProblemText(ValueProblem problem, const wchar_t* label, const std::wstring& value);
// Whether to quote the mail program typed as unquoted, which has a blank, in the command quoted;
// startsInstead is the shorter program the system finds first today, or empty when there is none.
std::wstring UnquotedProgramQuestion(const std::wstring& unquoted, const std::wstring& quoted,
                                     const std::wstring& startsInstead);
// One line of the list of programs that cannot be found: named, the program as typed (empty when
// nothing was), command telling a command line's program from a path.
std::wstring MissingProgramLine(const wchar_t* label, const std::wstring& named, bool command);
// Whether to save even so, after the list of lines.
std::wstring MissingProgramsQuestion(const std::wstring& lines);
// Why the settings file at iniPath could not be saved, and that it is unchanged.
std::wstring SaveProblemText(const SaveResult& result, const std::wstring& iniPath);
// The folder may not be written into, and this program cannot save there as administrator.
std::wstring FolderDeniedText(const std::wstring& folder);
// The folder may not be written into: whether to save as administrator.
std::wstring AdministratorQuestion(const std::wstring& folder);
// Why saving as administrator did not save.
std::wstring ElevatedProblemText(const ElevatedResult& result);

}  // namespace configure
