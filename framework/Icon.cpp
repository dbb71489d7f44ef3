// Icon object.
#include "framework/Icon.h"

namespace framework {

bool TIcon::LoadFromResource(const char* name, HMODULE module) {
  if (module == nullptr) module = GetModuleHandleA(nullptr);
  // Not LR_SHARED: this object owns the icon and destroys it.
  icon_.reset(static_cast<HICON>(LoadImageA(module, name, IMAGE_ICON, 0, 0, LR_DEFAULTSIZE)));
  return !Empty();
}

}  // namespace framework
