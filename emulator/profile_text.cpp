#include "emulator/profile_text.h"

#include "emulator/case_blind.h"

namespace mdm::emu {

namespace {

// Blanks as the profile reader counts them; ^Z is a DOS end-of-file mark.
bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f' || c == '\x1a';
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

enum class LineKind { Blank, Section, Key, Other };

struct Line {
  std::size_t begin = 0;  // first byte of the line
  std::size_t next = 0;   // first byte after its "\n" (or the end of the text)
  bool terminated = false;
  LineKind kind = LineKind::Blank;
  std::string_view name;       // section name or key, trimmed
  std::size_t valueBegin = 0;  // trimmed value, offsets into the text
  std::size_t valueEnd = 0;
};

Line ClassifyLine(std::string_view text, std::size_t begin) {
  Line line;
  line.begin = begin;
  std::size_t end = text.find('\n', begin);
  line.terminated = end != std::string_view::npos;
  if (!line.terminated) end = text.size();
  line.next = line.terminated ? end + 1 : end;

  const std::string_view content = Trim(text.substr(begin, end - begin));
  if (content.empty()) return line;
  const std::size_t contentAt = static_cast<std::size_t>(content.data() - text.data());

  const std::size_t close = content.rfind(']');
  if (content.front() == '[' && close != std::string_view::npos) {
    line.kind = LineKind::Section;
    line.name = Trim(content.substr(1, close - 1));
    return line;
  }
  const std::size_t equals = content.find('=');
  if (equals == std::string_view::npos) {
    line.kind = LineKind::Other;
    return line;
  }
  line.kind = LineKind::Key;
  line.name = Trim(content.substr(0, equals));
  const std::string_view value = Trim(content.substr(equals + 1));
  line.valueBegin = value.empty() ? contentAt + content.size()
                                  : static_cast<std::size_t>(value.data() - text.data());
  line.valueEnd = line.valueBegin + value.size();
  return line;
}

std::vector<Line> SplitLines(std::string_view text) {
  std::vector<Line> lines;
  for (std::size_t at = 0; at < text.size();) {
    lines.push_back(ClassifyLine(text, at));
    at = lines.back().next;
  }
  return lines;
}

std::string Unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return std::string(value);
}

// Index range [first, last) of the lines of the first section named `section`,
// header excluded; first is the header's index + 1. npos when absent.
struct SectionRange {
  std::size_t header = std::string_view::npos;
  std::size_t end = 0;
};

SectionRange FindSection(const std::vector<Line>& lines, std::string_view section) {
  const std::string_view wanted = Trim(section);
  SectionRange range;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].kind != LineKind::Section) continue;
    if (range.header != std::string_view::npos) {
      range.end = i;
      return range;
    }
    if (SameCaseBlind(lines[i].name, wanted)) range.header = i;
  }
  range.end = lines.size();
  return range;
}

std::size_t FindKey(const std::vector<Line>& lines, const SectionRange& range,
                    std::string_view key) {
  const std::string_view wanted = Trim(key);
  if (range.header == std::string_view::npos) return std::string_view::npos;
  for (std::size_t i = range.header + 1; i < range.end; ++i) {
    if (lines[i].kind == LineKind::Key && SameCaseBlind(lines[i].name, wanted)) return i;
  }
  return std::string_view::npos;
}

std::string NewKeyLine(std::string_view key, std::string_view value) {
  return std::string(key) + "=" + std::string(value) + "\r\n";
}

}  // namespace

std::optional<std::string> FindProfileValue(std::string_view text, std::string_view section,
                                            std::string_view key) {
  const std::vector<Line> lines = SplitLines(text);
  const std::size_t at = FindKey(lines, FindSection(lines, section), key);
  if (at == std::string_view::npos) return std::nullopt;
  const Line& line = lines[at];
  return Unquote(text.substr(line.valueBegin, line.valueEnd - line.valueBegin));
}

std::vector<std::string> ProfileKeyNames(std::string_view text, std::string_view section) {
  const std::vector<Line> lines = SplitLines(text);
  const SectionRange range = FindSection(lines, section);
  std::vector<std::string> names;
  if (range.header == std::string_view::npos) return names;
  for (std::size_t i = range.header + 1; i < range.end; ++i) {
    // Comments are left out of the list, though a read can find them as keys.
    if (lines[i].kind == LineKind::Key && lines[i].name.substr(0, 1) != ";") {
      names.emplace_back(lines[i].name);
    }
  }
  return names;
}

std::vector<std::string> ProfileSectionNames(std::string_view text) {
  std::vector<std::string> names;
  for (const Line& line : SplitLines(text)) {
    if (line.kind == LineKind::Section) names.emplace_back(line.name);
  }
  return names;
}

std::string SetProfileValue(std::string_view text, std::string_view section, std::string_view key,
                            std::string_view value, NewSectionStyle style) {
  const std::vector<Line> lines = SplitLines(text);
  const SectionRange range = FindSection(lines, section);
  std::string result(text);

  const std::size_t at = FindKey(lines, range, key);
  if (at != std::string_view::npos) {
    const Line& line = lines[at];
    result.replace(line.valueBegin, line.valueEnd - line.valueBegin, value);
    return result;
  }
  if (range.header != std::string_view::npos) {
    // After the section's last non-blank line, so blank separators stay put.
    std::size_t last = range.header;
    for (std::size_t i = range.header + 1; i < range.end; ++i) {
      if (lines[i].kind != LineKind::Blank) last = i;
    }
    std::string insertion = lines[last].terminated ? "" : "\r\n";
    insertion += NewKeyLine(key, value);
    result.insert(lines[last].next, insertion);
    return result;
  }
  const bool ended = result.empty() || result.back() == '\n';
  if (!ended) result += "\r\n";
  const std::string header = "[" + std::string(section) + "]\r\n";
  if (style == NewSectionStyle::Wine) return result + header + NewKeyLine(key, value);
  const bool blankBefore = ended && !lines.empty() && lines.back().kind == LineKind::Blank;
  if (!result.empty() && !blankBefore) result += "\r\n";
  result += header + std::string(key) + "=" + std::string(value) + (ended ? "\r\n" : "");
  return result;
}

std::string DeleteProfileKey(std::string_view text, std::string_view section,
                             std::string_view key) {
  const std::vector<Line> lines = SplitLines(text);
  const std::size_t at = FindKey(lines, FindSection(lines, section), key);
  std::string result(text);
  if (at != std::string_view::npos) result.erase(lines[at].begin, lines[at].next - lines[at].begin);
  return result;
}

std::string DeleteProfileSection(std::string_view text, std::string_view section) {
  const std::vector<Line> lines = SplitLines(text);
  const SectionRange range = FindSection(lines, section);
  std::string result(text);
  if (range.header == std::string_view::npos) return result;
  const std::size_t begin = lines[range.header].begin;
  const std::size_t end = range.end < lines.size() ? lines[range.end].begin : text.size();
  result.erase(begin, end - begin);
  return result;
}

std::vector<ProfileEntry> ProfileEntries(std::string_view text) {
  std::vector<ProfileEntry> entries;
  std::string section;
  bool inSection = false;
  int number = 0;
  for (const Line& line : SplitLines(text)) {
    ++number;
    if (line.kind == LineKind::Section) {
      section = std::string(line.name);
      inSection = true;
    } else if (line.kind == LineKind::Key && inSection) {
      entries.push_back(ProfileEntry{
          section, std::string(line.name),
          Unquote(text.substr(line.valueBegin, line.valueEnd - line.valueBegin)), number});
    }
  }
  return entries;
}

}  // namespace mdm::emu
