#include "common/inf_cleanup.h"

#include <algorithm>

#include "common/inf_names.h"
#include "common/text.h"

namespace mdm {

namespace {

// The platform's Windows directory; false when it reports none that fits. The
// stage then deletes nothing: an empty directory would turn "%s\INF" into a
// folder at the root of the current drive.
bool ReadWindowsDirectory(Platform& platform, std::string& directory) {
  char buffer[MAX_PATH] = {};
  const std::uint32_t length = platform.GetWindowsDirectoryA(buffer, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return false;
  directory = buffer;
  return true;
}

bool IsWindows95(Platform& platform) {
  VersionInfo info;
  info.size = VERSION_INFO_SIZE;
  if (platform.GetVersionExA(&info) == 0) return false;
  return info.majorVersion == 4 && info.minorVersion == 0;
}

// Deletes each name from the folder, ignoring the results. A name that would
// leave the folder, or a path that does not fit, deletes nothing.
template <typename Names>
void DeleteByName(Platform& platform, const std::string& folder, const Names& names) {
  for (const auto& name : names) {
    const std::string text(name);
    char path[MAX_PATH];
    if (!IsPlainFileName(text) || !Compose(path, "%s\\%s", folder.c_str(), text.c_str())) continue;
    platform.DeleteFileA(path);
  }
}

// Applies the match rule to one found file; a file it claims is deleted and the
// deletion's outcome becomes the stage result.
void ExamineFile(Platform& platform, const InfCleanupConfig& config, const std::string& folder,
                 const char* name, int& result) {
  char path[MAX_PATH];
  // Cut short, the path would name another file: skip it instead.
  if (!Compose(path, "%s\\%s", folder.c_str(), name)) return;
  if (!config.matches(InfFile(platform, path, config.readLimit))) return;
  result = platform.DeleteFileA(path);
  if (result == 0) platform.GetLastError();  // fetched and discarded: nothing reports it
}

void ScanPass(Platform& platform, const InfCleanupConfig& config, const std::string& folder,
              const char* pattern, int& result) {
  char search[MAX_PATH];
  if (!Compose(search, "%s\\%s", folder.c_str(), pattern)) return;
  FindData found;
  const FindHandle handle = platform.FindFirstFileA(search, &found);
  if (handle == INVALID_FIND_HANDLE) return;
  do {
    ExamineFile(platform, config, folder, found.fileName, result);
  } while (platform.FindNextFileA(handle, &found) != 0);
  platform.FindClose(handle);
}

}  // namespace

std::string InfFile::Read(const char* section, const char* key) const {
  std::vector<char> buffer(readLimit_);
  const std::uint32_t count =
      platform_.GetPrivateProfileStringA(section, key, "", buffer.data(), readLimit_, path_);
  return std::string(buffer.data(), std::min<std::uint32_t>(count, readLimit_ - 1));
}

int CleanInfFiles(Platform& platform, const InfCleanupConfig& config) {
  std::string windows;
  if (!ReadWindowsDirectory(platform, windows)) return 0;
  const std::string infFolder = windows + "\\INF";

  DeleteByName(platform, infFolder, PackageInfNames);
  const ChosenInfNames chosen = config.chooseNames(platform);
  if (!chosen.names.empty()) DeleteByName(platform, windows + "\\" + chosen.folder, chosen.names);

  int result = 0;
  ScanPass(platform, config, infFolder, "oem*.inf", result);
  ScanPass(platform, config, infFolder + "\\Other", "*.inf", result);
  return result;
}

bool HasOtherInfDirectory(Platform& platform) {
  if (!IsWindows95(platform)) return false;
  std::string windows;
  if (!ReadWindowsDirectory(platform, windows)) return false;
  char other[MAX_PATH];
  if (!Compose(other, "%s\\INF\\other", windows.c_str())) return false;
  // The folder's own path, without a wildcard: an existence test.
  FindData found;
  const FindHandle handle = platform.FindFirstFileA(other, &found);
  if (handle == INVALID_FIND_HANDLE) return false;
  platform.FindClose(handle);
  return true;
}

bool RootInfIsOem(Platform& platform, const std::string& rootInfPath) {
  if (!IsWindows95(platform)) return false;
  return rootInfPath.find("OEM") != std::string::npos;
}


}  // namespace mdm
