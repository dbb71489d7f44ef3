// Where the system finds the program of a command line, the way CreateProcess looks for it: a
// quoted first token; unquoted, the shortest prefix ending at a blank (or the whole line) that names
// an existing file. ".exe" is added to a name without an extension, and a name without a folder is
// searched for as the system does (the program's folder, the current one, the system's, PATH).
// For the launcher's command lines in the system's code page (std::string, double-byte aware) and
// for the configuration program's in UTF-16 (std::wstring).
#pragma once

#include <string>

namespace launch {

// Blanks that end the program of a command line, as the system splits it.
template <class Char>
bool IsCommandBlank(Char c) {
  return c == static_cast<Char>(' ') || c == static_cast<Char>('\t');
}

template <class Text>
struct CommandProgram {
  size_t start = 0;  // the program's first character (a quote included)
  size_t end = 0;    // one past its last (the closing quote included); the first token's end when none is found
  Text found;        // the file the system would start; empty when there is none
};
template <class Text>
CommandProgram<Text> LocateCommandProgram(const Text& commandLine);

// The path as the system would find it to start it (the same lookup for one name); empty when none.
template <class Text>
Text FindProgram(const Text& path);

}  // namespace launch
