// Helpers for the tests that start TestChild: its reports, its process, and this process's handles.
#pragma once

#include <windows.h>

#include <map>
#include <string>

namespace launchtest {

// What TestChild wrote with --report (key=value lines).
using Report = std::map<std::string, std::string>;

std::string ChildPath();         // TestChild.exe (GUI subsystem)
std::string ConsoleChildPath();  // TestChildConsole.exe

// Waits (pumping messages) until the report at path is complete, then reads it; empty when none came.
Report WaitForReport(const std::string& path, DWORD timeoutMs = 5000);

// Whether the process with this id still runs; ends it with exit code 1.
bool ProcessAlive(DWORD processId);
void KillProcess(DWORD processId);
DWORD ReportedProcessId(const Report& report);

// Open handles of this process, counted by probing every possible handle value: GetProcessHandleCount
// says 0 under Wine.
int CountOpenHandles();

// The system's text for a code, as FormatMessageA gives it (untrimmed).
std::string RawSystemMessage(DWORD code);

// Sets an environment variable for the duration of a scope (children inherit it).
class ScopedEnvironment {
 public:
  ScopedEnvironment(std::string name, const std::string& value);
  ~ScopedEnvironment();
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  std::string name_;
};

}  // namespace launchtest
