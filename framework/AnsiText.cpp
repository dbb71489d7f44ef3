// Double-byte aware byte-string helpers.
#include "framework/AnsiText.h"

#include <vector>

namespace framework {

UINT ResolveCodePage(UINT codePage) {
  if (codePage == CP_ACP || codePage == CP_THREAD_ACP) return GetACP();
  if (codePage == CP_OEMCP) return GetOEMCP();
  return codePage;
}

size_t CharLength(std::string_view text, size_t index, UINT codePage) {
  const UINT resolved = ResolveCodePage(codePage);
  if (index + 1 < text.size() && IsDBCSLeadByteEx(resolved, static_cast<BYTE>(text[index]))) return 2;
  return 1;
}

size_t LastDelimiter(std::string_view text, std::string_view delimiters, UINT codePage) {
  const UINT resolved = ResolveCodePage(codePage);
  size_t found = std::string_view::npos;
  for (size_t i = 0; i < text.size(); i += CharLength(text, i, resolved)) {
    if (delimiters.find(text[i]) != std::string_view::npos && CharLength(text, i, resolved) == 1) found = i;
  }
  return found;
}

namespace {
std::string ChangeAsciiCase(std::string_view text, UINT codePage, char from, char to) {
  const UINT resolved = ResolveCodePage(codePage);
  std::string result(text);
  for (size_t i = 0; i < result.size();) {
    const size_t length = CharLength(result, i, resolved);
    if (length == 1 && result[i] >= from && result[i] <= static_cast<char>(from + 25)) {
      result[i] = static_cast<char>(result[i] - from + to);
    }
    i += length;
  }
  return result;
}
}  // namespace

std::string DecimalText(long value) {
  char digits[16];
  char* first = digits + sizeof digits;
  // Counted as unsigned, so the most negative value has its digits too.
  unsigned long rest = value < 0 ? 0ul - static_cast<unsigned long>(value) : static_cast<unsigned long>(value);
  do {
    *--first = static_cast<char>('0' + rest % 10);
    rest /= 10;
  } while (rest != 0);
  if (value < 0) *--first = '-';
  return std::string(first, digits + sizeof digits);
}

std::string AsciiLowerCase(std::string_view text, UINT codePage) { return ChangeAsciiCase(text, codePage, 'A', 'a'); }

std::string AsciiUpperCase(std::string_view text, UINT codePage) { return ChangeAsciiCase(text, codePage, 'a', 'A'); }

std::string_view CutOnCharBoundary(std::string_view text, size_t maxBytes, UINT codePage) {
  if (text.size() <= maxBytes) return text;
  const UINT resolved = ResolveCodePage(codePage);
  size_t end = 0;
  while (end < text.size()) {
    const size_t next = end + CharLength(text, end, resolved);
    if (next > maxBytes) break;
    end = next;
  }
  return text.substr(0, end);
}

namespace {
// A vector, not a std::wstring: the runtime's wide string code would come into the exe whole.
std::vector<wchar_t> ToWide(std::string_view text, UINT codePage) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int length = MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
  std::vector<wchar_t> wide(static_cast<size_t>(length > 0 ? length : 0));
  if (length > 0) MultiByteToWideChar(codePage, 0, text.data(), size, wide.data(), length);
  return wide;
}

std::string FromWide(const std::vector<wchar_t>& wide, UINT codePage) {
  if (wide.empty()) return {};
  const int size = static_cast<int>(wide.size());
  const int length = WideCharToMultiByte(codePage, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<size_t>(length > 0 ? length : 0), '\0');
  if (length > 0) WideCharToMultiByte(codePage, 0, wide.data(), size, text.data(), length, nullptr, nullptr);
  return text;
}
}  // namespace

std::string Utf8ToAnsi(std::string_view utf8, UINT codePage) { return FromWide(ToWide(utf8, CP_UTF8), codePage); }

std::string AnsiToUtf8(std::string_view ansi, UINT codePage) { return FromWide(ToWide(ansi, codePage), CP_UTF8); }

WideText::WideText(std::vector<wchar_t> characters) : characters_(std::move(characters)) {
  characters_.push_back(L'\0');
}

WideText AnsiToWide(std::string_view ansi, UINT codePage) { return WideText(ToWide(ansi, codePage)); }

}  // namespace framework
