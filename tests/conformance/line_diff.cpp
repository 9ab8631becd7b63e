#include "tests/conformance/line_diff.h"

#include <algorithm>
#include <sstream>

namespace mdm::conformance {

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::vector<LineDifference> DiffLines(const std::vector<std::string>& host,
                                      const std::vector<std::string>& wine) {
  const std::size_t n = host.size();
  const std::size_t m = wine.size();
  // common[i][j]: length of the longest common subsequence of host[i..] and wine[j..].
  std::vector<std::vector<std::size_t>> common(n + 1, std::vector<std::size_t>(m + 1, 0));
  for (std::size_t i = n; i-- > 0;) {
    for (std::size_t j = m; j-- > 0;) {
      common[i][j] = host[i] == wine[j] ? common[i + 1][j + 1] + 1
                                        : std::max(common[i + 1][j], common[i][j + 1]);
    }
  }
  std::vector<LineDifference> differences;
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < n || j < m) {
    if (i < n && j < m && host[i] == wine[j]) {
      ++i;
      ++j;
    } else if (j == m || (i < n && common[i + 1][j] >= common[i][j + 1])) {
      differences.push_back({'-', host[i++]});
    } else {
      differences.push_back({'+', wine[j++]});
    }
  }
  return differences;
}

std::vector<ExpectedDifference> ParseExpectedDifferences(const std::string& text,
                                                         std::string* error) {
  std::vector<ExpectedDifference> entries;
  std::string comment;
  int number = 0;
  error->clear();
  for (const std::string& line : SplitLines(text)) {
    ++number;
    if (line.empty()) {
      comment.clear();
    } else if (line[0] == '#') {
      std::string said = line.substr(line.size() > 1 && line[1] == ' ' ? 2 : 1);
      comment += comment.empty() ? said : " " + said;
    } else if ((line[0] == '-' || line[0] == '+') && line.size() > 1 && line[1] == ' ') {
      if (comment.empty()) {
        *error = "line " + std::to_string(number) + ": an expected difference needs a comment";
        return {};
      }
      entries.push_back({{line[0], line.substr(2)}, comment});
    } else {
      *error = "line " + std::to_string(number) + ": neither comment, entry nor blank";
      return {};
    }
  }
  return entries;
}

}  // namespace mdm::conformance
