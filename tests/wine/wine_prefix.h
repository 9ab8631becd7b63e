// A private Wine prefix for tests that run the win64 build under wine64 in
// Windows 95 mode (Version=win95, Graphics=null, WINEDEBUG=-all).
//
// Every prefix is a copy of one template that is booted once per Wine version
// and kept in the build tree, so a test pays for a copy, not for a boot.
// Windows paths ("C:\windows\win.ini") name files inside the prefix; the
// Windows directory is C:\windows and the system directory C:\windows\system32.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace mdm::wine {

// wine64 is installed where the tests look for it.
bool WineAvailable();
// Full host path of `name` in the win64 build's bin folder (the cache
// variable MDM_WIN64_BIN_DIR, or the environment variable of that name).
std::string Win64Exe(const std::string& name);
bool FileExistsOnHost(const std::string& hostPath);

struct RunResult {
  int exitCode = -1;
  std::string out;  // what the program wrote to stdout
  std::string err;  // to stderr
};

class WinePrefix {
 public:
  // Throws std::runtime_error when the prefix cannot be made.
  WinePrefix();
  // Stops this prefix's wineserver and removes the prefix.
  ~WinePrefix();
  WinePrefix(const WinePrefix&) = delete;
  WinePrefix& operator=(const WinePrefix&) = delete;

  const std::string& Path() const { return prefix_; }
  // Host path of a Windows path on drive C:, existing components matched
  // case-blind as Wine matches them.
  std::string HostPath(const std::string& windowsPath) const;

  // regedit /s of REGEDIT4 (or version 5) text.
  void ImportRegistry(const std::string& regeditText);
  // regedit /e of `key` (e.g. "HKEY_LOCAL_MACHINE\Software\X"), decoded from
  // UTF-16 to 8-bit text with LF line ends; empty when the key is absent.
  std::string ExportRegistry(const std::string& key);

  // Creates parent folders. Never writes through to the shared template.
  void WriteFile(const std::string& windowsPath, const std::string& content);
  std::optional<std::string> ReadFile(const std::string& windowsPath) const;
  bool Exists(const std::string& windowsPath) const;
  void MakeDirectory(const std::string& windowsPath);
  // Names in the folder, sorted, without "." and "..".
  std::vector<std::string> ListDir(const std::string& windowsPath) const;
  // The read-only attribute as Wine keeps it: the Unix write bits, which is
  // what `attrib +r` sets and what makes DeleteFileA refuse the file.
  void SetReadOnly(const std::string& windowsPath, bool readOnly = true);

  // Runs a PE under wine64 with `workingDir` (a Windows path) as current
  // directory; the output goes through files, never through a pipe.
  RunResult Run(const std::string& exeHostPath, const std::vector<std::string>& args,
                const std::string& workingDir = "C:\\");

 private:
  int Wine(const std::vector<std::string>& args);
  std::string tempDir_;
  std::string prefix_;
};

}  // namespace mdm::wine

// For GoogleTest tests: skip where Wine is not installed; fail where the
// win64 build is missing, since the test command always builds it.
#define MDM_REQUIRE_WINE()                                                              \
  do {                                                                                  \
    if (!::mdm::wine::WineAvailable())                                                  \
      GTEST_SKIP() << "wine64 is not installed (/usr/lib/wine/wine64): Wine test skipped"; \
  } while (0)

#define MDM_REQUIRE_WIN64_EXE(var, name)                                                   \
  const std::string var = ::mdm::wine::Win64Exe(name);                                    \
  ASSERT_TRUE(::mdm::wine::FileExistsOnHost(var))                                         \
      << var << " is missing: build the win64 preset first "                              \
      << "(cmake --preset win64 && cmake --build --preset win64)"
