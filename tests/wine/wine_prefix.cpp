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
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
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

}  // namespace

bool WineAvailable() { return access(kWine64, X_OK) == 0 && access(kWineserver, X_OK) == 0; }

std::string Win64Exe(const std::string& name) {
  return EnvOr("MDM_WIN64_BIN_DIR", MDM_WIN64_BIN_DIR) + "/" + name;
}

bool FileExistsOnHost(const std::string& hostPath) { return fs::is_regular_file(hostPath); }

WinePrefix::WinePrefix() {
  std::string templateDir = TemplatePrefix();
  std::string pattern = fs::path(templateDir).parent_path().string() + "/run-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr) throw std::runtime_error("mkdtemp failed: " + pattern);
  tempDir_ = buffer.data();
  prefix_ = tempDir_ + "/prefix";
  CopyTemplate(templateDir, prefix_);
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
  const std::string file = "C:\\mdm-import.reg";
  WriteFile(file, regeditText);
  int code = Wine({"regedit", "/s", file});
  fs::remove(HostPath(file));
  if (code != 0) throw std::runtime_error("regedit /s failed: " + Slurp(tempDir_ + "/wine.err"));
}

std::string WinePrefix::ExportRegistry(const std::string& key) {
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
    if (code == 0 && (text.rfind("REGEDIT4", 0) == 0 || text.rfind("Windows Registry Editor", 0) == 0)) {
      return text;
    }
  }
  return "";
}

void WinePrefix::WriteFile(const std::string& windowsPath, const std::string& content) {
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

RunResult WinePrefix::Run(const std::string& exeHostPath, const std::vector<std::string>& args,
                          const std::string& workingDir) {
  std::vector<std::string> argv{kWine64, exeHostPath};
  argv.insert(argv.end(), args.begin(), args.end());
  std::string cwd = HostPath(workingDir);
  fs::create_directories(cwd);
  RunResult result;
  result.exitCode = RunProcess(argv, WineEnv(prefix_), cwd, tempDir_ + "/run.out",
                               tempDir_ + "/run.err");
  result.out = Slurp(tempDir_ + "/run.out");
  result.err = Slurp(tempDir_ + "/run.err");
  return result;
}

}  // namespace mdm::wine
