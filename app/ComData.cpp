// Configuration data module: section "Path" of "TolvaneOndrel.ini" beside the executable.
#include "app/ComData.h"

#include <cstdint>

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

std::string TCommonData::ClaimName(const std::string& path) {
  // The same file whatever the letter case or short names in the path. An object name cannot hold
  // backslashes, and a path may be longer than a name may: its 64-bit hash (FNV-1a) stands for it.
  char key[MAX_PATH * 2];
  const DWORD length = GetLongPathNameA(path.c_str(), key, sizeof key);
  if (length == 0 || length >= sizeof key) lstrcpynA(key, path.c_str(), sizeof key);  // no such file yet
  CharUpperA(key);
  uint64_t hash = 14695981039346656037ull;
  for (const char* byte = key; *byte != '\0'; ++byte)
    hash = (hash ^ static_cast<unsigned char>(*byte)) * 1099511628211ull;
  char name[40];
  wsprintfA(name, "Local\\TolvaneLauncher.%08lX%08lX", static_cast<unsigned long>(hash >> 32),
            static_cast<unsigned long>(hash));
  return name;
}

bool TCommonData::ClaimSettingsFile() {
  if (iniGT1_ == nullptr) return true;
  claim_.reset(CreateMutexA(nullptr, FALSE, ClaimName(iniGT1_->ResolvedPath()).c_str()));
  const DWORD error = GetLastError();
  if (claim_ && error == ERROR_ALREADY_EXISTS) {
    claim_.reset();
    return false;
  }
  // The name is taken by an object this launcher may not open (a launcher running elevated, or
  // another program's stricter access list) or by an object of another kind: claimed all the same.
  if (!claim_ && (error == ERROR_ACCESS_DENIED || error == ERROR_INVALID_HANDLE)) return false;
  return true;  // no object could be made for another reason: the launcher runs as it always has
}

const framework::PropertyTable& TCommonData::ClassProperties() {
  static const framework::PropertyTable table("TCommonData", &framework::TDataModule::ClassProperties());
  return table;
}
