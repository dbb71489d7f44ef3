// The configuration program's window: the mail client's command line and the mail proxy's path,
// each with a browse button, OK and Cancel. All texts are UTF-16 and every call is a wide one, so the
// Japanese shows right whatever the system's ANSI code page.
//
// OK checks the values (see ConfigSettings.h; the messages are in DialogTexts.h), asks before saving
// a program that cannot be found, and saves, then applies the two check boxes for the launcher beside
// it (LauncherChoices.h): start it now, and start it at sign-in; in a folder the user may not write
// into, it offers to save as administrator (ElevatedSave.h). The window stays open when something is refused or declined. Cancel, Esc and closing
// the window write nothing; while a question or the save as administrator is under way, the window
// takes no command and cannot be closed.
//
// It is a native dialog on today's systems: centred on its monitor, the product's icon in its title
// bar and Alt+Tab, the system's message font, a layout drawn for the display scale of its monitor
// (and redrawn when that changes), the visual styles of its manifest, and a full keyboard path
// (Tab in reading order, the browse buttons' mnemonics, Enter for OK, Esc for Cancel).
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "cunfigure/LauncherChoices.h"
#include "framework/Handles.h"

namespace configure {

// What tests and tools find the window and its controls by.
inline constexpr wchar_t kWindowClass[] = L"Cunfigure";
inline constexpr int kMailEditId = 101;
inline constexpr int kProxyEditId = 102;
inline constexpr int kMailBrowseId = 103;
inline constexpr int kProxyBrowseId = 104;
inline constexpr int kMailLabelId = 105;
inline constexpr int kProxyLabelId = 106;
inline constexpr int kStartNowId = 107;  // check box: start the launcher once saved
inline constexpr int kSignInId = 108;    // check box: start the launcher at sign-in

// A font made for the window, freed with its owner.
namespace detail {
inline void DeleteFontHandle(HFONT font) noexcept { DeleteObject(font); }
}  // namespace detail
using UniqueFont = framework::UniqueResource<HFONT, detail::DeleteFontHandle>;

class ConfigDialog {
 public:
  // With startLauncher, the box that starts the launcher once saved starts ticked, as it does for a
  // first run (no settings file yet).
  explicit ConfigDialog(std::wstring iniPath, bool startLauncher = false);
  ~ConfigDialog();
  ConfigDialog(const ConfigDialog&) = delete;
  ConfigDialog& operator=(const ConfigDialog&) = delete;

  // Shows the window, filled in from the settings file when it exists, and runs the message loop
  // until the window closes. True when the settings were saved.
  bool Run(HINSTANCE instance, int show);

  // The window procedure's boundary: runs handle, and shows an exception it throws in the dialog's
  // message box, over owner, instead of letting it into the system's code (which cannot pass it on
  // in a 32-bit program). Then the message counts as handled.
  static LRESULT Guarded(HWND owner, const std::function<LRESULT()>& handle);

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void CreateControls();
  void AddControl(const wchar_t* className, const wchar_t* text, DWORD style, int id);
  // Font, icons and layout for a display scale (DPI).
  void ApplyScale(UINT dpi);
  void Layout();
  void CentreOnMonitor();
  // The window's size for its client area at the current scale.
  SIZE WindowSize() const;
  int Scale(int pixels) const { return MulDiv(pixels, static_cast<int>(dpi_), 96); }
  void Browse(int editId);
  // The two check boxes for the launcher.
  LauncherChoices CheckedChoices() const;
  // True when the settings were saved and the window may close.
  bool Save();
  // A folder the user may not write into: offers to save as administrator, and does so.
  bool SaveAsAdministrator(const std::wstring& mail, const std::wstring& proxy);
  bool ValueAccepted(int editId, const wchar_t* label, std::string& bytes);
  // A message box over the window; the window takes no commands while it is up.
  int Message(const std::wstring& text, UINT type);
  std::wstring EditText(int id) const;
  void FocusEdit(int id) const;

  std::wstring iniPath_;
  std::wstring launcherPath_;  // the launcher beside the settings file; empty when none
  bool startTicked_;           // the box that starts the launcher once saved starts ticked
  std::wstring signInValue_;   // the Run value when the window opened
  HWND window_ = nullptr;
  UniqueFont font_;
  framework::UniqueIcon smallIcon_;
  framework::UniqueIcon bigIcon_;
  UINT dpi_ = 96;
  bool busy_ = false;  // a message box, the file dialog or the elevated save is up: no command, no close
  bool saved_ = false;
};

}  // namespace configure
