// The launcher choices, applied after a save.
#include "cunfigure/LauncherChoices.h"

#include <windows.h>

#include "cunfigure/DialogTexts.h"
#include "cunfigure/LauncherStart.h"

namespace configure {

void ApplyLauncherChoices(const LauncherChoices& choices, const std::wstring& launcherPath,
                          const std::wstring& signInValue, const std::function<bool(const std::wstring&)>& ask,
                          const std::function<void(const std::wstring&)>& tell, bool asSignedInUser) {
  if (launcherPath.empty()) return;
  DWORD error = ERROR_SUCCESS;
  const bool ours = StartsAtSignIn(signInValue, launcherPath);
  bool failed = false;
  if (!asSignedInUser) {
    // With administrator rights (or as another account) the user's own Run value is out of reach.
    if (choices.signIn != ours) {
      tell(L"設定は保存しましたが、管理者として実行しているため、サインイン時の起動は変更していません。\n\n"
           L"変更するには、Cunfigure.exe を管理者としてではなく起動してください。");
    }
  } else if (choices.signIn && !ours) {
    // Another copy's value is replaced only when the user says so.
    const bool replace =
        signInValue.empty() || ask(L"サインイン時には、別の場所のランチャーが起動するよう登録されています。\n\n" +
                                   signInValue + L"\n\nこのランチャーに置き換えますか?\n\n" + launcherPath);
    failed = replace && !SetSignInStart(launcherPath, error);
  } else if (!choices.signIn && ours) {
    failed = !RemoveSignInStart(error);
  }
  if (failed) tell(L"設定は保存しましたが、サインイン時の起動を変更できませんでした。\n\n" + SystemMessage(error));
  if (!choices.startNow) return;
  // Started by this program, the launcher, the proxy and the mail client would all run with its
  // rights: as the signed-in user, only the shell may start it.
  if (asSignedInUser ? !StartLauncher(launcherPath, error) : !StartLauncherThroughShell(launcherPath, error)) {
    tell(L"設定は保存しましたが、ランチャー" + Bracketed(launcherPath) + L"を起動できませんでした。\n\n" +
         SystemMessage(error) + (asSignedInUser ? L"" : L"\n\nランチャーはご自分で起動してください。"));
  }
}

}  // namespace configure
