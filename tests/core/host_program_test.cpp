// The host build of mdmclean as a program: no arguments, no output, the
// machine image named by MDM_MACHINE, mdminfo.ini taken from and written back
// to the working directory.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "emulator/machine.h"
#include "tests/support/sample_outcome.h"

namespace {

namespace fs = std::filesystem;

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

class HostProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    image = fs::temp_directory_path() / (std::string("mdmclean-host-") + info->name());
    fs::remove_all(image);
    fs::copy(MDM_SAMPLE_MACHINE, image, fs::copy_options::recursive);
  }
  void TearDown() override { fs::remove_all(image); }

  // Runs the program in `workDir` with its output captured to a file.
  int Run(const fs::path& workDir) {
    const fs::path output = image.string() + ".out";
    const std::string command = "cd '" + workDir.string() + "' && MDM_MACHINE='" + image.string() +
                                "' '" MDMCLEAN_HOST "' > '" + output.string() + "' 2>&1";
    const int status = std::system(command.c_str());
    printed = Slurp(output);
    fs::remove(output);
    return status;
  }

  fs::path image;
  std::string printed;
};

TEST_F(HostProgram, RemovesThePackageFromTheImageAndWritesTheResultBack) {
  const fs::path setup = image / "drive_c" / "QNSETUP";
  ASSERT_EQ(Run(setup), 0);
  EXPECT_EQ(printed, "");
  const auto after = mdm::emu::Machine::LoadImage(image.string());
  mdm::test::ExpectSampleOutcome(MDM_SAMPLE_MACHINE, *after, mdm::test::Deliverable::Program);
}

TEST_F(HostProgram, WithoutConfigurationItWritesResultOneIntoTheWorkingDirectory) {
  const fs::path empty = image.string() + "-work";
  fs::create_directories(empty);
  EXPECT_EQ(Run(empty), 0);
  EXPECT_EQ(printed, "");
  EXPECT_EQ(Slurp(empty / "mdminfo.ini"), "[Progress]\r\nRemaining=0\r\nResult=1\r\n");
  const auto after = mdm::emu::Machine::LoadImage(image.string());
  EXPECT_TRUE(after->HasKey("Enum\\Root\\Quillnet"));
  fs::remove_all(empty);
}

}  // namespace
