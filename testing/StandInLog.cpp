// Event log of the stand-in programs.
#include "testing/StandInLog.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "framework/Paths.h"

namespace standin {

long long NowMicroseconds() {
  LARGE_INTEGER counter;
  LARGE_INTEGER frequency;
  QueryPerformanceCounter(&counter);
  QueryPerformanceFrequency(&frequency);
  return static_cast<long long>(counter.QuadPart / (frequency.QuadPart / 1000000.0));
}

EventLog::EventLog(std::string path) : path_(std::move(path)) {
  const std::string exe = framework::ModuleFileName();
  program_ = framework::ExtractFileBaseName(exe);
  if (path_.empty()) path_ = framework::ExtractFilePath(exe) + program_ + ".log";
}

void EventLog::Write(const std::string& event) const {
  // Opened for each line and appended to, so several programs can share one file.
  FILE* file = std::fopen(path_.c_str(), "ab");
  if (file == nullptr) return;
  std::fprintf(file, "%lld %s[%lu] %s\n", NowMicroseconds(), program_.c_str(),
               static_cast<unsigned long>(GetCurrentProcessId()), event.c_str());
  std::fclose(file);
}

std::vector<LoggedEvent> ReadEventLog(const std::string& path) {
  std::vector<LoggedEvent> events;
  std::ifstream in(path, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    LoggedEvent event;
    std::istringstream fields(line);
    std::string who;
    fields >> event.us >> who;
    const size_t open = who.find('[');
    if (open == std::string::npos) continue;
    event.program = who.substr(0, open);
    event.processId = std::strtoul(who.c_str() + open + 1, nullptr, 10);
    std::getline(fields, event.text);
    if (!event.text.empty() && event.text[0] == ' ') event.text.erase(0, 1);
    events.push_back(event);
  }
  return events;
}

const LoggedEvent* FindEvent(const std::vector<LoggedEvent>& events, const std::string& prefix) {
  for (const LoggedEvent& event : events) {
    if (event.text.compare(0, prefix.size(), prefix) == 0) return &event;
  }
  return nullptr;
}

std::string Option(int argc, char** argv, const std::string& option, const std::string& fallback) {
  for (int i = 1; i + 1 < argc; ++i) {
    if (option == argv[i]) return argv[i + 1];
  }
  return fallback;
}

bool HasFlag(int argc, char** argv, const std::string& flag) {
  for (int i = 1; i < argc; ++i) {
    if (flag == argv[i]) return true;
  }
  return false;
}

}  // namespace standin
