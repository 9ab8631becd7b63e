// The machine image on disk: a folder a person can read and edit.
//
//   machine.ini   settings: [Directories], [Version], [Drives], [Windows],
//                 [ReadOnly], [InUse]
//   registry.reg  REGEDIT4 text of HKEY_LOCAL_MACHINE
//   drive_c/...   one host folder per drive, files with their bytes
//   journal.txt   written by SaveImage: one line per journal entry
//
// Host file names are case-sensitive; the emulator matches case-blind, so two
// host names that differ only in case are refused as ambiguous.
#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "emulator/case_blind.h"
#include "emulator/machine.h"
#include "emulator/machine_state.h"
#include "emulator/profile_text.h"

namespace mdm::emu {

namespace fs = std::filesystem;

namespace {

constexpr const char* SETTINGS_FILE = "machine.ini";
constexpr const char* REGISTRY_FILE = "registry.reg";
constexpr const char* JOURNAL_FILE = "journal.txt";

[[noreturn]] void ImageError(const std::string& message) {
  throw std::runtime_error("machine image: " + message);
}

std::string ReadHostFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) ImageError("cannot read " + path.string());
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void WriteHostFile(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) ImageError("cannot write " + path.string());
}

// A drive folder must sit inside the image: a plain name, nothing more.
bool IsPlainFolderName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of("/\\") == std::string::npos;
}

bool IsWindowsName(const std::string& name) {
  if (name.empty() || name.size() > 255 || name.find_first_of("\\/*?<>|\":") != std::string::npos) {
    return false;
  }
  for (char c : name) {
    if (static_cast<unsigned char>(c) < 32) return false;
  }
  return true;
}

void LoadFolder(const fs::path& host, FileNode& into) {
  for (const fs::directory_entry& entry : fs::directory_iterator(host)) {
    const std::string name = entry.path().filename().string();
    if (!IsWindowsName(name)) ImageError("not a Windows file name: " + entry.path().string());
    if (into.Find(name) != nullptr) {
      ImageError("names differ only in case: " + entry.path().string());
    }
    if (entry.is_symlink()) {
      ImageError("links are not loaded (they may loop): " + entry.path().string());
    } else if (entry.is_directory()) {
      LoadFolder(entry.path(), into.Add(name, true));
    } else if (entry.is_regular_file()) {
      into.Add(name, false).content = ReadHostFile(entry.path());
    } else {
      ImageError("neither file nor folder: " + entry.path().string());
    }
  }
}

void SaveFolder(const FileNode& folder, const fs::path& host) {
  fs::create_directories(host);
  for (const auto& child : folder.children) {
    if (child->isDirectory) {
      SaveFolder(*child, host / child->name);
    } else {
      WriteHostFile(host / child->name, child->content);
    }
  }
}

void CollectFlags(const FileNode& folder, const std::string& prefix,
                  std::vector<std::string>& readOnly, std::vector<std::string>& inUse) {
  for (const auto& child : folder.children) {
    const std::string path = prefix + "\\" + child->name;
    if (child->readOnly) readOnly.push_back(path);
    if (child->inUse) inUse.push_back(path);
    if (child->isDirectory) CollectFlags(*child, path, readOnly, inUse);
  }
}

std::uint32_t ParseNumber(const ProfileEntry& entry) {
  try {
    std::size_t used = 0;
    const unsigned long number = std::stoul(entry.value, &used, 10);
    if (used == entry.value.size() && number <= 0xFFFFFFFFul)
      return static_cast<std::uint32_t>(number);
  } catch (const std::exception&) {
  }
  ImageError(std::string(SETTINGS_FILE) + ", line " + std::to_string(entry.line) +
             ": not a number: " + entry.value);
}

std::string DriveFolderName(char letter) { return std::string("drive_") + AsciiLower(letter); }

// Drive folders that an earlier image in `root` names, for SaveImage to replace.
std::vector<std::string> PreviousDriveFolders(const fs::path& root) {
  std::vector<std::string> folders;
  const fs::path settings = root / SETTINGS_FILE;
  if (!fs::exists(settings)) return folders;
  for (const ProfileEntry& entry : ProfileEntries(ReadHostFile(settings))) {
    if (SameCaseBlind(entry.section, "Drives") && IsPlainFolderName(entry.value)) {
      folders.push_back(entry.value);
    }
  }
  return folders;
}

}  // namespace

std::unique_ptr<Machine> Machine::LoadImage(const std::string& directory) {
  const fs::path root(directory);
  if (!fs::is_directory(root)) ImageError("no such folder: " + directory);
  if (!fs::exists(root / SETTINGS_FILE))
    ImageError("no " + std::string(SETTINGS_FILE) + " in " + directory);

  auto machine = std::make_unique<Machine>();
  State& state = *machine->state_;
  state.files.Clear();

  std::vector<std::pair<std::string, bool>> flagged;  // path, read-only (else in use)
  for (const ProfileEntry& entry : ProfileEntries(ReadHostFile(root / SETTINGS_FILE))) {
    if (!entry.key.empty() && entry.key[0] == ';') continue;  // a comment that holds "="
    const std::string where =
        std::string(SETTINGS_FILE) + ", line " + std::to_string(entry.line) + ": ";
    auto is = [&](const char* section, const char* key) {
      return SameCaseBlind(entry.section, section) &&
             (key == nullptr || SameCaseBlind(entry.key, key));
    };
    if (is("Directories", "Windows"))
      state.windowsDirectory = entry.value;
    else if (is("Directories", "System"))
      state.systemDirectory = entry.value;
    else if (is("Directories", "Temp"))
      state.tempPath = entry.value;
    else if (is("Directories", "Working"))
      state.workingDirectory = entry.value;
    else if (is("Version", "Major"))
      state.major = ParseNumber(entry);
    else if (is("Version", "Minor"))
      state.minor = ParseNumber(entry);
    else if (is("Version", "Build"))
      state.build = ParseNumber(entry);
    else if (is("Windows", nullptr)) {
      machine->AddWindow(entry.key, entry.value, [](std::uint32_t, std::uintptr_t, std::intptr_t) {
        return std::intptr_t{0};
      });
    } else if (is("Drives", nullptr)) {
      const bool letter =
          entry.key.size() == 1 && std::isalpha(static_cast<unsigned char>(entry.key[0]));
      if (!letter) ImageError(where + "a drive is one letter: " + entry.key);
      if (state.files.Drive(entry.key[0]) != nullptr)
        ImageError(where + "drive given twice: " + entry.key);
      if (!IsPlainFolderName(entry.value) || !fs::is_directory(root / entry.value)) {
        ImageError(where + "no drive folder " + entry.value + " in the image");
      }
      LoadFolder(root / entry.value, state.files.AddDrive(entry.key[0]));
    } else if (is("ReadOnly", nullptr) || is("InUse", nullptr)) {
      flagged.emplace_back(entry.value, is("ReadOnly", nullptr));
    } else {
      ImageError(where + "unknown setting [" + entry.section + "] " + entry.key);
    }
  }

  // Git keeps no empty folders, and Windows always has these.
  for (const std::string* folder : {&state.windowsDirectory, &state.systemDirectory,
                                    &state.tempPath, &state.workingDirectory}) {
    const auto path = state.Resolve(*folder);
    if (!path || state.files.MakeDirectories(*path) == nullptr)
      ImageError("not a folder: " + *folder);
  }
  for (const auto& [path, readOnly] : flagged) {
    auto where = state.Resolve(path);
    FileNode* node = where ? state.files.Find(*where) : nullptr;
    if (node == nullptr) ImageError("flagged file is not on the drives: " + path);
    (readOnly ? node->readOnly : node->inUse) = true;
  }
  if (fs::exists(root / REGISTRY_FILE)) {
    try {
      machine->ImportRegistry(ReadHostFile(root / REGISTRY_FILE));
    } catch (const std::runtime_error& error) {
      ImageError(std::string(REGISTRY_FILE) + ": " + error.what());
    }
  }
  return machine;
}

void Machine::SaveImage(const std::string& directory) const {
  const fs::path root(directory);
  if (fs::exists(root)) {
    if (!fs::is_directory(root)) ImageError("not a folder: " + directory);
    // Never clear a folder that is not an image: the caller may have
    // named the wrong one.
    if (!fs::is_empty(root) && !fs::exists(root / SETTINGS_FILE)) {
      ImageError("refusing to replace a folder that holds no machine image: " + directory);
    }
    for (const std::string& folder : PreviousDriveFolders(root)) fs::remove_all(root / folder);
    for (const auto& [letter, drive] : state_->files.Drives())
      fs::remove_all(root / DriveFolderName(letter));
    for (const char* file : {SETTINGS_FILE, REGISTRY_FILE, JOURNAL_FILE}) fs::remove(root / file);
  }
  fs::create_directories(root);

  std::string settings = "[Directories]\nWindows=" + state_->windowsDirectory +
                         "\nSystem=" + state_->systemDirectory + "\nTemp=" + state_->tempPath +
                         "\nWorking=" + state_->workingDirectory +
                         "\n\n[Version]\nMajor=" + std::to_string(state_->major) +
                         "\nMinor=" + std::to_string(state_->minor) +
                         "\nBuild=" + std::to_string(state_->build) + "\n\n[Drives]\n";
  std::vector<std::string> readOnly;
  std::vector<std::string> inUse;
  for (const auto& [letter, drive] : state_->files.Drives()) {
    settings += std::string{letter} + "=" + DriveFolderName(letter) + "\n";
    CollectFlags(*drive, std::string{letter, ':'}, readOnly, inUse);
    SaveFolder(*drive, root / DriveFolderName(letter));
  }
  settings += "\n[Windows]\n";
  for (const Window& window : state_->windows)
    settings += window.className + "=" + window.title + "\n";
  auto numbered = [&settings](const char* section, const std::vector<std::string>& paths) {
    settings += std::string("\n[") + section + "]\n";
    for (std::size_t i = 0; i < paths.size(); ++i)
      settings += std::to_string(i + 1) + "=" + paths[i] + "\n";
  };
  numbered("ReadOnly", readOnly);
  numbered("InUse", inUse);
  WriteHostFile(root / SETTINGS_FILE, settings);
  WriteHostFile(root / REGISTRY_FILE, ExportRegistry());

  std::string journal;
  for (const JournalEntry& entry : state_->journal) journal += ToString(entry) + "\n";
  WriteHostFile(root / JOURNAL_FILE, journal);
}

}  // namespace mdm::emu
