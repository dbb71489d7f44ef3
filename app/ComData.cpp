// Configuration data module: section "Path" of "TolvaneOndrel.ini" beside the executable.
#include "app/ComData.h"

#include "framework/Properties.h"

TCommonData* CommonData = nullptr;

namespace {
// The configuration unit's fixed strings.
const char kSection[] = "Path";
const char kMailKey[] = "Mail";
const char kProxyKey[] = "Ondrel";

// One value of the section; empty when it is missing or there is no settings component. The two
// getters share it: a copy each would cost the launcher 200 bytes.
std::string ReadPathValue(const settings::TIniGT* ini, const char* key) {
  return ini != nullptr ? ini->ReadString(kSection, key, "") : std::string();
}
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

std::string TCommonData::GetMailCommand() const { return ReadPathValue(iniGT1_, kMailKey); }

std::string TCommonData::GetProxyPath() const { return ReadPathValue(iniGT1_, kProxyKey); }

const framework::PropertyTable& TCommonData::ClassProperties() {
  static const framework::PropertyTable table("TCommonData", &framework::TDataModule::ClassProperties());
  return table;
}
