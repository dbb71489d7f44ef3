// TIniGT: binds to one INI settings file and reads string values from it, optionally taking a pair
// of enclosing marks (a fence) off a value. A bare FileName is placed in the program's directory or
// the Windows directory, as DefaultDir says.
#pragma once

#include <memory>
#include <string>

#include "framework/Component.h"

namespace settings {

enum class TIniGTDefaultDir : unsigned char { ddApplication, ddWindows, ddNone };
enum class TIniGTFence : unsigned char { fnDoubleQuote, fnParenthesis, fnVer11Mode, fnNone };

// Reads profile strings from one resolved path; releasing it flushes the platform's cached copy.
class ProfileAccessor {
 public:
  explicit ProfileAccessor(std::string path) : path_(std::move(path)) {}
  ~ProfileAccessor();
  ProfileAccessor(const ProfileAccessor&) = delete;
  ProfileAccessor& operator=(const ProfileAccessor&) = delete;

  // The buffer a read hands the platform: a value comes back with at most kReadBufferSize - 1 bytes.
  static constexpr unsigned long kReadBufferSize = 2048;

  const std::string& Path() const { return path_; }
  // At most 2047 bytes, with the platform's own rules for quotes and the default.
  std::string Read(const std::string& section, const std::string& ident, const std::string& defaultValue) const;

 private:
  std::string path_;
};

class TIniGT : public framework::TComponent {
 public:
  explicit TIniGT(framework::TComponent* owner);
  ~TIniGT() override;

  TIniGTDefaultDir DefaultDir() const { return defaultDir_; }
  void SetDefaultDir(TIniGTDefaultDir value);
  // The name as assigned (never the resolved path).
  const std::string& FileName() const { return fileName_; }
  void SetFileName(const std::string& value);
  TIniGTFence Fence() const { return fence_; }
  void SetFence(TIniGTFence value);

  // The path reads use, resolved at the last assignment of FileName or DefaultDir.
  const std::string& ResolvedPath() const { return accessor_->Path(); }
  // Whether Fence has never been assigned since construction.
  bool FenceNeverAssigned() const { return fenceNeverAssigned_; }

  // The fenced read: the default goes in wrapped in the fence, and one enclosing pair comes off.
  std::string ReadString(const std::string& section, const std::string& ident, const std::string& defaultValue) const;
  // The accessor's read, with no fence processing.
  std::string ReadRawString(const std::string& section, const std::string& ident,
                            const std::string& defaultValue) const;

  void Loaded() override;

  static const framework::PropertyTable& ClassProperties();
  const framework::PropertyTable& Published() const override { return ClassProperties(); }

  // The default file name for an executable path: its name with the extension ".INI" put in place,
  // in small letters with the first letter a capital ("C:\X\LAUNCH.EXE" gives "Launch.ini").
  static std::string DefaultFileName(const std::string& executablePath);

 private:
  void ResolvePath(const std::string& fileName);

  bool fenceNeverAssigned_ = true;
  std::unique_ptr<ProfileAccessor> accessor_;
  TIniGTDefaultDir defaultDir_ = TIniGTDefaultDir::ddApplication;
  std::string fileName_;
  TIniGTFence fence_ = TIniGTFence::fnNone;
};

}  // namespace settings
