// Follows the mail, however its command line starts it, and tells when it has ended: none of its
// processes runs any more, and a last look at the desktop finds no visible window whose title holds
// "TOLVANE MAIL". Its processes are the program the command started, every process started from it
// (a job holds them) until a mail window has been seen, and every process that has owned a visible
// mail window. So a starter that hands over to the client, a client already running that a second
// copy hands over to, and a client that restarts itself are followed, while a browser the client
// opened is not. A worker waits on the processes' handles, never on a timer; only while the first
// mail window is awaited does it look at the desktop, every 100 ms.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <vector>

#include "framework/Handles.h"

// The mail's windows as the desktop lists them now (the top-most first): visible, and their title
// holding "TOLVANE MAIL" (case-sensitive, byte for byte).
std::vector<HWND> VisibleMailWindows();
bool IsMailTitle(const char* title);
// Brings the top-most mail window to the front, restoring it first if it is minimised: what a
// second start does for the user.
void BringTopMailWindowForward();

class TMailWatch {
 public:
  using WindowsHandler = std::function<void(const std::vector<HWND>&)>;
  // Made on the main thread, where both handlers run: onLateWindows with the mail windows that came
  // up after the first look (once), onEnded when the mail has ended (once).
  TMailWatch(WindowsHandler onLateWindows, std::function<void()> onEnded);
  // Stops the worker and waits for it; no handler runs after this.
  ~TMailWatch();
  TMailWatch(const TMailWatch&) = delete;
  TMailWatch& operator=(const TMailWatch&) = delete;

  // The job the command's program is to be started in; null when none could be made, and then the
  // program and the windows' owners are followed.
  HANDLE Job() const { return job_.get(); }

  // The first look found these mail windows; with none, the worker watches for one until the tick
  // count lookUntil.
  void FirstLook(const std::vector<HWND>& windows, DWORD lookUntil);
  // What tells the watch that the program the command started has ended: callable from any thread,
  // and harmless once the watch has gone (the command runner reports on its worker).
  std::function<void()> ProgramEndedSignal() const;

  struct State;  // shared with the worker

 private:
  framework::UniqueHandle job_;
  std::shared_ptr<State> state_;
  std::unique_ptr<class MailWatchThread> worker_;
};
