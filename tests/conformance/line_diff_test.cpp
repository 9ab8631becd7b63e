// The comparison must neither hide a difference nor blame a whole tail for one
// extra line, and the list of known differences must explain every entry.
#include "tests/conformance/line_diff.h"

#include <gtest/gtest.h>

namespace mdm::conformance {
namespace {

using Lines = std::vector<std::string>;
using Diffs = std::vector<LineDifference>;

TEST(DiffLines, ReportsOnlyTheLinesOutsideTheCommonSequence) {
  EXPECT_EQ(DiffLines({"a", "b", "c"}, {"a", "b", "c"}), Diffs{});
  // One extra line on one side does not shift the rest into differences.
  EXPECT_EQ(DiffLines({"a", "b", "c", "d"}, {"a", "c", "d"}), (Diffs{{'-', "b"}}));
  EXPECT_EQ(DiffLines({"a", "c"}, {"a", "x", "c", "y"}), (Diffs{{'+', "x"}, {'+', "y"}}));
  EXPECT_EQ(DiffLines({"a", "b", "c"}, {"a", "B", "c"}), (Diffs{{'-', "b"}, {'+', "B"}}));
  EXPECT_EQ(DiffLines({}, {"x"}), (Diffs{{'+', "x"}}));
  EXPECT_EQ(DiffLines({"x"}, {}), (Diffs{{'-', "x"}}));
}

TEST(DiffLines, LineEndsDoNotCount) {
  EXPECT_EQ(SplitLines("a\r\nb\nc"), (Lines{"a", "b", "c"}));
  EXPECT_EQ(DiffLines(SplitLines("a\r\nb\r\n"), SplitLines("a\nb\n")), Diffs{});
}

TEST(ExpectedDifferences, EveryEntryCarriesTheCommentOfItsBlock) {
  std::string error;
  auto entries = ParseExpectedDifferences(
      "# Wine sorts.\n# Windows 95 does not.\n- host 1\n+ wine 1\n\n# Other.\n+ wine 2\n", &error);
  ASSERT_EQ(error, "");
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].line, (LineDifference{'-', "host 1"}));
  EXPECT_EQ(entries[0].comment, "Wine sorts. Windows 95 does not.");
  EXPECT_EQ(entries[1].line, (LineDifference{'+', "wine 1"}));
  EXPECT_EQ(entries[2].comment, "Other.");
}

TEST(ExpectedDifferences, UnexplainedOrMalformedEntriesAreRejected) {
  std::string error;
  EXPECT_TRUE(ParseExpectedDifferences("- host\n", &error).empty());
  EXPECT_NE(error.find("line 1"), std::string::npos);
  // The blank line ends the block, and with it the comment.
  EXPECT_TRUE(ParseExpectedDifferences("# why\n- a\n\n+ b\n", &error).empty());
  EXPECT_NE(error.find("line 4"), std::string::npos);
  EXPECT_TRUE(ParseExpectedDifferences("# why\nstray\n", &error).empty());
  EXPECT_NE(error, "");
}

}  // namespace
}  // namespace mdm::conformance
