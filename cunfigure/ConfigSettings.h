// The configuration program's settings file: "TolvaneOndrel.ini" beside the program, section "Path",
// key "Mail" (the mail client's command line) and key "Ondrel" (the mail proxy's path).
//
// The launcher reads these values as code page 932 bytes with GetPrivateProfileStringA and a buffer
// of settings::ProfileAccessor::kReadBufferSize bytes. Everything here works on UTF-16 texts (what the
// window shows) and turns them into exactly those bytes, so that the launcher reads back what the
// user typed:
//   - the text is converted to code page 932 explicitly, and refused when it has a character that
//     code page 932 cannot hold or a line break;
//   - the profile API's read drops blanks (and control characters) at either end of a value, and one
//     pair of quotes (" or ') enclosing the whole value: such values are written inside one more
//     pair of double quotes, which the read takes off again;
//   - the read gives at most 2047 bytes; under Wine a value inside the extra quotes comes back one
//     character short at 2047 (the read cuts the value to the buffer, closing quote included, and then
//     drops the last character as if it were that quote), so such values are limited to 2046 bytes.
//     Longer values are refused, and every save reads its values back before it replaces the file.
//
// Saving never leaves a half-written file: the values go into a copy of the file in the same folder,
// which then replaces the file in one move. A read-only or locked file stays as it was, byte for byte.
#pragma once

#include <windows.h>

#include <string>

namespace configure {

inline constexpr wchar_t kSettingsFileName[] = L"TolvaneOndrel.ini";
inline constexpr wchar_t kSection[] = L"Path";
inline constexpr wchar_t kMailKey[] = L"Mail";
inline constexpr wchar_t kProxyKey[] = L"Ondrel";

// The code page the launcher reads the values in.
inline constexpr UINT kValueCodePage = 932;

// The most bytes a value may have: what the launcher's read gives back, and one less for a value
// that is written inside a pair of quotes.
size_t LongestValue();
size_t LongestQuotedValue();

// "TolvaneOndrel.ini" in the folder of the running program.
std::wstring SettingsFileBesideProgram();

// The two values.
struct Settings {
  std::wstring mail;
  std::wstring proxy;
};

// The values the launcher reads from the file, as UTF-16 (empty strings for missing values or file).
Settings ReadSettings(const std::wstring& iniPath);

// Code page 932 bytes of a text; false when a character has no code page 932 form of its own (it
// would come back as another character).
bool ToValueBytes(const std::wstring& text, std::string& bytes);
std::wstring FromValueBytes(const std::string& bytes);

// Whether the profile API's read would change the value (blanks or control characters at an end, or
// quotes enclosing it), so it has to be written inside an extra pair of double quotes.
bool NeedsEnclosingQuotes(const std::wstring& value);
// What to write so that the read gives value back.
std::wstring ProfileText(const std::wstring& value);

// Why a value cannot be saved so that the launcher reads it back unchanged.
enum class ValueProblem { None, LineBreak, NotInCodePage, TooLong };
// Checks a value; on success bytes holds its code page 932 form.
ValueProblem CheckValue(const std::wstring& value, std::string& bytes);

// Where the program of a command line is found, as CreateProcess looks for it: a quoted first token,
// or else the shortest prefix ending at a blank (or the whole line) that names an existing file (".exe"
// added to a name without an extension; a name without a folder searched for as the system does).
// Empty when there is none.
std::wstring FindCommandProgram(const std::wstring& commandLine);
// The path as the system would find it to start it (the same lookup for one name); empty when none.
std::wstring FindProgram(const std::wstring& path);
// The program a command line names, for messages: the text inside leading quotes; unquoted, up to
// the first ".exe" that ends at a blank or at the end (so "C:\Program Files\x.exe -a" names
// "C:\Program Files\x.exe"), or else up to the first blank.
std::wstring NamedProgram(const std::wstring& commandLine);
// The command line with its program replaced by path (quoted when it has a blank), arguments kept.
// Unquoted, the program replaced is the one named up to its ".exe" when that one exists or nothing
// is found, not a shorter program the system would find first.
std::wstring ReplaceCommandProgram(const std::wstring& commandLine, const std::wstring& path);
// The program of a command line as typed, when the line does not quote it and it has a blank: the
// system tries each shorter prefix that ends at a blank first, so a program named like one of them
// would start instead (or already does: then the longer program the line names is the one given, and
// startsInstead, when given, receives the path of the one that starts). Empty otherwise (quoted,
// without a blank, or not found).
std::wstring UnquotedProgramWithBlank(const std::wstring& commandLine, std::wstring* startsInstead = nullptr);

enum class SaveStatus {
  Saved,
  ReadOnly,        // the file has the read-only attribute
  InUse,           // another program holds the file open
  FolderDenied,    // the folder lets this user create no file (one under Program Files, say)
  CannotWrite,     // no temporary file, or writing into it failed (error tells why)
  ReadBackDiffers  // the values would not read back unchanged: nothing was replaced
};
struct SaveResult {
  SaveStatus status = SaveStatus::Saved;
  DWORD error = ERROR_SUCCESS;
};

// Writes the two values (code page 932 bytes, checked with CheckValue) into the file, keeping its
// other sections and keys. On any failure the file is left as it was and no temporary file remains.
SaveResult SaveSettings(const std::wstring& iniPath, const std::string& mail, const std::string& proxy);

}  // namespace configure
