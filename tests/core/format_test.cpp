// The one formatter of every build (core/base/text.h): it must agree with the C
// library on the conversions it knows, and refuse every other, since a path
// misprinted would name something else.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <random>
#include <string>

#include "core/base/text.h"

namespace mdm {
namespace {

TEST(Format, AgreesWithTheCLibraryOnTheConversionsItKnows) {
  std::mt19937 random(20261207);
  const int ints[] = {0, 1, -1, 42, INT_MAX, INT_MIN, 260, -260};
  const unsigned unsigneds[] = {0u, 1u, 0xFFFFFFFFu, 0x80000000u, 0xABCDEFu, 255u};
  const char* const texts[] = {"", "C:\\WINDOWS", "Enum\\Root\\%s", "QUILLNET.101"};
  for (int round = 0; round < 2000; ++round) {
    const int i = ints[random() % 8];
    const unsigned u = unsigneds[random() % 6];
    const char* s = texts[random() % 4];
    const std::size_t size = random() % 80;
    char ours[96] = "untouched";
    char theirs[256];
    const int needed = std::snprintf(theirs, sizeof theirs, "<%s|%d|%u|%x|%%|%05d|%02u|%08x>", s, i,
                                     u, u, i, u, u);
    const bool fits =
        FormatFits(ours, size, "<%s|%d|%u|%x|%%|%05d|%02u|%08x>", s, i, u, u, i, u, u);
    ASSERT_EQ(fits, size > static_cast<std::size_t>(needed)) << "size " << size << ": " << theirs;
    if (fits) {
      EXPECT_STREQ(ours, theirs);
    } else if (size > 0) {
      EXPECT_STREQ(ours, "") << "a text that does not fit leaves the buffer empty";
    }
  }
}

TEST(Format, RefusesWhatItDoesNotKnowAndLeavesTheBufferEmpty) {
  char buffer[32];
  // Widths, flags, lengths, other conversions and a trailing "%" are refused
  // rather than printed some other way.
  for (const char* format :
       {"%5d", "%-s", "%ld", "%lu", "%c", "%p", "%010x", "%00d", "%X", "%04s", "tail %"}) {
    std::string("filled").copy(buffer, 7);
    EXPECT_FALSE(FormatFits(buffer, sizeof buffer, format, 7)) << format;
    EXPECT_STREQ(buffer, "") << format;
  }
}

}  // namespace
}  // namespace mdm
