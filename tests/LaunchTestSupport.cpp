// Helpers for the tests that start TestChild.
#include "tests/LaunchTestSupport.h"

#include <cstdlib>
#include <sstream>

#include "framework/Handles.h"
#include "tests/TestSupport.h"

namespace launchtest {

std::string ChildPath() { return testsupport::BuiltProgram("TestChild.exe"); }
std::string ConsoleChildPath() { return testsupport::BuiltProgram("TestChildConsole.exe"); }

namespace {
Report Parse(const std::string& text) {
  Report report;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    const size_t equals = line.find('=');
    if (equals != std::string::npos) report[line.substr(0, equals)] = line.substr(equals + 1);
  }
  return report;
}
}  // namespace

Report WaitForReport(const std::string& path, DWORD timeoutMs) {
  std::string text;
  // The last line the child writes tells that the report is whole.
  testsupport::PumpUntil(
      [&] {
        text = testsupport::ReadFileBytes(path);
        const size_t last = text.find("ConsoleProcesses=");
        return last != std::string::npos && text.find('\n', last) != std::string::npos;
      },
      timeoutMs);
  return Parse(text);
}

bool ProcessAlive(DWORD processId) {
  framework::UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, processId));
  return process && WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
}

void KillProcess(DWORD processId) {
  framework::UniqueHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId));
  if (!process) return;
  TerminateProcess(process.get(), 1);
  WaitForSingleObject(process.get(), 5000);
}

DWORD ReportedProcessId(const Report& report) {
  const auto found = report.find("ProcessId");
  return found == report.end() ? 0 : static_cast<DWORD>(std::strtoul(found->second.c_str(), nullptr, 10));
}

int CountOpenHandles() {
  int count = 0;
  for (ULONG_PTR value = 4; value <= 0xFFFC; value += 4) {
    DWORD flags = 0;
    if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++count;
  }
  return count;
}

std::string RawSystemMessage(DWORD code) {
  char buffer[1024];
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                                      MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), buffer, sizeof buffer, nullptr);
  return std::string(buffer, length);
}

ScopedEnvironment::ScopedEnvironment(std::string name, const std::string& value) : name_(std::move(name)) {
  SetEnvironmentVariableA(name_.c_str(), value.c_str());
}

ScopedEnvironment::~ScopedEnvironment() { SetEnvironmentVariableA(name_.c_str(), nullptr); }

}  // namespace launchtest
