// Command runner.
#include "launch/Process.h"

#include "framework/Application.h"
#include "framework/Handles.h"
#include "framework/Properties.h"

namespace launch {

using framework::PropertyTable;

namespace {
constexpr WORD kShowCommands[] = {
    SW_HIDE,          SW_MAXIMIZE,        SW_MINIMIZE,      SW_RESTORE, SW_SHOW,           SW_SHOWDEFAULT,
    SW_SHOWMAXIMIZED, SW_SHOWMINIMIZED,   SW_SHOWMINNOACTIVE, SW_SHOWNA, SW_SHOWNOACTIVATE, SW_SHOWNORMAL,
};

// Blanks and control characters (codes up to 32) off both ends.
std::string TrimControls(const std::string& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ') ++begin;
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ') --end;
  return text.substr(begin, end - begin);
}
}  // namespace

#if !defined(_WIN64)
static_assert(sizeof(STARTUPINFOA) == 68, "the product's STARTUPINFO is 68 bytes");
#endif

WORD ShowWindowCommand(TShowWindow value) {
  const size_t index = static_cast<size_t>(value);
  return index < sizeof kShowCommands / sizeof kShowCommands[0] ? kShowCommands[index] : SW_HIDE;
}

TProcess::TProcess(framework::TComponent* owner)
    : TComponent(owner), link_(std::make_shared<detail::ProcessLink>()) {
  link_->component = this;
}

TProcess::~TProcess() {
  std::lock_guard<framework::RecursiveMutex> guard(link_->lock);
  link_->component = nullptr;
}

void TProcess::Execute() {
  auto* worker = new TProcessThread(link_);
  worker->SetFreeOnTerminate(true);
  if (worker->Handle() == nullptr) {
    delete worker;  // no thread could be made: nothing starts, as with any other failure
    return;
  }
  worker->Resume();
}

const PropertyTable& TProcess::ClassProperties() {
  static const PropertyTable table = [] {
    PropertyTable t("TProcess", &framework::TComponent::ClassProperties());
    t.String("Command", &TProcess::Command, &TProcess::SetCommand)
        .String("Directory", &TProcess::Directory, &TProcess::SetDirectory)
        .Enumeration("ShowWindow", &TProcess::ShowWindow, &TProcess::SetShowWindow,
                     {"swHide", "swMaximize", "swMinimize", "swRestore", "swShow", "swShowDefault",
                      "swShowMaximized", "swShowMinimized", "swShowMinNoActive", "swShowNA", "swShowNoActivate",
                      "swShowNormal"})
        .Boolean("Wait", &TProcess::Wait, &TProcess::SetWait)
        .EventHandler("OnFinished", &TProcess::OnFinished, &TProcess::SetOnFinished)
        .EventHandler("OnStartFailed", &TProcess::OnStartFailed, &TProcess::SetOnStartFailed);
    return t;
  }();
  return table;
}

TProcessThread::TProcessThread(std::shared_ptr<detail::ProcessLink> link) : link_(std::move(link)) {
  HANDLE job = link_->component->Job();
  HANDLE copy = nullptr;
  if (job != nullptr && DuplicateHandle(GetCurrentProcess(), job, GetCurrentProcess(), &copy, 0, FALSE,
                                        DUPLICATE_SAME_ACCESS)) {
    job_.reset(copy);
  }
}

void TProcessThread::Execute() {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  std::string commandLine;
  std::string directory;
  {
    std::lock_guard<framework::RecursiveMutex> guard(link_->lock);
    TProcess* component = link_->component;
    if (component == nullptr) return;  // freed before this worker began
    startup.wShowWindow = ShowWindowCommand(component->showWindow_);
    component->directory_ = TrimControls(component->directory_);
    directory = component->directory_;
    commandLine = component->command_;  // a copy: CreateProcessA may write into the command line
  }

  PROCESS_INFORMATION info{};
  // Held before its first instruction, so that nothing it starts can come before the job.
  const DWORD suspended = job_ ? CREATE_SUSPENDED : 0;
  if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS | suspended, nullptr,
                      directory.empty() ? nullptr : directory.c_str(), &startup, &info)) {
    ReportStartFailure(GetLastError());  // nothing to close
    return;
  }
  framework::ProcessHandles process = framework::ProcessHandles::Adopt(info);
  if (job_) {
    // Refused where jobs cannot nest (an older system, or a job of ours that allows none): the
    // process then runs on its own, and only it is followed.
    AssignProcessToJobObject(job_.get(), process.process.get());
    ResumeThread(process.thread.get());
    job_.reset();
  }

  bool wait = false;
  {
    std::lock_guard<framework::RecursiveMutex> guard(link_->lock);
    wait = link_->component != nullptr && link_->component->wait_;
  }
  if (wait) {
    WaitForSingleObject(process.process.get(), INFINITE);
    DWORD exitCode = 0;
    if (!GetExitCodeProcess(process.process.get(), &exitCode)) exitCode = 0;
    std::lock_guard<framework::RecursiveMutex> guard(link_->lock);
    if (TProcess* component = link_->component) {
      // A copy: the handler may free the component, and with it the event it was called through.
      const TProcessEvent handler = component->onFinished_;
      if (handler) handler(component, static_cast<uint32_t>(exitCode));
    }
  }
  process.process.reset();
  process.thread.reset();
}

void TProcessThread::ReportStartFailure(DWORD error) {
  framework::TApplication* application = framework::TApplication::Current();
  std::lock_guard<framework::RecursiveMutex> guard(link_->lock);
  if (application == nullptr || link_->component == nullptr || !link_->component->onStartFailed_) return;
  application->MainThread().Post([link = link_, error] {
    std::lock_guard<framework::RecursiveMutex> guard(link->lock);
    if (TProcess* component = link->component) {
      // A copy: the handler may free the component, and with it the event it was called through.
      const TProcessEvent handler = component->onStartFailed_;
      if (handler) handler(component, static_cast<uint32_t>(error));
    }
  });
}

}  // namespace launch
