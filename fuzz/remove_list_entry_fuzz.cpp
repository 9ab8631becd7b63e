// RemoveListEntry over arbitrary lines and entries: the result is the line in
// upper case with the first whole entry that the entry stands for, and the
// one character after it, cut; and both overloads agree.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "common/ini_lists.h"
#include "fuzz/fuzz_check.h"

namespace {

std::string Upper(std::string text) {
  for (char& c : text) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  return text;
}

bool IsSeparator(char c) { return c == ' ' || c == '\t' || c == ','; }

// The span [start, end) of the first occurrence that is a whole entry, or
// the end of a full path with its whole entry; npos when there is none.
std::pair<std::size_t, std::size_t> FirstWholeEntry(const std::string& line, const std::string& entry) {
  if (entry.empty()) return {std::string::npos, 0};
  for (std::size_t at = 0; at + entry.size() <= line.size(); ++at) {
    if (line.compare(at, entry.size(), entry) != 0) continue;
    const std::size_t end = at + entry.size();
    if (end != line.size() && !IsSeparator(line[end])) continue;
    std::size_t start = at;
    if (at > 0 && !IsSeparator(line[at - 1])) {
      if (line[at - 1] != '\\') continue;
      while (start > 0 && !IsSeparator(line[start - 1])) --start;
    }
    return {start, end};
  }
  return {std::string::npos, 0};
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
  std::vector<char> entryBuffer(entry.begin(), entry.end());
  entryBuffer.push_back('\0');
  const int removed = mdm::RemoveListEntry(edited, entryBuffer.data());

  const std::string upperLine = Upper(line);
  const std::string upperEntry = Upper(entry);
  FUZZ_CHECK(std::string(entryBuffer.data()) == upperEntry);
  const auto [start, end] = FirstWholeEntry(upperLine, upperEntry);
  if (start == std::string::npos) {
    FUZZ_CHECK(removed == 0);
    FUZZ_CHECK(edited == upperLine);
  } else {
    FUZZ_CHECK(removed == 1);
    const std::size_t cut = end - start + (end < upperLine.size() ? 1 : 0);
    FUZZ_CHECK(edited == upperLine.substr(0, start) + upperLine.substr(start + cut));
  }

  std::vector<char> lineBuffer(line.begin(), line.end());
  lineBuffer.push_back('\0');
  std::vector<char> again(entry.begin(), entry.end());
  again.push_back('\0');
  FUZZ_CHECK(mdm::RemoveListEntry(lineBuffer.data(), again.data()) == removed);
  FUZZ_CHECK(std::string(lineBuffer.data()) == edited);
  return 0;
}
