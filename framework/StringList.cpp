// String list with objects and its index error.
#include "framework/StringList.h"

#include <string>

#include "framework/AnsiText.h"

namespace framework {

size_t TStringList::Checked(int index) const {
  if (index < 0 || index >= Count()) {
    throw EStringListError("リストのインデックスが範囲を超えています (" + DecimalText(index) + ")");
  }
  return static_cast<size_t>(index);
}

int TStringList::AddObject(std::string text, TObject* object) {
  items_.push_back(Item{std::move(text), object});
  return Count() - 1;
}

void TStringList::Delete(int index) { items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(Checked(index))); }

int TStringList::IndexOf(const std::string& text) const {
  for (size_t i = 0; i < items_.size(); ++i) {
    if (items_[i].text == text) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace framework
