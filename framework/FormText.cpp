// Parsing and loading of form descriptions; writing them is in FormWriter.cpp, which a program that
// only loads forms does not link.
#include "framework/FormText.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "framework/AnsiText.h"

namespace framework {

TComponent* ClassRegistry::Create(const std::string& className, TComponent* owner) const {
  for (const auto& [table, factory] : factories_) {
    if (table->ClassName() == className) return factory(owner);
  }
  throw EFormError("unknown class " + className);
}

void ClassRegistry::Set(const PropertyTable& classTable, Factory factory) {
  for (auto& [table, existing] : factories_) {
    if (table->ClassName() == classTable.ClassName()) {
      existing = factory;
      return;
    }
  }
  factories_.emplace_back(&classTable, factory);
}

namespace {

// ---- parsing ----

class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {}

  FormObject ParseObject() {
    ExpectWord("object");
    FormObject object;
    object.name = Identifier();
    Expect(':');
    object.className = Identifier();
    for (;;) {
      SkipBlanks();
      const std::string word = PeekIdentifier();
      if (word == "end") {
        Identifier();
        return object;
      }
      if (word == "object") {
        object.children.push_back(ParseObject());
        continue;
      }
      if (word.empty()) Fail("property, object or end expected");
      std::string name = Identifier();
      Expect('=');
      object.properties.emplace_back(std::move(name), Value());
    }
  }

  void ExpectEnd() {
    SkipBlanks();
    if (pos_ < text_.size()) Fail("text after the last end");
  }

 private:
  [[noreturn]] void Fail(const std::string& what) const {
    const long line = 1 + std::count(text_.begin(), text_.begin() + static_cast<std::ptrdiff_t>(pos_), '\n');
    throw EFormError("form description, line " + DecimalText(line) + ": " + what);
  }

  void SkipBlanks() {
    while (pos_ < text_.size()) {
      const unsigned char c = static_cast<unsigned char>(text_[pos_]);
      if (c == 0xEF && text_.substr(pos_, 3) == "\xEF\xBB\xBF") {  // a byte-order mark
        pos_ += 3;
      } else if (c <= ' ') {
        ++pos_;
      } else {
        break;
      }
    }
  }

  static bool IsIdentifierStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
  static bool IsIdentifierChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.'; }

  std::string PeekIdentifier() {
    SkipBlanks();
    if (pos_ >= text_.size() || !IsIdentifierStart(text_[pos_])) return {};
    size_t end = pos_;
    while (end < text_.size() && IsIdentifierChar(text_[end])) ++end;
    return std::string(text_.substr(pos_, end - pos_));
  }

  std::string Identifier() {
    std::string word = PeekIdentifier();
    if (word.empty()) Fail("name expected");
    pos_ += word.size();
    return word;
  }

  void ExpectWord(std::string_view word) {
    if (Identifier() != word) Fail(std::string(word) + " expected");
  }

  void Expect(char c) {
    SkipBlanks();
    if (pos_ >= text_.size() || text_[pos_] != c) Fail(std::string("'") + c + "' expected");
    ++pos_;
  }

  bool At(char c) {
    SkipBlanks();
    return pos_ < text_.size() && text_[pos_] == c;
  }

  FormValue Value() {
    SkipBlanks();
    if (pos_ >= text_.size()) Fail("value expected");
    const char c = text_[pos_];
    if (c == '(') {
      ++pos_;
      std::vector<std::string> strings;
      while (!At(')')) {
        if (pos_ >= text_.size()) Fail("')' expected");
        strings.push_back(StringValue());
      }
      ++pos_;
      return FormValue::Strings(std::move(strings));
    }
    if (c == '{') return FormValue::Binary(BinaryValue());
    if (c == '\'' || c == '#') return FormValue::String(StringValue());
    if (c == '-' || std::isdigit(static_cast<unsigned char>(c))) return FormValue::Integer(Number());
    return FormValue::Identifier(Identifier());
  }

  long long Number() {
    size_t end = pos_;
    if (text_[end] == '-') ++end;
    const size_t digits = end;
    while (end < text_.size() && std::isdigit(static_cast<unsigned char>(text_[end]))) ++end;
    if (end == digits || end - digits > 18) Fail("number expected");
    long long value = 0;
    std::from_chars(text_.data() + pos_, text_.data() + end, value);  // at most 18 digits: always fits
    pos_ = end;
    return value;
  }

  // Binary data: pairs of hexadecimal digits between braces, over as many lines as it takes.
  std::string BinaryValue() {
    ++pos_;
    std::string bytes;
    int high = -1;
    while (!At('}')) {
      const char c =
          pos_ < text_.size() ? static_cast<char>(std::tolower(static_cast<unsigned char>(text_[pos_++]))) : 0;
      const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
      if (digit < 0) Fail("pairs of hexadecimal digits expected, then '}'");
      if (high < 0) {
        high = digit;
      } else {
        bytes += static_cast<char>(high * 16 + digit);
        high = -1;
      }
    }
    if (high >= 0) Fail("pairs of hexadecimal digits expected, then '}'");
    ++pos_;
    return bytes;
  }

  // Quoted parts are UTF-8 and become code page 932 bytes; #n parts are the byte n.
  std::string StringValue() {
    SkipBlanks();
    std::string bytes;
    bool any = false;
    while (pos_ < text_.size()) {
      if (text_[pos_] == '\'') {
        std::string utf8;
        ++pos_;
        for (;;) {
          if (pos_ >= text_.size() || text_[pos_] == '\n') Fail("unterminated string");
          if (text_[pos_] == '\'') {
            if (pos_ + 1 < text_.size() && text_[pos_ + 1] == '\'') {
              utf8 += '\'';
              pos_ += 2;
              continue;
            }
            ++pos_;
            break;
          }
          utf8 += text_[pos_++];
        }
        bytes += Utf8ToAnsi(utf8, kProgramCodePage);
      } else if (text_[pos_] == '#') {
        ++pos_;
        size_t end = pos_;
        while (end < text_.size() && end - pos_ < 3 && std::isdigit(static_cast<unsigned char>(text_[end]))) ++end;
        if (end == pos_) Fail("byte value expected after #");
        int value = 0;
        std::from_chars(text_.data() + pos_, text_.data() + end, value);  // at most 3 digits
        if (value > 255) Fail("byte value above 255");
        bytes += static_cast<char>(value);
        pos_ = end;
      } else {
        break;
      }
      any = true;
    }
    if (!any) Fail("string expected");
    return bytes;
  }

  std::string_view text_;
  size_t pos_ = 0;
};

// ---- loading ----

class Loader {
 public:
  Loader(TComponent& root, const ClassRegistry& classes) : root_(root), classes_(classes), context_(root) {}

  void Load(const FormObject& description) {
    if (description.className != root_.Published().ClassName()) {
      throw EFormError("description of " + description.className + " given to " + root_.Published().ClassName());
    }
    root_.SetLoading(true);
    root_.SetName(description.name);
    loaded_.push_back(&root_);
    Apply(root_, description);
    for (const FormObject& child : description.children) LoadChild(child, &root_);
    context_.RunFixups();
    for (TComponent* component : loaded_) component->Loaded();
  }

 private:
  void LoadChild(const FormObject& description, TComponent* parent) {
    if (root_.FindComponent(description.name) != nullptr) throw EFormError("duplicate name " + description.name);
    TComponent* component = classes_.Create(description.className, &root_);
    component->SetLoading(true);
    component->SetName(description.name);
    if (parent != &root_) component->SetParentComponent(parent);
    loaded_.push_back(component);
    Apply(*component, description);
    for (const FormObject& child : description.children) LoadChild(child, component);
  }

  // Stored values go through the setters in declaration order, whatever order the text has.
  void Apply(TComponent& component, const FormObject& description) {
    const PropertyTable& table = component.Published();
    std::vector<std::pair<int, const std::pair<std::string, FormValue>*>> ordered;
    for (const auto& assignment : description.properties) {
      const int index = table.IndexOf(assignment.first);
      if (index < 0) throw EFormError("unknown property " + assignment.first + " of " + table.ClassName());
      ordered.emplace_back(index, &assignment);
    }
    // A handful of entries: an insertion sort, stable like std::stable_sort but far less code.
    for (size_t i = 1; i < ordered.size(); ++i) {
      for (size_t j = i; j > 0 && ordered[j].first < ordered[j - 1].first; --j) std::swap(ordered[j], ordered[j - 1]);
    }
    for (const auto& [index, assignment] : ordered) {
      table.Find(assignment->first)->Load(component, assignment->second, context_);
    }
  }

  TComponent& root_;
  const ClassRegistry& classes_;
  LoadContext context_;
  std::vector<TComponent*> loaded_;
};

}  // namespace

FormObject ParseForm(std::string_view text) {
  Parser parser(text);
  FormObject object = parser.ParseObject();
  parser.ExpectEnd();
  return object;
}

void ReadComponent(TComponent& root, std::string_view text, const ClassRegistry& classes) {
  Loader(root, classes).Load(ParseForm(text));
}

void ReadComponentResource(TComponent& root, const char* resourceName, const ClassRegistry& classes, HMODULE module) {
  if (module == nullptr) module = GetModuleHandleA(nullptr);
  HRSRC resource = FindResourceA(module, resourceName, MAKEINTRESOURCEA(10) /* RT_RCDATA */);
  HGLOBAL loaded = resource != nullptr ? LoadResource(module, resource) : nullptr;
  const char* data = loaded != nullptr ? static_cast<const char*>(LockResource(loaded)) : nullptr;
  if (data == nullptr) throw EFormError(std::string("no form resource ") + resourceName);
  ReadComponent(root, std::string_view(data, SizeofResource(module, resource)), classes);
}

}  // namespace framework
