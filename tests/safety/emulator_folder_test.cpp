// A folder of the emulated machine with thousands of files, emptied in a
// seeded random order: each deletion removes exactly its file, and the
// directory search keeps returning the rest complete and in order.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "emulator/machine.h"

namespace mdm::safety {
namespace {

std::vector<std::string> Listed(emu::Machine& machine) {
  std::vector<std::string> names;
  FindData found;
  const FindHandle search = machine.FindFirstFileA("C:\\WINDOWS\\INF\\*.inf", &found);
  if (search == INVALID_FIND_HANDLE) return names;
  do {
    names.push_back(found.fileName);
  } while (machine.FindNextFileA(search, &found));
  machine.FindClose(search);
  return names;
}

TEST(EmulatorFolder, DeletingInAnyOrderLeavesTheRestListedInOrder) {
  emu::Machine machine;
  std::vector<std::string> names;
  for (int i = 0; i < 3000; ++i)
    names.push_back((i % 2 ? "oem" : "OEM") + std::to_string(i) + ".INF");
  std::mt19937 random(23);
  std::shuffle(names.begin(), names.end(), random);
  for (const std::string& name : names) machine.AddFile("C:\\WINDOWS\\INF\\" + name, name);

  std::vector<std::string> left = names;
  auto byFoldedName = [](std::string a, std::string b) {
    for (std::string* s : {&a, &b}) std::transform(s->begin(), s->end(), s->begin(), ::tolower);
    return a < b;
  };
  std::sort(left.begin(), left.end(), byFoldedName);
  ASSERT_EQ(Listed(machine), left);

  std::shuffle(names.begin(), names.end(), random);
  for (std::size_t i = 0; i < names.size(); ++i) {
    // Deleted by a name in other letter case: the folder matches case-blind.
    std::string asked = names[i];
    std::transform(asked.begin(), asked.end(), asked.begin(), ::toupper);
    ASSERT_EQ(machine.DeleteFileA(("C:\\WINDOWS\\INF\\" + asked).c_str()), 1) << asked;
    left.erase(std::find(left.begin(), left.end(), names[i]));
    if (i % 500 == 0) {
      ASSERT_EQ(Listed(machine), left);
    }
    ASSERT_EQ(machine.DeleteFileA(("C:\\WINDOWS\\INF\\" + names[i]).c_str()), 0);
  }
  EXPECT_TRUE(Listed(machine).empty());
  EXPECT_EQ(machine.RemoveDirectoryA("C:\\WINDOWS\\INF"), 1);
}

}  // namespace
}  // namespace mdm::safety
