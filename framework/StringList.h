// An ordered list of strings, each carrying an object reference that the list does not own.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "framework/Object.h"

namespace framework {

// Raised for an index outside 0 .. Count - 1; the text carries the index.
class EStringListError : public Exception {
 public:
  using Exception::Exception;
};

class TStringList : public TObject {
 public:
  int Count() const { return static_cast<int>(items_.size()); }
  const std::string& Strings(int index) const { return items_[Checked(index)].text; }
  TObject* Objects(int index) const { return items_[Checked(index)].object; }

  int Add(std::string text) { return AddObject(std::move(text), nullptr); }
  int AddObject(std::string text, TObject* object);
  void Delete(int index);
  void Clear() { items_.clear(); }
  int IndexOf(const std::string& text) const;
  // Copies the strings and their object references of another list.
  void Assign(const TStringList& other) { items_ = other.items_; }

 private:
  struct Item {
    std::string text;
    TObject* object = nullptr;
  };
  size_t Checked(int index) const;

  std::vector<Item> items_;
};

}  // namespace framework
