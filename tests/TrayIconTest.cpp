// The tray icon component against Wine's real notification area.
#include <gtest/gtest.h>
#include <malloc.h>

#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

#include "framework/Application.h"
#include "framework/FormText.h"
#include "framework/Forms.h"
#include "framework/Menus.h"
#include "tests/TestSupport.h"
#include "tray/Taskbar.h"

using framework::TApplication;
using framework::TObject;
using tray::TMouseButton;
using tray::TShiftState;
using tray::TTrayIcon;

namespace {
// While set, every freed block is overwritten first, so that code reading an object it has freed
// reads garbage rather than the values the object last held.
std::atomic<bool> fillFreedBlocks{false};

// Counts the access violations of this process, even those the system's message dispatch swallows.
class FaultCounter {
 public:
  FaultCounter() : handler_(AddVectoredExceptionHandler(1, &Count)) { faults_ = 0; }
  ~FaultCounter() { RemoveVectoredExceptionHandler(handler_); }
  int Faults() const { return faults_; }

 private:
  static LONG CALLBACK Count(EXCEPTION_POINTERS* exception) {
    if (exception->ExceptionRecord->ExceptionCode == EXCEPTION_ACCESS_VIOLATION) ++faults_;
    return EXCEPTION_CONTINUE_SEARCH;
  }
  static inline std::atomic<int> faults_{0};
  PVOID handler_;
};
}  // namespace

void operator delete(void* block) noexcept {
  if (block != nullptr && fillFreedBlocks) {
    // Written through a volatile pointer: a plain fill right before the free would be dropped.
    volatile unsigned char* bytes = static_cast<unsigned char*>(block);
    for (size_t i = 0, size = _msize(block); i < size; ++i) bytes[i] = 0xDD;
  }
  free(block);
}
void operator delete(void* block, size_t) noexcept { operator delete(block); }

namespace {

class THostForm : public framework::TForm {
 public:
  using TForm::TForm;
  static const framework::PropertyTable& ClassProperties() {
    static const framework::PropertyTable table("THostForm", &framework::TForm::ClassProperties());
    return table;
  }
  const framework::PropertyTable& Published() const override { return ClassProperties(); }
};

framework::ClassRegistry HostClasses() {
  return framework::ClassRegistry().Add<TTrayIcon>().Add<framework::TPopupMenu>().Add<framework::TMenuItem>();
}

// A form holding one tray icon loaded with the given property lines (and a menu with two items).
struct Host {
  explicit Host(const std::string& trayProperties) : form(nullptr) {
    framework::ReadComponent(form,
                             "object Host: THostForm\n"
                             "  object TrayIcon1: TTrayIcon\n" +
                                 trayProperties +
                                 "  end\n"
                                 "  object PopupMenu1: TPopupMenu\n"
                                 "    object Item1: TMenuItem\n"
                                 "      Caption = 'One'\n"
                                 "    end\n"
                                 "    object Item2: TMenuItem\n"
                                 "      Caption = 'Two'\n"
                                 "    end\n"
                                 "  end\n"
                                 "end\n",
                             HostClasses());
    trayIcon = framework::ComponentAs<TTrayIcon>(form.FindComponent("TrayIcon1"));
    menu = framework::ComponentAs<framework::TPopupMenu>(form.FindComponent("PopupMenu1"));
  }
  THostForm form;
  TTrayIcon* trayIcon = nullptr;
  framework::TPopupMenu* menu = nullptr;
};

// Assigns a list of the first count test icon resources.
void SetTestIcons(TTrayIcon& trayIcon, int count) {
  framework::TStringList list;
  for (int i = 1; i <= count; ++i) list.Add("TESTICON" + std::to_string(i));
  trayIcon.SetResourceIconList(list);
}

// Whether the shell still holds the icon described by data.
bool ShellHolds(const NOTIFYICONDATAA& data) {
  NOTIFYICONDATAA probe = data;
  return Shell_NotifyIconA(NIM_MODIFY, &probe) != FALSE;
}

LRESULT SendMouse(TTrayIcon& trayIcon, UINT mouseMessage) {
  return SendMessageA(trayIcon.MessageWindow(), tray::kTrayCallbackMessage, tray::kTrayIconId, mouseMessage);
}

struct MouseLog {
  struct Entry {
    std::string what;
    TMouseButton button;
    TShiftState shift;
  };
  std::vector<Entry> entries;
  void Attach(TTrayIcon& trayIcon) {
    trayIcon.SetOnMouseDown([this](TObject*, TMouseButton b, TShiftState s, int, int) {
      entries.push_back({"down", b, s});
    });
    trayIcon.SetOnMouseUp([this](TObject*, TMouseButton b, TShiftState s, int, int) {
      entries.push_back({"up", b, s});
    });
    trayIcon.SetOnMouseMove([this](TObject*, TShiftState s, int, int) {
      entries.push_back({"move", TMouseButton::mbLeft, s});
    });
    trayIcon.SetOnDblClick([this](TObject*) { entries.push_back({"dblclick", TMouseButton::mbLeft, 0}); });
  }
};

// The width of an icon's image and its pixels (32-bit, top row first).
struct IconImage {
  int width = 0;
  std::vector<unsigned char> pixels;
};
IconImage ImageOf(HICON icon) {
  IconImage image;
  ICONINFO info{};
  if (icon == nullptr || !GetIconInfo(icon, &info)) return image;
  BITMAPINFO format{};
  format.bmiHeader.biSize = sizeof format.bmiHeader;
  HDC screen = GetDC(nullptr);
  if (GetDIBits(screen, info.hbmColor, 0, 0, nullptr, &format, DIB_RGB_COLORS) != 0) {
    image.width = format.bmiHeader.biWidth;
    const int height = std::abs(format.bmiHeader.biHeight);
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    format.bmiHeader.biHeight = -height;
    image.pixels.resize(static_cast<size_t>(image.width) * height * 4);
    GetDIBits(screen, info.hbmColor, 0, height, image.pixels.data(), &format, DIB_RGB_COLORS);
  }
  ReleaseDC(nullptr, screen);
  DeleteObject(info.hbmColor);
  DeleteObject(info.hbmMask);
  return image;
}

// The application icon's own image of a size, as the resource holds it.
IconImage ResourceImage(int size) {
  framework::TIcon icon;
  icon.LoadFromResource("MAINICON", nullptr, size);
  return ImageOf(icon.Handle());
}

}  // namespace

TEST(TrayIcon, ShowsTheApplicationsIconWithItsTipFromLoadedOnWhenNotMinimizedOnly) {
  Host host("    TipHelp = 'Launcher'\n");
  TTrayIcon& trayIcon = *host.trayIcon;
  ASSERT_TRUE(trayIcon.IconShown());
  const NOTIFYICONDATAA& data = trayIcon.IconData();
  EXPECT_EQ(data.cbSize, static_cast<DWORD>(NOTIFYICONDATAA_V1_SIZE));
  EXPECT_EQ(data.uID, 1u);
  EXPECT_EQ(data.uFlags, 7u);
  EXPECT_EQ(data.uCallbackMessage, 1224u);
  EXPECT_EQ(data.hWnd, trayIcon.MessageWindow());
  EXPECT_NE(data.hIcon, nullptr);
  EXPECT_STREQ(data.szTip, "Launcher");
  EXPECT_TRUE(ShellHolds(data));

  // The hidden message window: a never-shown tool window.
  HWND window = trayIcon.MessageWindow();
  EXPECT_FALSE(IsWindowVisible(window));
  EXPECT_TRUE(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);

  trayIcon.SetTipHelp("Changed");
  EXPECT_STREQ(trayIcon.IconData().szTip, "Changed");
  EXPECT_TRUE(ShellHolds(trayIcon.IconData()));

  const NOTIFYICONDATAA before = trayIcon.IconData();
  trayIcon.SetVisible(false);
  EXPECT_FALSE(trayIcon.IconShown());
  EXPECT_EQ(trayIcon.MessageWindow(), nullptr);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_FALSE(ShellHolds(before));
  trayIcon.SetVisible(true);
  EXPECT_TRUE(trayIcon.IconShown());
}

TEST(TrayIcon, TheIconIsTheResourcesOwnImageAtTheSmallIconSizeOfTheScaleInEffect) {
  Host host("");
  TTrayIcon& trayIcon = *host.trayIcon;
  ASSERT_TRUE(trayIcon.IconShown());
  const IconImage atStart = ImageOf(trayIcon.IconData().hIcon);
  EXPECT_EQ(atStart.width, GetSystemMetrics(SM_CXSMICON));
  EXPECT_EQ(atStart.pixels, ResourceImage(atStart.width).pixels);

  // A change of scale: the shell gets the image drawn for the new size, not the old one scaled.
  RECT suggested{0, 0, 0, 0};
  for (const int dpi : {144, 120, 96}) {
    SendMessageA(trayIcon.MessageWindow(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
    const IconImage shown = ImageOf(trayIcon.IconData().hIcon);
    EXPECT_EQ(shown.width, dpi * 16 / 96) << dpi;
    EXPECT_EQ(shown.pixels, ResourceImage(dpi * 16 / 96).pixels) << dpi;
    EXPECT_TRUE(ShellHolds(trayIcon.IconData())) << dpi;
  }
  // A settings broadcast that changes no size sends nothing new.
  const HICON before = trayIcon.IconData().hIcon;
  SendMessageA(trayIcon.MessageWindow(), WM_SETTINGCHANGE, 0, 0);
  EXPECT_EQ(trayIcon.IconData().hIcon, before);
}

// Run as a child at a display scale the parent sets: prints the width of the icon given to the shell.
TEST(TrayIconChild, DISABLED_PrintsTheShownIconsWidth) {
  Host host("");
  ASSERT_TRUE(host.trayIcon->IconShown());
  std::printf("icon width %d.\n", ImageOf(host.trayIcon->IconData().hIcon).width);
}

TEST(TrayIcon, AtEachDisplayScaleTheShellGetsTheSmallIconSize) {
  for (const auto& [dpi, width] : {std::pair{96, 16}, std::pair{144, 24}}) {
    testsupport::ScopedLogPixels scale(dpi);
    const testsupport::RunResult run = testsupport::RunProgram(
        '"' + testsupport::BuiltProgram("tray_tests.exe") +
        "\" --gtest_also_run_disabled_tests --gtest_filter=TrayIconChild.DISABLED_PrintsTheShownIconsWidth");
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_NE(run.output.find("icon width " + std::to_string(width) + "."), std::string::npos) << dpi << run.output;
  }
}

namespace {
std::string TestIconFile() {
  HRSRC resource = FindResourceA(nullptr, "TESTICONFILE", MAKEINTRESOURCEA(10));  // RT_RCDATA
  return std::string(static_cast<const char*>(LockResource(LoadResource(nullptr, resource))),
                     SizeofResource(nullptr, resource));
}
std::string Hex(const std::string& bytes) {
  std::string hex;
  for (const char byte : bytes) {
    hex += "0123456789ABCDEF"[static_cast<unsigned char>(byte) >> 4];
    hex += "0123456789ABCDEF"[byte & 15];
  }
  return hex;
}
// The hexadecimal digits between the braces of the Icon line of a description, joined.
std::string WrittenIconDigits(const std::string& description) {
  const size_t open = description.find("Icon = {");
  if (open == std::string::npos) return {};
  std::string digits;
  for (size_t i = open + 8; i < description.size() && description[i] != '}'; ++i) {
    if (std::isxdigit(static_cast<unsigned char>(description[i]))) digits += description[i];
  }
  return digits;
}
}  // namespace

TEST(TrayIcon, AnIconInTheDescriptionIsShownAndWrittenBackAsItWasRead) {
  const std::string file = TestIconFile();
  ASSERT_GT(file.size(), 22u);
  // Written over two lines, in both cases of digits, as a hand-edited description may be.
  std::string hex = Hex(file);
  hex.insert(hex.size() / 2, "\n      ");
  hex[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(hex[0])));
  Host host("    Icon = {" + hex + "}\n");
  TTrayIcon& trayIcon = *host.trayIcon;
  ASSERT_FALSE(trayIcon.Icon().Empty());
  ASSERT_TRUE(trayIcon.IconShown());
  // The file's image of the system's icon size (the file has 16, 32 and 48 pixels); the shell gets
  // its image of the small-icon size, not a large one to shrink.
  EXPECT_EQ(ImageOf(trayIcon.Icon().Handle()).width, GetSystemMetrics(SM_CXICON));
  framework::TIcon small;
  ASSERT_TRUE(small.LoadFromData(file, GetSystemMetrics(SM_CXSMICON)));
  const IconImage shown = ImageOf(trayIcon.IconData().hIcon);
  EXPECT_EQ(shown.width, GetSystemMetrics(SM_CXSMICON));
  EXPECT_EQ(shown.pixels, ImageOf(small.Handle()).pixels);
  EXPECT_EQ(WrittenIconDigits(framework::WriteComponent(host.form)), Hex(file));

  // An icon set at run time has no file: its image is written, and reads back the same.
  framework::TIcon fromResource;
  ASSERT_TRUE(fromResource.LoadFromResource("TESTICON2", nullptr, 32));
  trayIcon.SetIcon(&fromResource);
  const std::string written = framework::WriteComponent(host.form);
  ASSERT_FALSE(WrittenIconDigits(written).empty());
  THostForm again(nullptr);
  framework::ReadComponent(again, written, HostClasses());
  auto* reread = framework::ComponentAs<TTrayIcon>(again.FindComponent("TrayIcon1"));
  ASSERT_NE(reread, nullptr);
  const IconImage expected = ImageOf(fromResource.Handle());
  EXPECT_EQ(ImageOf(reread->Icon().Handle()).pixels, expected.pixels);
  EXPECT_EQ(ImageOf(reread->Icon().Handle()).width, 32);

  // A monochrome icon has no image the writer can encode: it is left out, and the description reads.
  const unsigned char andMask[32 * 4] = {};
  const unsigned char xorMask[32 * 4] = {0xFF, 0x0F};
  framework::TIcon monochrome;
  monochrome.SetHandle(CreateIcon(nullptr, 32, 32, 1, 1, andMask, xorMask));
  ASSERT_FALSE(monochrome.Empty());
  trayIcon.SetIcon(&monochrome);
  const std::string withoutIcon = framework::WriteComponent(host.form);
  EXPECT_EQ(withoutIcon.find("Icon ="), std::string::npos) << withoutIcon;
  THostForm third(nullptr);
  EXPECT_NO_THROW(framework::ReadComponent(third, withoutIcon, HostClasses()));

  // Data that is no icon file, or no hexadecimal pairs, is refused.
  for (const char* bad : {"{0000}", "{000001000100 1}", "{00 0g}", "{000001", "{}"}) {
    THostForm form(nullptr);
    EXPECT_THROW(
        framework::ReadComponent(
            form, std::string("object Host: THostForm\n  object T: TTrayIcon\n    Icon = ") + bad + "\n  end\nend\n",
            HostClasses()),
        framework::EFormError)
        << bad;
  }
}

TEST(TrayIcon, TheTipKeepsAtMost62BytesAndNeverSplitsACharacter) {
  Host host("");
  TTrayIcon& trayIcon = *host.trayIcon;
  trayIcon.SetTipHelp(std::string(70, 't'));
  EXPECT_EQ(trayIcon.TipHelp(), std::string(62, 't'));
  EXPECT_EQ(std::string(trayIcon.IconData().szTip), std::string(62, 't'));
  // 61 bytes and then 表: the double-byte character would end at byte 63, so it goes whole.
  trayIcon.SetTipHelp(std::string(61, 'a') + "表");
  EXPECT_EQ(trayIcon.TipHelp(), std::string(61, 'a'));
  trayIcon.SetTipHelp(std::string(60, 'a') + "表表");
  EXPECT_EQ(trayIcon.TipHelp(), std::string(60, 'a') + "表");
}

TEST(TrayIcon, TheTipReachesTheShellAsWritten) {
  Host host("");
  host.trayIcon->SetTipHelp("表キ終了 mail");
  const NOTIFYICONDATAA& data = host.trayIcon->IconData();
  EXPECT_STREQ(data.szTip, "表キ終了 mail");  // the record keeps the program's bytes
  const NOTIFYICONDATAW wide = tray::WideIconData(data);
  EXPECT_EQ(wide.cbSize, static_cast<DWORD>(NOTIFYICONDATAW_V1_SIZE));
  EXPECT_EQ(wide.hWnd, data.hWnd);
  EXPECT_EQ(wide.uID, data.uID);
  EXPECT_EQ(wide.uFlags, data.uFlags);
  EXPECT_EQ(wide.uCallbackMessage, data.uCallbackMessage);
  EXPECT_EQ(wide.hIcon, data.hIcon);
  EXPECT_STREQ(wide.szTip, L"表キ終了 mail");
  // The longest tip, all double-byte: 31 characters and the NUL.
  std::string longest;
  for (int i = 0; i < 40; ++i) longest += "表";
  host.trayIcon->SetTipHelp(longest);
  EXPECT_EQ(std::wstring(tray::WideIconData(host.trayIcon->IconData()).szTip), std::wstring(31, L'表'));
}

TEST(TrayIcon, ComesBackWhenTheShellRestartsIfShown) {
  Host host("");
  TTrayIcon& trayIcon = *host.trayIcon;
  ASSERT_TRUE(trayIcon.IconShown());
  const NOTIFYICONDATAA shown = trayIcon.IconData();
  // A restarted shell has forgotten every icon; it then tells every top-level window.
  const UINT taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
  auto shellRestarts = [taskbarCreated] {
    DWORD_PTR answer = 0;
    SendMessageTimeoutA(HWND_BROADCAST, taskbarCreated, 0, 0, SMTO_ABORTIFHUNG, 2000, &answer);
  };
  NOTIFYICONDATAA gone = shown;
  ASSERT_TRUE(Shell_NotifyIconA(NIM_DELETE, &gone));
  ASSERT_FALSE(ShellHolds(shown));
  shellRestarts();
  EXPECT_TRUE(ShellHolds(shown));
  EXPECT_TRUE(trayIcon.IconShown());
  EXPECT_EQ(trayIcon.MessageWindow(), shown.hWnd);

  // An icon that is not shown stays away.
  trayIcon.SetVisible(false);
  shellRestarts();
  EXPECT_FALSE(ShellHolds(shown));
  EXPECT_FALSE(trayIcon.IconShown());
}

TEST(TrayIcon, TheSameTipAgainSendsNothing) {
  // A selected resource icon is loaded afresh for every update, so each update shows a new handle.
  Host host("    ResourceIconList = ('TESTICON1' 'TESTICON2')\n    ResourceIconID = 1\n");
  TTrayIcon& trayIcon = *host.trayIcon;
  trayIcon.SetTipHelp("Tip");
  const HICON afterChange = trayIcon.IconData().hIcon;
  trayIcon.SetTipHelp("Tip");
  EXPECT_EQ(trayIcon.IconData().hIcon, afterChange);
  trayIcon.SetTipHelp("Other");
  EXPECT_NE(trayIcon.IconData().hIcon, afterChange);
}

TEST(TrayIcon, MouseMessagesRaiseTheirEvents) {
  Host host("");
  TTrayIcon& trayIcon = *host.trayIcon;
  MouseLog log;
  log.Attach(trayIcon);
  for (UINT message : {WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_RBUTTONDOWN, WM_RBUTTONUP,
                       WM_RBUTTONDBLCLK, WM_MBUTTONDOWN, WM_MBUTTONUP, WM_MBUTTONDBLCLK}) {
    EXPECT_EQ(SendMouse(trayIcon, message), 0);
  }
  ASSERT_EQ(log.entries.size(), 8u);  // nothing for the right and middle double clicks
  const struct {
    const char* what;
    TMouseButton button;
    TShiftState shift;
  } expected[] = {{"move", TMouseButton::mbLeft, 0},
                  {"down", TMouseButton::mbLeft, tray::ssLeft},
                  {"up", TMouseButton::mbLeft, tray::ssLeft},
                  {"dblclick", TMouseButton::mbLeft, 0},
                  {"down", TMouseButton::mbRight, tray::ssRight},
                  {"up", TMouseButton::mbRight, tray::ssRight},
                  {"down", TMouseButton::mbMiddle, tray::ssMiddle},
                  {"up", TMouseButton::mbMiddle, tray::ssMiddle}};
  for (size_t i = 0; i < 8; ++i) {
    EXPECT_EQ(log.entries[i].what, expected[i].what) << i;
    EXPECT_EQ(log.entries[i].button, expected[i].button) << i;
    EXPECT_EQ(log.entries[i].shift, expected[i].shift) << i;
  }
  EXPECT_EQ(tray::ssLeft, 8);
  EXPECT_EQ(tray::ssRight, 16);
  EXPECT_EQ(tray::ssMiddle, 32);
}

TEST(TrayIcon, ARightPressPopsUpTheRightMenuInsteadOfMouseDown) {
  Host host("    RButtonPopupMenu = PopupMenu1\n");
  TTrayIcon& trayIcon = *host.trayIcon;
  MouseLog log;
  log.Attach(trayIcon);
  std::vector<TObject*> clicked;
  host.menu->Items(1)->SetOnClick([&clicked](TObject* sender) { clicked.push_back(sender); });
  std::atomic<bool> shown{false};
  std::thread chooser = testsupport::ChooseFromNextMenu(2, shown);
  SendMouse(trayIcon, WM_RBUTTONDOWN);
  chooser.join();
  EXPECT_TRUE(shown);
  ASSERT_EQ(clicked.size(), 1u);
  EXPECT_EQ(clicked[0], host.menu->Items(1));
  EXPECT_TRUE(log.entries.empty());

  SendMouse(trayIcon, WM_RBUTTONDBLCLK);  // a right double click gives nothing, no menu either
  EXPECT_TRUE(log.entries.empty());

  trayIcon.SetAutoPopup(false);  // now the press is an event, and no menu shows
  SendMouse(trayIcon, WM_RBUTTONDOWN);
  ASSERT_EQ(log.entries.size(), 1u);
  EXPECT_EQ(log.entries[0].button, TMouseButton::mbRight);
  EXPECT_EQ(log.entries[0].shift, tray::ssRight);
}

TEST(TrayIcon, ALeftMenuThatGoesIsForgottenAndThePressBecomesMouseDown) {
  Host host("    LButtonPopupMenu = PopupMenu1\n    RButtonPopupMenu = PopupMenu1\n");
  TTrayIcon& trayIcon = *host.trayIcon;
  EXPECT_EQ(trayIcon.LButtonPopupMenu(), host.menu);
  delete host.menu;
  EXPECT_EQ(trayIcon.LButtonPopupMenu(), nullptr);
  EXPECT_EQ(trayIcon.RButtonPopupMenu(), nullptr);
  MouseLog log;
  log.Attach(trayIcon);
  SendMouse(trayIcon, WM_LBUTTONDOWN);
  ASSERT_EQ(log.entries.size(), 1u);
  EXPECT_EQ(log.entries[0].what, "down");
}

TEST(TrayIcon, AnswersQueryEndSessionWithConsent) {
  Host host("");
  EXPECT_EQ(SendMessageA(host.trayIcon->MessageWindow(), WM_QUERYENDSESSION, 0, 0), 1);
}

TEST(TrayIcon, MinimizingTheApplicationShowsTheIconAndHidesTheTaskbarButtonChainingEarlierHandlers) {
  TApplication& application = *TApplication::Current();
  std::vector<std::string> calls;
  application.SetOnMinimize([&](TObject*) { calls.push_back("earlier minimize"); });
  application.SetOnRestore([&](TObject*) { calls.push_back("earlier restore"); });
  {
    Host host("    Minimized = True\n    HideOnTaskBar = True\n");
    TTrayIcon& trayIcon = *host.trayIcon;
    EXPECT_FALSE(trayIcon.IconShown());  // not minimised while the form loads
    application.Minimize();
    EXPECT_TRUE(trayIcon.IconShown());
    EXPECT_TRUE(ShellHolds(trayIcon.IconData()));
    EXPECT_TRUE(IsIconic(application.Handle()));
    EXPECT_FALSE(IsWindowVisible(application.Handle()));  // no taskbar button
    application.Restore();
    EXPECT_FALSE(trayIcon.IconShown());
    EXPECT_EQ(calls, (std::vector<std::string>{"earlier minimize", "earlier restore"}));
  }
  // The earlier handlers are back in place.
  calls.clear();
  application.Minimize();
  application.Restore();
  EXPECT_EQ(calls, (std::vector<std::string>{"earlier minimize", "earlier restore"}));
  application.SetOnMinimize({});
  application.SetOnRestore({});
}

TEST(TrayIcon, AnInvisibleIconStaysAwayAndKeepsTheTaskbarButton) {
  TApplication& application = *TApplication::Current();
  Host host("    Minimized = True\n    Visible = False\n    HideOnTaskBar = True\n");
  application.Minimize();
  EXPECT_FALSE(host.trayIcon->IconShown());
  EXPECT_TRUE(IsWindowVisible(application.Handle()));
  application.Restore();
}

TEST(TrayIcon, WhenNotMinimizedMinimizeAndRestoreChangeNothing) {
  TApplication& application = *TApplication::Current();
  Host host("    HideOnTaskBar = True\n");
  ASSERT_TRUE(host.trayIcon->IconShown());
  const HWND window = host.trayIcon->MessageWindow();
  application.Minimize();
  EXPECT_EQ(host.trayIcon->MessageWindow(), window);
  EXPECT_TRUE(IsWindowVisible(application.Handle()));  // HideOnTaskBar has no effect
  application.Restore();
  EXPECT_EQ(host.trayIcon->MessageWindow(), window);
}

TEST(TrayIcon, IntervalHasAFloorOf50AndItsStoredDefaultIs1000) {
  Host loaded("");
  EXPECT_EQ(loaded.trayIcon->Interval(), 0u);  // no line: the value after construction
  TTrayIcon& trayIcon = *loaded.trayIcon;
  trayIcon.SetInterval(10);
  EXPECT_EQ(trayIcon.Interval(), 50u);
  trayIcon.SetInterval(0);
  EXPECT_EQ(trayIcon.Interval(), 0u);
  EXPECT_NE(framework::WriteComponent(loaded.form).find("Interval = 0"), std::string::npos);
  trayIcon.SetInterval(1000);
  EXPECT_EQ(framework::WriteComponent(loaded.form).find("Interval"), std::string::npos);

  Host floorWhileLoading("    Interval = 20\n    Visible = False\n");
  EXPECT_EQ(floorWhileLoading.trayIcon->Interval(), 50u);
}

TEST(TrayIcon, ResourceIconIDIsClampedAtRunTimeButNotWhileLoading) {
  Host host("    Visible = False\n");
  TTrayIcon& trayIcon = *host.trayIcon;
  trayIcon.SetResourceIconID(5);
  EXPECT_EQ(trayIcon.ResourceIconID(), -1);  // empty list
  SetTestIcons(trayIcon, 3);
  trayIcon.SetResourceIconID(5);
  EXPECT_EQ(trayIcon.ResourceIconID(), 2);
  trayIcon.SetResourceIconID(-7);
  EXPECT_EQ(trayIcon.ResourceIconID(), -1);

  // Read from a form as 3 with an empty list: kept (no clamp to -1) until read, then 0.
  Host loaded("    Visible = False\n    ResourceIconID = 3\n");
  EXPECT_EQ(loaded.trayIcon->ResourceIconID(), 0);
}

TEST(TrayIcon, TheSelectedResourceIconIsShownAndFollowsListChanges) {
  Host host("    ResourceIconList = ('TESTICON1' 'TESTICON2' 'TESTICON3')\n    ResourceIconID = 2\n");
  TTrayIcon& trayIcon = *host.trayIcon;
  ASSERT_TRUE(trayIcon.IconShown());
  EXPECT_NE(trayIcon.IconData().hIcon, TApplication::Current()->Icon().Handle());
  EXPECT_EQ(trayIcon.ResourceIconID(), 2);

  // A shorter list: the getter resets the index beyond its end to 0, a new entry, sent again.
  const HICON before = trayIcon.IconData().hIcon;
  SetTestIcons(trayIcon, 2);
  EXPECT_EQ(trayIcon.ResourceIconID(), 0);
  EXPECT_NE(trayIcon.IconData().hIcon, before);

  // The same entry at the same index after a list change: nothing is sent.
  trayIcon.SetResourceIconID(1);
  const HICON same = trayIcon.IconData().hIcon;
  SetTestIcons(trayIcon, 3);
  EXPECT_EQ(trayIcon.ResourceIconID(), 1);
  EXPECT_EQ(trayIcon.IconData().hIcon, same);

  // An explicit icon wins over every other source.
  framework::TIcon explicitIcon;
  explicitIcon.LoadFromResource("TESTICON3", nullptr, GetSystemMetrics(SM_CXSMICON));
  trayIcon.SetIcon(&explicitIcon);
  EXPECT_EQ(ImageOf(trayIcon.IconData().hIcon).pixels, ImageOf(explicitIcon.Handle()).pixels);
  trayIcon.SetIcon(nullptr);
  EXPECT_NE(trayIcon.IconData().hIcon, nullptr);
  EXPECT_TRUE(trayIcon.Icon().Empty());
}

TEST(TrayIcon, AnAddThatHasNoIconShowsNothingAndLeavesNoWindow) {
  Host host("    Visible = False\n    ResourceIconList = ('NOSUCHICON')\n    ResourceIconID = 0\n");
  TTrayIcon& trayIcon = *host.trayIcon;
  EXPECT_FALSE(trayIcon.AddIcon());
  EXPECT_FALSE(trayIcon.IconShown());
  EXPECT_EQ(trayIcon.MessageWindow(), nullptr);
}

// The message of the ENotifyIconError that call raises; empty when it raises none.
template <class Call>
std::string NotifyIconError(Call call) {
  try {
    call();
  } catch (const tray::ENotifyIconError& error) {
    return error.Message();
  }
  return {};
}

TEST(TrayIcon, TheShellsRefusalsRaiseErrorsWithTheirTexts) {
  Host host("");
  TTrayIcon& trayIcon = *host.trayIcon;
  ASSERT_TRUE(trayIcon.IconShown());

  // A change the shell refuses: the icon still counts as shown and the record has the new tip.
  NOTIFYICONDATAA gone = trayIcon.IconData();
  ASSERT_TRUE(Shell_NotifyIconA(NIM_DELETE, &gone));  // the shell forgets it behind our back
  EXPECT_EQ(NotifyIconError([&] { trayIcon.SetTipHelp("Refused"); }), "タスクトレイのアイコンを変更できません。");
  EXPECT_TRUE(trayIcon.IconShown());
  EXPECT_STREQ(trayIcon.IconData().szTip, "Refused");
  trayIcon.SetVisible(false);

  // An addition the shell refuses: nothing counts as shown and no window is left.
  {
    testsupport::StandInShell shell;
    ASSERT_TRUE(shell.Active());
    EXPECT_EQ(NotifyIconError([&] { trayIcon.SetVisible(true); }), "タスクトレイにアイコンを登録できません。");
    EXPECT_FALSE(trayIcon.IconShown());
    EXPECT_EQ(trayIcon.MessageWindow(), nullptr);
  }
  trayIcon.AddIcon();  // the real shell again
  EXPECT_TRUE(trayIcon.IconShown());
  EXPECT_TRUE(ShellHolds(trayIcon.IconData()));
}

TEST(TrayIcon, AnIconANewShellRefusesIsAddedOnTheSlowRetry) {
  Host host("");
  TTrayIcon& trayIcon = *host.trayIcon;
  ASSERT_TRUE(trayIcon.IconShown());
  NOTIFYICONDATAA gone = trayIcon.IconData();
  ASSERT_TRUE(Shell_NotifyIconA(NIM_DELETE, &gone));  // a shell that restarts holds no icons
  {
    // The new shell refuses the icon at first: it is not counted as shown, and waited for.
    testsupport::StandInShell shell;
    ASSERT_TRUE(shell.Active());
    SendMessageA(trayIcon.MessageWindow(), RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    ASSERT_EQ(shell.Requests().size(), 2u);  // a new icon, else a change of one it kept
    EXPECT_EQ(shell.Requests()[0].command, static_cast<DWORD>(NIM_ADD));
    EXPECT_EQ(shell.Requests()[1].command, static_cast<DWORD>(NIM_MODIFY));
    EXPECT_FALSE(trayIcon.IconShown());
    EXPECT_TRUE(trayIcon.RetryingIcon());
  }
  ASSERT_TRUE(testsupport::PumpUntil([&] { return trayIcon.IconShown(); }, tray::kRetryIntervalMs + 3000));
  EXPECT_TRUE(ShellHolds(trayIcon.IconData()));
  EXPECT_FALSE(trayIcon.RetryingIcon());
}

// The shell also says it has started when it has not restarted (the primary display's scale or size
// changed, a remote session connected): it keeps its icons, and refuses ours as a new one. The icon
// is changed instead and still counts as shown, and a notice goes out at once. A shell that takes
// neither keeps the icon waiting; it may still show it, so it is deleted at the end all the same.
TEST(TrayIcon, ABroadcastFromAShellThatKeptItsIconsChangesTheIconInstead) {
  testsupport::StandInShell shell(testsupport::StandInShell::Answer::HoldIcons);
  ASSERT_TRUE(shell.Active());
  auto host = std::make_unique<Host>("");
  TTrayIcon& trayIcon = *host->trayIcon;
  ASSERT_TRUE(trayIcon.IconShown());
  const UINT taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
  SendMessageA(trayIcon.MessageWindow(), taskbarCreated, 0, 0);
  EXPECT_TRUE(trayIcon.IconShown());
  EXPECT_FALSE(trayIcon.RetryingIcon());
  EXPECT_EQ(shell.Requests().back().command, static_cast<DWORD>(NIM_SETVERSION));
  trayIcon.ShowBalloon(L"Title", L"Text", tray::TBalloonIcon::biInfo);
  EXPECT_TRUE(trayIcon.BalloonShowing());

  shell.SetAnswer(testsupport::StandInShell::Answer::Refuse);
  SendMessageA(trayIcon.MessageWindow(), taskbarCreated, 0, 0);
  EXPECT_TRUE(trayIcon.RetryingIcon());
  host.reset();
  EXPECT_EQ(shell.Requests().back().command, static_cast<DWORD>(NIM_DELETE));
}

// Selected with Win+B and the arrows, the icon opens its menu for Enter, the Menu key and Shift+F10,
// as the shell's fourth version reports them; a right click opens it once, on the press.
TEST(TrayIcon, TheKeyboardOpensTheMenuAndARightClickOpensItOnce) {
  testsupport::StandInShell shell(testsupport::StandInShell::Answer::HoldIcons);
  ASSERT_TRUE(shell.Active());
  Host host("    RButtonPopupMenu = PopupMenu1\n");
  TTrayIcon& trayIcon = *host.trayIcon;
  const std::vector<testsupport::StandInShell::Request> requests = shell.Requests();
  ASSERT_GE(requests.size(), 2u);
  EXPECT_EQ(requests[1].command, static_cast<DWORD>(NIM_SETVERSION));
  EXPECT_EQ(requests[1].Version(), static_cast<UINT>(NOTIFYICON_VERSION_4));
  const auto opensMenu = [&](UINT event, DWORD waitMs = 5000) {
    std::atomic<bool> shown{false};
    std::thread chooser = testsupport::ChooseFromNextMenu(0, shown, waitMs);
    SendMessageA(trayIcon.MessageWindow(), tray::kTrayCallbackMessage, MAKEWPARAM(300, 400),
                 MAKELPARAM(event, tray::kTrayIconId));
    chooser.join();
    return shown.load();
  };
  EXPECT_TRUE(opensMenu(NIN_KEYSELECT)) << "Enter";
  EXPECT_TRUE(opensMenu(WM_CONTEXTMENU)) << "the Menu key";
  EXPECT_TRUE(opensMenu(WM_RBUTTONDOWN));
  EXPECT_FALSE(opensMenu(WM_RBUTTONUP, 500));
  EXPECT_FALSE(opensMenu(WM_CONTEXTMENU, 1000)) << "a right click's release opened the menu again";
}

TEST(TrayIcon, ANoticeWaitsForTheIconAndCountsAsShownUntilTheShellSaysItIsGone) {
  Host host("    Visible = False\n");
  TTrayIcon& trayIcon = *host.trayIcon;
  trayIcon.ShowBalloon(L"Title", L"Text", tray::TBalloonIcon::biError);
  EXPECT_FALSE(trayIcon.BalloonShowing());  // no icon to show it from yet
  trayIcon.SetVisible(true);
  EXPECT_TRUE(trayIcon.BalloonShowing());
  SendMouse(trayIcon, NIN_BALLOONTIMEOUT);
  EXPECT_FALSE(trayIcon.BalloonShowing());

  // A shell that restarts has lost it with the icon.
  trayIcon.ShowBalloon(L"Again", L"Text", tray::TBalloonIcon::biInfo);
  ASSERT_TRUE(trayIcon.BalloonShowing());
  SendMessageA(trayIcon.MessageWindow(), RegisterWindowMessageA("TaskbarCreated"), 0, 0);
  EXPECT_FALSE(trayIcon.BalloonShowing());
}

TEST(TrayIcon, AnIconRefusedWhileMinimizingIsAddedWhenTheShellIsBackOrOnTheSlowRetry) {
  TApplication& application = *TApplication::Current();
  for (const bool broadcast : {true, false}) {
    Host host("    Minimized = True\n    HideOnTaskBar = True\n");
    TTrayIcon& trayIcon = *host.trayIcon;
    {
      testsupport::StandInShell shell;
      ASSERT_TRUE(shell.Active());
      application.Minimize();  // no exception reaches the caller
      EXPECT_FALSE(trayIcon.IconShown());
      EXPECT_TRUE(trayIcon.RetryingIcon());
      ASSERT_NE(trayIcon.MessageWindow(), nullptr);  // kept, to hear the shell come back
      testsupport::PumpFor(200);
      EXPECT_FALSE(trayIcon.IconShown());
    }
    if (broadcast) {
      DWORD_PTR answer = 0;
      SendMessageTimeoutA(trayIcon.MessageWindow(), RegisterWindowMessageA("TaskbarCreated"), 0, 0, SMTO_NORMAL, 2000,
                          &answer);
      EXPECT_TRUE(trayIcon.IconShown());
    } else {
      const DWORD start = GetTickCount();
      ASSERT_TRUE(testsupport::PumpUntil([&] { return trayIcon.IconShown(); }, tray::kRetryIntervalMs + 3000));
      EXPECT_GE(GetTickCount() - start, 1000u);  // slow: not a busy retry
    }
    EXPECT_TRUE(ShellHolds(trayIcon.IconData()));
    EXPECT_FALSE(trayIcon.RetryingIcon());
    // Shown: the retry timer is gone, so nothing wakes the program any more.
    EXPECT_FALSE(KillTimer(trayIcon.MessageWindow(), tray::kRetryTimerId));
    application.Restore();
    EXPECT_FALSE(trayIcon.IconShown());
  }
}

TEST(TrayIconAnimation, StepsCycleThroughTheResourceList) {
  Host host("    ResourceIconList = ('TESTICON1' 'TESTICON2' 'TESTICON3')\n    ResourceIconID = 0\n");
  TTrayIcon& trayIcon = *host.trayIcon;
  std::vector<int> seen;
  const DWORD start = GetTickCount();
  trayIcon.SetInterval(50);
  testsupport::PumpUntil(
      [&] {
        const int id = trayIcon.ResourceIconID();
        if (seen.empty() || seen.back() != id) seen.push_back(id);
        return seen.size() >= 6;
      },
      5000);
  ASSERT_GE(seen.size(), 6u);
  EXPECT_EQ(std::vector<int>(seen.begin(), seen.begin() + 6), (std::vector<int>{0, 1, 2, 0, 1, 2}));
  EXPECT_GE(GetTickCount() - start, 4u * 50 - 20);  // five steps, one per interval at the earliest
}

TEST(TrayIconAnimation, AHandlerReplacesTheBuiltInStepAndAPausedAnimationMakesNoSteps) {
  Host host("");
  TTrayIcon& trayIcon = *host.trayIcon;
  std::atomic<int> steps{0};
  trayIcon.SetOnIconAnimation([&](TObject* sender) {
    EXPECT_EQ(sender, &trayIcon);
    EXPECT_EQ(GetCurrentThreadId(), TApplication::Current()->MainThread().ThreadId());
    ++steps;
  });
  trayIcon.SetInterval(50);
  ASSERT_TRUE(testsupport::PumpUntil([&] { return steps >= 3; }, 3000));
  EXPECT_EQ(trayIcon.ResourceIconID(), -1);  // the built-in step did not run

  trayIcon.SetVisible(false);  // removes the icon and pauses the animation
  testsupport::PumpFor(100);
  const int paused = steps;
  testsupport::PumpFor(300);
  EXPECT_EQ(steps, paused);
  EXPECT_TRUE(trayIcon.Animation()->Paused());

  trayIcon.SetVisible(true);  // woken, with the current interval
  trayIcon.SetInterval(200);
  const DWORD woken = GetTickCount();
  ASSERT_TRUE(testsupport::PumpUntil([&] { return steps >= paused + 3; }, 3000));
  EXPECT_GE(GetTickCount() - woken, 2u * 200 - 30);

  trayIcon.SetInterval(0);  // pauses the running animation
  testsupport::PumpFor(300);
  const int stopped = steps;
  testsupport::PumpFor(300);
  EXPECT_EQ(steps, stopped);
}

TEST(TrayIconAnimation, DestroyingTheComponentEndsARunningAnimation) {
  for (int i = 0; i < 5; ++i) {
    auto host = std::make_unique<Host>("    ResourceIconList = ('TESTICON1' 'TESTICON2')\n    ResourceIconID = 0\n");
    std::atomic<int> steps{0};
    host->trayIcon->SetOnIconAnimation([&](TObject*) { ++steps; });
    host->trayIcon->SetInterval(50);
    testsupport::PumpUntil([&] { return steps >= 1; }, 2000);
    EXPECT_GE(steps, 1);
    host.reset();  // the thread is stopped and waited for; nothing steps afterwards
    const int stepsAtReset = steps;
    testsupport::PumpFor(120);
    EXPECT_EQ(steps, stepsAtReset);
  }
}

TEST(TrayIconAnimation, AHandlerMayDestroyItsOwnComponentDuringAStep) {
  // The freed component is overwritten, so a read of it after the handler faults.
  const FaultCounter faults;
  fillFreedBlocks = true;
  struct Restore {
    ~Restore() { fillFreedBlocks = false; }
  } restore;
  for (int i = 0; i < 5; ++i) {
    auto host = std::make_unique<Host>("");
    std::atomic<int> steps{0};
    // The step runs on the main thread while the animation thread waits for it; the handler frees
    // the component, whose destructor must neither wait for that thread nor be touched afterwards.
    host->trayIcon->SetOnIconAnimation([&](TObject*) {
      ++steps;
      host.reset();
    });
    host->trayIcon->SetInterval(50);
    ASSERT_TRUE(testsupport::PumpUntil([&] { return host == nullptr; }, 3000));
    testsupport::PumpFor(150);  // the thread ends and frees itself; no further step
    EXPECT_EQ(steps, 1);
  }
  EXPECT_EQ(faults.Faults(), 0) << "the freed component was read";
}
