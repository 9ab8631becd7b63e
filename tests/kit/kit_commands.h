// Helpers of the kit tests: shell commands with their output, a private
// temporary folder, and kit_client built as a setup program would build it.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <unistd.h>

namespace mdm::kit {

namespace fs = std::filesystem;

inline std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// A folder of this process's own, removed with the object.
class TempDir {
 public:
  explicit TempDir(const std::string& name)
      : path_(fs::temp_directory_path() / ("mdm-" + name + "-" + std::to_string(getpid()))) {
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  ~TempDir() { fs::remove_all(path_); }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const fs::path& Path() const { return path_; }

 private:
  fs::path path_;
};

struct Command {
  int status = -1;
  std::string output;  // stdout and stderr together
};

// Output goes through a file, never a pipe, so a stuck reader cannot hang a test.
inline Command Shell(const std::string& command, const fs::path& scratch) {
  const fs::path out = scratch / "command.out";
  Command result;
  result.status = std::system((command + " > '" + out.string() + "' 2>&1").c_str());
  result.output = Slurp(out);
  fs::remove(out);
  return result;
}

// Compiles tests/kit/kit_client.c as `language` ("-x c -std=c89" or
// "-x c++ -std=c++98") against the header in `includeDir` and links it with
// `importLibrary`. The stdcall fixup is off: Microsoft's linker has none, so
// an import library without the @n names a compiler uses must fail here.
inline Command BuildClient(const std::string& compiler, const std::string& language,
                           const fs::path& includeDir, const fs::path& importLibrary,
                           const fs::path& exe, const fs::path& scratch) {
  return Shell("'" + compiler + "' " + language + " -pedantic-errors -Wall -Wextra -Werror -I'" +
                   includeDir.string() + "' '" MDM_KIT_CLIENT_SOURCE "' -x none '" +
                   importLibrary.string() + "' -lversion -Wl,--disable-stdcall-fixup -o '" +
                   exe.string() + "'",
               scratch);
}

}  // namespace mdm::kit
