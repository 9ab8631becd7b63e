// Prints what changed between two machine images: files and folders removed,
// registry keys removed, the "load" and "drivers" lines before and after, and
// the INF files that went and stayed. With --undo, imports the run's undo
// file (a REGEDIT4 file on the after machine, as regedit /s would) and says
// whether the registry is then the one before the run.
//
//   machine-diff BEFORE_IMAGE AFTER_IMAGE [--undo WINDOWS_PATH]
#include <algorithm>
#include <cstdio>
#include <iostream>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "emulator/machine.h"

namespace {

using mdm::emu::Machine;

std::string Upper(std::string text) {
  for (char& c : text) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
  return text;
}

// Keys of the REGEDIT4 export, in export order.
std::vector<std::string> Keys(const Machine& machine) {
  std::vector<std::string> keys;
  std::istringstream text(machine.ExportRegistry());
  std::string line;
  while (std::getline(text, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() > 2 && line.front() == '[' && line.back() == ']') {
      keys.push_back(line.substr(1, line.size() - 2));
    }
  }
  return keys;
}

// Entries of `before` that `after` lacks, leaving out those below an entry
// already listed: a removed folder or key speaks for its contents.
std::vector<std::string> Removed(const std::vector<std::string>& before,
                                 const std::vector<std::string>& after) {
  std::set<std::string> remaining;
  for (const std::string& item : after) remaining.insert(Upper(item));
  std::vector<std::string> removed;
  for (const std::string& item : before) {
    if (remaining.count(Upper(item))) continue;
    const bool below = !removed.empty() && Upper(item).rfind(Upper(removed.back()) + "\\", 0) == 0;
    if (!below) removed.push_back(item);
  }
  return removed;
}

std::string Profile(Machine& machine, const char* file, const char* section, const char* key) {
  std::vector<char> buffer(1 << 16, '\0');
  const std::uint32_t count = machine.GetPrivateProfileStringA(
      section, key, "\x01", buffer.data(), static_cast<std::uint32_t>(buffer.size()), file);
  const std::string value(buffer.data(), count);
  return value == "\x01" ? "(no such key)" : "\"" + value + "\"";
}

void PrintList(const char* title, const std::vector<std::string>& items) {
  std::printf("%s (%zu)\n", title, items.size());
  for (const std::string& item : items) std::printf("    %s\n", item.c_str());
}

std::vector<std::string> InfFiles(const Machine& machine) {
  char windows[260] = {};
  const_cast<Machine&>(machine).GetWindowsDirectoryA(windows, sizeof windows);
  const std::string folder = Upper(std::string(windows) + "\\INF\\");
  std::vector<std::string> files;
  for (const std::string& path : machine.ListTree()) {
    if (Upper(path).rfind(folder, 0) == 0 && machine.FileExists(path)) files.push_back(path);
  }
  return files;
}

}  // namespace

int main(int argc, char** argv) {
  const bool undo = argc == 5 && std::string(argv[3]) == "--undo";
  if (argc != 3 && !undo) {
    std::fprintf(stderr, "usage: machine-diff BEFORE_IMAGE AFTER_IMAGE [--undo WINDOWS_PATH]\n");
    return 2;
  }
  try {
    auto before = Machine::LoadImage(argv[1]);
    auto after = Machine::LoadImage(argv[2]);

    const auto beforeFiles = before->ListTree();
    const auto afterFiles = after->ListTree();
    std::vector<std::string> removedFiles;
    for (const std::string& path : Removed(beforeFiles, afterFiles)) {
      if (Upper(path).find("\\INF\\") == std::string::npos) removedFiles.push_back(path);
    }
    PrintList("Files and folders removed", removedFiles);
    std::printf("Files and folders kept: %zu\n\n", afterFiles.size());

    const auto beforeKeys = Keys(*before);
    const auto afterKeys = Keys(*after);
    PrintList("Registry keys removed (with everything below them)", Removed(beforeKeys, afterKeys));
    std::printf("Registry keys kept: %zu\n\n", afterKeys.size());

    std::printf("win.ini [windows] load\n    before: %s\n    after:  %s\n",
                Profile(*before, "win.ini", "windows", "load").c_str(),
                Profile(*after, "win.ini", "windows", "load").c_str());
    std::printf("system.ini [boot] drivers\n    before: %s\n    after:  %s\n\n",
                Profile(*before, "system.ini", "boot", "drivers").c_str(),
                Profile(*after, "system.ini", "boot", "drivers").c_str());

    const auto beforeInf = InfFiles(*before);
    const auto afterInf = InfFiles(*after);
    PrintList("INF files removed", Removed(beforeInf, afterInf));
    PrintList("INF files kept", afterInf);

    if (undo) {
      const auto text = after->ReadFile(argv[4]);
      if (!text) throw std::runtime_error(std::string("no undo file ") + argv[4]);
      after->ImportRegistry(*text);
      const auto restored = Keys(*after);
      std::printf("\nAfter importing %s:\n", argv[4]);
      PrintList("    registry keys still missing", Removed(beforeKeys, restored));
      std::printf("    registry %s the one before the run, value for value\n",
                  after->ExportRegistry() == before->ExportRegistry() ? "equals" : "differs from");
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "machine-diff: %s\n", error.what());
    return 1;
  }
  return 0;
}
