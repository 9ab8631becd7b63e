// Every Windows artifact imports only what a bare Windows 95 machine has, and
// the shipping (win32) ones ask for subsystem and OS version 4.0.
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::vector<std::string> Artifacts(const std::string& folder) {
  std::vector<std::string> found;
  if (!fs::is_directory(folder)) return found;
  for (const auto& entry : fs::directory_iterator(folder)) {
    std::string extension = Lower(entry.path().extension().string());
    if (entry.is_regular_file() && (extension == ".exe" || extension == ".dll")) {
      found.push_back(entry.path().string());
    }
  }
  std::sort(found.begin(), found.end());
  return found;
}

struct Headers {
  std::string format;
  std::string fields;  // "MajorSubsystemVersion 4" and the like, one a line
  std::vector<std::string> dlls;
};

// objdump -p into a file; its output is parsed, never waited on through a pipe.
Headers Inspect(const std::string& objdump, const std::string& file) {
  const std::string out =
      (fs::temp_directory_path() / ("mdm-objdump-" + std::to_string(getpid()) + ".txt")).string();
  const std::string command = "'" + objdump + "' -p '" + file + "' > '" + out + "' 2>&1";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  Headers headers;
  std::ifstream in(out);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string first, second;
    words >> first >> second;
    if (line.find("file format") != std::string::npos) headers.format = line;
    if (first == "DLL" && second == "Name:") {
      std::string name;
      words >> name;
      headers.dlls.push_back(name);
    }
    if (first.find("Version") != std::string::npos) headers.fields += first + " " + second + "\n";
  }
  fs::remove(out);
  return headers;
}

void ExpectOnlyAllowedImports(const std::string& file, const Headers& headers) {
  static const std::set<std::string> kAllowed = {"kernel32.dll", "user32.dll", "advapi32.dll",
                                                 "msvcrt.dll"};
  EXPECT_FALSE(headers.dlls.empty()) << file << ": no import table found";
  for (const std::string& dll : headers.dlls) {
    EXPECT_EQ(kAllowed.count(Lower(dll)), 1u) << file << " imports " << dll;
  }
}

TEST(WindowsArtifacts, ShippingBuildRunsOnABareWindows95) {
  auto files = Artifacts(MDM_WIN32_BIN_DIR);
  ASSERT_FALSE(files.empty()) << "no .exe or .dll in " << MDM_WIN32_BIN_DIR
                              << ": build the win32 preset first "
                              << "(cmake --preset win32 && cmake --build --preset win32)";
  for (const std::string& file : files) {
    Headers headers = Inspect(MDM_I686_OBJDUMP, file);
    EXPECT_NE(headers.format.find("pei-i386"), std::string::npos) << file << ": " << headers.format;
    for (const char* field : {"MajorSubsystemVersion 4", "MinorSubsystemVersion 0",
                              "MajorOSystemVersion 4", "MinorOSystemVersion 0"}) {
      EXPECT_NE(headers.fields.find(std::string(field) + "\n"), std::string::npos)
          << file << " lacks " << field << ":\n" << headers.fields;
    }
    ExpectOnlyAllowedImports(file, headers);
  }
}

TEST(WindowsArtifacts, WineBuildImportsTheSameDlls) {
  auto files = Artifacts(MDM_WIN64_BIN_DIR);
  if (files.empty()) GTEST_SKIP() << "no win64 artifacts in " << MDM_WIN64_BIN_DIR;
  for (const std::string& file : files) {
    Headers headers = Inspect(MDM_X86_64_OBJDUMP, file);
    EXPECT_NE(headers.format.find("pei-x86-64"), std::string::npos) << file;
    ExpectOnlyAllowedImports(file, headers);
  }
}

}  // namespace
