// Where the system finds a command line's program.
#include "launch/CommandProgram.h"

#include <windows.h>

#include <vector>

namespace launch {

namespace {
bool IsFile(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool HasFolder(const std::wstring& path) { return path.find_first_of(L"\\/:") != std::wstring::npos; }

bool HasExtension(const std::wstring& path) {
  const size_t separator = path.find_last_of(L"\\/:");
  return path.find(L'.', separator == std::wstring::npos ? 0 : separator + 1) != std::wstring::npos;
}
}  // namespace

CommandProgram LocateCommandProgram(const std::wstring& commandLine) {
  CommandProgram program;
  size_t start = 0;
  while (start < commandLine.size() && IsCommandBlank(commandLine[start])) ++start;
  program.start = program.end = start;
  if (start == commandLine.size()) return program;
  if (commandLine[start] == L'"') {
    const size_t close = commandLine.find(L'"', start + 1);
    program.end = close == std::wstring::npos ? commandLine.size() : close + 1;
    program.found = FindProgram(commandLine.substr(start + 1, close == std::wstring::npos ? std::wstring::npos
                                                                                          : close - start - 1));
    return program;
  }
  // Unquoted, the system tries each prefix that ends at a blank, shortest first, then the whole line.
  size_t firstEnd = std::wstring::npos;
  for (size_t at = start;; ++at) {
    if (at == commandLine.size() || commandLine[at] == L' ') {
      if (firstEnd == std::wstring::npos) firstEnd = at;
      if (at > start && commandLine[at - 1] != L' ') {
        std::wstring found = FindProgram(commandLine.substr(start, at - start));
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

std::wstring FindProgram(const std::wstring& path) {
  if (path.empty()) return std::wstring();
  if (HasFolder(path)) {
    if (IsFile(path)) return path;
    if (!HasExtension(path) && IsFile(path + L".exe")) return path + L".exe";
    return std::wstring();
  }
  // A bare name: the program's folder, the current one, the system's folders and PATH.
  std::vector<wchar_t> found(MAX_PATH);
  for (;;) {
    const DWORD length =
        SearchPathW(nullptr, path.c_str(), L".exe", static_cast<DWORD>(found.size()), found.data(), nullptr);
    if (length == 0) return std::wstring();
    if (length < found.size()) {
      std::wstring result(found.data(), length);
      return IsFile(result) ? result : std::wstring();
    }
    found.resize(length + 1);
  }
}

}  // namespace launch
