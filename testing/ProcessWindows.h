// Finding a process's top-level windows by class, and the processes of a program: for the demo
// drivers and the tests, which watch other programs and their windows come and go; and a program that stays, with windows of its own, for the
// tests and benchmarks that need another program's windows on the desktop.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "framework/Handles.h"

namespace processwindows {

// The process's top-level windows, in the order the desktop lists them (topmost first).
std::vector<HWND> TopLevelWindowsOf(DWORD processId);
// The class name of a window.
std::string ClassOf(HWND window);

// The first top-level window of a process with the given class (only visible ones if asked).
HWND FindProcessWindow(DWORD processId, const std::string& className, bool visibleOnly = false);
// The same, waited for up to timeoutMs; nullptr when none came.
HWND WaitForProcessWindow(DWORD processId, const std::string& className, bool visibleOnly = false,
                          DWORD timeoutMs = 10000);

// The ids of the processes running the program at path (compared without letter case).
std::vector<DWORD> ProcessesOf(const std::string& path);

// The process's window whose tray icon (id 1) the shell holds, or null: the launcher's tray
// component's hidden window. Asks the shell to change the icon, which only a held icon allows.
HWND ShownTrayIconWindow(DWORD processId);
// The same, waited for up to timeoutMs.
HWND WaitForShownTrayIconWindow(DWORD processId, DWORD timeoutMs);

// Starts a program, as the user opening it from directory would; empty handles (and error set)
// when it could not be started.
framework::ProcessHandles StartProgram(const std::string& commandLine, const std::string& directory, DWORD& error);

// Fills in Cunfigure.exe's window as a user would type the two values (in the code page of this
// program), and presses its OK button; returns at once.
void SaveInConfigurationWindow(HWND window, const std::string& mail, const std::string& proxy);

// A program started as "<program> --stay --marker <file> <options>" (TestChild.exe: it makes the
// windows its options ask for, writes the marker, and stays), waited for until it has written the
// marker, dispatching this thread's messages meanwhile; ended with the object.
class StayingProgram {
 public:
  StayingProgram(const std::string& program, const std::string& options, DWORD readyTimeoutMs = 60000);
  ~StayingProgram() { End(); }
  StayingProgram(const StayingProgram&) = delete;
  StayingProgram& operator=(const StayingProgram&) = delete;

  // Started and its windows made.
  bool Ready() const { return ready_; }
  const std::string& CommandLine() const { return commandLine_; }
  // The command line, and why it is not ready: for a test's failure message.
  std::string Describe() const;
  DWORD ProcessId() const { return handles_.processId; }
  DWORD ThreadId() const { return handles_.threadId; }
  // Terminates it and waits for its end.
  void End();

 private:
  std::string marker_;
  std::string commandLine_;
  framework::ProcessHandles handles_;
  bool ready_ = false;
  DWORD startError_ = ERROR_SUCCESS;
};

}  // namespace processwindows
