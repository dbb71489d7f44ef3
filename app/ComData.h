// The configuration data module: the one settings component through which the launcher reads the
// mail client's command line and the mail proxy's path.
#pragma once

#include <string>

#include "framework/Forms.h"
#include "settings/IniGT.h"

class TCommonData : public framework::TDataModule {
 public:
  explicit TCommonData(framework::TComponent* owner);

  // "Path" / "Mail": the mail client's complete command line; empty when missing.
  std::string GetMailCommand() const;
  // "Path" / "Ondrel": the mail proxy's executable path; empty when missing.
  std::string GetProxyPath() const;

  settings::TIniGT* IniGT1() const { return iniGT1_; }

  static const framework::PropertyTable& ClassProperties();
  const framework::PropertyTable& Published() const override { return ClassProperties(); }
  void Loaded() override;

 protected:
  const framework::ClassRegistry& DescriptionClasses() const override;

 private:
  settings::TIniGT* iniGT1_ = nullptr;
};

// The program's configuration data module, reachable from the whole program.
extern TCommonData* CommonData;
