// Timestamped event log shared by the demo stand-in programs. Each line is
//   <ticks> <program>[<process id>] <event>
// where ticks is QueryPerformanceCounter converted to microseconds: one clock for every process of
// the machine (also under Wine), so lines of different programs can be compared.
#pragma once

#include <string>

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

// Microseconds on the machine-wide clock.
long long NowMicroseconds();

// The value following option in the command line arguments, or fallback.
std::string Option(int argc, char** argv, const std::string& option, const std::string& fallback = "");
bool HasFlag(int argc, char** argv, const std::string& flag);

}  // namespace standin
