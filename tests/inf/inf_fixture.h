// A Windows 95 machine with the two INF folders, and helpers to lay INF files
// into them. Every test ends with every search closed.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "emulator/machine.h"
#include "tests/support/test_platform.h"
#include "tests/support/run_logs.h"

namespace mdm::test {

constexpr const char* INF_DIR = "C:\\WINDOWS\\INF\\";
constexpr const char* OTHER_DIR = "C:\\WINDOWS\\INF\\Other\\";

// An INF file's text: section "Version" with the class (none when empty), then `more`.
inline std::string InfText(const std::string& deviceClass, const std::string& more = "") {
  std::string text = "[Version]\r\nSignature=$CHICAGO$\r\n";
  if (!deviceClass.empty()) text += "Class=" + deviceClass + "\r\n";
  return text + more;
}

class InfStageTest : public ::testing::Test {
 protected:
  void SetUp() override { machine.AddDirectory("C:\\WINDOWS\\INF\\Other"); }
  void TearDown() override { EXPECT_EQ(machine.OpenSearchCount(), 0u); }

  void AddInf(const std::string& folder, const std::string& name, const std::string& text) {
    machine.AddFile(folder + name, text);
  }
  bool Exists(const std::string& folder, const std::string& name) const {
    return machine.FileExists(folder + name);
  }
  // Deletions tried on files directly inside `folder` (not in its subfolders).
  int DeleteAttempts(const std::string& folder) const {
    const std::string prefix = "DeleteFileA " + folder;
    int n = 0;
    for (const std::string& call : spy.calls) {
      if (call.rfind(prefix, 0) != 0) continue;
      n += call.find('\\', prefix.size()) == std::string::npos ? 1 : 0;
    }
    return n;
  }

  emu::Machine machine;
  TestPlatform spy{machine};
};

}  // namespace mdm::test
