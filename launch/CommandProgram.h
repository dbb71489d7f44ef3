// Where the system finds the program of a command line, the way CreateProcess looks for it: a
// quoted first token; unquoted, the shortest prefix ending at a blank (or the whole line) that names
// an existing file. ".exe" is added to a name without an extension, and a name without a folder is
// searched for as the system does (the program's folder, the current one, the system's, PATH).
// Shared by the launcher, which starts each program in its own folder, and the configuration
// program, which checks and edits the command line.
#pragma once

#include <string>

namespace launch {

// Blanks that end the program of a command line, as the system splits it.
inline bool IsCommandBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

struct CommandProgram {
  size_t start = 0;   // the program's first character (a quote included)
  size_t end = 0;     // one past its last (the closing quote included); the first token's end when none is found
  std::wstring found;  // the file the system would start; empty when there is none
};
CommandProgram LocateCommandProgram(const std::wstring& commandLine);

// The path as the system would find it to start it (the same lookup for one name); empty when none.
std::wstring FindProgram(const std::wstring& path);

}  // namespace launch
