// The emulated drives: directory search patterns, "." and "..", refusals of
// deletion and removal with their last-error codes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "emulator/file_tree.h"
#include "emulator/machine.h"

namespace mdm {
namespace {

constexpr std::uint32_t ERROR_PATH_NOT_FOUND = 3;
constexpr std::uint32_t ERROR_NO_MORE_FILES = 18;
constexpr std::uint32_t ERROR_SHARING_VIOLATION = 32;
constexpr std::uint32_t ERROR_INVALID_NAME = 123;
constexpr std::uint32_t ERROR_DIR_NOT_EMPTY = 145;
constexpr std::uint32_t ERROR_DIRECTORY = 267;

class Files : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"OEM1.INF", "oem12.inf", "OEM2.PNF", "MDMGEN.INF", "README",
                             "Oemsetup.inf", "Other\\Acme Inc.ACMEMDM.INF", "Other\\Q.INF"}) {
      machine.AddFile(std::string("C:\\WINDOWS\\INF\\") + name, name);
    }
  }
  void TearDown() override { EXPECT_EQ(machine.OpenSearchCount(), 0u); }

  std::vector<std::string> Find(const std::string& pattern) {
    std::vector<std::string> names;
    FindData data;
    FindHandle search = machine.FindFirstFileA(pattern.c_str(), &data);
    if (search == INVALID_FIND_HANDLE) return names;
    do names.push_back(data.fileName);
    while (machine.FindNextFileA(search, &data));
    EXPECT_EQ(machine.GetLastError(), ERROR_NO_MORE_FILES);
    machine.FindClose(search);
    return names;
  }

  emu::Machine machine;
};

using Names = std::vector<std::string>;

std::string ShortNameAliasOf(const char* name) { return emu::ShortNameAlias(name); }

TEST_F(Files, PatternsMatchCaseBlindInSortedOrder) {
  EXPECT_EQ(Find("C:\\WINDOWS\\INF\\oem*.inf"), (Names{"OEM1.INF", "oem12.inf", "Oemsetup.inf"}));
  EXPECT_EQ(Find("C:\\windows\\inf\\*.INF"),
            (Names{"MDMGEN.INF", "OEM1.INF", "oem12.inf", "Oemsetup.inf"}));
  EXPECT_EQ(Find("C:\\WINDOWS\\INF\\OEM?.*"), (Names{"OEM1.INF", "OEM2.PNF"}));
  EXPECT_EQ(Find("C:\\WINDOWS\\INF\\Other\\*.inf"), (Names{"Acme Inc.ACMEMDM.INF", "Q.INF"}));
}

TEST_F(Files, PatternsAlsoMatchTheShortNameAliasOfALongName) {
  EXPECT_EQ(ShortNameAliasOf("oemsetup.information"), "OEMSET~1.INF");
  EXPECT_EQ(ShortNameAliasOf("Acme Inc.ACMEMDM.INF"), "ACMEIN~1.INF");
  EXPECT_EQ(ShortNameAliasOf("a.b.c"), "AB~1.C");
  EXPECT_EQ(ShortNameAliasOf("OEM1.INF"), "");
  for (const char* name : {"oemsetup.information", "oem3.inf.bak", "setupoem.inf"}) {
    machine.AddFile(std::string("C:\\WINDOWS\\INF\\LONG\\") + name);
  }
  // "oem3.inf.bak" is "OEM3IN~1.BAK" and "setupoem.inf" is itself 8.3: neither fits.
  EXPECT_EQ(Find("C:\\WINDOWS\\INF\\LONG\\oem*.inf"), (Names{"oemsetup.information"}));
}

TEST_F(Files, StarDotStarMatchesNamesWithoutADotAndTheDotEntriesComeFirst) {
  EXPECT_EQ(Find("C:\\WINDOWS\\INF\\*.*"), (Names{".", "..", "MDMGEN.INF", "OEM1.INF", "oem12.inf",
                                                  "OEM2.PNF", "Oemsetup.inf", "Other", "README"}));
  FindData data;
  FindHandle search = machine.FindFirstFileA("C:\\WINDOWS\\INF\\*", &data);
  ASSERT_NE(search, INVALID_FIND_HANDLE);
  EXPECT_STREQ(data.fileName, ".");
  EXPECT_EQ(data.attributes & FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_DIRECTORY);
  machine.FindClose(search);
  // A drive's root has no "." and "..".
  EXPECT_EQ(Find("C:\\*.*"), (Names{"WINDOWS", "WORK"}));
}

TEST_F(Files, PlainPathFindsTheOneEntryWithItsStoredName) {
  EXPECT_EQ(Find("C:\\WINDOWS\\INF\\other"), Names{"Other"});
  EXPECT_EQ(Find("c:/windows/inf/readme"), Names{"README"});
  FindData data;
  FindHandle search = machine.FindFirstFileA("C:\\WINDOWS\\INF\\Other", &data);
  ASSERT_NE(search, INVALID_FIND_HANDLE);
  EXPECT_EQ(data.attributes, FILE_ATTRIBUTE_DIRECTORY);
  machine.FindClose(search);
}

TEST_F(Files, FailedSearchesSayWhy) {
  FindData data;
  EXPECT_EQ(machine.FindFirstFileA("C:\\WINDOWS\\INF\\*.xyz", &data), INVALID_FIND_HANDLE);
  EXPECT_EQ(machine.GetLastError(), static_cast<std::uint32_t>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(machine.FindFirstFileA("C:\\WINDOWS\\NONE\\*.*", &data), INVALID_FIND_HANDLE);
  EXPECT_EQ(machine.GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(machine.FindFirstFileA("D:\\*.*", &data), INVALID_FIND_HANDLE);
  EXPECT_EQ(machine.FindFirstFileA("C:\\WINDOWS\\INF\\", &data), INVALID_FIND_HANDLE);
  EXPECT_EQ(machine.FindClose(12345), 0);
}

TEST_F(Files, DeleteFileRefusesWhatWindowsRefuses) {
  machine.AddFile("C:\\WINDOWS\\SYSTEM\\LOCKED.DLL");
  machine.SetReadOnly("C:\\WINDOWS\\SYSTEM\\LOCKED.DLL");

  struct Case {
    const char* path;
    std::uint32_t error;
  };
  for (const Case& refused : {Case{"C:\\WINDOWS\\SYSTEM\\LOCKED.DLL", ERROR_ACCESS_DENIED},
                              Case{"C:\\WINDOWS\\INF\\Other", ERROR_ACCESS_DENIED},
                              Case{"C:\\WINDOWS\\INF\\NONE.INF", ERROR_FILE_NOT_FOUND},
                              Case{"C:\\WINDOWS\\NONE\\X.INF", ERROR_PATH_NOT_FOUND},
                              Case{"C:\\WINDOWS\\INF\\*.INF", ERROR_INVALID_NAME},
                              Case{"C:\\WINDOWS\\SYSTEM\\LOCKED.DLL\\", ERROR_INVALID_NAME},
                              Case{"C:\\WINDOWS\\I*\\OEM1.INF", ERROR_INVALID_NAME}}) {
    EXPECT_EQ(machine.DeleteFileA(refused.path), 0) << refused.path;
    EXPECT_EQ(machine.GetLastError(), refused.error) << refused.path;
  }
  EXPECT_TRUE(machine.Journal().empty());

  EXPECT_EQ(machine.DeleteFileA("c:\\windows\\inf\\oem1.inf"), 1);
  EXPECT_FALSE(machine.FileExists("C:\\WINDOWS\\INF\\OEM1.INF"));
  ASSERT_EQ(machine.Journal().size(), 1u);
  EXPECT_EQ(emu::ToString(machine.Journal()[0]), "FileDeleted C:\\WINDOWS\\INF\\OEM1.INF");
}

// A handle open on a file Windows 95 deleted goes on with what the file held;
// a file made anew under the name is another file.
TEST_F(Files, AHandleOutlivesTheFileWindows95DeletedUnderIt) {
  machine.AddFile("C:\\OPEN.LOG", "abc");
  const FileHandle open =
      machine.CreateFileA("C:\\OPEN.LOG", GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS, 0);
  EXPECT_EQ(machine.DeleteFileA("C:\\OPEN.LOG"), 1);
  machine.AddFile("C:\\OPEN.LOG", "new");
  std::uint32_t written = 0;
  EXPECT_EQ(machine.SetFilePointer(open, 0, FILE_END), 3u);
  EXPECT_EQ(machine.WriteFile(open, "de", 2, &written), 1);
  EXPECT_EQ(machine.GetFileSize(open), 5u);
  EXPECT_EQ(machine.CloseHandle(open), 1);
  EXPECT_EQ(*machine.ReadFile("C:\\OPEN.LOG"), "new");
}

TEST_F(Files, DoubledSeparatorsCollapseAsWin32Does) {
  machine.AddFile("C:\\WINDOWS\\TEMP\\QN.TMP");
  EXPECT_EQ(machine.DeleteFileA("C:\\WINDOWS\\TEMP\\\\QN.TMP"), 1);
}

TEST_F(Files, RemoveDirectoryNeedsAnEmptyUnheldDirectory) {
  EXPECT_EQ(machine.RemoveDirectoryA("C:\\WINDOWS\\INF\\Other"), 0);
  EXPECT_EQ(machine.GetLastError(), ERROR_DIR_NOT_EMPTY);
  EXPECT_EQ(machine.RemoveDirectoryA("C:\\WINDOWS\\INF\\README"), 0);
  EXPECT_EQ(machine.GetLastError(), ERROR_DIRECTORY);
  EXPECT_EQ(machine.RemoveDirectoryA("C:\\WINDOWS\\NONE"), 0);
  EXPECT_EQ(machine.GetLastError(), static_cast<std::uint32_t>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(machine.RemoveDirectoryA("C:\\"), 0);
  EXPECT_EQ(machine.GetLastError(), ERROR_DIR_NOT_EMPTY);
  EXPECT_EQ(machine.RemoveDirectoryA("C:\\WORK"), 0);  // the working directory
  EXPECT_EQ(machine.GetLastError(), ERROR_SHARING_VIOLATION);

  // The purge's way: delete while searching, close, then remove.
  FindData data;
  FindHandle search = machine.FindFirstFileA("C:\\WINDOWS\\INF\\Other\\*.*", &data);
  ASSERT_NE(search, INVALID_FIND_HANDLE);
  do {
    const std::string name = data.fileName;
    if (name != "." && name != "..")
      machine.DeleteFileA(("C:\\WINDOWS\\INF\\Other\\" + name).c_str());
  } while (machine.FindNextFileA(search, &data));
  EXPECT_EQ(machine.RemoveDirectoryA("C:\\WINDOWS\\INF\\Other"), 0);  // the search still holds it
  EXPECT_EQ(machine.GetLastError(), ERROR_SHARING_VIOLATION);
  machine.FindClose(search);
  EXPECT_EQ(machine.RemoveDirectoryA("C:\\WINDOWS\\INF\\OTHER"), 1);
  EXPECT_FALSE(machine.DirectoryExists("C:\\WINDOWS\\INF\\Other"));
  EXPECT_EQ(emu::ToString(machine.Journal().back()), "DirectoryRemoved C:\\WINDOWS\\INF\\Other");
}

TEST_F(Files, ListTreeGivesStoredPathsInOrder) {
  EXPECT_EQ(
      machine.ListTree("c:\\windows\\inf\\other"),
      (Names{"C:\\WINDOWS\\INF\\Other\\Acme Inc.ACMEMDM.INF", "C:\\WINDOWS\\INF\\Other\\Q.INF"}));
  EXPECT_EQ(machine.ListTree("C:\\NONE"), Names{});
  EXPECT_EQ(machine.ListTree().front(), "C:\\WINDOWS");
}

TEST_F(Files, SetUpRefusesNonsense) {
  EXPECT_THROW(machine.AddFile("C:\\WINDOWS\\INF"), std::invalid_argument);  // a directory
  EXPECT_THROW(machine.AddFile("C:\\WINDOWS\\INF\\README\\X"), std::invalid_argument);
  EXPECT_THROW(machine.SetReadOnly("C:\\NONE"), std::invalid_argument);
  EXPECT_THROW(machine.AddFile("\\\\server\\share\\x"), std::invalid_argument);
}

}  // namespace
}  // namespace mdm
