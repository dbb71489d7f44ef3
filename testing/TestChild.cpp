// A real program for tests to start. Built twice: TestChild.exe (GUI subsystem, with a message loop,
// so it counts as idle once started) and TestChildConsole.exe (console subsystem).
//
// Options, in any order:
//   --report <file>        write what it received: command line, current directory, show state and
//                          flags from its startup info, priority class, process id, how many
//                          processes share its console (key=value lines). Without the option the
//                          path may come from the environment variable TESTCHILD_REPORT, for tests
//                          that must leave the command line alone.
//   --exit <code>          exit code (decimal, or hex with 0x; 0xC0000005 works); default 0
//   --after <ms>           end after this many milliseconds; without it (and without --stay) at once
//   --stay                 stay until terminated or until its window is closed
//   --window <title>       make a visible top-level window with this title
//   --hidden-window <t>    make a hidden top-level window with this title
//   --windows <n>          make n more visible top-level windows, titled "TestChild window 1" to n
//   --style <hex>          window style for the windows above (default WS_OVERLAPPEDWINDOW)
//   --class <name>         window class name for the windows above (default "TestChildWindow")
//   --no-loop              never pump messages (a GUI child that never becomes idle)
//   --marker <file>        write this file once its windows exist (the test knows it is ready)
//   --stamp <file>         write the performance counter (decimal) to this file just before exiting,
//                          so a test can time how soon others see the exit (one clock for all
//                          processes under Wine)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {
struct Options {
  std::string report;
  std::string marker;
  std::string stamp;
  UINT exitCode = 0;
  DWORD afterMs = 0;
  bool timed = false;
  bool stay = false;
  bool loop = true;
  std::vector<std::pair<std::string, bool>> windows;  // title, visible
  DWORD style = WS_OVERLAPPEDWINDOW;
  std::string className = "TestChildWindow";
};

Options Parse(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    // Every option but the flags takes the next argument.
    const auto value = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
    const auto number = [&](int base) { return static_cast<DWORD>(std::strtoul(value().c_str(), nullptr, base)); };
    if (arg == "--report") {
      options.report = value();
    } else if (arg == "--marker") {
      options.marker = value();
    } else if (arg == "--stamp") {
      options.stamp = value();
    } else if (arg == "--exit") {
      options.exitCode = number(0);
    } else if (arg == "--after") {
      options.afterMs = number(0);
      options.timed = true;
    } else if (arg == "--stay") {
      options.stay = true;
    } else if (arg == "--window") {
      options.windows.emplace_back(value(), true);
    } else if (arg == "--hidden-window") {
      options.windows.emplace_back(value(), false);
    } else if (arg == "--windows") {
      const DWORD count = number(10);
      for (DWORD n = 1; n <= count; ++n) options.windows.emplace_back("TestChild window " + std::to_string(n), true);
    } else if (arg == "--style") {
      options.style = number(16);
    } else if (arg == "--class") {
      options.className = value();
    } else if (arg == "--no-loop") {
      options.loop = false;
    }
  }
  if (options.report.empty()) {
    // Read wide: Wine's ANSI call cuts values that hold double-byte characters.
    wchar_t wide[MAX_PATH] = L"";
    const DWORD length = GetEnvironmentVariableW(L"TESTCHILD_REPORT", wide, MAX_PATH);
    char path[MAX_PATH * 2] = "";
    if (length > 0 && length < MAX_PATH &&
        WideCharToMultiByte(CP_ACP, 0, wide, -1, path, sizeof path, nullptr, nullptr) > 0) {
      options.report = path;
    }
  }
  return options;
}

void WriteReport(const std::string& path) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  GetStartupInfoA(&startup);
  char directory[MAX_PATH * 2] = "";
  GetCurrentDirectoryA(sizeof directory, directory);
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return;
  std::fprintf(file, "CommandLine=%s\n", GetCommandLineA());
  std::fprintf(file, "CurrentDir=%s\n", directory);
  std::fprintf(file, "ShowWindow=%u\n", static_cast<unsigned>(startup.wShowWindow));
  std::fprintf(file, "StartupFlags=0x%lx\n", static_cast<unsigned long>(startup.dwFlags));
  std::fprintf(file, "Priority=0x%lx\n", static_cast<unsigned long>(GetPriorityClass(GetCurrentProcess())));
  std::fprintf(file, "ProcessId=%lu\n", static_cast<unsigned long>(GetCurrentProcessId()));
  // 0 when the process has no console (neither its own nor an inherited one).
  DWORD consoleProcesses[8];
  std::fprintf(file, "ConsoleProcesses=%lu\n", static_cast<unsigned long>(GetConsoleProcessList(consoleProcesses, 8)));
  std::fclose(file);
}

// The stamp file is mapped at start, so the exit costs only a store into memory after reading the
// clock (no file call between the stamp and ExitProcess).
char* MapStamp(const std::string& path) {
  constexpr DWORD kSize = 32;
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READWRITE, 0, kSize, nullptr);
  CloseHandle(file);
  if (mapping == nullptr) return nullptr;
  void* view = MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, kSize);
  CloseHandle(mapping);
  return static_cast<char*>(view);
}

[[noreturn]] void Exit(const Options& options, char* stamp) {
  if (stamp != nullptr) {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    std::snprintf(stamp, 32, "%lld", static_cast<long long>(now.QuadPart));
  }
  ExitProcess(options.exitCode);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcA(window, message, wParam, lParam);
}
}  // namespace

int Run(int argc, char** argv) {
  const Options options = Parse(argc, argv);
  char* stamp = options.stamp.empty() ? nullptr : MapStamp(options.stamp);
  if (!options.report.empty()) WriteReport(options.report);

  HINSTANCE instance = GetModuleHandleA(nullptr);
  if (!options.windows.empty()) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = options.className.c_str();
    RegisterClassA(&windowClass);
    for (const auto& [title, visible] : options.windows) {
      HWND window = CreateWindowExA(0, options.className.c_str(), title.c_str(), options.style, 40, 40, 320, 200,
                                    nullptr, nullptr, instance, nullptr);
      if (visible) ShowWindow(window, SW_SHOWNOACTIVATE);
    }
  }
  if (!options.marker.empty()) {
    FILE* marker = std::fopen(options.marker.c_str(), "wb");
    if (marker != nullptr) std::fclose(marker);
  }

  if (!options.timed && !options.stay) Exit(options, stamp);
  if (!options.loop) {
    Sleep(options.timed ? options.afterMs : INFINITE);
    Exit(options, stamp);
  }
  if (options.timed) SetTimer(nullptr, 0, options.afterMs, nullptr);
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    if (message.message == WM_TIMER && message.hwnd == nullptr) break;
    DispatchMessageA(&message);
  }
  Exit(options, stamp);
}

// MinGW's start-up code enters through main in the GUI build as in the console build.
int main(int argc, char** argv) { return Run(argc, argv); }
