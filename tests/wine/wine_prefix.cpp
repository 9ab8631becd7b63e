#include "tests/wine/wine_prefix.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "emulator/regedit.h"
#include "emulator/registry_tree.h"

extern char** environ;

namespace fs = std::filesystem;

namespace mdm::wine {
namespace {

const char* const kWine64 = MDM_WINE64;
const char* const kWineserver = MDM_WINESERVER;

std::string EnvOr(const char* name, const std::string& fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && value[0] != '\0' ? value : fallback;
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void Spill(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  if (!out) throw std::runtime_error("cannot write " + path);
}

// Runs `argv` with `env` added to the environment, stdin from /dev/null and
// stdout/stderr into files. Waits for that process only: Wine's background
// services inherit the files, so nothing here waits for them to be closed.
int RunProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env,
               const std::string& cwd, const std::string& outFile, const std::string& errFile) {
  std::vector<std::string> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    std::string text = *entry;
    std::string name = text.substr(0, text.find('='));
    bool overridden = std::any_of(env.begin(), env.end(), [&](const std::string& e) {
      return e.compare(0, name.size() + 1, name + "=") == 0;
    });
    if (!overridden) environment.push_back(text);
  }
  environment.insert(environment.end(), env.begin(), env.end());
  std::vector<char*> args, envp;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  for (const auto& e : environment) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);

  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    int in = open("/dev/null", O_RDONLY);
    int out = open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0 || (!cwd.empty() && chdir(cwd.c_str()) != 0)) _exit(126);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    execve(args[0], args.data(), envp.data());
    _exit(127);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) throw std::runtime_error("waitpid failed");
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return 128 + WTERMSIG(status);
}

std::vector<std::string> WineEnv(const std::string& prefix) {
  // mscoree/mshtml off: the boot would otherwise look for Mono and Gecko.
  return {"WINEPREFIX=" + prefix, "WINEDEBUG=-all", "WINEDLLOVERRIDES=mscoree,mshtml="};
}

int RunQuiet(const std::vector<std::string>& argv, const std::vector<std::string>& env,
             const std::string& logBase) {
  return RunProcess(argv, env, "", logBase + ".out", logBase + ".err");
}

std::string WineVersion(const std::string& scratch) {
  RunQuiet({kWine64, "--version"}, {}, scratch + "/version");
  std::string version = Slurp(scratch + "/version.out");
  for (char& c : version) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-') c = '_';
  }
  while (!version.empty() && version.back() == '_') version.pop_back();
  return version.empty() ? "unknown" : version;
}

void BootTemplate(const std::string& dir) {
  auto env = WineEnv(dir);
  std::string log = dir + ".log";
  if (RunQuiet({kWine64, "wineboot", "-i"}, env, log) != 0) {
    throw std::runtime_error("wineboot -i failed for " + dir + ": " + Slurp(log + ".err"));
  }
  RunQuiet({kWine64, "reg", "add", "HKCU\\Software\\Wine\\Drivers", "/v", "Graphics", "/d", "null",
            "/f"},
           env, log);
  RunQuiet({kWine64, "reg", "add", "HKCU\\Software\\Wine", "/v", "Version", "/d", "win95", "/f"},
           env, log);
  // Windows 95 keeps win.ini's [windows] section in the file; Wine maps it to
  // the registry as Windows NT does until this mapping is removed.
  RunQuiet({kWine64, "reg", "delete",
            "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\IniFileMapping\\win.ini", "/f"},
           env, log);
  // The server writes the registry files when it ends.
  RunQuiet({kWineserver, "-w"}, env, log);
}

// The booted template for this Wine version, made once and shared by every
// test process through the build tree; a lock file keeps two from booting.
std::string TemplatePrefix() {
  std::string base = EnvOr("MDM_WINE_TEMPLATE_DIR", MDM_WINE_TEMPLATE_DIR);
  fs::create_directories(base);
  int lock = open((base + "/lock").c_str(), O_RDWR | O_CREAT, 0644);
  if (lock < 0) throw std::runtime_error("cannot open " + base + "/lock");
  // Held from the version query on: that writes a file in `base` too.
  flock(lock, LOCK_EX);
  try {
    std::string dir = base + "/" + WineVersion(base);
    // The marker's name changes whenever the boot steps do, so that an older
    // template is booted again.
    const std::string ready = dir + "/.mdm-ready-2";
    if (!fs::exists(ready)) {
      fs::remove_all(dir);
      BootTemplate(dir);
      Spill(ready, "");
    }
    close(lock);
    return dir;
  } catch (...) {
    close(lock);
    throw;
  }
}

// Folders the tests never write into; they stay hard links to the template.
bool SharedFolder(const fs::path& relative) {
  static const char* const kShared[] = {"drive_c/windows/system32", "drive_c/windows/syswow64",
                                        "drive_c/windows/winsxs"};
  return std::any_of(std::begin(kShared), std::end(kShared),
                     [&](const char* shared) { return relative == shared; });
}

// Wine rewrites profile files in place, so every file outside the shared
// folders gets its own copy.
void Unshare(const fs::path& file) {
  fs::path copy = file.string() + ".mdm-copy";
  fs::copy_file(file, copy, fs::copy_options::overwrite_existing);
  fs::permissions(copy, fs::symlink_status(file).permissions());
  fs::rename(copy, file);
}

void CopyTemplate(const std::string& from, const std::string& to) {
  if (RunQuiet({"/bin/cp", "-al", from, to}, {}, to + ".cp") != 0) {
    fs::remove_all(to);
    if (RunQuiet({"/bin/cp", "-a", from, to}, {}, to + ".cp") != 0) {
      throw std::runtime_error("cannot copy the Wine template " + from);
    }
    return;
  }
  // Symbolic links (dosdevices\z: is the whole host) are not followed.
  for (auto it = fs::recursive_directory_iterator(to); it != fs::recursive_directory_iterator();
       ++it) {
    fs::file_status status = it->symlink_status();
    if (fs::is_directory(status) && SharedFolder(fs::relative(it->path(), to))) {
      it.disable_recursion_pending();
    } else if (fs::is_regular_file(status) && fs::hard_link_count(it->path()) > 1) {
      Unshare(it->path());
    }
  }
}

bool EqualsCaseBlind(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

std::string FromUtf16(const std::string& bytes) {
  std::string text;
  for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
    unsigned code = static_cast<unsigned char>(bytes[i]) |
                    static_cast<unsigned>(static_cast<unsigned char>(bytes[i + 1])) << 8;
    text += code < 256 ? static_cast<char>(code) : '?';
  }
  return text;
}

std::string WithoutCr(std::string text) {
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  return text;
}

// ---- i386 prefixes: Wine's registry files, read and written directly.

const char* const kRegedit4Root = "HKEY_LOCAL_MACHINE\\";

// A key name as Wine's registry files write it between brackets.
std::string WineKeyName(const std::string& name) {
  std::string escaped;
  for (char c : name) {
    if (c == '\\' || c == '[' || c == ']') escaped += '\\';
    escaped += c;
  }
  return escaped;
}

// system.reg holding `hklm`. Value lines are regedit's, which Wine's loader
// reads alike; only the key names differ (relative, backslashes escaped).
std::string WineSystemReg(const emu::RegistryTree& hklm) {
  std::string file =
      "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win32\n";
  std::istringstream lines(emu::ExportRegedit(hklm));
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind(std::string("[") + kRegedit4Root, 0) == 0) {
      file += "\n[" + WineKeyName(line.substr(20, line.size() - 21)) + "]\n";
    } else if (!line.empty() && line != "REGEDIT4") {
      file += line + "\n";
    }
  }
  return file;
}

bool UnderKey(const std::string& name, const std::string& key) {
  return EqualsCaseBlind(name.substr(0, key.size()), key) &&
         (name.size() == key.size() || name[key.size()] == '\\');
}

// The sections of Wine's system.reg at and below `key` (relative to
// HKEY_LOCAL_MACHINE) as REGEDIT4 text. Wine's key options ("#time=") are
// left out; its own keys elsewhere may hold data that REGEDIT4 cannot.
std::string RegeditOfWineFile(const std::string& file, const std::string& key) {
  std::string text = "REGEDIT4\n";
  bool keep = false;
  std::istringstream lines(WithoutCr(file));
  std::string line;
  while (std::getline(lines, line)) {
    if (line.empty()) continue;
    if (line[0] == '[') {
      std::string name;
      std::size_t i = 1;
      for (; i < line.size() && line[i] != ']'; ++i) {
        if (line[i] == '\\' && i + 1 < line.size()) ++i;
        name += line[i];
      }
      keep = UnderKey(name, key);
      if (keep) text += std::string("\n[") + kRegedit4Root + name + "]\n";
    } else if (keep && line[0] != '#') {
      text += line + "\n";
    }
  }
  return text;
}

}  // namespace

bool WineAvailable() { return access(kWine64, X_OK) == 0 && access(kWineserver, X_OK) == 0; }

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string I386WineRoot() { return EnvOr("MDM_I386_WINE_ROOT", MDM_I386_WINE_ROOT); }

bool I386WineAvailable() { return fs::exists(I386WineRoot() + "/.mdm-ready"); }

namespace {

std::string I386WineLoader() { return I386WineRoot() + "/usr/lib/wine/wine"; }

// Wine's 32-bit loader, started directly, answers with its version: the
// kernel runs 32-bit programs and the host has their dynamic loader
// (/lib/ld-linux.so.2, from libc6-i386).
bool LoaderAnswers() {
  std::string scratch = fs::temp_directory_path().string() + "/mdm-i386-probe-XXXXXX";
  if (mkdtemp(scratch.data()) == nullptr) return false;
  const int code = RunQuiet({I386WineLoader(), "--version"}, {}, scratch + "/version");
  const std::string version = Slurp(scratch + "/version.out");
  fs::remove_all(scratch);
  return code == 0 && version.rfind("wine-", 0) == 0;
}

}  // namespace

bool HostRuns32BitPrograms() {
  static const bool runs = LoaderAnswers();
  return runs;
}

I386Loader ChosenI386Loader() {
  const bool forced = EnvOr("MDM_I386_WINE_QEMU", "0") != "0";
  return !forced && HostRuns32BitPrograms() ? I386Loader::kNative : I386Loader::kQemu;
}

const char* Describe(I386Loader loader) {
  return loader == I386Loader::kNative ? "Wine's 32-bit loader runs natively"
                                       : "Wine's 32-bit loader runs under qemu-i386";
}

std::string Win64Exe(const std::string& name) {
  return EnvOr("MDM_WIN64_BIN_DIR", MDM_WIN64_BIN_DIR) + "/" + name;
}

std::string Win32Exe(const std::string& name) {
  return EnvOr("MDM_WIN32_BIN_DIR", MDM_WIN32_BIN_DIR) + "/" + name;
}

bool FileExistsOnHost(const std::string& hostPath) { return fs::is_regular_file(hostPath); }

WinePrefix::WinePrefix(WineKind kind) : kind_(kind) {
  std::string base = EnvOr("MDM_WINE_TEMPLATE_DIR", MDM_WINE_TEMPLATE_DIR);
  std::string templateDir;
  if (kind_ == WineKind::kWin64) {
    templateDir = TemplatePrefix();
    base = fs::path(templateDir).parent_path().string();
  }
  fs::create_directories(base);
  std::string pattern = base + "/run-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr) throw std::runtime_error("mkdtemp failed: " + pattern);
  tempDir_ = buffer.data();
  prefix_ = tempDir_ + "/prefix";
  if (kind_ == WineKind::kWin64) {
    CopyTemplate(templateDir, prefix_);
  } else {
    MakeI386Prefix();
  }
}

// What a boot would have made and these tests need: drives C: and Z:, the
// system directory, Windows 95 mode and no display.
void WinePrefix::MakeI386Prefix() {
  if (!I386WineAvailable()) {
    throw std::runtime_error(I386WineRoot() + " is missing: run bash scripts/setup-i386-wine.sh");
  }
  // One symbolic link per DLL into a folder of the prefix's own, so that
  // files the tests put in the system directory stay in the prefix.
  const fs::path system32 = prefix_ + "/drive_c/windows/system32";
  fs::create_directories(system32);
  for (const auto& dll :
       fs::directory_iterator(I386WineRoot() + "/usr/lib/i386-linux-gnu/wine/i386-windows")) {
    fs::create_symlink(dll.path(), system32 / dll.path().filename());
  }
  // Wine starts wineboot.exe before every program started from Unix; the
  // real one would install its INF files, services and devices into the
  // prefix while the test runs.
  const std::string standIn = Win32Exe("wineboot-stand-in.exe");
  if (!FileExistsOnHost(standIn)) {
    throw std::runtime_error(standIn +
                             " is missing: build the win32 preset first "
                             "(cmake --preset win32 && cmake --build --preset win32)");
  }
  fs::remove(system32 / "wineboot.exe");
  fs::copy_file(standIn, system32 / "wineboot.exe");
  fs::create_directories(prefix_ + "/dosdevices");
  fs::create_symlink("../drive_c", prefix_ + "/dosdevices/c:");
  fs::create_symlink("/", prefix_ + "/dosdevices/z:");
  Spill(prefix_ + "/user.reg",
        "WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n\n"
        "#arch=win32\n\n"
        "[Software\\\\Wine]\n\"Version\"=\"win95\"\n\n"
        "[Software\\\\Wine\\\\Drivers]\n\"Graphics\"=\"null\"\n");
  machine_ = std::make_unique<emu::RegistryTree>();
  SaveI386Registry();
}

void WinePrefix::SaveI386Registry() const {
  Spill(prefix_ + "/system.reg", WineSystemReg(*machine_));
}

WinePrefix::~WinePrefix() {
  try {
    auto env = WineEnv(prefix_);
    RunQuiet({kWineserver, "-k"}, env, tempDir_ + "/kill");
    RunQuiet({kWineserver, "-w"}, env, tempDir_ + "/kill");
    if (std::getenv("MDM_KEEP_WINE_PREFIX") == nullptr) fs::remove_all(tempDir_);
  } catch (...) {
    // A prefix left behind costs disk space, not correctness.
  }
}

std::string WinePrefix::HostPath(const std::string& windowsPath) const {
  std::string rest = windowsPath;
  if (rest.size() >= 2 && rest[1] == ':') {
    if (std::tolower(static_cast<unsigned char>(rest[0])) != 'c') {
      throw std::invalid_argument("only drive C: is in the prefix: " + windowsPath);
    }
    rest = rest.substr(2);
  }
  fs::path host = prefix_ + "/drive_c";
  std::istringstream parts(rest);
  std::string part;
  while (std::getline(parts, part, '\\')) {
    if (part.empty() || part == ".") continue;
    fs::path next = host / part;
    if (!fs::exists(fs::symlink_status(next)) && fs::is_directory(host)) {
      for (const auto& entry : fs::directory_iterator(host)) {
        if (EqualsCaseBlind(entry.path().filename().string(), part)) {
          next = entry.path();
          break;
        }
      }
    }
    host = next;
  }
  return host.string();
}

int WinePrefix::Wine(const std::vector<std::string>& args) {
  std::vector<std::string> argv{kWine64};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunQuiet(argv, WineEnv(prefix_), tempDir_ + "/wine");
}

void WinePrefix::ImportRegistry(const std::string& regeditText) {
  std::istringstream lines(WithoutCr(regeditText));
  for (std::string line; std::getline(lines, line);) {
    if (line.size() > 2 && line.front() == '[' && line.back() == ']') {
      laidDownKeys_.insert(Lower(line.substr(1, line.size() - 2)));
    }
  }
  if (kind_ == WineKind::kI386) {
    // After a Run the file holds what Wine wrote, which the tree does not.
    if (ran_) throw std::logic_error("ImportRegistry after Run in an i386 prefix");
    emu::ImportRegedit(*machine_, regeditText);
    SaveI386Registry();
    return;
  }
  const std::string file = "C:\\mdm-import.reg";
  WriteFile(file, regeditText);
  int code = Wine({"regedit", "/s", file});
  fs::remove(HostPath(file));
  if (code != 0) throw std::runtime_error("regedit /s failed: " + Slurp(tempDir_ + "/wine.err"));
}

std::string WinePrefix::ExportRegistry(const std::string& key) {
  if (kind_ == WineKind::kI386) {
    const std::string root = kRegedit4Root;
    if (!EqualsCaseBlind(key.substr(0, root.size()), root)) {
      throw std::invalid_argument("only HKEY_LOCAL_MACHINE is kept: " + key);
    }
    const std::string path = key.substr(root.size());
    // Through a tree, which adds the keys Wine's file leaves implied.
    emu::RegistryTree tree;
    emu::ImportRegedit(tree, RegeditOfWineFile(Slurp(prefix_ + "/system.reg"), path));
    const auto node = tree.Find(path);
    return node ? emu::ExportRegedit(*node) : "";
  }
  const std::string file = "C:\\mdm-export.reg";
  // Under load an export has come back empty or short now and then; an
  // export counts only when regedit says it succeeded and wrote a header.
  // An absent key fails every attempt and reads as the empty text.
  std::string bytes;
  for (int attempt = 0; attempt < 3; ++attempt) {
    fs::remove(HostPath(file));
    const int code = Wine({"regedit", "/e", file, key});
    bytes = ReadFile(file).value_or("");
    fs::remove(HostPath(file));
    const bool utf16 = bytes.size() >= 2 && bytes[0] == '\xff' && bytes[1] == '\xfe';
    const std::string text = WithoutCr(utf16 ? FromUtf16(bytes) : bytes);
    if (code == 0 &&
        (text.rfind("REGEDIT4", 0) == 0 || text.rfind("Windows Registry Editor", 0) == 0)) {
      return text;
    }
  }
  return "";
}

bool WinePrefix::LaidDown(const std::string& windowsPath) const {
  return laidDownFiles_.count(Lower(windowsPath)) != 0;
}

void WinePrefix::WriteFile(const std::string& windowsPath, const std::string& content) {
  laidDownFiles_.insert(Lower(windowsPath));
  fs::path host = HostPath(windowsPath);
  fs::create_directories(host.parent_path());
  // Removing first gives the file its own inode even where the template's is linked.
  fs::remove(host);
  Spill(host.string(), content);
}

std::optional<std::string> WinePrefix::ReadFile(const std::string& windowsPath) const {
  std::string host = HostPath(windowsPath);
  if (!fs::is_regular_file(host)) return std::nullopt;
  return Slurp(host);
}

bool WinePrefix::Exists(const std::string& windowsPath) const {
  return fs::exists(HostPath(windowsPath));
}

void WinePrefix::MakeDirectory(const std::string& windowsPath) {
  fs::create_directories(HostPath(windowsPath));
}

std::vector<std::string> WinePrefix::ListDir(const std::string& windowsPath) const {
  std::vector<std::string> names;
  std::string host = HostPath(windowsPath);
  if (!fs::is_directory(host)) return names;
  for (const auto& entry : fs::directory_iterator(host)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

void WinePrefix::SetReadOnly(const std::string& windowsPath, bool readOnly) {
  fs::path host = HostPath(windowsPath);
  if (fs::hard_link_count(host) > 1) Unshare(host);
  const auto write = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
  fs::permissions(host, readOnly ? write : fs::perms::owner_write,
                  readOnly ? fs::perm_options::remove : fs::perm_options::add);
}

void WinePrefix::SetWindowsVersion(const std::string& version) {
  if (kind_ == WineKind::kI386) throw std::logic_error("SetWindowsVersion in an i386 prefix");
  if (Wine({"reg", "add", "HKCU\\Software\\Wine", "/v", "Version", "/d", version, "/f"}) != 0) {
    throw std::runtime_error("cannot set the Windows version: " + Slurp(tempDir_ + "/wine.err"));
  }
}

RunResult WinePrefix::Run(const std::string& exeHostPath, const std::vector<std::string>& args,
                          const std::string& workingDir) {
  std::vector<std::string> argv{kWine64, exeHostPath};
  argv.insert(argv.end(), args.begin(), args.end());
  std::string cwd = HostPath(workingDir);
  fs::create_directories(cwd);
  if (kind_ == WineKind::kI386) {
    argv.erase(argv.begin());
    return RunI386(argv, cwd);
  }
  RunResult result;
  result.exitCode =
      RunProcess(argv, WineEnv(prefix_), cwd, tempDir_ + "/run.out", tempDir_ + "/run.err");
  result.out = Slurp(tempDir_ + "/run.out");
  result.err = Slurp(tempDir_ + "/run.err");
  return result;
}

std::vector<std::string> WinePrefix::I386Env() const {
  std::vector<std::string> env = WineEnv(prefix_);
  // Wine prefers its builtin for a program of the system directory: the
  // stand-in for wineboot.exe is taken only when asked for by name.
  for (std::string& entry : env) {
    if (entry.rfind("WINEDLLOVERRIDES=", 0) == 0) entry += ";wineboot.exe=n";
  }
  env.push_back(std::string("WINESERVER=") + kWineserver);
  // Under qemu-i386 the loader must not execute itself again through Wine's
  // preloader: qemu would not follow that exec.
  if (ChosenI386Loader() == I386Loader::kQemu) env.push_back("WINELOADERNOEXEC=1");
  return env;
}

// The 64-bit wineserver serves the 32-bit loader. The server is started first
// and kept until the program has ended; stopping it (-k) ends whatever the
// program started and saves the registry files before it returns (measured),
// so the next export reads the program's changes.
RunResult WinePrefix::RunI386(const std::vector<std::string>& program, const std::string& cwd) {
  const std::string root = I386WineRoot();
  const std::vector<std::string> env = I386Env();
  std::vector<std::string> argv;
  if (ChosenI386Loader() == I386Loader::kQemu) {
    argv = {root + "/usr/bin/qemu-i386-static", "-L", root};
  }
  argv.push_back(I386WineLoader());
  argv.insert(argv.end(), program.begin(), program.end());
  ran_ = true;
  RunQuiet({kWineserver, "-p"}, env, tempDir_ + "/server");
  RunResult result;
  result.exitCode = RunProcess(argv, env, cwd, tempDir_ + "/run.out", tempDir_ + "/run.err");
  RunQuiet({kWineserver, "-k"}, env, tempDir_ + "/kill");
  RunQuiet({kWineserver, "-w"}, env, tempDir_ + "/kill");
  result.out = Slurp(tempDir_ + "/run.out");
  result.err = Slurp(tempDir_ + "/run.err");
  return result;
}

}  // namespace mdm::wine
