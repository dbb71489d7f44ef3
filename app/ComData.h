// The configuration data module: the one settings component through which the launcher reads the
// mail client's command line and the mail proxy's path, and the claim that makes one launcher per
// settings file run at a time in a user's session.
#pragma once

#include <string>

#include "framework/Forms.h"
#include "framework/Handles.h"
#include "settings/IniGT.h"

class TCommonData : public framework::TDataModule {
 public:
  explicit TCommonData(framework::TComponent* owner);

  // "Path" / "Mail": the mail client's complete command line; empty when missing.
  std::string GetMailCommand() const;
  // "Path" / "Ondrel": the mail proxy's executable path; empty when missing.
  std::string GetProxyPath() const;

  settings::TIniGT* IniGT1() const { return iniGT1_; }

  // Claims the settings file for this launcher: false when another launcher of this session holds
  // it. A launcher that only closes gives it back, so a new start right after works.
  bool ClaimSettingsFile();
  void ReleaseSettingsFile() { claim_.reset(); }
  // The name of the session's object that stands for a claim on the settings file at path.
  static std::string ClaimName(const std::string& path);

  static const framework::PropertyTable& ClassProperties();
  const framework::PropertyTable& Published() const override { return ClassProperties(); }
  void Loaded() override;

 protected:
  const framework::ClassRegistry& DescriptionClasses() const override;

 private:
  settings::TIniGT* iniGT1_ = nullptr;
  framework::UniqueHandle claim_;
};

// The program's configuration data module, reachable from the whole program.
extern TCommonData* CommonData;
