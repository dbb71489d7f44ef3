// Property tables: lookup across the class tree and reference fixups.
#include "framework/Properties.h"

#include "framework/AnsiText.h"
#include "framework/Icon.h"

namespace framework {

namespace detail {
template bool CallGetter<bool, bool>(const TComponent&, const MemberFunction&);
template void CallSetter<bool, bool>(TComponent&, const MemberFunction&, bool);
template long long CallGetter<int, long long>(const TComponent&, const MemberFunction&);
template void CallSetter<int, long long>(TComponent&, const MemberFunction&, long long);
template std::string CallStringGetter<const std::string&>(const TComponent&, const MemberFunction&);
template void CallStringSetter<const std::string&>(TComponent&, const MemberFunction&, const std::string&);
template const std::string& CallEventNameGetter<TObject*>(const TComponent&, const MemberFunction&);
template bool CallEventSetter<TObject*>(TComponent&, const MemberFunction&, const PublishedMethod&, const std::string&);

TStringList& CallList(TComponent& component, const MemberFunction& list) {
  return (component.*list.As<TStringList& (TComponent::*)()>())();
}
}  // namespace detail

void LoadContext::RunFixups() {
  std::vector<std::function<void()>> fixups;
  fixups.swap(fixups_);
  for (const auto& fixup : fixups) fixup();
}

PropertyInfo::PropertyInfo(const char* name) : name_(name) {}

void PropertyInfo::Mismatch() const { throw EFormError("invalid value for property " + name_); }

const PublishedMethod* PropertyInfo::FindMethod(const FormValue& value, const LoadContext& context) const {
  if (value.kind != FormValue::Kind::Identifier) Mismatch();
  return context.Root().FindMethod(value.text);
}

void PropertyInfo::NoMethod(const std::string& method) const {
  throw EFormError("no method " + method + " of the right kind for " + name_);
}

namespace {

using detail::Access;
using detail::EventAccess;
using detail::MemberFunction;
using detail::ReferenceAccess;
using detail::StringAccess;

class BooleanProperty : public PropertyInfo {
 public:
  BooleanProperty(const char* name, const Access<bool>& access, std::optional<bool> storedDefault)
      : PropertyInfo(name), access_(access), default_(storedDefault) {}
  bool IsStored(const TComponent& c) const override {
    return !default_ || access_.callGet(c, access_.get) != *default_;
  }
  FormValue Get(const TComponent& c) const override {
    return FormValue::Identifier(access_.callGet(c, access_.get) ? "True" : "False");
  }
  void Load(TComponent& c, const FormValue& v, LoadContext&) const override {
    if (v.kind != FormValue::Kind::Identifier || (v.text != "True" && v.text != "False")) Mismatch();
    access_.callSet(c, access_.set, v.text == "True");
  }

 private:
  Access<bool> access_;
  std::optional<bool> default_;
};

class IntegerProperty : public PropertyInfo {
 public:
  IntegerProperty(const char* name, const Access<long long>& access, std::optional<long long> storedDefault)
      : PropertyInfo(name), access_(access), default_(storedDefault) {}
  bool IsStored(const TComponent& c) const override {
    return !default_ || access_.callGet(c, access_.get) != *default_;
  }
  FormValue Get(const TComponent& c) const override { return FormValue::Integer(access_.callGet(c, access_.get)); }
  void Load(TComponent& c, const FormValue& v, LoadContext&) const override {
    if (v.kind != FormValue::Kind::Integer) Mismatch();
    access_.callSet(c, access_.set, v.number);
  }

 private:
  Access<long long> access_;
  std::optional<long long> default_;
};

// Values are ordinals; a description writes their names (the number of one without a name).
class EnumerationProperty : public PropertyInfo {
 public:
  EnumerationProperty(const char* name, const Access<size_t>& access, std::initializer_list<const char*> names,
                      std::optional<size_t> storedDefault)
      : PropertyInfo(name), access_(access), names_(names.begin(), names.end()), default_(storedDefault) {}
  bool IsStored(const TComponent& c) const override {
    return !default_ || access_.callGet(c, access_.get) != *default_;
  }
  FormValue Get(const TComponent& c) const override {
    const size_t ordinal = access_.callGet(c, access_.get);
    return FormValue::Identifier(ordinal < names_.size() ? names_[ordinal] : DecimalText(static_cast<long>(ordinal)));
  }
  void Load(TComponent& c, const FormValue& v, LoadContext&) const override {
    if (v.kind != FormValue::Kind::Identifier) Mismatch();
    for (size_t i = 0; i < names_.size(); ++i) {
      if (names_[i] == v.text) return access_.callSet(c, access_.set, i);
    }
    Mismatch();
  }

 private:
  Access<size_t> access_;
  std::vector<std::string> names_;
  std::optional<size_t> default_;
};

class StringProperty : public PropertyInfo {
 public:
  StringProperty(const char* name, const StringAccess& access, bool storedNever)
      : PropertyInfo(name), access_(access), storedNever_(storedNever) {}
  bool IsStored(const TComponent& c) const override {
    return !storedNever_ && !access_.callGet(c, access_.get).empty();
  }
  FormValue Get(const TComponent& c) const override { return FormValue::String(access_.callGet(c, access_.get)); }
  void Load(TComponent& c, const FormValue& v, LoadContext&) const override {
    if (v.kind != FormValue::Kind::String) Mismatch();
    access_.callSet(c, access_.set, v.text);
  }

 private:
  StringAccess access_;
  bool storedNever_;
};

class IconProperty : public PropertyInfo {
 public:
  IconProperty(const char* name, const MemberFunction& icon, const MemberFunction& set)
      : PropertyInfo(name), icon_(icon), set_(set) {}
  bool IsStored(const TComponent& c) const override { return !Icon(c).Empty(); }
  FormValue Get(const TComponent& c) const override {
    const TIcon& icon = Icon(c);
    return FormValue::Binary(icon.Data(), icon.Data().empty() ? icon.Handle() : nullptr);
  }
  void Load(TComponent& c, const FormValue& v, LoadContext&) const override {
    if (v.kind != FormValue::Kind::Binary) Mismatch();
    TIcon icon;
    if (!icon.LoadFromData(v.text)) Mismatch();
    (c.*set_.As<void (TComponent::*)(const TIcon*)>())(&icon);
  }

 private:
  TIcon& Icon(const TComponent& c) const {
    return (const_cast<TComponent&>(c).*icon_.As<TIcon& (TComponent::*)()>())();
  }
  MemberFunction icon_;
  MemberFunction set_;
};

class StringsProperty : public PropertyInfo {
 public:
  using CallList = TStringList& (*)(TComponent&, const MemberFunction&);
  StringsProperty(const char* name, const MemberFunction& list, CallList callList)
      : PropertyInfo(name), list_(list), callList_(callList) {}
  bool IsStored(const TComponent& c) const override { return List(c).Count() > 0; }
  FormValue Get(const TComponent& c) const override {
    const TStringList& list = List(c);
    std::vector<std::string> strings;
    for (int i = 0; i < list.Count(); ++i) strings.push_back(list.Strings(i));
    return FormValue::Strings(std::move(strings));
  }
  void Load(TComponent& c, const FormValue& v, LoadContext&) const override {
    if (v.kind != FormValue::Kind::Strings) Mismatch();
    TStringList& list = callList_(c, list_);
    list.Clear();
    for (const std::string& s : v.strings) list.Add(s);
  }

 private:
  const TStringList& List(const TComponent& c) const { return callList_(const_cast<TComponent&>(c), list_); }
  MemberFunction list_;
  CallList callList_;
};

class ReferenceProperty : public PropertyInfo {
 public:
  ReferenceProperty(const char* name, const ReferenceAccess& access) : PropertyInfo(name), access_(access) {}
  bool IsStored(const TComponent& c) const override { return access_.callGet(c, access_.get) != nullptr; }
  FormValue Get(const TComponent& c) const override {
    return FormValue::Identifier(access_.callGet(c, access_.get)->Name());
  }
  void Load(TComponent& c, const FormValue& v, LoadContext& context) const override {
    if (v.kind != FormValue::Kind::Identifier) Mismatch();
    // Resolved once every component of the root exists; a component of another class is no match.
    context.Defer([this, &c, &context, name = v.text] {
      if (!access_.callSet(c, access_.set, context.Root().FindComponent(name))) {
        throw EFormError("unresolved reference " + name + " in " + Name());
      }
    });
  }

 private:
  ReferenceAccess access_;
};

class EventProperty : public PropertyInfo {
 public:
  EventProperty(const char* name, const EventAccess& access) : PropertyInfo(name), access_(access) {}
  bool IsStored(const TComponent& c) const override { return !access_.callGetName(c, access_.get).empty(); }
  FormValue Get(const TComponent& c) const override {
    return FormValue::Identifier(access_.callGetName(c, access_.get));
  }
  void Load(TComponent& c, const FormValue& v, LoadContext& context) const override {
    const PublishedMethod* method = FindMethod(v, context);
    if (method == nullptr || !access_.callSet(c, access_.set, *method, v.text)) NoMethod(v.text);
  }

 private:
  EventAccess access_;
};

}  // namespace

PropertyTable& PropertyTable::AddBoolean(const char* name, const detail::Access<bool>& access,
                                         std::optional<bool> storedDefault) {
  return Add(new BooleanProperty(name, access, storedDefault));
}

PropertyTable& PropertyTable::AddInteger(const char* name, const detail::Access<long long>& access,
                                         std::optional<long long> storedDefault) {
  return Add(new IntegerProperty(name, access, storedDefault));
}

PropertyTable& PropertyTable::AddEnumeration(const char* name, const detail::Access<size_t>& access,
                                             std::initializer_list<const char*> names,
                                             std::optional<size_t> storedDefault) {
  return Add(new EnumerationProperty(name, access, names, storedDefault));
}

PropertyTable& PropertyTable::AddString(const char* name, const detail::StringAccess& access, bool storedNever) {
  return Add(new StringProperty(name, access, storedNever));
}

PropertyTable& PropertyTable::AddStrings(const char* name, const detail::MemberFunction& list,
                                         TStringList& (*callList)(TComponent&, const detail::MemberFunction&)) {
  return Add(new StringsProperty(name, list, callList));
}

PropertyTable& PropertyTable::AddIcon(const char* name, const detail::MemberFunction& icon,
                                      const detail::MemberFunction& set) {
  return Add(new IconProperty(name, icon, set));
}

PropertyTable& PropertyTable::AddReference(const char* name, const detail::ReferenceAccess& access) {
  return Add(new ReferenceProperty(name, access));
}

PropertyTable& PropertyTable::AddEvent(const char* name, const detail::EventAccess& access) {
  return Add(new EventProperty(name, access));
}

PropertyTable& PropertyTable::Add(PropertyInfo* property) {
  std::unique_ptr<PropertyInfo> owned(property);
  own_.push_back(std::move(owned));
  return *this;
}

const PropertyInfo* PropertyTable::Find(std::string_view name) const {
  for (const auto& property : own_) {
    if (property->Name() == name) return property.get();
  }
  return parent_ != nullptr ? parent_->Find(name) : nullptr;
}

std::vector<const PropertyInfo*> PropertyTable::All() const {
  std::vector<const PropertyInfo*> all = parent_ != nullptr ? parent_->All() : std::vector<const PropertyInfo*>();
  for (const auto& property : own_) all.push_back(property.get());
  return all;
}

int PropertyTable::IndexOf(std::string_view name) const {
  const std::vector<const PropertyInfo*> all = All();
  for (size_t i = 0; i < all.size(); ++i) {
    if (all[i]->Name() == name) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace framework
