// Writing form descriptions: a component tree described and formatted as text. Kept apart from the
// reader so that a program that only loads its forms links none of this.
#include <cstdint>
#include <string>

#include "framework/AnsiText.h"
#include "framework/FormText.h"
#include "framework/Handles.h"

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
      for (const char byte : character) out += '#' + DecimalText(static_cast<unsigned char>(byte));
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
    std::string bytes;
    if (value.kind == FormValue::Kind::Binary) {
      bytes = value.number != 0 ? IconFileBytes(reinterpret_cast<HICON>(static_cast<INT_PTR>(value.number))) : value.text;
      // An icon whose image cannot be encoded (a monochrome one) is left out: "{}" would not read back.
      if (bytes.empty()) continue;
    }
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
      case FormValue::Kind::Binary: {
        out += "{";
        for (size_t i = 0; i < bytes.size(); ++i) {
          if (i % 32 == 0) out += "\n" + indent + "    ";
          const unsigned char byte = static_cast<unsigned char>(bytes[i]);
          out += "0123456789ABCDEF"[byte >> 4];
          out += "0123456789ABCDEF"[byte & 15];
        }
        out += "}";
        break;
      }
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

void PutLittle(std::string& bytes, uint32_t value, size_t size) {
  for (size_t i = 0; i < size; ++i, value >>= 8) bytes += static_cast<char>(value & 0xFF);
}

}  // namespace

std::string IconFileBytes(HICON icon) {
  ICONINFO info{};
  if (icon == nullptr || !GetIconInfo(icon, &info)) return {};
  const UniqueBitmap colour(info.hbmColor);
  const UniqueBitmap mask(info.hbmMask);
  BITMAP shape{};
  if (!colour || !GetObjectW(colour.get(), sizeof shape, &shape)) return {};  // monochrome icons are not kept
  const int width = shape.bmWidth;
  const int height = shape.bmHeight;
  const size_t maskRow = static_cast<size_t>((width + 31) / 32 * 4);
  struct {
    BITMAPINFOHEADER header;
    RGBQUAD colours[2];
  } format{};
  format.header = {sizeof format.header, width, height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  std::string pixels(static_cast<size_t>(width) * height * 4, '\0');
  std::string maskBits(maskRow * height, '\0');
  HDC screen = GetDC(nullptr);
  bool read = GetDIBits(screen, colour.get(), 0, height, pixels.data(), reinterpret_cast<BITMAPINFO*>(&format),
                        DIB_RGB_COLORS) == height;
  format.header.biBitCount = 1;
  read = read && GetDIBits(screen, mask.get(), 0, height, maskBits.data(), reinterpret_cast<BITMAPINFO*>(&format),
                           DIB_RGB_COLORS) == height;
  ReleaseDC(nullptr, screen);
  if (!read) return {};

  // One 32-bit image: its header (height counting the mask), colour rows, mask rows, bottom up.
  const size_t imageSize = 40 + pixels.size() + maskBits.size();
  std::string file;
  for (const uint32_t value : {0u, 1u, 1u}) PutLittle(file, value, 2);
  file += static_cast<char>(width % 256);
  file += static_cast<char>(height % 256);
  PutLittle(file, 0, 2);
  PutLittle(file, 1, 2);
  PutLittle(file, 32, 2);
  PutLittle(file, static_cast<uint32_t>(imageSize), 4);
  PutLittle(file, 22, 4);
  for (const uint32_t value : {40u, static_cast<uint32_t>(width), static_cast<uint32_t>(2 * height)}) {
    PutLittle(file, value, 4);
  }
  PutLittle(file, 1, 2);
  PutLittle(file, 32, 2);
  file.append(24, '\0');  // no compression, sizes and colour counts left to the reader
  return file + pixels + maskBits;
}

std::string FormatForm(const FormObject& object) {
  std::string out;
  FormatObject(object, 0, out);
  return out;
}

FormObject DescribeComponent(const TComponent& root) { return Describe(root, root); }

std::string WriteComponent(const TComponent& root) { return FormatForm(DescribeComponent(root)); }

}  // namespace framework
