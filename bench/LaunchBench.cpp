// How soon the launch components notice that a child has ended, against a bare wait on the child's
// process handle, all measured in one run with the same child program. The child stamps the
// performance counter just before it exits (one clock for all processes under Wine).
//
//   LaunchBench [runs]      (default 30; run under Wine beside TestChild.exe)
//
// Ends with FIGURE|name|value|unit|comparison|target lines for bench/run-all.sh's table.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "framework/Application.h"
#include "framework/Handles.h"
#include "framework/Paths.h"
#include "launch/ExFile.h"
#include "launch/Process.h"

namespace {
// The child reaches its message loop, then ends this long after (long enough to be idle first).
constexpr char kChildLife[] = "150";

LONGLONG Now() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now.QuadPart;
}

double TicksToMs(LONGLONG ticks) {
  static const double frequency = [] {
    LARGE_INTEGER value;
    QueryPerformanceFrequency(&value);
    return static_cast<double>(value.QuadPart);
  }();
  return static_cast<double>(ticks) * 1000.0 / frequency;
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// The counter value the child wrote, or 0.
LONGLONG ReadStamp(const std::string& path) {
  char text[64] = "";
  framework::UniqueHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                           OPEN_EXISTING, 0, nullptr));
  if (!file || file.get() == INVALID_HANDLE_VALUE) return 0;
  DWORD read = 0;
  ReadFile(file.get(), text, sizeof text - 1, &read, nullptr);
  text[read] = '\0';
  return std::strtoll(text, nullptr, 10);
}

// Dispatches messages until done is set, as the program's own message loop would.
void LoopUntil(const std::atomic<bool>& done) {
  MSG message;
  while (!done && GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

struct Series {
  const char* name;
  std::vector<double> ms;
};

void Print(const Series& series, double reference) {
  std::vector<double> values = series.ms;
  if (values.empty()) {
    std::printf("%-44s no samples\n", series.name);
    return;
  }
  std::sort(values.begin(), values.end());
  const auto at = [&](double q) { return values[static_cast<size_t>(q * static_cast<double>(values.size() - 1) + 0.5)]; };
  const double median = at(0.5);
  std::printf("%-44s n=%2zu median %6.3f  min %6.3f  p10 %6.3f  p90 %6.3f  max %7.3f", series.name, values.size(),
              median, values.front(), at(0.1), at(0.9), values.back());
  if (reference >= 0) std::printf("   median - bare %+6.3f", median - reference);
  std::printf("\n");
}

double Median(std::vector<double> values) {
  if (values.empty()) return -1;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// The medians, for the table: a component is to notice the exit within 2 ms of the bare wait.
void PrintFigure(const char* name, const Series& series, const Series& bare, const char* bareName) {
  if (series.ms.empty() || bare.ms.empty()) {
    std::printf("FIGURE|%s|-|ms|-|<= comparison + 2\n", name);
    return;
  }
  std::printf("FIGURE|%s|%.3f|ms|%.3f (%s)|<= comparison + 2\n", name, Median(series.ms), Median(bare.ms), bareName);
}
}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
  framework::TApplication application;
  const std::string child = framework::ExtractFilePath(framework::ModuleFileName()) + "TestChild.exe";
  char temp[MAX_PATH] = "";
  GetTempPathA(sizeof temp, temp);
  const std::string stamp = std::string(temp) + "launchbench_" + std::to_string(GetCurrentProcessId()) + ".stamp";
  const std::string arguments = std::string(" --after ") + kChildLife + " --stamp " + Quoted(stamp);

  Series bareNormal{"bare wait, NORMAL_PRIORITY_CLASS", {}};
  Series bareConsole{"bare wait, NORMAL | CREATE_NEW_CONSOLE", {}};
  Series finished{"TProcess OnFinished (worker thread)", {}};
  Series completed{"TExFile OnProcCompleted (main thread)", {}};

  const auto bare = [&](DWORD flags, Series& series) {
    DeleteFileA(stamp.c_str());
    std::string commandLine = Quoted(child) + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, flags, nullptr, nullptr, &startup,
                        &info)) {
      return;
    }
    const framework::ProcessHandles process = framework::ProcessHandles::Adopt(info);
    WaitForSingleObject(process.process.get(), INFINITE);
    const LONGLONG woke = Now();
    const LONGLONG exited = ReadStamp(stamp);
    if (exited != 0) series.ms.push_back(TicksToMs(woke - exited));
  };

  for (int run = 0; run < runs; ++run) {
    bare(NORMAL_PRIORITY_CLASS, bareNormal);
    bare(NORMAL_PRIORITY_CLASS | CREATE_NEW_CONSOLE, bareConsole);

    {
      DeleteFileA(stamp.c_str());
      std::atomic<bool> done{false};
      std::atomic<LONGLONG> woke{0};
      launch::TProcess process(nullptr);
      process.SetCommand(Quoted(child) + arguments);
      process.SetShowWindow(launch::TShowWindow::swShowNormal);
      process.SetWait(true);
      process.SetOnFinished([&](framework::TObject*, uint32_t) {
        woke = Now();
        done = true;
        application.MainThread().Post([] {});  // gets the main loop out of GetMessage
      });
      process.Execute();
      LoopUntil(done);
      const LONGLONG exited = ReadStamp(stamp);
      if (exited != 0) finished.ms.push_back(TicksToMs(woke - exited));
    }

    {
      DeleteFileA(stamp.c_str());
      std::atomic<bool> done{false};
      LONGLONG woke = 0;
      launch::TExFile exFile(nullptr);
      exFile.SetProcFileName(child);
      exFile.SetProcParameters(arguments.substr(1));
      exFile.SetOnProcCompleted([&](framework::TObject*, const std::string&, const std::string&, int32_t, bool) {
        woke = Now();
        done = true;
      });
      if (exFile.Execute()) {
        LoopUntil(done);
        const LONGLONG exited = ReadStamp(stamp);
        if (exited != 0) completed.ms.push_back(TicksToMs(woke - exited));
      }
    }
  }
  DeleteFileA(stamp.c_str());

  std::printf("child exit (its own stamp) -> noticed, in ms; %d runs each, interleaved\n", runs);
  Print(bareNormal, -1);
  Print(finished, Median(bareNormal.ms));
  Print(bareConsole, -1);
  Print(completed, Median(bareConsole.ms));
  PrintFigure("launch: child exit noticed, TProcess (median)", finished, bareNormal, "bare wait");
  PrintFigure("launch: child exit noticed, TExFile (median)", completed, bareConsole, "bare wait, new console");
  return 0;
}
