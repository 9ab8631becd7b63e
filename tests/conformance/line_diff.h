// Line-by-line comparison of the two conformance runs, and the list of
// differences that are known and explained.
#pragma once

#include <string>
#include <vector>

namespace mdm::conformance {

// A line that only one side printed: '-' the emulated machine, '+' Wine.
struct LineDifference {
  char side;
  std::string text;
  bool operator==(const LineDifference& other) const {
    return side == other.side && text == other.text;
  }
};

// Lines without their ends ("\n" or "\r\n"); no empty last line.
std::vector<std::string> SplitLines(const std::string& text);

// The lines outside a longest common subsequence, in output order, so that
// one extra line on one side shows as one difference, not as a shifted tail.
std::vector<LineDifference> DiffLines(const std::vector<std::string>& host,
                                      const std::vector<std::string>& wine);

struct ExpectedDifference {
  LineDifference line;
  std::string comment;  // why the sides differ and which one follows Windows 95
};

// Blocks separated by blank lines: "#" comment lines first, then "- host line"
// and "+ wine line" entries. An entry without a comment is an error, reported
// through `error` (empty when the text is well formed).
std::vector<ExpectedDifference> ParseExpectedDifferences(const std::string& text,
                                                         std::string* error);

}  // namespace mdm::conformance
