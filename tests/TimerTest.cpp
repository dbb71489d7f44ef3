// The message-based timer and the application's message loop.
#include <gtest/gtest.h>

#include <thread>

#include "framework/Application.h"
#include "framework/Forms.h"
#include "framework/Handles.h"
#include "framework/Timer.h"
#include "framework/UtilityWindow.h"
#include "tests/TestSupport.h"

using framework::TApplication;
using framework::TTimer;

TEST(Timer, TicksOnTheMainThreadAtItsInterval) {
  TTimer timer(nullptr);
  int ticks = 0;
  DWORD firstTick = 0;
  const DWORD start = GetTickCount();
  timer.SetInterval(100);
  timer.SetOnTimer([&](framework::TObject* sender) {
    EXPECT_EQ(sender, &timer);
    if (ticks++ == 0) firstTick = GetTickCount() - start;
  });
  ASSERT_TRUE(testsupport::PumpUntil([&] { return ticks >= 3; }, 3000));
  EXPECT_GE(firstTick, 90u);
  EXPECT_LT(firstTick, 400u);
}

TEST(Timer, ADisabledTimerOrAZeroIntervalNeverTicks) {
  TTimer disabled(nullptr);
  TTimer zero(nullptr);
  int ticks = 0;
  disabled.SetInterval(20);
  disabled.SetEnabled(false);
  disabled.SetOnTimer([&](framework::TObject*) { ++ticks; });
  zero.SetInterval(0);
  zero.SetOnTimer([&](framework::TObject*) { ++ticks; });
  testsupport::PumpFor(200);
  EXPECT_EQ(ticks, 0);
  disabled.SetEnabled(true);
  EXPECT_TRUE(testsupport::PumpUntil([&] { return ticks > 0; }, 2000));
}

namespace {
// A main form whose description lies in the test program's resources.
class TTestForm : public framework::TForm {
 public:
  explicit TTestForm(framework::TComponent* owner) : TForm(owner) {
    PublishMethod("FormCreate", &TTestForm::FormCreate);
  }
  void FormCreate(framework::TObject*) { created = true; }
  bool created = false;
  static const framework::PropertyTable& ClassProperties() {
    static const framework::PropertyTable table("TTestForm", &framework::TForm::ClassProperties());
    return table;
  }
  const framework::PropertyTable& Published() const override { return ClassProperties(); }

 protected:
  const framework::ClassRegistry& DescriptionClasses() const override {
    static const framework::ClassRegistry classes = framework::ClassRegistry().Add<TTimer>();
    return classes;
  }
};
}  // namespace

TEST(Application, RunsTheMessageLoopUntilTheMainFormClosesFromItsTimer) {
  TApplication& application = *TApplication::Current();
  TTestForm* form = nullptr;
  application.CreateForm(form);
  EXPECT_TRUE(form->created);
  EXPECT_EQ(application.MainForm(), form);
  EXPECT_EQ(form->Caption(), "Test form");
  auto* timer = framework::ComponentAs<TTimer>(form->FindComponent("CloseTimer"));
  ASSERT_NE(timer, nullptr);
  EXPECT_EQ(timer->Interval(), 300u);
  timer->SetOnTimer([form](framework::TObject*) { form->Close(); });

  int minimized = 0;
  application.SetOnMinimize([&](framework::TObject* sender) {
    EXPECT_EQ(sender, &application);
    ++minimized;
  });
  const DWORD start = GetTickCount();
  application.Run();  // the form is stored minimised: the application minimises first
  const DWORD elapsed = GetTickCount() - start;
  EXPECT_TRUE(application.Terminated());
  EXPECT_EQ(minimized, 1);
  EXPECT_TRUE(IsIconic(application.Handle()));
  EXPECT_FALSE(form->Visible());
  EXPECT_GE(elapsed, 250u);
  EXPECT_LT(elapsed, 3000u);
}

TEST(Application, RestoreRaisesOnRestoreAndShowsTheApplicationWindow) {
  TApplication& application = *TApplication::Current();
  int restored = 0;
  application.SetOnRestore([&](framework::TObject*) { ++restored; });
  application.Minimize();
  application.Minimize();  // already minimised: nothing
  EXPECT_TRUE(IsIconic(application.Handle()));
  application.Restore();
  EXPECT_FALSE(IsIconic(application.Handle()));
  EXPECT_EQ(restored, 1);
  application.Restore();
  EXPECT_EQ(restored, 1);
}

TEST(Application, ProcessMessagesNoticesAQuitMessage) {
  TApplication& application = *TApplication::Current();
  EXPECT_FALSE(application.Terminated());
  application.Terminate();
  application.ProcessMessages();
  EXPECT_TRUE(application.Terminated());
}

TEST(Application, CarriesTheIconMAINICON) {
  TApplication& application = *TApplication::Current();
  EXPECT_FALSE(application.Icon().Empty());
  EXPECT_EQ(reinterpret_cast<HICON>(SendMessageA(application.Handle(), WM_GETICON, ICON_BIG, 0)),
            application.Icon().Handle());
}

TEST(Application, EverySizeOfTheIconLoadsWithItsPicture) {
  // The largest image is stored PNG-compressed: it must load like the bitmap ones.
  for (const int size : {16, 32, 48}) {
    framework::UniqueIcon icon(
        static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr), "MAINICON", IMAGE_ICON, size, size, 0)));
    ASSERT_TRUE(icon) << size;
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(icon.get(), &info)) << size;
    BITMAP colour{};
    GetObjectA(info.hbmColor, sizeof colour, &colour);
    EXPECT_EQ(colour.bmWidth, size);
    EXPECT_EQ(colour.bmHeight, size);
    // The badge's blue at the centre-left edge of the picture, not an empty image.
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP target = CreateCompatibleBitmap(screen, size, size);
    HGDIOBJ old = SelectObject(memory, target);
    RECT all{0, 0, size, size};
    FillRect(memory, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    DrawIconEx(memory, 0, 0, icon.get(), size, size, 0, nullptr, DI_NORMAL);
    EXPECT_EQ(GetPixel(memory, size / 8, size / 2), RGB(32, 96, 176)) << size;
    SelectObject(memory, old);
    DeleteObject(target);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    if (info.hbmColor != nullptr) DeleteObject(info.hbmColor);
    if (info.hbmMask != nullptr) DeleteObject(info.hbmMask);
  }
}

TEST(Application, AQuitTakenOutOfTheQueueByASentMessagesHandlerStillEndsTheLoop) {
  TApplication& application = *TApplication::Current();
  TTestForm* form = nullptr;
  application.CreateForm(form);
  // As the tray's window does for the shell's notifications: close, then dispatch what is pending.
  framework::UtilityWindow window([&](HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
    if (message != WM_APP) return framework::UtilityWindow::Default(hwnd, message, wParam, lParam);
    form->Close();
    application.ProcessMessages();
    return 0;
  });
  const DWORD mainThread = GetCurrentThreadId();
  std::thread sender([&] {
    Sleep(200);
    SendMessageA(window.Handle(), WM_APP, 0, 0);
  });
  std::thread watchdog([mainThread] {
    Sleep(5000);
    PostThreadMessageA(mainThread, WM_QUIT, 0, 0);  // ends a loop that missed the request
  });
  const DWORD start = GetTickCount();
  application.Run();
  const DWORD elapsed = GetTickCount() - start;
  sender.join();
  EXPECT_LT(elapsed, 2000u);
  watchdog.detach();  // ends by itself; the process ends with the test
}
