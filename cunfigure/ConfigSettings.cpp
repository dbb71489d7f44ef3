// The configuration program's settings file: reading, checking and saving the two values.
#include "cunfigure/ConfigSettings.h"

#include <vector>

#include "launch/CommandProgram.h"
#include "settings/IniGT.h"

namespace configure {

namespace {
constexpr size_t kReadBufferSize = settings::ProfileAccessor::kReadBufferSize;
constexpr char kSectionA[] = "Path";
// The longest value the window reads back for showing: far more than the launcher can read.
constexpr DWORD kLongestShownValue = 1 << 20;

using CommandProgram = launch::CommandProgram<std::wstring>;
using launch::LocateCommandProgram;
bool IsBlank(wchar_t c) { return launch::IsCommandBlank(c); }

// Characters the profile API's read may drop at the ends of a value: Wine drops every control
// character and blank there, Windows at least blanks and tabs; the ideographic space is taken as one
// too, to be safe.
bool MayBeTrimmed(wchar_t c) { return c <= L' ' || c == 0x7F || c == 0xA0 || c == 0x3000 || c == 0xFEFF; }

size_t NameStart(const std::wstring& path) {
  const size_t separator = path.find_last_of(L"\\/:");
  return separator == std::wstring::npos ? 0 : separator + 1;
}


// Text in a code page, to and from UTF-16.
std::wstring Widen(const std::string& bytes, UINT codePage) {
  if (bytes.empty()) return std::wstring();
  const int length = MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length > 0 ? length : 0), L'\0');
  MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(), length);
  return wide;
}

std::string Narrow(const std::wstring& wide, UINT codePage) {
  if (wide.empty()) return std::string();
  const int length =
      WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<size_t>(length > 0 ? length : 0), '\0');
  WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), bytes.data(), length, nullptr, nullptr);
  return bytes;
}

// The process's ANSI code page: the profile API converts values this way between its callers and
// an ANSI file, so bytes widened here reach the file unchanged.
std::wstring AnsiToWide(const std::string& bytes) { return Widen(bytes, CP_ACP); }

std::string WideToAnsi(const std::wstring& wide, bool* exact = nullptr) {
  std::string bytes = Narrow(wide, CP_ACP);
  if (exact != nullptr) *exact = AnsiToWide(bytes) == wide;
  return bytes;
}

// One value as the launcher reads it: GetPrivateProfileStringA with its buffer. A path that the ANSI
// code page cannot hold is read the way Wine's ANSI read works: the wide read, cut to the buffer,
// converted into at most the buffer's bytes less one.
std::string ReadAsLauncher(const std::wstring& iniPath, const wchar_t* key) {
  bool exact = false;
  const std::string ansiPath = WideToAnsi(iniPath, &exact);
  std::vector<char> buffer(kReadBufferSize, '\0');
  if (exact) {
    const std::string ansiKey = WideToAnsi(key);
    const DWORD copied = GetPrivateProfileStringA(kSectionA, ansiKey.c_str(), "", buffer.data(),
                                                  static_cast<DWORD>(kReadBufferSize), ansiPath.c_str());
    return std::string(buffer.data(), copied < kReadBufferSize ? copied : kReadBufferSize - 1);
  }
  std::vector<wchar_t> wide(kReadBufferSize, L'\0');
  const DWORD copied = GetPrivateProfileStringW(kSection, key, L"", wide.data(), static_cast<DWORD>(kReadBufferSize),
                                                iniPath.c_str());
  const int length = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(copied), buffer.data(),
                                         static_cast<int>(kReadBufferSize - 1), nullptr, nullptr);
  return std::string(buffer.data(), static_cast<size_t>(length > 0 ? length : 0));
}

// Drops the profile API's cached copy of a file (Wine keeps files it has read or written).
void ReleaseProfile(const std::wstring& path) { WritePrivateProfileStringW(nullptr, nullptr, nullptr, path.c_str()); }

// A file made beside the settings file, removed again unless kept.
class TemporaryFile {
 public:
  explicit TemporaryFile(const std::wstring& besides) {
    for (unsigned attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
      const std::wstring candidate = besides + L"." + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                     std::to_wstring(GetTickCount() + attempt) + L".tmp";
      HANDLE file = CreateFileW(candidate.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
        path_ = candidate;
      } else {
        error_ = GetLastError();
        if (error_ != ERROR_FILE_EXISTS && error_ != ERROR_ALREADY_EXISTS) break;
      }
    }
  }
  ~TemporaryFile() {
    if (!path_.empty() && !kept_) {
      ReleaseProfile(path_);
      SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileW(path_.c_str());
    }
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  bool Made() const { return !path_.empty(); }
  DWORD Error() const { return error_; }
  const std::wstring& Path() const { return path_; }
  void Keep() { kept_ = true; }

 private:
  std::wstring path_;
  DWORD error_ = ERROR_SUCCESS;
  bool kept_ = false;
};

bool IsInUseError(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION || error == ERROR_ACCESS_DENIED;
}

}  // namespace

size_t LongestValue() { return kReadBufferSize - 1; }
size_t LongestQuotedValue() { return kReadBufferSize - 2; }

std::wstring SettingsFileBesideProgram() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return kSettingsFileName;
    if (length < buffer.size()) {
      std::wstring path(buffer.data(), length);
      return path.substr(0, NameStart(path)) + kSettingsFileName;
    }
    buffer.resize(buffer.size() * 2);
  }
}

Settings ReadSettings(const std::wstring& iniPath) {
  Settings settings;
  if (GetFileAttributesW(iniPath.c_str()) == INVALID_FILE_ATTRIBUTES) return settings;
  auto read = [&](const wchar_t* key) {
    // The whole value however long, so that a value too long for the launcher is shown as it stands.
    for (DWORD size = 4096;; size *= 2) {
      std::vector<wchar_t> buffer(size, L'\0');
      const DWORD copied = GetPrivateProfileStringW(kSection, key, L"", buffer.data(), size, iniPath.c_str());
      if (copied + 1 < size || size >= kLongestShownValue) {
        // The launcher reads the file's bytes in the ANSI code page; they are code page 932 bytes.
        return FromValueBytes(WideToAnsi(std::wstring(buffer.data(), copied)));
      }
    }
  };
  settings.mail = read(kMailKey);
  settings.proxy = read(kProxyKey);
  ReleaseProfile(iniPath);
  return settings;
}

bool ToValueBytes(const std::wstring& text, std::string& bytes) {
  bytes = Narrow(text, kValueCodePage);
  if (bytes.empty()) return text.empty();
  // A character without a form of its own comes back as another one ("?" or a look-alike).
  return FromValueBytes(bytes) == text;
}

std::wstring FromValueBytes(const std::string& bytes) { return Widen(bytes, kValueCodePage); }

bool NeedsEnclosingQuotes(const std::wstring& value) {
  if (value.empty()) return false;
  if (MayBeTrimmed(value.front()) || MayBeTrimmed(value.back())) return true;
  return value.size() >= 2 && (value.front() == L'"' || value.front() == L'\'') && value.back() == value.front();
}

std::wstring ProfileText(const std::wstring& value) {
  return NeedsEnclosingQuotes(value) ? L"\"" + value + L"\"" : value;
}

ValueProblem CheckValue(const std::wstring& value, std::string& bytes) {
  bytes.clear();
  if (value.find_first_of(std::wstring(L"\r\n\0", 3)) != std::wstring::npos) return ValueProblem::LineBreak;
  std::string converted;
  if (!ToValueBytes(value, converted)) return ValueProblem::NotInCodePage;
  if (converted.size() > (NeedsEnclosingQuotes(value) ? LongestQuotedValue() : LongestValue())) {
    return ValueProblem::TooLong;
  }
  bytes = std::move(converted);
  return ValueProblem::None;
}

std::wstring FindCommandProgram(const std::wstring& commandLine) { return LocateCommandProgram(commandLine).found; }

std::wstring FindProgram(const std::wstring& path) { return launch::FindProgram(path); }

std::wstring NamedProgram(const std::wstring& commandLine) {
  size_t start = 0;
  while (start < commandLine.size() && IsBlank(commandLine[start])) ++start;
  if (start < commandLine.size() && commandLine[start] == L'"') {
    const size_t close = commandLine.find(L'"', start + 1);
    return commandLine.substr(start + 1, close == std::wstring::npos ? std::wstring::npos : close - start - 1);
  }
  for (size_t at = start; at + 4 <= commandLine.size(); ++at) {
    if (CompareStringOrdinal(commandLine.c_str() + at, 4, L".exe", 4, TRUE) == CSTR_EQUAL &&
        (at + 4 == commandLine.size() || IsBlank(commandLine[at + 4]))) {
      return commandLine.substr(start, at + 4 - start);
    }
  }
  size_t end = start;
  while (end < commandLine.size() && !IsBlank(commandLine[end])) ++end;
  return commandLine.substr(start, end - start);
}

namespace {
// Where the program the user meant ends. Unquoted, a shorter program the system finds first
// (C:\Program.exe for C:\Program Files\x.exe) hides the program the line names up to its ".exe":
// then, and when nothing is found, the named program is meant, not the first word.
size_t MeantProgramEnd(const std::wstring& commandLine, const CommandProgram& program) {
  if (program.start == commandLine.size() || commandLine[program.start] == L'"') return program.end;
  const std::wstring named = NamedProgram(commandLine);
  const size_t namedEnd = program.start + named.size();
  if (namedEnd > program.end && (program.found.empty() || !FindProgram(named).empty())) return namedEnd;
  return program.end;
}
}  // namespace

std::wstring ReplaceCommandProgram(const std::wstring& commandLine, const std::wstring& path) {
  const CommandProgram program = LocateCommandProgram(commandLine);
  const std::wstring quoted = path.find_first_of(L" \t") != std::wstring::npos ? L"\"" + path + L"\"" : path;
  return quoted + commandLine.substr(MeantProgramEnd(commandLine, program));
}

std::wstring UnquotedProgramWithBlank(const std::wstring& commandLine, std::wstring* startsInstead) {
  const CommandProgram program = LocateCommandProgram(commandLine);
  if (program.found.empty() || commandLine[program.start] == L'"') return std::wstring();
  const size_t end = MeantProgramEnd(commandLine, program);
  std::wstring typed = commandLine.substr(program.start, end - program.start);
  if (typed.find_first_of(L" \t") == std::wstring::npos) return std::wstring();
  // The program meant ends past the one found: the one found is what starts today.
  if (startsInstead != nullptr && end != program.end) *startsInstead = program.found;
  return typed;
}

SaveResult SaveSettings(const std::wstring& iniPath, const std::string& mail, const std::string& proxy) {
  SaveResult result;
  auto fail = [&](SaveStatus status, DWORD error) {
    result.status = status;
    result.error = error;
    return result;
  };

  const DWORD attributes = GetFileAttributesW(iniPath.c_str());
  const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  // Checked here: a move may replace a read-only file (Wine does), and a write may go through.
  if (exists && (attributes & FILE_ATTRIBUTE_READONLY) != 0) return fail(SaveStatus::ReadOnly, ERROR_ACCESS_DENIED);
  if (exists && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return fail(SaveStatus::CannotWrite, ERROR_ACCESS_DENIED);

  TemporaryFile temporary(iniPath);
  if (!temporary.Made()) {
    const DWORD error = temporary.Error();
    return fail(error == ERROR_ACCESS_DENIED ? SaveStatus::FolderDenied : SaveStatus::CannotWrite, error);
  }
  if (exists && !CopyFileW(iniPath.c_str(), temporary.Path().c_str(), FALSE)) {
    const DWORD error = GetLastError();
    return fail(IsInUseError(error) ? SaveStatus::InUse : SaveStatus::CannotWrite, error);
  }
  // The copy carries the file's attributes over; none of them may keep the profile API out.
  if (exists) SetFileAttributesW(temporary.Path().c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);

  // The bytes widened as the process's ANSI code page reads them come back as the same bytes when
  // the profile API writes the (ANSI) file: code page 932 bytes on any system.
  auto write = [&](const wchar_t* key, const std::string& bytes) {
    const std::wstring asRead = AnsiToWide(bytes);
    const bool quotes = NeedsEnclosingQuotes(FromValueBytes(bytes)) || NeedsEnclosingQuotes(asRead);
    const std::wstring text = quotes ? L"\"" + asRead + L"\"" : asRead;
    return WritePrivateProfileStringW(kSection, key, text.c_str(), temporary.Path().c_str()) != FALSE;
  };
  if (!write(kMailKey, mail) || !write(kProxyKey, proxy)) {
    const DWORD error = GetLastError();
    return fail(SaveStatus::CannotWrite, error != ERROR_SUCCESS ? error : ERROR_WRITE_FAULT);
  }
  ReleaseProfile(temporary.Path());
  {
    HANDLE file = CreateFileW(temporary.Path().c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return fail(SaveStatus::CannotWrite, GetLastError());
    FlushFileBuffers(file);
    CloseHandle(file);
  }

  // Read back as the launcher reads: nothing is replaced unless both values come back unchanged.
  const bool same = ReadAsLauncher(temporary.Path(), kMailKey) == mail &&
                    ReadAsLauncher(temporary.Path(), kProxyKey) == proxy;
  ReleaseProfile(temporary.Path());
  if (!same) return fail(SaveStatus::ReadBackDiffers, ERROR_SUCCESS);

  // An existing file is replaced, so it keeps its own permissions (rights an administrator gave on
  // the file itself) and identity; a move would put a new file there with the folder's defaults.
  // The move is for a new file, and where the replace fails for a reason other than access.
  DWORD error = ERROR_SUCCESS;
  if (exists) {
    // Replacing deletes the old file: one another program holds open without sharing its deletion
    // cannot be replaced (and Wine's attempt would leave a file of its own behind).
    HANDLE file = CreateFileW(iniPath.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    const DWORD held = file == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    if (IsInUseError(held)) return fail(SaveStatus::InUse, held);
  }
  const bool replaced = exists && ReplaceFileW(iniPath.c_str(), temporary.Path().c_str(), nullptr,
                                               REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr);
  if (exists && !replaced) error = GetLastError();
  const bool denied = IsInUseError(error) || error == ERROR_UNABLE_TO_REMOVE_REPLACED;
  if (!replaced && (denied || !MoveFileExW(temporary.Path().c_str(), iniPath.c_str(),
                                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))) {
    if (!denied) error = GetLastError();
    const DWORD now = GetFileAttributesW(iniPath.c_str());
    if (now != INVALID_FILE_ATTRIBUTES && (now & FILE_ATTRIBUTE_READONLY) != 0) return fail(SaveStatus::ReadOnly, error);
    return fail(IsInUseError(error) || error == ERROR_UNABLE_TO_REMOVE_REPLACED ? SaveStatus::InUse
                                                                                : SaveStatus::CannotWrite,
                error);
  }
  temporary.Keep();
  ReleaseProfile(iniPath);  // a copy read before is stale now
  return result;
}

}  // namespace configure
