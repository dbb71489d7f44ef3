// Where the system finds a command line's program.
#include "launch/CommandProgram.h"

#include <windows.h>

#include <vector>

#include "framework/AnsiText.h"

namespace launch {

namespace {
// What differs between the two kinds of text: the system calls, and where a name begins (a
// backslash may be the second byte of a double-byte character in the system's code page).
DWORD Attributes(const std::string& path) { return GetFileAttributesA(path.c_str()); }
DWORD Attributes(const std::wstring& path) { return GetFileAttributesW(path.c_str()); }
DWORD Search(const std::string& name, std::vector<char>& found) {
  return SearchPathA(nullptr, name.c_str(), ".exe", static_cast<DWORD>(found.size()), found.data(), nullptr);
}
DWORD Search(const std::wstring& name, std::vector<wchar_t>& found) {
  return SearchPathW(nullptr, name.c_str(), L".exe", static_cast<DWORD>(found.size()), found.data(), nullptr);
}
size_t LastSeparator(const std::string& path) { return framework::LastDelimiter(path, "\\/:"); }
size_t LastSeparator(const std::wstring& path) { return path.find_last_of(L"\\/:"); }

template <class Text>
bool IsFile(const Text& path) {
  const DWORD attributes = Attributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

template <class Text>
bool HasExtension(const Text& path) {
  const size_t separator = LastSeparator(path);
  return path.find(static_cast<typename Text::value_type>('.'), separator == Text::npos ? 0 : separator + 1) !=
         Text::npos;
}
}  // namespace

template <class Text>
CommandProgram<Text> LocateCommandProgram(const Text& commandLine) {
  using Char = typename Text::value_type;
  constexpr Char kQuote = '"';
  CommandProgram<Text> program;
  size_t start = 0;
  while (start < commandLine.size() && IsCommandBlank(commandLine[start])) ++start;
  program.start = program.end = start;
  if (start == commandLine.size()) return program;
  if (commandLine[start] == kQuote) {
    const size_t close = commandLine.find(kQuote, start + 1);
    program.end = close == Text::npos ? commandLine.size() : close + 1;
    program.found = FindProgram(commandLine.substr(start + 1, close == Text::npos ? Text::npos : close - start - 1));
    return program;
  }
  // Unquoted, the system tries each prefix that ends at a blank (a space or a tab), shortest first,
  // then the whole line.
  size_t firstEnd = Text::npos;
  for (size_t at = start;; ++at) {
    if (at == commandLine.size() || IsCommandBlank(commandLine[at])) {
      if (firstEnd == Text::npos) firstEnd = at;
      if (at > start && !IsCommandBlank(commandLine[at - 1])) {
        Text found = FindProgram(commandLine.substr(start, at - start));
        if (!found.empty()) {
          program.end = at;
          program.found = std::move(found);
          return program;
        }
      }
      if (at == commandLine.size()) break;
    }
  }
  program.end = firstEnd;
  return program;
}

template <class Text>
Text FindProgram(const Text& path) {
  using Char = typename Text::value_type;
  if (path.empty()) return Text();
  if (LastSeparator(path) != Text::npos) {
    if (IsFile(path)) return path;
    const Char exe[] = {'.', 'e', 'x', 'e', 0};
    if (!HasExtension(path) && IsFile(path + exe)) return path + exe;
    return Text();
  }
  // A bare name: the program's folder, the current one, the system's folders and PATH.
  std::vector<Char> found(MAX_PATH);
  for (;;) {
    const DWORD length = Search(path, found);
    if (length == 0) return Text();
    if (length < found.size()) {
      Text result(found.data(), length);
      return IsFile(result) ? result : Text();
    }
    found.resize(length + 1);
  }
}

template CommandProgram<std::string> LocateCommandProgram(const std::string&);
template CommandProgram<std::wstring> LocateCommandProgram(const std::wstring&);
template std::string FindProgram(const std::string&);
template std::wstring FindProgram(const std::wstring&);

}  // namespace launch
