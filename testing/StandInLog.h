// Timestamped event log shared by the demo stand-in programs. Each line is
//   <ticks> <program>[<process id>] <event>
// where ticks is QueryPerformanceCounter converted to microseconds: one clock for every process of
// the machine (also under Wine), so lines of different programs can be compared.
#pragma once

#include <string>
#include <vector>

namespace standin {

class EventLog {
 public:
  // Writes to path, or, when it is empty, to "<executable without extension>.log" beside the program.
  explicit EventLog(std::string path);
  void Write(const std::string& event) const;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  std::string program_;
};

// One line of an event log, read back.
struct LoggedEvent {
  long long us = 0;
  std::string program;
  unsigned long processId = 0;
  std::string text;
};
// The events of a log file, in the order written; empty when there is no file.
std::vector<LoggedEvent> ReadEventLog(const std::string& path);
// The first event whose text starts with prefix, or nullptr.
const LoggedEvent* FindEvent(const std::vector<LoggedEvent>& events, const std::string& prefix);

// Microseconds on the machine-wide clock.
long long NowMicroseconds();

// The value following option in the command line arguments, or fallback.
std::string Option(int argc, char** argv, const std::string& option, const std::string& fallback = "");
bool HasFlag(int argc, char** argv, const std::string& flag);

}  // namespace standin
