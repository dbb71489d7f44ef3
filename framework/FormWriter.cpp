// Writing form descriptions: a component tree described and formatted as text. Kept apart from the
// reader so that a program that only loads its forms links none of this.
#include <string>

#include "framework/AnsiText.h"
#include "framework/FormText.h"

namespace framework {

namespace {
// A code page 932 character is written inside quotes when it is printable and survives the trip
// through UTF-8; anything else as #n bytes.
std::string FormatString(const std::string& bytes) {
  std::string out;
  bool quoted = false;
  const auto openQuote = [&] {
    if (!quoted) out += '\'';
    quoted = true;
  };
  const auto closeQuote = [&] {
    if (quoted) out += '\'';
    quoted = false;
  };
  for (size_t i = 0; i < bytes.size();) {
    const size_t length = CharLength(bytes, i, kProgramCodePage);
    const std::string character = bytes.substr(i, length);
    const unsigned char first = static_cast<unsigned char>(character[0]);
    bool printable = false;
    std::string utf8;
    if (length == 1 && first >= 0x20 && first < 0x7F) {
      printable = true;
      utf8 = character;
    } else if (first >= 0x80) {
      utf8 = AnsiToUtf8(character, kProgramCodePage);
      printable = !utf8.empty() && Utf8ToAnsi(utf8, kProgramCodePage) == character;
    }
    if (printable) {
      openQuote();
      out += utf8 == "'" ? "''" : utf8;
    } else {
      closeQuote();
      for (const char byte : character) out += '#' + std::to_string(static_cast<unsigned char>(byte));
    }
    i += length;
  }
  closeQuote();
  if (out.empty()) out = "''";
  return out;
}

void FormatObject(const FormObject& object, int depth, std::string& out) {
  const std::string indent(static_cast<size_t>(depth) * 2, ' ');
  out += indent + "object " + object.name + ": " + object.className + "\n";
  for (const auto& [name, value] : object.properties) {
    out += indent + "  " + name + " = ";
    switch (value.kind) {
      case FormValue::Kind::Identifier:
        out += value.text;
        break;
      case FormValue::Kind::Integer:
        out += std::to_string(value.number);
        break;
      case FormValue::Kind::String:
        out += FormatString(value.text);
        break;
      case FormValue::Kind::Strings:
        out += "(";
        for (const std::string& s : value.strings) out += "\n" + indent + "    " + FormatString(s);
        out += ")";
        break;
    }
    out += "\n";
  }
  for (const FormObject& child : object.children) FormatObject(child, depth + 1, out);
  out += indent + "end\n";
}

FormObject Describe(const TComponent& component, const TComponent& root) {
  FormObject object;
  object.name = component.Name();
  object.className = component.Published().ClassName();
  for (const PropertyInfo* property : component.Published().All()) {
    if (property->IsStored(component)) object.properties.emplace_back(property->Name(), property->Get(component));
  }
  for (const TComponent* child : component.Children(root)) object.children.push_back(Describe(*child, root));
  return object;
}

}  // namespace

std::string FormatForm(const FormObject& object) {
  std::string out;
  FormatObject(object, 0, out);
  return out;
}

FormObject DescribeComponent(const TComponent& root) { return Describe(root, root); }

std::string WriteComponent(const TComponent& root) { return FormatForm(DescribeComponent(root)); }

}  // namespace framework
