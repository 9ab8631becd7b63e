// A private Wine prefix for tests that run the Windows builds under Wine in
// Windows 95 mode (Version=win95, Graphics=null, WINEDEBUG=-all).
//
// Two kinds:
// - win64: the win64 build under wine64. Every prefix is a copy of one
//   template that is booted once per Wine version and kept in the build tree,
//   so a test pays for a copy, not for a boot.
// - i386: the i686 build under Debian's 32-bit Wine, unpacked with qemu-i386
//   into build/i386-wine/root by scripts/setup-i386-wine.sh. Where the host
//   runs 32-bit Linux programs, Wine's 32-bit loader runs natively (seconds a
//   process); elsewhere under qemu-i386 (about a minute a process). There is
//   no boot, regedit or cmd: the prefix is made by hand, its registry written
//   and read in Wine's own file format, its wineboot.exe is a stand-in that
//   only lets the program go on (tools/wineboot-stand-in), and each Run
//   starts and stops its own wineserver.
// Windows paths ("C:\windows\win.ini") name files inside the prefix; the
// Windows directory is C:\windows and the system directory C:\windows\system32.
#pragma once

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace mdm::emu {
class RegistryTree;
}

namespace mdm::wine {

enum class WineKind { kWin64, kI386 };

// wine64 is installed where the tests look for it.
bool WineAvailable();
// The unpacked 32-bit Wine and qemu-i386 are there (MDM_I386_WINE_ROOT).
bool I386WineAvailable();
// ASCII letters folded to lower case: how keys and paths are compared here.
std::string Lower(std::string text);

std::string I386WineRoot();

// How i386 prefixes run Wine's 32-bit loader: natively where the host runs
// it (tried once per process: "wine --version" must answer), otherwise under
// qemu-i386. MDM_I386_WINE_QEMU=1 forces qemu-i386 on any host.
enum class I386Loader { kNative, kQemu };
I386Loader ChosenI386Loader();
// The host runs Wine's 32-bit loader natively, forced or not. Only then can a
// Windows process of an i386 prefix start another: Wine starts its loader
// for the child itself, without qemu.
bool HostRuns32BitPrograms();
const char* Describe(I386Loader loader);
// Full host path of `name` in the win64 build's bin folder (the cache
// variable MDM_WIN64_BIN_DIR, or the environment variable of that name).
std::string Win64Exe(const std::string& name);
// The same for the win32 (i686) build (MDM_WIN32_BIN_DIR).
std::string Win32Exe(const std::string& name);
bool FileExistsOnHost(const std::string& hostPath);

struct RunResult {
  int exitCode = -1;
  std::string out;  // what the program wrote to stdout
  std::string err;  // to stderr
};

class WinePrefix {
 public:
  // Throws std::runtime_error when the prefix cannot be made.
  explicit WinePrefix(WineKind kind = WineKind::kWin64);
  // Stops this prefix's wineserver and removes the prefix.
  ~WinePrefix();
  WinePrefix(const WinePrefix&) = delete;
  WinePrefix& operator=(const WinePrefix&) = delete;

  const std::string& Path() const { return prefix_; }
  // Host path of a Windows path on drive C:, existing components matched
  // case-blind as Wine matches them.
  std::string HostPath(const std::string& windowsPath) const;

  // regedit /s of REGEDIT4 (or version 5) text. For i386 prefixes: merged
  // into the registry file, HKEY_LOCAL_MACHINE only, and before the first Run.
  void ImportRegistry(const std::string& regeditText);
  // regedit /e of `key` (e.g. "HKEY_LOCAL_MACHINE\Software\X"), decoded from
  // UTF-16 to 8-bit text with LF line ends; empty when the key is absent.
  // For i386 prefixes: the same text made from the registry file, which the
  // server has saved at the end of the last Run.
  std::string ExportRegistry(const std::string& key);

  // Creates parent folders. Never writes through to the shared template.
  void WriteFile(const std::string& windowsPath, const std::string& content);

  // What the test laid down, lower-cased: the keys named in imported text
  // ("hkey_local_machine\enum\root"), and the files written
  // ("c:\windows\inf\oem4.inf"). A test compares these, never all that
  // Wine keeps in a prefix.
  const std::set<std::string>& LaidDownKeys() const { return laidDownKeys_; }
  bool LaidDown(const std::string& windowsPath) const;
  std::optional<std::string> ReadFile(const std::string& windowsPath) const;
  bool Exists(const std::string& windowsPath) const;
  void MakeDirectory(const std::string& windowsPath);
  // Names in the folder, sorted, without "." and "..".
  std::vector<std::string> ListDir(const std::string& windowsPath) const;
  // The read-only attribute as Wine keeps it: the Unix write bits, which is
  // what `attrib +r` sets and what makes DeleteFileA refuse the file.
  void SetReadOnly(const std::string& windowsPath, bool readOnly = true);
  // The Windows version Wine tells this prefix's programs, by the name of
  // Wine's setting ("win98": 4.10); the template's is "win95". win64 only.
  void SetWindowsVersion(const std::string& version);

  // Runs a PE under wine64 (i386: 32-bit Wine) with `workingDir` (a Windows
  // path) as current directory; the output goes through files, never through
  // a pipe.
  RunResult Run(const std::string& exeHostPath, const std::vector<std::string>& args,
                const std::string& workingDir = "C:\\");

 private:
  int Wine(const std::vector<std::string>& args);
  void MakeI386Prefix();
  void SaveI386Registry() const;
  RunResult RunI386(const std::vector<std::string>& program, const std::string& cwd);
  std::vector<std::string> I386Env() const;

  WineKind kind_;
  std::string tempDir_;
  std::string prefix_;
  // i386: HKEY_LOCAL_MACHINE as imported, until the first Run.
  std::unique_ptr<emu::RegistryTree> machine_;
  bool ran_ = false;
  std::set<std::string> laidDownKeys_;
  std::set<std::string> laidDownFiles_;
};

}  // namespace mdm::wine

// For GoogleTest tests: skip where Wine is not installed; fail where the
// win64 build is missing, since the test command always builds it.
#define MDM_REQUIRE_WINE()                                                                 \
  do {                                                                                     \
    if (!::mdm::wine::WineAvailable())                                                     \
      GTEST_SKIP() << "wine64 is not installed (/usr/lib/wine/wine64): Wine test skipped"; \
  } while (0)

// Fail where the i386 tree is missing: the test command always prepares it.
#define MDM_REQUIRE_I386_WINE()                                           \
  ASSERT_TRUE(::mdm::wine::I386WineAvailable())                           \
      << "32-bit Wine is not unpacked in " << ::mdm::wine::I386WineRoot() \
      << ": run bash scripts/setup-i386-wine.sh (the test command runs it)"

#define MDM_REQUIRE_WIN32_EXE(var, name)                     \
  const std::string var = ::mdm::wine::Win32Exe(name);       \
  ASSERT_TRUE(::mdm::wine::FileExistsOnHost(var))            \
      << var << " is missing: build the win32 preset first " \
      << "(cmake --preset win32 && cmake --build --preset win32)"

#define MDM_REQUIRE_WIN64_EXE(var, name)                     \
  const std::string var = ::mdm::wine::Win64Exe(name);       \
  ASSERT_TRUE(::mdm::wine::FileExistsOnHost(var))            \
      << var << " is missing: build the win64 preset first " \
      << "(cmake --preset win64 && cmake --build --preset win64)"
