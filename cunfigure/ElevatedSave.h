// Saving the settings with administrator rights: the configuration program starts itself again
// elevated ("runas") with "/set <mail> <proxy>", which writes the settings file beside it with the
// same checks and the same safe save as the window. For a folder the user may not write into (one
// under Program Files): a program with an application manifest is not redirected to a per-user copy.
#pragma once

#include <windows.h>

#include <string>

namespace configure {

// One command-line argument, quoted so that CommandLineToArgvW gives the text back unchanged.
std::wstring QuotedArgument(const std::wstring& text);

enum class ElevatedStatus {
  Saved,     // the elevated program wrote the file
  Declined,  // the user refused the elevation prompt: nothing ran
  Failed     // the program could not be started or did not save: error tells why (its exit code)
};
struct ElevatedResult {
  ElevatedStatus status = ElevatedStatus::Saved;
  DWORD error = ERROR_SUCCESS;
};

// Runs program "/set <mail> <proxy>" elevated, over owner, and waits for it to end while this
// thread's messages are dispatched: the owner keeps painting, and is disabled meanwhile as under a
// message box. A close sent to it programmatically still arrives: its window procedure must refuse it.
ElevatedResult SaveElevated(HWND owner, const std::wstring& program, const std::wstring& mail,
                            const std::wstring& proxy);

}  // namespace configure
