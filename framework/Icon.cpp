// Icon object, and the small-icon size of a display scale.
#include "framework/Icon.h"

#include <cstdint>

#include "framework/Dpi.h"

namespace framework {

int SmallIconSize(UINT dpi) { return MetricAt(SM_CXSMICON, dpi); }

void TIcon::AssignSized(const TIcon& other, int size) {
  if (!other.data_.empty() && LoadFromData(other.data_, size)) {
    data_.clear();  // a copy at one size, not the file it was read from
    return;
  }
  // Not LR_COPYFROMRESOURCE: that finds the resource's other images only for shared icons.
  SetHandle(other.Empty() ? nullptr : static_cast<HICON>(CopyImage(other.Handle(), IMAGE_ICON, size, size, 0)));
}

namespace {
// Icon file layout: a 6-byte header (0, type 1, count), then 16-byte entries (width, height, colours,
// 0, planes, bits per pixel, image size, image offset), then the images.
uint32_t Little(std::string_view bytes, size_t at, size_t size) {
  uint32_t value = 0;
  for (size_t i = size; i-- > 0;) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  return value;
}
}  // namespace

bool TIcon::LoadFromData(std::string_view bytes, int size) {
  SetHandle(nullptr);
  if (bytes.size() < 6 || Little(bytes, 0, 2) != 0 || Little(bytes, 2, 2) != 1) return false;
  const size_t count = Little(bytes, 4, 2);
  if (count == 0 || bytes.size() < 6 + 16 * count) return false;
  // The image nearest the size wanted, a larger one before a smaller one.
  const int wanted = size != 0 ? size : GetSystemMetrics(SM_CXICON);
  size_t best = 0;
  int bestWidth = 0;
  for (size_t i = 0; i < count; ++i) {
    const int width = bytes[6 + 16 * i] == 0 ? 256 : static_cast<unsigned char>(bytes[6 + 16 * i]);
    const auto distance = [wanted](int w) { return w >= wanted ? 2 * (w - wanted) : 2 * (wanted - w) + 1; };
    if (bestWidth == 0 || distance(width) < distance(bestWidth)) {
      best = i;
      bestWidth = width;
    }
  }
  const size_t imageSize = Little(bytes, 6 + 16 * best + 8, 4);
  const size_t offset = Little(bytes, 6 + 16 * best + 12, 4);
  if (offset > bytes.size() || imageSize > bytes.size() - offset || imageSize < 40) return false;
  // At the size asked for, else at the image's own. The call only reads the image, though its
  // parameter is not const.
  const int side = size != 0 ? size : bestWidth;
  icon_.reset(CreateIconFromResourceEx(reinterpret_cast<PBYTE>(const_cast<char*>(bytes.data() + offset)),
                                       static_cast<DWORD>(imageSize), TRUE, 0x00030000, side, side, LR_DEFAULTCOLOR));
  if (!Empty()) data_.assign(bytes);
  return !Empty();
}

bool TIcon::LoadFromResource(const char* name, HMODULE module, int size) {
  if (module == nullptr) module = GetModuleHandleA(nullptr);
  // Not LR_SHARED: this object owns the icon and destroys it.
  icon_.reset(static_cast<HICON>(LoadImageA(module, name, IMAGE_ICON, size, size, size == 0 ? LR_DEFAULTSIZE : 0)));
  return !Empty();
}

}  // namespace framework
