// The launcher window: never shown, stored minimised, carrying the launcher's components. Its
// handlers are the launch sequence: start the proxy and the mail client (or the configuration
// program when a setting is missing), bring the client's windows to the front, end the proxy when
// the client ends, and close five seconds later. A program that cannot be started is told of in a
// notice from the tray icon, whose click hands over to the configuration program.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "app/MailWatch.h"
#include "framework/Forms.h"
#include "framework/Menus.h"
#include "framework/Timer.h"
#include "launch/ExFile.h"
#include "launch/Process.h"
#include "settings/IniGT.h"
#include "tray/Taskbar.h"
#include "winlist/WinList.h"

class TForm1 : public framework::TForm {
 public:
  explicit TForm1(framework::TComponent* owner);
  ~TForm1() override;

  // The launch sequence, run once at the end of construction.
  void FormCreate(framework::TObject* sender);
  // The program the mail command started has ended (raised on the command runner's worker thread).
  void Process1Finished(framework::TObject* sender, std::uint32_t exitCode);
  void Timer1Timer(framework::TObject* sender);
  void Exit1Click(framework::TObject* sender);
  // The mail client could not be started (raised on the main thread).
  void Process1StartFailed(framework::TObject* sender, std::uint32_t error);
  // The user clicked a notice.
  void TrayIcon1BalloonClick(framework::TObject* sender);
  // A program the executable launcher started has ended (the proxy, on the main thread).
  void ExFile1ProcCompleted(framework::TObject* sender, const std::string& fileName, const std::string& identifier,
                            std::int32_t exitCode, bool timedOut);

  // Brings every window whose title holds "TOLVANE MAIL" to the front, as list finds them now, and
  // gives those windows.
  static std::vector<HWND> BringMailForward(winlist::TWinList& list);

  tray::TTrayIcon* TrayIcon1 = nullptr;
  framework::TPopupMenu* PopupMenu1 = nullptr;
  framework::TMenuItem* Exit1 = nullptr;
  launch::TProcess* Process1 = nullptr;
  framework::TTimer* Timer1 = nullptr;
  launch::TExFile* ExFile1 = nullptr;
  settings::TIniGT* IniGT1 = nullptr;
  winlist::TWinList* WinList1 = nullptr;

  // The configuration program's path for an executable path: its directory, then "\Cunfigure.exe"
  // (a drive root keeps its backslash, so the path then holds two in a row).
  static std::string ConfigurationProgramPath(const std::string& executablePath);

  // The classes its description creates.
  static const framework::ClassRegistry& Classes();

  void Loaded() override;

  static const framework::PropertyTable& ClassProperties();
  const framework::PropertyTable& Published() const override { return ClassProperties(); }

 protected:
  const framework::ClassRegistry& DescriptionClasses() const override { return Classes(); }

 private:
  // Starts the configuration program and closes five seconds later; when it cannot be started,
  // tells the user and closes once they had the time to read it.
  void StartConfigurationProgram();
  // Starts the proxy, in its own folder; tells the user when it cannot be started.
  void StartProxy();
  // Shows a notice whose click hands over to the configuration program.
  void TellStartFailed(const wchar_t* what, const std::string& target, DWORD error);
  // The mail has ended: none of its processes runs, and none of its windows is up.
  void MailEnded();

  // What a click on the notice shown last does.
  enum class NoticeClick : unsigned char { None, OpenSettings, RestartProxy };
  NoticeClick noticeClick_ = NoticeClick::None;
  bool proxyEndTold_ = false;      // the proxy's own end is told of once a run
  bool claimUntilProxyEnds_ = false;  // the mail has ended; the proxy asked to close still runs
  bool handedOver_ = false;      // the configuration program takes over: nothing else is ended
  bool closingAfterNotice_ = false;
  DWORD noticeShownAt_ = 0;
  std::unique_ptr<TMailWatch> mailWatch_;  // from the mail's start until it has ended
  std::function<void()> programEnded_;     // tells the watch, from the command runner's worker
};

// The launcher window, set before its construction runs.
extern TForm1* Form1;
