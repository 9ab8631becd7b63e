// Windows directories near the 260-byte path limit: every path a stage cannot
// compose whole is skipped, never cut into a shorter path that names
// something else, and nothing outside the package goes.
#include <gtest/gtest.h>

#include <string>

#include "core/stages/file_removal.h"
#include "emulator/machine.h"
#include "tests/safety/harness.h"

namespace mdm::safety {
namespace {

// "C:\" and components of at most 60 characters, `length` characters in all.
std::string LongDirectory(std::size_t length) {
  std::string path = "C:\\";
  char letter = 'A';
  while (path.size() < length) {
    if (path.back() != '\\') path += '\\';
    const std::size_t room = length - path.size();
    const std::size_t take = room <= 60 ? room : 50;
    path += std::string(take, letter++);
  }
  return path;
}

// What the package's paths would name if a directory query that does not
// fit were taken as an empty directory: the same names at the drive's root.
void AddRootDecoys(GeneratedMachine& g) {
  for (const char* decoy :
       {"C:\\QUILLNET.CPL", "C:\\quillnet.vxd", "C:\\QUILLNET.101\\QUILLNET.EXE",
        "C:\\QUILLNET.101\\PRELDR.EXE", "C:\\QUILLNET.101\\QUILLNET.DRV",
        "C:\\QUILLNET.101\\README.TXT", "C:\\INF\\QNMODEM.INF", "C:\\INF\\OEM1.INF"}) {
    g.model.AddFile(decoy, "[Version]\r\nClass=Quillnet\r\n", Owner::Bystander);
  }
}

TEST(LongPaths, WindowsDirectoriesUpToThePathLimit) {
  for (std::size_t length : {180u, 200u, 215u, 225u, 232u, 236u, 240u, 243u, 246u, 248u, 250u, 252u,
                             253u, 255u, 257u, 259u}) {
    for (std::uint64_t seed = 1; seed <= 6; ++seed) {
      Variation variation;
      variation.fullPackage = seed % 2 == 0;
      variation.productNames = true;
      variation.windowsDirectory = LongDirectory(length);
      ASSERT_EQ(variation.windowsDirectory.size(), length);
      GeneratedMachine g = Generate(seed, variation);
      AddRootDecoys(g);
      for (Deliverable who : {Deliverable::Program, Deliverable::Library}) {
        const Outcome outcome = RunAndCheck(g, who);
        EXPECT_TRUE(outcome.problems.empty())
            << "Windows directory of " << length << " characters\n"
            << Report(g, who, outcome.problems);
      }
    }
  }
}

// A cut path would name a shorter file that exists: it must stay.
TEST(LongPaths, ACutPathNeverNamesADecoy) {
  Variation variation;
  variation.fullPackage = true;
  variation.productNames = true;
  variation.windowsDirectory = LongDirectory(252);
  GeneratedMachine g = Generate(2, variation);
  const std::string system = g.model.settings.systemDirectory;  // 259 characters
  // What "<system>\QUILLNET.CPL" and friends would become if cut to 259.
  g.model.AddFile(system.substr(0, system.size() - 1) + "Q", "decoy", Owner::Bystander);
  AddRootDecoys(g);
  for (Deliverable who : {Deliverable::Program, Deliverable::Library}) {
    const Outcome outcome = RunAndCheck(g, who);
    EXPECT_TRUE(outcome.problems.empty()) << Report(g, who, outcome.problems);
  }
}

// The query reports the size it would need when the directory does not fit;
// the buffer then holds nothing to build on.
TEST(LongPaths, ADirectoryQueryThatDoesNotFitComposesNothing) {
  emu::Machine machine;
  machine.SetSystemDirectory(LongDirectory(MAX_PATH));
  machine.SetWindowsDirectory(LongDirectory(MAX_PATH + 5));
  FileEntry entry{DIR_SYSTEM, "", "QUILLNET.CPL"};
  std::string path = "unchanged";
  EXPECT_FALSE(ComposeEntryPath(machine, PROGRAM_FILE_REMOVAL, entry, path));
  EXPECT_EQ(path, "");
  for (DirKind kind : {DIR_WINDOWS, DIR_INF}) {
    entry.kind = kind;
    EXPECT_FALSE(ComposeEntryPath(machine, LIBRARY_FILE_REMOVAL, entry, path)) << kind;
  }
  machine.SetSystemDirectory(LongDirectory(MAX_PATH - 1));
  entry = FileEntry{DIR_SYSTEM, "", ""};
  EXPECT_TRUE(ComposeEntryPath(machine, PROGRAM_FILE_REMOVAL, entry, path));
  EXPECT_EQ(path.size(), MAX_PATH - 1);
}

}  // namespace
}  // namespace mdm::safety
