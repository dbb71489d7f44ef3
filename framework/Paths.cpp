// Executable and Windows directory paths, and path splitting.
#include "framework/Paths.h"

#include "framework/AnsiText.h"

namespace framework {

namespace {
constexpr std::string_view kPathDelimiters = "\\:";
}

std::string ReadSizedString(const std::function<UINT(char* buffer, UINT size)>& fetch, UINT firstSize) {
  std::string buffer(firstSize > 0 ? firstSize : 1, '\0');
  for (;;) {
    const UINT result = fetch(buffer.data(), static_cast<UINT>(buffer.size()));
    if (result == 0) return {};
    if (result < buffer.size()) {
      buffer.resize(result);
      return buffer;
    }
    buffer.resize(result + 1);
  }
}

std::string ModuleFileName(HMODULE module) {
  // GetModuleFileNameA does not report the size it needs: it fills the buffer and returns its size
  // when the name was cut, so the buffer grows until the result is shorter than the buffer.
  std::string buffer(MAX_PATH, '\0');
  for (;;) {
    const DWORD size = static_cast<DWORD>(buffer.size());
    const DWORD length = GetModuleFileNameA(module, buffer.data(), size);
    if (length == 0) return {};
    if (length < size || size >= 32768) {  // 32768: the platform's path limit
      buffer.resize(length);
      return buffer;
    }
    buffer.resize(size * 2);
  }
}

std::string WindowsDirectory() {
  return ReadSizedString([](char* buffer, UINT size) { return GetWindowsDirectoryA(buffer, size); });
}

std::string ExtractFilePath(std::string_view path) {
  const size_t delimiter = LastDelimiter(path, kPathDelimiters);
  return delimiter == std::string_view::npos ? std::string() : std::string(path.substr(0, delimiter + 1));
}

std::string ExtractFileName(std::string_view path) {
  const size_t delimiter = LastDelimiter(path, kPathDelimiters);
  return std::string(delimiter == std::string_view::npos ? path : path.substr(delimiter + 1));
}

std::string ExtractFileBaseName(std::string_view path) {
  std::string name = ExtractFileName(path);
  const size_t dot = LastDelimiter(name, ".");
  if (dot != std::string::npos) name.erase(dot);
  return name;
}

std::string ExtractFileDir(std::string_view path) {
  std::string directory = ExtractFilePath(path);
  const size_t size = directory.size();
  // ExtractFilePath ends on a delimiter that is a character of its own; a trailing backslash goes
  // unless the character before it is itself a backslash or a colon.
  if (size > 0 && directory[size - 1] == '\\') {
    const size_t before = LastDelimiter(std::string_view(directory).substr(0, size - 1), kPathDelimiters);
    const bool previousIsDelimiter = size >= 2 && before == size - 2;
    if (!previousIsDelimiter) directory.pop_back();
  }
  return directory;
}

}  // namespace framework

