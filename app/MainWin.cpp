// Launcher window and launch sequence.
#include "app/MainWin.h"

#include <windows.h>

#include <utility>

#include "app/ComData.h"
#include "app/Notices.h"
#include "framework/Application.h"
#include "framework/Paths.h"
#include "framework/Properties.h"
#include "launch/CommandProgram.h"

TForm1* Form1 = nullptr;

namespace {
constexpr char kConfigurationProgram[] = "\\Cunfigure.exe";
// Started from a notice, the configuration program starts a launcher once it has saved.
constexpr char kStartLauncherOption[] = "/startlauncher";
// The mail client's window is given this long to come up before it is brought to the front; one
// that comes up later is watched for until this long after the client's start.
constexpr DWORD kForegroundDelayMs = 1000;
constexpr DWORD kLateWindowMs = 60000;
// A proxy asked to close is given this long before it is ended; the launcher's own close, 5 s after
// the mail's end, comes later.
constexpr DWORD kProxyGraceMs = 3000;
// A notice before the launcher closes is given at least this long, and its own time up to the
// longest.
constexpr unsigned kNoticeReadingMs = 10000;
constexpr DWORD kLongestNoticeMs = 60000;
constexpr unsigned kNoticeCheckMs = 1000;
constexpr wchar_t kProxyName[] = L"メールプロキシ";
constexpr wchar_t kClientName[] = L"メールソフト";

template <class T>
T* Find(const framework::TComponent& owner, const char* name) {
  return framework::ComponentAs<T>(owner.FindComponent(name));
}

// The folder of a program found as the system finds it to start it, for its current directory:
// Explorer gives a program opened there its own folder, whatever the launcher's current directory
// (at sign-in, the system folder). Empty when the program is not found: its start then fails as
// it always has.
std::string FolderOf(const std::string& program) {
  return program.empty() ? std::string() : framework::ExtractFileDir(program);
}
}  // namespace

TForm1::TForm1(framework::TComponent* owner) : TForm(owner) {
  PublishMethod("FormCreate", &TForm1::FormCreate);
  PublishMethod("Process1Finished", &TForm1::Process1Finished);
  PublishMethod("Timer1Timer", &TForm1::Timer1Timer);
  PublishMethod("Exit1Click", &TForm1::Exit1Click);
  PublishMethod("Process1StartFailed", &TForm1::Process1StartFailed);
  PublishMethod("TrayIcon1BalloonClick", &TForm1::TrayIcon1BalloonClick);
  PublishMethod("ExFile1ProcCompleted", &TForm1::ExFile1ProcCompleted);
}

TForm1::~TForm1() {
  // What hands work to this form goes first: a component destructor below may run work queued for
  // the main thread while it waits, and that work must not reach components already freed. Then the
  // components: once the command runner is gone, no handler can run on this form.
  mailWatch_.reset();
  DestroyComponents();
}

const framework::ClassRegistry& TForm1::Classes() {
  static const framework::ClassRegistry classes = framework::ClassRegistry()
                                                      .Add<tray::TTrayIcon>()
                                                      .Add<framework::TPopupMenu>()
                                                      .Add<framework::TMenuItem>()
                                                      .Add<launch::TProcess>()
                                                      .Add<framework::TTimer>()
                                                      .Add<launch::TExFile>()
                                                      .Add<settings::TIniGT>()
                                                      .Add<winlist::TWinList>();
  return classes;
}

void TForm1::Loaded() {
  TForm::Loaded();
  TrayIcon1 = Find<tray::TTrayIcon>(*this, "TrayIcon1");
  PopupMenu1 = Find<framework::TPopupMenu>(*this, "PopupMenu1");
  Exit1 = Find<framework::TMenuItem>(*this, "Exit1");
  Process1 = Find<launch::TProcess>(*this, "Process1");
  Timer1 = Find<framework::TTimer>(*this, "Timer1");
  ExFile1 = Find<launch::TExFile>(*this, "ExFile1");
  IniGT1 = Find<settings::TIniGT>(*this, "IniGT1");
  WinList1 = Find<winlist::TWinList>(*this, "WinList1");
}

std::string TForm1::ConfigurationProgramPath(const std::string& executablePath) {
  return framework::ExtractFileDir(executablePath) + kConfigurationProgram;
}

void TForm1::FormCreate(framework::TObject* /*sender*/) {
  Process1->SetCommand(CommonData->GetMailCommand());
  ExFile1->SetProcFileName(CommonData->GetProxyPath());

  if (Process1->Command().empty() || ExFile1->ProcFileName().empty()) {
    // A setting is missing: the configuration program writes them; this run ends.
    StartConfigurationProgram();
    return;
  }

  StartProxy();  // not waited for; the mail client is started all the same
  mailWatch_ = std::make_unique<TMailWatch>(
      [](const std::vector<HWND>& windows) {
        for (HWND window : windows) SetForegroundWindow(window);
      },
      [this] { MailEnded(); });
  programEnded_ = mailWatch_->ProgramEndedSignal();
  Process1->SetJob(mailWatch_->Job());
  Process1->SetDirectory(FolderOf(launch::LocateCommandProgram(Process1->Command()).found));
  const DWORD clientStarted = GetTickCount();
  Process1->Execute();  // the mail client, waited for on a worker thread
  Process1->SetJob(nullptr);
  Sleep(kForegroundDelayMs);
  mailWatch_->FirstLook(BringMailForward(*WinList1), clientStarted + kLateWindowMs);
}

std::vector<HWND> TForm1::BringMailForward(winlist::TWinList& list) {
  list.Refresh();
  std::vector<HWND> brought;
  // Every matching window is brought forward, in list order; the count is read on every pass.
  for (int i = 0; i < list.WindowList().Count(); ++i) {
    if (IsMailTitle(list.WindowList().Strings(i).c_str())) {
      SetForegroundWindow(list.WindowHandle(i));
      brought.push_back(list.WindowHandle(i));
    }
  }
  return brought;
}

void TForm1::StartProxy() {
  ExFile1->SetProcCurrentDir(FolderOf(launch::FindProgram(ExFile1->ProcFileName())));
  if (!ExFile1->Execute() && !ExFile1->ProcessCreated()) {
    TellStartFailed(kProxyName, ExFile1->ProcFileName(), static_cast<DWORD>(ExFile1->LastErrorCode()));
  }
}

void TForm1::StartConfigurationProgram() {
  handedOver_ = true;
  mailWatch_.reset();  // the mail is no longer this launcher's to follow
  // Handed over: a launcher the configuration program starts runs at once, not beside this one.
  CommonData->ReleaseSettingsFile();
  ExFile1->SetProcFileName(ConfigurationProgramPath(framework::ModuleFileName()));
  ExFile1->SetProcCurrentDir(FolderOf(ExFile1->ProcFileName()));
  if (!ExFile1->Execute() && !ExFile1->ProcessCreated()) {
    // Nothing can write the settings: the user is told why, and given the time to read it.
    const TNotice notice =
        ConfigurationProgramNotice(ExFile1->ProcFileName(), static_cast<DWORD>(ExFile1->LastErrorCode()));
    TrayIcon1->ShowBalloon(notice.title, notice.text, tray::TBalloonIcon::biError);
    closingAfterNotice_ = true;
    noticeShownAt_ = GetTickCount();
    Timer1->SetInterval(kNoticeReadingMs);
  }
  Timer1->SetEnabled(true);
}

void TForm1::TellStartFailed(const wchar_t* what, const std::string& target, DWORD error) {
  const TNotice notice = StartFailedNotice(what, target, error);
  TrayIcon1->ShowBalloon(notice.title, notice.text, tray::TBalloonIcon::biError);
  noticeClick_ = NoticeClick::OpenSettings;
}

void TForm1::Process1StartFailed(framework::TObject* /*sender*/, std::uint32_t error) {
  // The launcher stays, with its menu: the user may start the client by hand, with the proxy.
  if (handedOver_) return;
  mailWatch_.reset();  // nothing of the mail runs to be followed
  TellStartFailed(kClientName, Process1->Command(), error);
}

void TForm1::TrayIcon1BalloonClick(framework::TObject* /*sender*/) {
  if (handedOver_) return;
  const NoticeClick click = std::exchange(noticeClick_, NoticeClick::None);
  if (click == NoticeClick::RestartProxy) {
    StartProxy();
  } else if (click == NoticeClick::OpenSettings) {
    // The proxy it started goes: the launcher started after the settings starts the right one, and
    // follows the mail that is still open.
    ExFile1->CloseProc(kProxyGraceMs);
    ExFile1->SetProcParameters(kStartLauncherOption);
    StartConfigurationProgram();
  }
}

void TForm1::ExFile1ProcCompleted(framework::TObject* /*sender*/, const std::string& fileName,
                                  const std::string& /*identifier*/, std::int32_t exitCode, bool /*timedOut*/) {
  if (std::exchange(claimUntilProxyEnds_, false)) {
    CommonData->ReleaseSettingsFile();  // the proxy asked to close has gone: a new start runs at once
    return;
  }
  // The proxy ended by itself while the mail runs: the mail will fail, and the user is told why,
  // once. Code 0 is a starter that handed over, or a proxy that was asked to go.
  if (!mailWatch_ || handedOver_ || proxyEndTold_ || exitCode == 0) return;
  proxyEndTold_ = true;
  const TNotice notice = ProxyEndedNotice(fileName, static_cast<DWORD>(exitCode));
  TrayIcon1->ShowBalloon(notice.title, notice.text, tray::TBalloonIcon::biWarning);
  noticeClick_ = NoticeClick::RestartProxy;
}

void TForm1::Process1Finished(framework::TObject* /*sender*/, std::uint32_t /*exitCode*/) {
  // Raised on the command runner's worker, which tells the mail's watch directly (its signal is
  // made for that): the mail may go on without the program its command started (a starter that
  // handed over, a copy that found the client open), and the watch reports the mail's end on the
  // main thread.
  if (programEnded_) programEnded_();
}

void TForm1::MailEnded() {
  mailWatch_.reset();
  if (handedOver_) return;  // handed over, the launcher already closes
  // Asked first, ended only if it does not go. Only closing now, the launcher gives up the settings
  // file once the proxy has gone (or is left running), so that a new start runs at once without
  // a second proxy beside the first.
  claimUntilProxyEnds_ = ExFile1->CloseProc(kProxyGraceMs);
  if (!claimUntilProxyEnds_) CommonData->ReleaseSettingsFile();
  Timer1->SetEnabled(true);
}

void TForm1::Timer1Timer(framework::TObject* /*sender*/) {
  // A notice still shown is given its own time, up to a limit.
  if (closingAfterNotice_ && TrayIcon1->BalloonShowing() && GetTickCount() - noticeShownAt_ < kLongestNoticeMs) {
    Timer1->SetInterval(kNoticeCheckMs);
    return;
  }
  Close();
}

void TForm1::Exit1Click(framework::TObject* /*sender*/) {
  CommonData->ReleaseSettingsFile();
  Close();
}

const framework::PropertyTable& TForm1::ClassProperties() {
  static const framework::PropertyTable table("TForm1", &framework::TForm::ClassProperties());
  return table;
}
