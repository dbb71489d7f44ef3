// An icon object that owns its icon handle, and the small-icon size of a display scale.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "framework/Handles.h"
#include "framework/Object.h"

namespace framework {

// The system's small-icon width (SM_CXSMICON) at dpi, or at the DPI the process started with when
// dpi is 0.
int SmallIconSize(UINT dpi = 0);

class TIcon : public TObject {
 public:
  TIcon() = default;

  HICON Handle() const { return icon_.get(); }
  bool Empty() const { return !icon_; }
  // Takes ownership of icon (0 clears); the icon held before is destroyed.
  void SetHandle(HICON icon) {
    icon_.reset(icon);
    data_.clear();
  }
  // Holds a copy of other's icon (or nothing when other is empty).
  void Assign(const TIcon& other) {
    icon_.reset(other.Empty() ? nullptr : CopyIcon(other.Handle()));
    data_ = other.data_;
  }
  // Loads an icon file's bytes (as a form description stores them), taking its image nearest size
  // pixels (0: the system's icon size); false, and nothing held, when they hold no icon.
  bool LoadFromData(std::string_view bytes, int size = 0);
  // The icon file bytes it was loaded from; empty when it was made otherwise (a form description
  // then stores its image, encoded by the writer: IconFileBytes in FormText.h).
  const std::string& Data() const { return data_; }
  // Holds other's icon at size pixels square: its file's own image nearest that size when other was
  // loaded from icon file bytes, so it is drawn crisp; else other's image scaled.
  void AssignSized(const TIcon& other, int size);
  // Loads a group-icon resource of a module (nullptr: the executable) at size pixels square, or at
  // the system's icon size when size is 0.
  bool LoadFromResource(const char* name, HMODULE module = nullptr, int size = 0);

 private:
  UniqueIcon icon_;
  std::string data_;  // the icon file it was loaded from, if any
};

}  // namespace framework
