// Byte-string helpers that respect the double-byte characters of an ANSI code page.
//
// Paths and texts are ANSI byte strings. In a double-byte code page such as 932 the second byte of a
// character can be 0x5C (the backslash) or an ASCII letter, so a plain byte-wise search or case
// change splits or alters such characters. Every helper here steps over
// whole characters as IsDBCSLeadByteEx judges them for the given code page (CP_ACP: the one in effect).
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

namespace framework {

// The program's own texts (its literals and the strings of its form descriptions) are bytes of this
// code page, whatever the system's ANSI code page is.
constexpr UINT kProgramCodePage = 932;

// The code page the helpers use for CP_ACP / CP_THREAD_ACP: the process's ANSI code page.
UINT ResolveCodePage(UINT codePage);

// Byte length of the character starting at text[index] (1 or 2; 1 for a lead byte at the end).
size_t CharLength(std::string_view text, size_t index, UINT codePage = CP_ACP);

// Index of the last byte of text that is one of delimiters and stands as a character of its own
// (never the second byte of a double-byte character); npos when there is none.
size_t LastDelimiter(std::string_view text, std::string_view delimiters, UINT codePage = CP_ACP);

// ASCII case changes of single-byte characters only; double-byte characters stay as they are.
// A number in decimal digits, with a minus sign when negative. Not std::to_string (its digit-pair
// table and code) nor snprintf (the C library's formatter with its floating-point code); 32-bit, so
// the 32-bit program needs no 64-bit division routines.
std::string DecimalText(long value);

std::string AsciiLowerCase(std::string_view text, UINT codePage = CP_ACP);
std::string AsciiUpperCase(std::string_view text, UINT codePage = CP_ACP);

// The longest prefix of text of at most maxBytes bytes that does not split a double-byte character.
std::string_view CutOnCharBoundary(std::string_view text, size_t maxBytes, UINT codePage = CP_ACP);

// Conversions between UTF-8 and an ANSI code page, through UTF-16. Unmappable characters become
// the code page's default character.
std::string Utf8ToAnsi(std::string_view utf8, UINT codePage);
std::string AnsiToUtf8(std::string_view ansi, UINT codePage);
// UTF-16 text ending in a NUL, for the wide API. Not a std::wstring: the runtime's wide string code
// would come into the exe whole.
class WideText {
 public:
  explicit WideText(std::vector<wchar_t> characters);
  const wchar_t* c_str() const { return characters_.data(); }
  size_t size() const { return characters_.size() - 1; }

 private:
  std::vector<wchar_t> characters_;
};

WideText AnsiToWide(std::string_view ansi, UINT codePage);

// A text of the program as UTF-16, for showing it through the wide API: it then reads right under
// any ANSI code page, where the ANSI API would reinterpret its bytes in the system's code page.
inline WideText ProgramTextToWide(std::string_view text) { return AnsiToWide(text, kProgramCodePage); }

}  // namespace framework
