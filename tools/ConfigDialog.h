// The configuration program's window: the mail client's command line and the mail proxy's path,
// each with a browse button, OK and Cancel. All texts are UTF-16 and every call is a wide one, so the
// Japanese shows right whatever the system's ANSI code page.
//
// OK checks the values (see ConfigSettings.h), asks before saving a program that cannot be found,
// and saves; in a folder the user may not write into, it offers to save as administrator
// (ElevatedSave.h). The window stays open when something is refused or declined. Cancel, Esc and closing
// the window write nothing.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace configure {

// What tests and tools find the window and its controls by.
inline constexpr wchar_t kWindowClass[] = L"Cunfigure";
inline constexpr int kMailEditId = 101;
inline constexpr int kProxyEditId = 102;
inline constexpr int kMailBrowseId = 103;
inline constexpr int kProxyBrowseId = 104;

class ConfigDialog {
 public:
  explicit ConfigDialog(std::wstring iniPath);
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
  // A labelled edit field with its browse button, the label at top.
  void AddField(const std::wstring& label, const std::wstring& value, int top, int editId, const wchar_t* browseText,
                int browseId);
  HWND AddControl(const wchar_t* className, const wchar_t* text, DWORD style, int x, int y, int width, int height,
                  int id);
  void Browse(int editId);
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
  HWND window_ = nullptr;
  HFONT font_ = nullptr;
  bool busy_ = false;  // a message box or the file dialog is up
  bool saved_ = false;
};

}  // namespace configure
