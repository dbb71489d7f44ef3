// File-system names the components need: the running executable, the Windows directory, and the
// directory / name parts of an ANSI path (double-byte aware, see AnsiText.h).
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <string_view>

namespace framework {

// Calls fetch(buffer, size) with growing buffers until the text fits. fetch follows the rule of
// GetWindowsDirectoryA and its kin: it returns the length copied (without the terminator), or, when
// the buffer is too small, the size needed (with it); 0 means failure and gives an empty string.
std::string ReadSizedString(const std::function<UINT(char* buffer, UINT size)>& fetch, UINT firstSize = MAX_PATH);

// Full path of a module (nullptr: the executable), however long.
std::string ModuleFileName(HMODULE module = nullptr);

// The Windows directory, however long.
std::string WindowsDirectory();

// Everything up to and including the last backslash or colon; empty when there is none.
std::string ExtractFilePath(std::string_view path);

// Everything after the last backslash or colon.
std::string ExtractFileName(std::string_view path);

// The name after the last backslash or colon, without its extension (the part from its last full
// stop on).
std::string ExtractFileBaseName(std::string_view path);

// ExtractFilePath without its trailing backslash, unless that backslash follows a backslash or a
// colon (a drive root such as "C:\" keeps it).
std::string ExtractFileDir(std::string_view path);

}  // namespace framework
