// Launcher window and launch sequence.
#include "app/MainWin.h"

#include <windows.h>

#include "app/ComData.h"
#include "framework/Application.h"
#include "framework/Paths.h"
#include "framework/Properties.h"

TForm1* Form1 = nullptr;

namespace {
// What the mail client's windows have in their titles (case-sensitive).
constexpr char kMailWindowTitle[] = "TOLVANE MAIL";
constexpr char kConfigurationProgram[] = "\\Cunfigure.exe";
// The mail client's window is given this long to come up before it is brought to the front.
constexpr DWORD kForegroundDelayMs = 1000;

template <class T>
T* Find(const framework::TComponent& owner, const char* name) {
  return framework::ComponentAs<T>(owner.FindComponent(name));
}
}  // namespace

TForm1::TForm1(framework::TComponent* owner) : TForm(owner) {
  PublishMethod("FormCreate", &TForm1::FormCreate);
  PublishMethod("Process1Finished", &TForm1::Process1Finished);
  PublishMethod("Timer1Timer", &TForm1::Timer1Timer);
  PublishMethod("Exit1Click", &TForm1::Exit1Click);
}

TForm1::~TForm1() {
  // The components go first: once the command runner is gone, no handler can run on this form.
  DestroyComponents();
  *alive_ = false;
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
    ExFile1->SetProcFileName(ConfigurationProgramPath(framework::ModuleFileName()));
    ExFile1->Execute();
    Timer1->SetEnabled(true);
    return;
  }

  ExFile1->Execute();   // the proxy, not waited for
  Process1->Execute();  // the mail client, waited for on a worker thread
  Sleep(kForegroundDelayMs);
  WinList1->Refresh();
  // Every matching window is brought forward, in list order; the count is read on every pass.
  for (int i = 0; i < WinList1->WindowList().Count(); ++i) {
    if (WinList1->WindowList().Strings(i).find(kMailWindowTitle) != std::string::npos) {
      SetForegroundWindow(WinList1->WindowHandle(i));
    }
  }
}

void TForm1::Process1Finished(framework::TObject* /*sender*/, std::uint32_t /*exitCode*/) {
  // Raised on the command runner's worker: the proxy's launcher and the timer belong to the main
  // thread, so the whole handler is handed over there, without keeping the worker waiting.
  framework::TApplication* application = framework::TApplication::Current();
  if (application == nullptr) return;
  application->MainThread().Post([this, alive = alive_] {
    if (!*alive) return;
    ExFile1->TerminateProc();
    Timer1->SetEnabled(true);
  });
}

void TForm1::Timer1Timer(framework::TObject* /*sender*/) { Close(); }

void TForm1::Exit1Click(framework::TObject* /*sender*/) { Close(); }

const framework::PropertyTable& TForm1::ClassProperties() {
  static const framework::PropertyTable table("TForm1", &framework::TForm::ClassProperties());
  return table;
}
