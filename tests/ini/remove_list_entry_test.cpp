// RemoveListEntry on lines held in memory: whole entries only, every one of
// them, quoted long names, other programs' text kept as it stands, and lines
// longer than the classic 260-byte buffer.
#include <gtest/gtest.h>

#include <string>

#include "core/stages/ini_lists.h"

namespace mdm {
namespace {

struct Cut {
  const char* line;
  const char* entry;
  int removed;
  const char* result;
};

void ExpectCuts(const std::vector<Cut>& cuts) {
  for (const Cut& cut : cuts) {
    SCOPED_TRACE(std::string("line \"") + cut.line + "\", entry \"" + cut.entry + "\"");
    std::string line = cut.line;
    EXPECT_EQ(RemoveListEntry(line, cut.entry), cut.removed);
    EXPECT_EQ(line, cut.result);
  }
}

TEST(RemoveListEntry, CutsWholeEntriesWithTheSeparatorAfterThem) {
  ExpectCuts({
      {"A.EXE X.EXE B.EXE", "X.EXE", 1, "A.EXE B.EXE"},
      {"X.EXE B.EXE", "X.EXE", 1, "B.EXE"},
      {"X.EXE", "X.EXE", 1, ""},
      // The separator before a last entry stays.
      {"A.EXE X.EXE", "X.EXE", 1, "A.EXE "},
      // Commas and tabs separate entries as blanks do.
      {"A.EXE,X.EXE,B.EXE", "X.EXE", 1, "A.EXE,B.EXE"},
      {"A.EXE\tX.EXE", "X.EXE", 1, "A.EXE\t"},
      // Every occurrence goes.
      {"X Y X", "X", 2, "Y "},
      {"X.EXE X.EXE", "X.EXE", 2, ""},
      {"", "X.EXE", 0, ""},
      {"a.exe b.exe", "", 0, "a.exe b.exe"},
  });
}

TEST(RemoveListEntry, ComparesCaseBlindAndKeepsEveryOtherEntryAsItIs) {
  ExpectCuts({
      {"a.exe x.exe Tray.Exe", "X.EXE", 1, "a.exe Tray.Exe"},
      {"a.exe b.exe", "c.exe", 0, "a.exe b.exe"},
      // Bytes above 127 are not letters: a-umlaut (0xE4) and A-umlaut (0xC4) differ.
      {"\xE4x.exe b.exe", "b.exe", 1, "\xE4x.exe "},
      {"\xE4x.exe b.exe", "\xC4x.exe", 0, "\xE4x.exe b.exe"},
      {"\xE4x.exe b.exe", "\xE4X.EXE", 1, "b.exe"},
  });
}

TEST(RemoveListEntry, PassesOverOccurrencesInsideOtherEntries) {
  ExpectCuts({
      {"XABC D", "AB", 0, "XABC D"},
      {"X.EXEC Y.EXE", "X.EXE", 0, "X.EXEC Y.EXE"},
      {"AX.EXE Y.EXE", "X.EXE", 0, "AX.EXE Y.EXE"},
      {"X.EXEC X.EXE Y.EXE", "X.EXE", 1, "X.EXEC Y.EXE"},
      {"D:\\OLDQUILLNET.101\\PRELDR.EXE", "QUILLNET.101\\PRELDR.EXE", 0,
       "D:\\OLDQUILLNET.101\\PRELDR.EXE"},
  });
}

TEST(RemoveListEntry, TheEndOfAFullPathTakesTheWholeEntryWithIt) {
  // Cutting only the matching end would fuse "D:\OLD\" with Z.EXE.
  ExpectCuts({
      {"D:\\OLD\\QUILLNET.101\\PRELDR.EXE Z.EXE", "QUILLNET.101\\PRELDR.EXE", 1, "Z.EXE"},
      {"A.EXE D:\\QUILLNET.101\\PRELDR.EXE", "QUILLNET.101\\PRELDR.EXE", 1, "A.EXE "},
  });
}

// Long file names with blanks stand in quotes; a quoted entry is one entry,
// and its quotes go with it.
TEST(RemoveListEntry, QuotedEntriesAreWholeEntries) {
  ExpectCuts({
      {"\"C:\\Program Files\\Q\\QUILLNET.101\\QN.EXE\" B.EXE", "QUILLNET.101\\QN.EXE", 1, "B.EXE"},
      {"A.EXE \"C:\\My Apps\\QN.EXE\"", "C:\\MY APPS\\QN.EXE", 1, "A.EXE "},
      {"\"C:\\Program Files\\Other\\X.EXE Y\" X.EXE", "X.EXE", 1,
       "\"C:\\Program Files\\Other\\X.EXE Y\" "},
      {"\"C:\\Program Files\\X.EXE\"", "FILES\\X.EXE", 0, "\"C:\\Program Files\\X.EXE\""},
      {"\"A.EXE\",\"X.EXE\",B.EXE", "X.EXE", 1, "\"A.EXE\",B.EXE"},
  });
}

TEST(WithOuterQuotesRestored, GivesBackTheQuotesTheProfileReaderDropped) {
  // "A" X "B" comes back from the profile read as A" X "B.
  EXPECT_EQ(
      WithOuterQuotesRestored("C:\\PROGRA~1\\ACME\\ACME.EXE\" X.EXE \"C:\\Program Files\\T.exe"),
      "\"C:\\PROGRA~1\\ACME\\ACME.EXE\" X.EXE \"C:\\Program Files\\T.exe\"");
  for (const char* asRead : {"A.EXE B.EXE", "\"C:\\Program Files\\T.exe\" B.EXE", "A\"B", ""}) {
    EXPECT_EQ(WithOuterQuotesRestored(asRead), asRead) << asRead;
  }
}

TEST(RemoveListEntry, WorksOnLinesLongerThanAPathBuffer) {
  std::string head;
  for (int i = 0; i < 60; ++i) head += "PROG" + std::to_string(i) + ".EXE ";
  const std::string tail = "LAST1.EXE LAST2.EXE";
  ASSERT_GT(head.size(), 260u);
  std::string line = head + "x.exe " + tail;
  EXPECT_EQ(RemoveListEntry(line, "X.EXE"), 1);
  EXPECT_EQ(line, head + tail);
}

}  // namespace
}  // namespace mdm
