// INI settings component.
#include "settings/IniGT.h"

#include <windows.h>

#include "framework/AnsiText.h"
#include "framework/Application.h"
#include "framework/Paths.h"
#include "framework/Properties.h"

namespace settings {

using framework::PropertyTable;

namespace {
constexpr DWORD kReadBufferSize = ProfileAccessor::kReadBufferSize;
constexpr char kDoubleQuote = '"';
// Halfwidth corner brackets of code page 932.
constexpr char kLeftCorner = '\xA2';
constexpr char kRightCorner = '\xA3';

constexpr char kFenceWarning[] =
    "fnVer11Mode以外の値にすると、TIniGTのVer1.0とVer1.1で書き込んだﾌｧｲﾙを正しく読めない事があります。";
constexpr char kWarningCaption[] = "警告";
}  // namespace

ProfileAccessor::~ProfileAccessor() {
  // Null section, key and value: flush the platform's cached copy of the file.
  WritePrivateProfileStringA(nullptr, nullptr, nullptr, path_.c_str());
}

std::string ProfileAccessor::Read(const std::string& section, const std::string& ident,
                                  const std::string& defaultValue) const {
  char buffer[kReadBufferSize];
  buffer[0] = '\0';
  const DWORD copied = GetPrivateProfileStringA(section.c_str(), ident.c_str(), defaultValue.c_str(), buffer,
                                                kReadBufferSize, path_.c_str());
  return std::string(buffer, copied < kReadBufferSize ? copied : kReadBufferSize - 1);
}

TIniGT::TIniGT(framework::TComponent* owner)
    : TComponent(owner), accessor_(std::make_unique<ProfileAccessor>(std::string())) {}

TIniGT::~TIniGT() { accessor_.reset(); }

void TIniGT::SetDefaultDir(TIniGTDefaultDir value) {
  defaultDir_ = value;
  ResolvePath(fileName_);
}

void TIniGT::SetFileName(const std::string& value) { ResolvePath(value); }

void TIniGT::ResolvePath(const std::string& fileName) {
  fileName_ = fileName;
  accessor_.reset();
  std::string path;
  if (framework::LastDelimiter(fileName, "\\:") != std::string::npos) {
    path = fileName;  // it has a directory part
  } else {
    switch (defaultDir_) {
      case TIniGTDefaultDir::ddApplication:
        path = framework::ExtractFilePath(framework::ModuleFileName()) + fileName;
        break;
      case TIniGTDefaultDir::ddWindows:
        path = framework::WindowsDirectory() + "\\" + fileName;
        break;
      case TIniGTDefaultDir::ddNone:
        path = fileName;
        break;
    }
  }
  accessor_ = std::make_unique<ProfileAccessor>(std::move(path));
}

void TIniGT::SetFence(TIniGTFence value) {
  if (value != fence_) {
    if (IsDesigning() && fence_ == TIniGTFence::fnVer11Mode) {
      framework::ShowMessageBox(kFenceWarning, kWarningCaption, MB_OK | MB_ICONWARNING);
    }
    fence_ = value;
  }
  fenceNeverAssigned_ = false;
}

std::string TIniGT::ReadRawString(const std::string& section, const std::string& ident,
                                  const std::string& defaultValue) const {
  return accessor_->Read(section, ident, defaultValue);
}

std::string TIniGT::ReadString(const std::string& section, const std::string& ident,
                               const std::string& defaultValue) const {
  std::string wrapped;
  switch (fence_) {
    case TIniGTFence::fnDoubleQuote:
      wrapped = kDoubleQuote + defaultValue + kDoubleQuote;
      break;
    case TIniGTFence::fnParenthesis:
    case TIniGTFence::fnVer11Mode:
      wrapped = kLeftCorner + defaultValue + kRightCorner;
      break;
    case TIniGTFence::fnNone:
      wrapped = defaultValue;
      break;
  }
  std::string value = ReadRawString(section, ident, wrapped);
  if (value.size() >= 2) {
    // Single bytes are tested, without regard to double-byte characters, as files written with
    // these marks expect.
    const bool quotes = value.front() == kDoubleQuote && value.back() == kDoubleQuote;
    const bool corners = value.front() == kLeftCorner && value.back() == kRightCorner;
    const bool takesQuotes = fence_ == TIniGTFence::fnDoubleQuote || fence_ == TIniGTFence::fnVer11Mode;
    const bool takesCorners = fence_ == TIniGTFence::fnParenthesis || fence_ == TIniGTFence::fnVer11Mode;
    if ((quotes && takesQuotes) || (corners && takesCorners)) value = value.substr(1, value.size() - 2);
  }
  return value;
}

std::string TIniGT::DefaultFileName(const std::string& executablePath) {
  std::string name = framework::AsciiLowerCase(framework::ExtractFileBaseName(executablePath) + ".INI");
  if (!name.empty() && name[0] >= 'a' && name[0] <= 'z') name[0] = static_cast<char>(name[0] - 'a' + 'A');
  return name;
}

void TIniGT::Loaded() {
  TComponent::Loaded();
  if (fileName_.empty() && !IsDesigning()) SetFileName(DefaultFileName(framework::ModuleFileName()));
  if (IsDesigning() && fenceNeverAssigned_) fence_ = TIniGTFence::fnVer11Mode;
}

const PropertyTable& TIniGT::ClassProperties() {
  static const PropertyTable table = [] {
    PropertyTable t("TIniGT", &framework::TComponent::ClassProperties());
    t.Enumeration("DefaultDir", &TIniGT::DefaultDir, &TIniGT::SetDefaultDir,
                  {"ddApplication", "ddWindows", "ddNone"})
        .String("FileName", &TIniGT::FileName, &TIniGT::SetFileName)
        .Enumeration("Fence", &TIniGT::Fence, &TIniGT::SetFence,
                      {"fnDoubleQuote", "fnParenthesis", "fnVer11Mode", "fnNone"});
    return t;
  }();
  return table;
}

}  // namespace settings
