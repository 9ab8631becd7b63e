// RemoveListEntry over arbitrary lines and entries. Always: what is left is
// the line with pieces cut out, byte for byte (no letter changes case), and
// a line the entry does not occur in stays as it is. For lines and entries
// without quotes (and entries without separators) the result is exactly
// every whole entry the entry stands for, and the character after it, cut.
#include <cstdint>
#include <string>
#include <vector>

#include "core/stages/ini_lists.h"
#include "fuzz/fuzz_check.h"

namespace {

std::string Upper(std::string text) {
  for (char& c : text) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  return text;
}

bool IsSeparator(char c) { return c == ' ' || c == '\t' || c == ','; }

bool IsSubsequence(const std::string& part, const std::string& whole) {
  std::size_t at = 0;
  for (char c : whole) {
    if (at < part.size() && part[at] == c) ++at;
  }
  return at == part.size();
}

// The entry stands for the token: it is the token, or the end of the path
// the token holds. Case-blind.
bool StandsFor(const std::string& token, const std::string& entry) {
  const std::string t = Upper(token);
  const std::string e = Upper(entry);
  return t == e || (t.size() > e.size() && t.compare(t.size() - e.size(), e.size(), e) == 0 &&
                    t[t.size() - e.size() - 1] == '\\');
}

// Token by token, left to right: a token the entry stands for goes with the
// character after it.
std::string Expected(const std::string& line, const std::string& entry, int& cuts) {
  std::string result;
  cuts = 0;
  std::size_t at = 0;
  while (at < line.size()) {
    if (IsSeparator(line[at])) {
      result += line[at++];
      continue;
    }
    std::size_t end = at;
    while (end < line.size() && !IsSeparator(line[end])) ++end;
    const std::string token = line.substr(at, end - at);
    if (StandsFor(token, entry)) {
      ++cuts;
      at = end < line.size() ? end + 1 : end;
    } else {
      result += token;
      at = end;
    }
  }
  return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The first zero byte ends the line; the rest up to the next is the entry.
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::size_t split = input.find('\0');
  const std::string line = input.substr(0, split);
  std::string entry = split == std::string::npos ? std::string() : input.substr(split + 1);
  entry = entry.substr(0, entry.find('\0'));

  std::string edited = line;
  const int removed = mdm::RemoveListEntry(edited, entry);

  FUZZ_CHECK(IsSubsequence(edited, line));
  FUZZ_CHECK((removed == 0) == (edited == line));
  if (entry.empty() || Upper(line).find(Upper(entry)) == std::string::npos) {
    FUZZ_CHECK(removed == 0);
  }
  const bool plain =
      line.find('"') == std::string::npos && entry.find_first_of("\" \t,") == std::string::npos;
  if (plain && !entry.empty()) {
    int cuts = 0;
    FUZZ_CHECK(edited == Expected(line, entry, cuts));
    FUZZ_CHECK(removed == cuts);
  }
  // The quotes the profile reader drops come back only around the whole line.
  const std::string restored = mdm::WithOuterQuotesRestored(line);
  FUZZ_CHECK(restored == line || restored == '"' + line + '"');
  return 0;
}
