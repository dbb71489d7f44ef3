// An icon object that owns its icon handle.
#pragma once

#include <windows.h>

#include "framework/Handles.h"
#include "framework/Object.h"

namespace framework {

class TIcon : public TObject {
 public:
  TIcon() = default;

  HICON Handle() const { return icon_.get(); }
  bool Empty() const { return !icon_; }
  // Takes ownership of icon (0 clears); the icon held before is destroyed.
  void SetHandle(HICON icon) { icon_.reset(icon); }
  // Holds a copy of other's icon (or nothing when other is empty).
  void Assign(const TIcon& other) { icon_.reset(other.Empty() ? nullptr : CopyIcon(other.Handle())); }
  // Loads a group-icon resource of a module (nullptr: the executable) at the system's icon size.
  bool LoadFromResource(const char* name, HMODULE module = nullptr);

 private:
  UniqueIcon icon_;
};

}  // namespace framework
