// RemoveListEntry on lines held in memory: whole entries only, the case
// handling, and lines longer than the classic 260-byte buffer.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/ini_lists.h"

namespace mdm {
namespace {

struct Cut {
  const char* line;
  const char* entry;
  int removed;
  const char* result;
};

// Runs both forms of the routine on the same input and checks they agree.
void ExpectCut(const Cut& cut) {
  SCOPED_TRACE(std::string("line \"") + cut.line + "\", entry \"" + cut.entry + "\"");
  std::string line = cut.line;
  std::vector<char> entry(cut.entry, cut.entry + std::strlen(cut.entry) + 1);
  EXPECT_EQ(RemoveListEntry(line, entry.data()), cut.removed);
  EXPECT_EQ(line, cut.result);

  std::vector<char> buffer(260);
  std::strcpy(buffer.data(), cut.line);
  std::vector<char> entry2(cut.entry, cut.entry + std::strlen(cut.entry) + 1);
  EXPECT_EQ(RemoveListEntry(buffer.data(), entry2.data()), cut.removed);
  EXPECT_STREQ(buffer.data(), cut.result);
}

TEST(RemoveListEntry, CutsTheEntryWithTheCharacterAfterIt) {
  ExpectCut({"A.EXE X.EXE B.EXE", "X.EXE", 1, "A.EXE B.EXE"});
  ExpectCut({"X.EXE B.EXE", "X.EXE", 1, "B.EXE"});
  ExpectCut({"X.EXE", "X.EXE", 1, ""});
}

TEST(RemoveListEntry, KeepsTheSeparatorBeforeALastEntry) {
  ExpectCut({"A.EXE X.EXE", "X.EXE", 1, "A.EXE "});
}

TEST(RemoveListEntry, MatchesCaseBlindAndLeavesTheLineUpperCase) {
  ExpectCut({"a.exe x.exe", "x.exe", 1, "A.EXE "});
  ExpectCut({"a.exe b.exe", "c.exe", 0, "A.EXE B.EXE"});
}

TEST(RemoveListEntry, CutsOnlyWholeEntriesAndPassesOverOthersInside) {
  // Inside, at the start or at the end of another program's entry: untouched.
  ExpectCut({"XABC D", "AB", 0, "XABC D"});
  ExpectCut({"X.EXEC Y.EXE", "X.EXE", 0, "X.EXEC Y.EXE"});
  ExpectCut({"AX.EXE Y.EXE", "X.EXE", 0, "AX.EXE Y.EXE"});
  // The search goes on past such an occurrence to a whole entry.
  ExpectCut({"X.EXEC X.EXE Y.EXE", "X.EXE", 1, "X.EXEC Y.EXE"});
  // Commas and tabs separate entries as blanks do.
  ExpectCut({"A.EXE,X.EXE,B.EXE", "X.EXE", 1, "A.EXE,B.EXE"});
  ExpectCut({"A.EXE\tX.EXE", "X.EXE", 1, "A.EXE\t"});
}

TEST(RemoveListEntry, TheEndOfAFullPathTakesTheWholeEntryWithIt) {
  // Cutting only the matching end would fuse "D:\OLD\" with Z.EXE.
  ExpectCut({"D:\\OLD\\QUILLNET.101\\PRELDR.EXE Z.EXE", "QUILLNET.101\\PRELDR.EXE", 1, "Z.EXE"});
  ExpectCut({"A.EXE D:\\QUILLNET.101\\PRELDR.EXE", "QUILLNET.101\\PRELDR.EXE", 1, "A.EXE "});
  ExpectCut({"D:\\OLDQUILLNET.101\\PRELDR.EXE", "QUILLNET.101\\PRELDR.EXE", 0,
             "D:\\OLDQUILLNET.101\\PRELDR.EXE"});
}

TEST(RemoveListEntry, RemovesOnlyTheFirstOccurrence) {
  ExpectCut({"X Y X", "X", 1, "Y X"});
}

TEST(RemoveListEntry, UpperCasesTheEntryInPlace) {
  std::string line = "c:\\windows\\system\\quillnet.101\\qn.exe";
  char entry[] = "c:\\Windows\\System\\Quillnet.101\\qn.exe";
  EXPECT_EQ(RemoveListEntry(line, entry), 1);
  EXPECT_STREQ(entry, "C:\\WINDOWS\\SYSTEM\\QUILLNET.101\\QN.EXE");
  EXPECT_EQ(line, "");
}

TEST(RemoveListEntry, LeavesBytesAbove127Alone) {
  // Latin-1 a-umlaut (0xE4) and A-umlaut (0xC4) are different bytes and stay so.
  ExpectCut({"\xE4x.exe b.exe", "b.exe", 1, "\xE4X.EXE "});
  ExpectCut({"\xE4x.exe b.exe", "\xC4x.exe", 0, "\xE4X.EXE B.EXE"});
  ExpectCut({"\xE4x.exe b.exe", "\xE4X.EXE", 1, "B.EXE"});
}

TEST(RemoveListEntry, AnEmptyEntryCutsNothing) {
  ExpectCut({"a.exe b.exe", "", 0, "A.EXE B.EXE"});
}

TEST(RemoveListEntry, WorksOnLinesLongerThanAPathBuffer) {
  std::string head;
  for (int i = 0; i < 60; ++i) head += "PROG" + std::to_string(i) + ".EXE ";
  const std::string tail = "LAST1.EXE LAST2.EXE";
  ASSERT_GT(head.size(), 260u);

  std::string line = head + "x.exe " + tail;
  char entry[] = "X.EXE";
  EXPECT_EQ(RemoveListEntry(line, entry), 1);
  EXPECT_EQ(line, head + tail);

  std::vector<char> buffer(head.begin(), head.end());
  const std::string rest = "X.EXE " + tail;
  buffer.insert(buffer.end(), rest.begin(), rest.end());
  buffer.push_back('\0');
  char entry2[] = "X.EXE";
  EXPECT_EQ(RemoveListEntry(buffer.data(), entry2), 1);
  EXPECT_EQ(std::string(buffer.data()), head + tail);
}

}  // namespace
}  // namespace mdm
