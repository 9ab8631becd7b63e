#include "core/record/regedit_text.h"

#include "core/platform/platform.h"
#include "core/base/text.h"

namespace mdm {

namespace {

std::string Escape(const std::string& text) {
  std::string escaped;
  for (char c : text) {
    if (c == '\n') {
      escaped += "\\n";
    } else if (c == '\r') {
      escaped += "\\r";
    } else if (c == '\0') {
      escaped += "\\0";
    } else {
      if (c == '\\' || c == '"') escaped += '\\';
      escaped += c;
    }
  }
  return escaped;
}

// A REG_SZ that a quoted string reproduces byte for byte: one terminator at
// the end, none inside, and no line break that would split the line.
bool IsPlainString(std::uint32_t type, const unsigned char* data, std::size_t size) {
  if (type != REG_SZ || size == 0 || data[size - 1] != 0) return false;
  for (std::size_t i = 0; i + 1 < size; ++i) {
    if (data[i] == 0 || data[i] == '\r' || data[i] == '\n') return false;
  }
  return true;
}

std::string HexData(std::string text, const unsigned char* data, std::size_t size,
                    const char* lineEnd) {
  std::size_t lineLength = text.size();
  for (std::size_t i = 0; i < size; ++i) {
    char byte[4];
    Compose(byte, "%02x", static_cast<unsigned>(data[i]));
    text += byte;
    lineLength += 2;
    if (i + 1 < size) {
      text += ',';
      ++lineLength;
      if (lineLength > 76) {  // wrapped as regedit wraps, within 80 columns
        text += std::string("\\") + lineEnd + "  ";
        lineLength = 2;
      }
    }
  }
  return text;
}

}  // namespace

bool CarriesFaithfully(const std::string& name) {
  for (char c : name) {
    if (static_cast<unsigned char>(c) < 0x20) return false;
  }
  return true;
}

std::string RegeditKeyLine(const std::string& path) {
  return "[HKEY_LOCAL_MACHINE" + (path.empty() ? std::string() : "\\" + path) + "]";
}

std::string RegeditValueLine(const std::string& name, std::uint32_t type, const unsigned char* data,
                             std::size_t size, const char* lineEnd) {
  const std::string line = name.empty() ? "@=" : "\"" + Escape(name) + "\"=";
  if (IsPlainString(type, data, size)) {
    return line + "\"" + Escape(std::string(reinterpret_cast<const char*>(data), size - 1)) + "\"";
  }
  if (type == REG_DWORD && size == 4) {
    const unsigned number =
        data[0] | (data[1] << 8) | (data[2] << 16) | (static_cast<unsigned>(data[3]) << 24);
    char digits[16];
    Compose(digits, "%08x", number);
    return line + "dword:" + digits;
  }
  if (type == REG_BINARY) return HexData(line + "hex:", data, size, lineEnd);
  char prefix[24];
  Compose(prefix, "hex(%x):", static_cast<unsigned>(type));
  return HexData(line + prefix, data, size, lineEnd);
}

}  // namespace mdm
