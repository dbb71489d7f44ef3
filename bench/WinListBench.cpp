// Measures TWinList::Refresh of an unchanged desktop with 100 and 1000 qualifying windows of this
// process: time per call, time per enumerated window, and heap allocations during the refreshes
// (counted by replacing the global allocation functions). The same run measures a bare
// EnumWindows + GetWindowTextA loop over the same windows for comparison.
// Then the first Refresh of a new list over 100, 300 and 1000 windows of another process (a
// TestChild.exe beside this program), against a bare first look: EnumWindows, the three gates,
// GetWindowTextA, and one process snapshot with a table lookup per qualifying window.
// Ends each size with FIGURE|name|value|unit|comparison|target lines for bench/run-all.sh's table.
#include <windows.h>

#include <malloc.h>
#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "framework/Handles.h"
#include "framework/Paths.h"
#include "testing/ProcessWindows.h"
#include "winlist/WinList.h"

namespace {
std::atomic<long long> allocations{0};

void* Allocate(std::size_t size) {
  ++allocations;
  return std::malloc(size != 0 ? size : 1);
}
void* AllocateAligned(std::size_t size, std::align_val_t alignment) {
  ++allocations;
  return _aligned_malloc(size != 0 ? size : 1, static_cast<std::size_t>(alignment));
}
}  // namespace

void* operator new(std::size_t size) {
  if (void* block = Allocate(size)) return block;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new(std::size_t size, std::align_val_t alignment) {
  if (void* block = AllocateAligned(size, alignment)) return block;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size, std::align_val_t alignment) { return operator new(size, alignment); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete(void* block, std::align_val_t) noexcept { _aligned_free(block); }
void operator delete[](void* block, std::align_val_t) noexcept { _aligned_free(block); }
void operator delete(void* block, std::size_t, std::align_val_t) noexcept { _aligned_free(block); }
void operator delete[](void* block, std::size_t, std::align_val_t) noexcept { _aligned_free(block); }

namespace {

constexpr char kClassName[] = "WinListBenchWindow";
constexpr int kRounds = 5;

double Seconds() {
  LARGE_INTEGER frequency;
  LARGE_INTEGER now;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

BOOL CALLBACK CountWindow(HWND, LPARAM count) {
  ++*reinterpret_cast<int*>(count);
  return TRUE;
}

int TopLevelWindows() {
  int count = 0;
  EnumWindows(CountWindow, reinterpret_cast<LPARAM>(&count));
  return count;
}

// The comparison: read every top-level window's title and nothing else.
BOOL CALLBACK ReadTitle(HWND window, LPARAM titled) {
  char title[256];
  title[0] = '\0';
  GetWindowTextA(window, title, 255);
  if (title[0] != '\0') ++*reinterpret_cast<int*>(titled);
  return TRUE;
}

void Measure(int windowCount, int iterations) {
  std::vector<framework::UniqueWindow> windows;
  windows.reserve(static_cast<size_t>(windowCount));
  for (int i = 0; i < windowCount; ++i) {
    const std::string title = "bench window " + std::to_string(i);
    windows.emplace_back(CreateWindowExA(0, kClassName, title.c_str(), WS_OVERLAPPEDWINDOW, 10, 10, 120, 80, nullptr,
                                         nullptr, GetModuleHandleA(nullptr), nullptr));
    ShowWindow(windows.back().get(), SW_SHOWNA);
  }

  winlist::TWinList list(nullptr);
  const long long beforeRebuild = allocations.load();
  list.Refresh();  // the rebuild (allocates: shows the counter counts); what follows is unchanged
  const long long rebuildAllocations = allocations.load() - beforeRebuild;
  list.Refresh();
  const int enumerated = TopLevelWindows();

  double bestRefresh = 1e30;
  double bestBare = 1e30;
  long long refreshAllocations = 0;
  int rebuilds = 0;
  for (int round = 0; round < kRounds; ++round) {
    const long long allocationsBefore = allocations.load();
    double start = Seconds();
    for (int i = 0; i < iterations; ++i) {
      list.Refresh();
      if (list.Changed()) ++rebuilds;
    }
    bestRefresh = std::min(bestRefresh, (Seconds() - start) / iterations);
    refreshAllocations += allocations.load() - allocationsBefore;

    int titled = 0;
    start = Seconds();
    for (int i = 0; i < iterations; ++i) EnumWindows(ReadTitle, reinterpret_cast<LPARAM>(&titled));
    bestBare = std::min(bestBare, (Seconds() - start) / iterations);
  }

  const double refreshPerWindow = bestRefresh / enumerated * 1e6;
  const double barePerWindow = bestBare / enumerated * 1e6;
  std::printf("%d qualifying windows of this process, %d top-level windows enumerated, %d listed\n", windowCount,
              enumerated, list.WindowList().Count());
  std::printf("  first Refresh (rebuild): %lld allocations\n", rebuildAllocations);
  std::printf(
      "  Refresh (unchanged): %8.3f ms per call, %6.2f us per window, %lld allocations in %d calls, %d rebuilds\n",
      bestRefresh * 1e3, refreshPerWindow, refreshAllocations, kRounds * iterations, rebuilds);
  std::printf("  EnumWindows + GetWindowTextA: %8.3f ms per call, %6.2f us per window\n", bestBare * 1e3,
              barePerWindow);
  std::printf("  ratio Refresh / bare loop: %.2f\n", refreshPerWindow / barePerWindow);
  std::printf("FIGURE|winlist: unchanged refresh, %d windows|%.3f|us per window|%.3f (bare loop)|<= 1.5 x comparison\n",
              windowCount, refreshPerWindow, barePerWindow);
  std::printf("FIGURE|winlist: allocations per unchanged refresh, %d windows|%g|allocations|-|= 0\n", windowCount,
              static_cast<double>(refreshAllocations) / (kRounds * iterations));
}

// The comparison for a first look: what any program must do to find windows and name their
// programs. Process ids and names from one snapshot, sorted for the lookup.
struct ProcessName {
  DWORD processId;
  char exeFile[MAX_PATH];
};

struct BareLook {
  std::vector<ProcessName> table;
  int named = 0;
};

bool BareTaskBarStyle(HWND window) {
  const DWORD style = static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE));
  if ((style & WS_POPUP) == 0) return true;
  return (style & WS_MINIMIZEBOX) != 0 && (style & WS_DISABLED) == 0 && (style & WS_SYSMENU) != 0;
}

BOOL CALLBACK BareLookAt(HWND window, LPARAM lookValue) {
  auto& look = *reinterpret_cast<BareLook*>(lookValue);
  char title[256];
  title[0] = '\0';
  GetWindowTextA(window, title, 255);
  if (title[0] == '\0' || !IsWindowVisible(window) || GetWindow(window, GW_OWNER) != nullptr) return TRUE;
  if (!BareTaskBarStyle(window)) {
    HWND popup = GetLastActivePopup(window);
    if (!IsWindow(popup) || !BareTaskBarStyle(popup)) return TRUE;
  }
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  const auto found = std::lower_bound(look.table.begin(), look.table.end(), processId,
                                      [](const ProcessName& name, DWORD id) { return name.processId < id; });
  if (found != look.table.end() && found->processId == processId && found->exeFile[0] != '\0') ++look.named;
  return TRUE;
}

void BareFirstLook(BareLook& look) {
  look.table.clear();
  look.named = 0;
  framework::UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32First(snapshot.get(), &entry); more; more = Process32Next(snapshot.get(), &entry)) {
    look.table.emplace_back();
    look.table.back().processId = entry.th32ProcessID;
    lstrcpynA(look.table.back().exeFile, entry.szExeFile, MAX_PATH);
  }
  std::sort(look.table.begin(), look.table.end(),
            [](const ProcessName& a, const ProcessName& b) { return a.processId < b.processId; });
  EnumWindows(BareLookAt, reinterpret_cast<LPARAM>(&look));
}

void MeasureFirstRefresh(int windowCount) {
  const processwindows::StayingProgram child(framework::ExtractFileDir(framework::ModuleFileName()) + "\\TestChild.exe",
                                             "--windows " + std::to_string(windowCount), 120000);
  if (!child.Ready()) {
    std::printf("cannot start %s\n", child.Describe().c_str());
    return;
  }
  const int enumerated = TopLevelWindows();

  double bestRefresh = 1e30;
  double bestBare = 1e30;
  int listed = 0;
  int named = 0;
  BareLook look;
  look.table.reserve(256);
  for (int round = 0; round < kRounds; ++round) {
    {
      winlist::TWinList list(nullptr);  // a new list: every window is new to it
      const double start = Seconds();
      list.Refresh();
      bestRefresh = std::min(bestRefresh, Seconds() - start);
      listed = list.WindowList().Count();
    }
    const double start = Seconds();
    BareFirstLook(look);
    bestBare = std::min(bestBare, Seconds() - start);
    named = look.named;
  }

  const double refreshPerWindow = bestRefresh / enumerated * 1e6;
  const double barePerWindow = bestBare / enumerated * 1e6;
  std::printf(
      "%d new windows of another process, %d top-level windows enumerated, %d listed, %d named by the bare look\n",
      windowCount, enumerated, listed, named);
  std::printf("  first Refresh of a new list: %8.3f ms, %6.2f us per window\n", bestRefresh * 1e3, refreshPerWindow);
  std::printf("  bare first look (gates, title, one snapshot, lookup): %8.3f ms, %6.2f us per window\n", bestBare * 1e3,
              barePerWindow);
  std::printf("  ratio first Refresh / bare look: %.2f\n", refreshPerWindow / barePerWindow);
  std::printf(
      "FIGURE|winlist: first refresh of %d new windows|%.3f|us per window|%.3f (bare look)|<= 1.5 x comparison\n",
      windowCount, refreshPerWindow, barePerWindow);
}

}  // namespace

int main() {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = DefWindowProcA;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = kClassName;
  RegisterClassA(&windowClass);
  std::printf("Best of %d rounds each.\n", kRounds);
  Measure(100, 200);
  Measure(1000, 40);
  for (int windowCount : {100, 300, 1000}) MeasureFirstRefresh(windowCount);
  return 0;
}
