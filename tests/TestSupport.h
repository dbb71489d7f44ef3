// Helpers for tests that use real files, processes and message loops under Wine.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "framework/FormText.h"
#include "framework/Forms.h"
#include "framework/Handles.h"
#include "testing/ProcessWindows.h"

namespace testsupport {

// A data module that holds the components a test loads from a description ("object Host: THostModule").
class THostModule : public framework::TDataModule {
 public:
  using TDataModule::TDataModule;
  static const framework::PropertyTable& ClassProperties();
  const framework::PropertyTable& Published() const override { return ClassProperties(); }
};

// Loads one component of class T, named name, with the given property lines into host.
template <class T>
T* LoadHosted(THostModule& host, const std::string& name, const std::string& properties) {
  framework::ReadComponent(host,
                           "object Host: THostModule\n  object " + name + ": " + T::ClassProperties().ClassName() +
                               "\n" + properties + "  end\nend\n",
                           framework::ClassRegistry().Add<T>());
  return framework::ComponentAs<T>(host.FindComponent(name));
}

// A fresh folder under the temporary directory, removed with everything in it at the end.
class TempDir {
 public:
  // suffix is appended to the folder's name (for names with blanks or double-byte characters).
  explicit TempDir(const std::string& suffix = "");
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& Path() const { return path_; }
  // Path of a name inside the folder.
  std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

 private:
  std::string path_;
};

void WriteFileBytes(const std::string& path, const std::string& bytes);
std::string ReadFileBytes(const std::string& path);
bool FileExists(const std::string& path);

// The folder of the running test program, where every built program lies.
std::string ProgramDir();
// Path of a built program beside the test program.
std::string BuiltProgram(const std::string& name);

struct RunResult {
  DWORD exitCode = 0;
  bool timedOut = false;
  std::string output;  // what the program wrote to its standard output
};
// Runs a command line with a working directory (empty: the current one) and waits for it.
RunResult RunProgram(const std::string& commandLine, const std::string& directory = "", DWORD timeoutMs = 20000);

// Sets the display scale that programs started from now on get (Wine's LogPixels setting), and puts
// the setting back as it was at the end.
class ScopedLogPixels {
 public:
  explicit ScopedLogPixels(DWORD dpi);
  ~ScopedLogPixels();
  ScopedLogPixels(const ScopedLogPixels&) = delete;
  ScopedLogPixels& operator=(const ScopedLogPixels&) = delete;

 private:
  DWORD previous_ = 0;
  bool hadValue_ = false;
};

// A process's windows by class, as the demo driver finds them too.
using processwindows::FindProcessWindow;
using processwindows::WaitForProcessWindow;

// Top-level windows of the calling thread, destroyed with the object (owned ones first).
class Windows {
 public:
  static constexpr char kClassName[] = "TestSupportWindow";
  Windows() = default;
  ~Windows();
  Windows(const Windows&) = delete;
  Windows& operator=(const Windows&) = delete;

  HWND Make(const std::string& title, DWORD style = WS_OVERLAPPEDWINDOW, bool visible = true, HWND owner = nullptr,
            const char* className = kClassName, DWORD exStyle = 0);

 private:
  std::vector<framework::UniqueWindow> windows_;
};

// Picks an item of the next popup menu this process shows, as a user at the keyboard would: a
// thread waits for the menu, then presses Down `position` times and Enter (Escape for position 0).
// `shown` tells whether a menu came up within waitMs. Join the thread after the call that shows the
// menu.
std::thread ChooseFromNextMenu(int position, std::atomic<bool>& shown, DWORD waitMs = 5000);

// A time bound of a test, in milliseconds, for the machine it runs on: multiplied by
// TOLVANE_TIME_SCALE, which the 32-bit stage sets in its emulated machine, whose processor is slow.
// Only for bounds that the slow processor alone makes a test miss; what it asserts stays as it is.
double TimeBound(double milliseconds);

// Dispatches the calling thread's messages until done() holds or the time is up; returns done().
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs);
// Dispatches the calling thread's messages for a while.
void PumpFor(DWORD milliseconds);

}  // namespace testsupport

namespace testsupport {

// Answers the message boxes this process shows: a watcher thread finds each dialog box of the
// process, records its text and presses OK.
class MessageBoxWatcher {
 public:
  MessageBoxWatcher();
  ~MessageBoxWatcher();
  MessageBoxWatcher(const MessageBoxWatcher&) = delete;
  MessageBoxWatcher& operator=(const MessageBoxWatcher&) = delete;

  std::vector<std::string> Texts() const;
  // Text and caption as the box shows them, read through the wide API.
  std::vector<std::wstring> WideTexts() const;
  std::vector<std::wstring> WideCaptions() const;

 private:
  void Watch();

  std::atomic<bool> stop_{false};
  mutable std::mutex lock_;
  std::vector<std::string> texts_;
  std::vector<std::wstring> wideTexts_;
  std::vector<std::wstring> wideCaptions_;
  std::thread thread_;
};

}  // namespace testsupport

namespace testsupport {

// A stand-in notification area, on a thread of its own: the shell's entry point sends each request
// to the newest top-level window of its class, in any process. It refuses every request, takes it,
// or answers as a shell that holds its icons does (an icon it holds cannot be added again, one it
// does not hold cannot be changed); it records what it was sent.
class StandInShell {
 public:
  enum class Answer { Refuse, Accept, HoldIcons };
  // One request as Wine's shell entry point sends it: its own fixed layout of the record, whatever
  // version the caller used.
  struct Request {
    DWORD command = 0;  // NIM_ADD, NIM_MODIFY, ...
    std::string data;   // the record as the shell gets it

    HWND Window() const;
    UINT Flags() const;
    UINT CallbackMessage() const;
    std::wstring InfoTitle() const;  // a notification's title and text (NIF_INFO)
    std::wstring Info() const;
    DWORD InfoFlags() const;
    UINT Version() const;  // NIM_SETVERSION's
  };

  explicit StandInShell(Answer answer = Answer::Refuse);
  ~StandInShell() { Leave(); }
  StandInShell(const StandInShell&) = delete;
  StandInShell& operator=(const StandInShell&) = delete;

  // It is the window the shell's entry point finds.
  bool Active() const;
  std::vector<Request> Requests() const;
  // The notifications it was sent (NIF_INFO), oldest first, waited for until there are count.
  std::vector<Request> WaitForNotices(size_t count, DWORD timeoutMs) const;
  // Tells the icon that showed notice what the shell reports about it (NIN_BALLOONUSERCLICK, a
  // click; NIN_BALLOONTIMEOUT, its time out), with the callback message the icon was added with.
  void ReportOnNotice(const Request& notice, UINT report) const;
  // The real shell is back: the stand-in goes.
  void Leave();
  void SetAnswer(Answer answer) { answer_ = answer; }

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  bool Answers(const Request& request);

  std::atomic<Answer> answer_;
  std::vector<std::pair<HWND, UINT>> held_;  // the icons it holds (HoldIcons), on its thread
  mutable std::mutex lock_;
  std::vector<Request> requests_;
  std::thread thread_;
  std::atomic<bool> ready_{false};
  HWND window_ = nullptr;
  DWORD threadId_ = 0;
};

}  // namespace testsupport
