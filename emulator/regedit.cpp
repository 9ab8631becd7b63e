#include "emulator/regedit.h"

#include <cstdio>
#include <stdexcept>
#include <vector>

#include "core/platform/platform.h"
#include "core/record/regedit_text.h"
#include "emulator/case_blind.h"

namespace mdm::emu {

namespace {

constexpr std::string_view ROOT_NAME = "HKEY_LOCAL_MACHINE";

// ---------------------------------------------------------------- export

// The value formats are the ones the undo file uses (core/record/regedit_text.h).
std::string ValueLine(const RegValue& value) {
  return RegeditValueLine(value.name, value.type, value.data.data(), value.data.size(), "\n");
}

// Values in Wine's order, sorted case-blind: the text is the same whatever
// order they were made in, as Wine's own export of the same registry is.
void ExportKey(const RegNode& node, std::string& out) {
  if (node.parent != nullptr || !node.values.empty()) {
    out += RegeditKeyLine(node.Path()) + "\n";
    for (const RegValue* value : node.SortedValues()) out += ValueLine(*value) + "\n";
    out += "\n";
  }
  for (const auto& child : node.subkeys) ExportKey(*child, out);
}

// ---------------------------------------------------------------- import

[[noreturn]] void Fail(int line, const std::string& reason) {
  throw std::runtime_error("registry text, line " + std::to_string(line) + ": " + reason);
}

// Code units below 256 map to the same ANSI byte; others become "?".
std::string NarrowUtf16(std::string_view bytes) {
  std::string text;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const unsigned unit = static_cast<unsigned char>(bytes[i]) |
                          (static_cast<unsigned>(static_cast<unsigned char>(bytes[i + 1])) << 8);
    text += unit < 0x100 ? static_cast<char>(unit) : '?';
  }
  return text;
}

std::string DecodeText(std::string_view raw) {
  if (raw.size() >= 2 && raw[0] == '\xff' && raw[1] == '\xfe') return NarrowUtf16(raw.substr(2));
  if (raw.size() >= 2 && raw[0] == '\xfe' && raw[1] == '\xff') {
    Fail(1, "UTF-16 big-endian text is not supported");
  }
  if (raw.size() >= 3 && raw.substr(0, 3) == "\xef\xbb\xbf") raw.remove_prefix(3);
  return std::string(raw);
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
    text.remove_suffix(1);
  }
  return text;
}

std::vector<std::string_view> SplitPhysicalLines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// A quoted text starting at text[0] == '"'; returns the unescaped text and
// advances `text` past the closing quote.
std::string ParseQuoted(std::string_view& text, int line) {
  std::string result;
  std::size_t i = 1;
  for (; i < text.size() && text[i] != '"'; ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      const char next = text[++i];
      if (next == 'n')
        result += '\n';
      else if (next == 'r')
        result += '\r';
      else if (next == '0')
        result += '\0';
      else if (next == '\\' || next == '"')
        result += next;
      else
        result += std::string{'\\', next};
      continue;
    }
    result += text[i];
  }
  if (i >= text.size()) Fail(line, "missing closing quote");
  text.remove_prefix(i + 1);
  return result;
}

void ExpectLineEnd(std::string_view rest, int line) {
  rest = TrimBlanks(rest);
  if (!rest.empty() && rest.front() != ';') Fail(line, "unexpected text after the value");
}

std::vector<unsigned char> ParseHexBytes(std::string_view list, int line) {
  std::vector<unsigned char> bytes;
  list = TrimBlanks(list);
  std::size_t start = 0;
  while (start < list.size()) {
    std::size_t end = list.find(',', start);
    if (end == std::string_view::npos) end = list.size();
    const std::string_view token = TrimBlanks(list.substr(start, end - start));
    const bool last = end == list.size();
    if (token.empty() && last) break;  // a trailing comma
    if (token.empty() || token.size() > 2 || !IsHexDigit(token[0]) ||
        (token.size() == 2 && !IsHexDigit(token[1]))) {
      Fail(line, "bad hex byte \"" + std::string(token) + "\"");
    }
    bytes.push_back(static_cast<unsigned char>(std::stoul(std::string(token), nullptr, 16)));
    start = end + 1;
  }
  return bytes;
}

struct ParsedData {
  bool remove = false;
  std::uint32_t type = REG_SZ;
  std::vector<unsigned char> data;
};

ParsedData ParseData(std::string_view text, bool unicodeFile, int line) {
  ParsedData parsed;
  if (!text.empty() && text.front() == '"') {
    const std::string value = ParseQuoted(text, line);
    ExpectLineEnd(text, line);
    parsed.data.assign(value.begin(), value.end());
    parsed.data.push_back(0);
    return parsed;
  }
  if (TrimBlanks(text) == "-") {
    parsed.remove = true;
    return parsed;
  }
  if (text.substr(0, 6) == "dword:") {
    const std::string_view digits = TrimBlanks(text.substr(6));
    if (digits.empty() || digits.size() > 8) Fail(line, "bad dword value");
    for (char c : digits) {
      if (!IsHexDigit(c)) Fail(line, "bad dword value");
    }
    const std::uint32_t number =
        static_cast<std::uint32_t>(std::stoul(std::string(digits), nullptr, 16));
    parsed.type = REG_DWORD;
    parsed.data = {static_cast<unsigned char>(number), static_cast<unsigned char>(number >> 8),
                   static_cast<unsigned char>(number >> 16),
                   static_cast<unsigned char>(number >> 24)};
    return parsed;
  }
  if (text.substr(0, 4) == "hex:") {
    parsed.type = REG_BINARY;
    parsed.data = ParseHexBytes(text.substr(4), line);
    return parsed;
  }
  if (text.substr(0, 4) == "hex(") {
    const std::size_t close = text.find("):");
    const std::string_view digits =
        close == std::string_view::npos ? "" : text.substr(4, close - 4);
    if (digits.empty() || digits.size() > 8) Fail(line, "bad hex(type) value");
    for (char c : digits) {
      if (!IsHexDigit(c)) Fail(line, "bad hex(type) value");
    }
    parsed.type = static_cast<std::uint32_t>(std::stoul(std::string(digits), nullptr, 16));
    parsed.data = ParseHexBytes(text.substr(close + 2), line);
    const bool textType =
        parsed.type == REG_SZ || parsed.type == REG_EXPAND_SZ || parsed.type == REG_MULTI_SZ;
    if (unicodeFile && textType) {  // version 5 keeps string data in UTF-16LE
      const std::string narrow = NarrowUtf16(
          std::string_view(reinterpret_cast<const char*>(parsed.data.data()), parsed.data.size()));
      parsed.data.assign(narrow.begin(), narrow.end());
    }
    return parsed;
  }
  Fail(line, "unknown value data \"" + std::string(text) + "\"");
}

bool IsOtherRoot(std::string_view root) {
  static const char* const others[] = {"HKEY_CLASSES_ROOT",
                                       "HKEY_CURRENT_USER",
                                       "HKEY_USERS",
                                       "HKEY_CURRENT_CONFIG",
                                       "HKEY_DYN_DATA",
                                       "HKCR",
                                       "HKCU",
                                       "HKU",
                                       "HKCC"};
  for (const char* other : others) {
    if (SameCaseBlind(root, other)) return true;
  }
  return false;
}

class Importer {
 public:
  Importer(RegistryTree& registry, bool unicodeFile) : registry_(registry), unicode_(unicodeFile) {}

  void KeyLine(std::string_view text, int line) {
    if (text.back() != ']') Fail(line, "key name without closing \"]\"");
    std::string_view name = text.substr(1, text.size() - 2);
    const bool remove = !name.empty() && name.front() == '-';
    if (remove) name.remove_prefix(1);
    const std::size_t slash = name.find('\\');
    const std::string_view root = name.substr(0, slash);
    const std::string_view path = slash == std::string_view::npos ? "" : name.substr(slash + 1);
    seenKey_ = true;
    current_.reset();
    if (SameCaseBlind(root, ROOT_NAME) || SameCaseBlind(root, "HKLM")) {
      if (!remove) {
        current_ = registry_.Create(path);
      } else if (auto node = registry_.Find(path); node && node != registry_.Root()) {
        registry_.Delete(node);
      }
      return;
    }
    if (!IsOtherRoot(root)) Fail(line, "unknown root key \"" + std::string(root) + "\"");
  }

  void ValueLine(std::string_view text, int line) {
    if (!seenKey_) Fail(line, "value before the first key");
    std::string name;
    if (text.front() == '@') {
      text.remove_prefix(1);
    } else {
      name = ParseQuoted(text, line);
    }
    text = TrimBlanks(text);
    if (text.empty() || text.front() != '=') Fail(line, "\"=\" expected after the value name");
    text = TrimBlanks(text.substr(1));
    const ParsedData parsed = ParseData(text, unicode_, line);
    if (!current_) return;  // a key of another root, or one just deleted
    if (parsed.remove) {
      current_->RemoveValue(name);
    } else {
      current_->SetValue(name, parsed.type, parsed.data);
    }
  }

 private:
  RegistryTree& registry_;
  bool unicode_;
  bool seenKey_ = false;
  std::shared_ptr<RegNode> current_;
};

}  // namespace

std::string ExportRegedit(const RegistryTree& registry) { return ExportRegedit(*registry.Root()); }

std::string ExportRegedit(const RegNode& key) {
  std::string out = "REGEDIT4\n\n";
  ExportKey(key, out);
  return out;
}

void ImportRegedit(RegistryTree& registry, std::string_view raw) {
  const std::string text = DecodeText(raw);
  const std::vector<std::string_view> lines = SplitPhysicalLines(text);

  std::size_t index = 0;
  while (index < lines.size() && TrimBlanks(lines[index]).empty()) ++index;
  const std::string_view header = index < lines.size() ? TrimBlanks(lines[index]) : "";
  bool unicodeFile = false;
  if (header == "Windows Registry Editor Version 5.00") {
    unicodeFile = true;
  } else if (header != "REGEDIT4") {
    Fail(static_cast<int>(index + 1), "\"REGEDIT4\" expected");
  }

  Importer importer(registry, unicodeFile);
  for (++index; index < lines.size(); ++index) {
    const int number = static_cast<int>(index + 1);
    std::string logical(TrimBlanks(lines[index]));
    if (logical.empty() || logical.front() == ';' || logical.front() == '#') continue;
    // A line ending in a backslash continues hex data on the next line.
    while (!logical.empty() && logical.back() == '\\' &&
           logical.find("=hex") != std::string::npos && index + 1 < lines.size()) {
      logical.pop_back();
      logical += TrimBlanks(lines[++index]);
    }
    if (logical.front() == '[') {
      importer.KeyLine(logical, number);
    } else if (logical.front() == '"' || logical.front() == '@') {
      importer.ValueLine(logical, number);
    } else {
      Fail(number, "key or value expected");
    }
  }
}

}  // namespace mdm::emu
