// Configuration data module: section "Path" of "TolvaneOndrel.ini" beside the executable.
#include "app/ComData.h"

#include "framework/Properties.h"

TCommonData* CommonData = nullptr;

namespace {
// The configuration unit's fixed strings.
const char kSection[] = "Path";
const char kMailKey[] = "Mail";
const char kProxyKey[] = "Ondrel";
}  // namespace

TCommonData::TCommonData(framework::TComponent* owner) : TDataModule(owner) {}

const framework::ClassRegistry& TCommonData::DescriptionClasses() const {
  static const framework::ClassRegistry classes = framework::ClassRegistry().Add<settings::TIniGT>();
  return classes;
}

void TCommonData::Loaded() {
  TDataModule::Loaded();
  iniGT1_ = framework::ComponentAs<settings::TIniGT>(FindComponent("IniGT1"));
}

std::string TCommonData::GetMailCommand() const {
  return iniGT1_ != nullptr ? iniGT1_->ReadString(kSection, kMailKey, "") : std::string();
}

std::string TCommonData::GetProxyPath() const {
  return iniGT1_ != nullptr ? iniGT1_->ReadString(kSection, kProxyKey, "") : std::string();
}

const framework::PropertyTable& TCommonData::ClassProperties() {
  static const framework::PropertyTable table("TCommonData", &framework::TDataModule::ClassProperties());
  return table;
}
