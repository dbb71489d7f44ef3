// The smallest program that shows a limit of 32-bit Wine under qemu's user-mode emulator: it starts
// threads back to back, each of which sleeps a moment and ends. Nothing of the launcher is in it.
//   ThreadsAtOnce <count> [--staggered]
// --staggered starts each thread only once the one before it runs.
// Exit code 0: every thread ran and ended. Natively and under 64-bit Wine it always exits 0. 32-bit
// Wine under the emulator mostly dies when a thread is created while the one before it is still
// starting ("qemu: uncaught target signal 11", "wine client error"); staggered, it exits 0.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {
HANDLE running = nullptr;

DWORD WINAPI Work(void*) {
  SetEvent(running);
  Sleep(100);
  return 0;
}
}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 0;
  const bool staggered = argc > 2 && std::strcmp(argv[2], "--staggered") == 0;
  if (count < 1 || count > 64) {
    std::fprintf(stderr, "usage: ThreadsAtOnce <count 1-64> [--staggered]\n");
    return 2;
  }
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  running = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  std::vector<HANDLE> threads;
  for (int i = 0; i < count; ++i) {
    threads.push_back(CreateThread(nullptr, 0, &Work, nullptr, 0, nullptr));
    if (threads.back() == nullptr) return 1;
    if (staggered) WaitForSingleObject(running, INFINITE);
  }
  WaitForMultipleObjects(static_cast<DWORD>(threads.size()), threads.data(), TRUE, INFINITE);
  std::printf("%d threads ran and ended\n", count);
  return 0;
}
