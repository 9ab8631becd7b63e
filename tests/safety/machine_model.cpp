#include "tests/safety/machine_model.h"

#include <algorithm>

namespace mdm::safety {

namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// The registry enumerates subkeys folded to lower case, compared as unsigned bytes.
bool EnumeratesBefore(const std::string& a, const std::string& b) {
  const std::string fa = Folded(a);
  const std::string fb = Folded(b);
  return std::lexicographical_compare(
      fa.begin(), fa.end(), fb.begin(), fb.end(),
      [](char x, char y) { return static_cast<unsigned char>(x) < static_cast<unsigned char>(y); });
}

// A key path as the registry resolves it: empty components are skipped.
std::string NormalKeyPath(const std::string& path) {
  std::string normal;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('\\', start);
    if (end == std::string::npos) end = path.size();
    if (end > start) normal += (normal.empty() ? "" : "\\") + path.substr(start, end - start);
    start = end + 1;
  }
  return normal;
}

}  // namespace

std::string Folded(const std::string& path) {
  std::string folded = path;
  for (char& c : folded) c = Lower(c);
  return folded;
}

std::string ParentPath(const std::string& path) {
  const std::size_t slash = path.rfind('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.rfind('\\');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// ---------------------------------------------------------------- registry

ModelKey& MachineModel::AddKey(const std::string& path, Owner owner, Exemption exemption) {
  const std::string parent = ParentPath(path);
  if (!parent.empty() && !HasKey(parent)) AddKey(parent, Owner::Frame);
  ModelKey& key = keys_[Folded(path)];
  if (key.path.empty()) key.path = path;
  key.owner = owner;
  key.exemption = exemption;
  return key;
}

void MachineModel::SetValue(const std::string& path, const ModelValue& value, Owner owner) {
  ModelKey& key = HasKey(path) ? keys_[Folded(path)] : AddKey(path, owner);
  for (ModelValue& existing : key.values) {
    if (Folded(existing.name) == Folded(value.name)) {
      existing.type = value.type;
      existing.data = value.data;
      return;
    }
  }
  key.values.push_back(value);
}

void MachineModel::SetString(const std::string& path, const std::string& name,
                             const std::string& value, Owner owner) {
  ModelValue text{name, REG_SZ, std::vector<unsigned char>(value.begin(), value.end())};
  text.data.push_back(0);
  SetValue(path, text, owner);
}

bool MachineModel::HasKey(const std::string& path) const { return Key(path) != nullptr; }

const ModelKey* MachineModel::Key(const std::string& path) const {
  auto it = keys_.find(Folded(NormalKeyPath(path)));
  return it == keys_.end() ? nullptr : &it->second;
}

std::optional<std::string> MachineModel::ReadStageString(const std::string& path,
                                                         const std::string& name) const {
  if (!path.empty() && path[0] == '\\') return std::nullopt;  // a bad path to the registry
  const ModelKey* key = Key(path);
  if (key == nullptr || key->denyOpen) return std::nullopt;
  for (const ModelValue& value : key->values) {
    if (Folded(value.name) != Folded(name)) continue;
    if (value.data.size() > 255) return std::nullopt;
    std::string text(value.data.begin(), value.data.end());
    return text.substr(0, text.find('\0'));
  }
  return std::nullopt;
}

std::vector<std::string> MachineModel::SubkeyNames(const std::string& path) const {
  std::vector<std::string> names;
  const std::string prefix = Folded(NormalKeyPath(path)) + "\\";
  for (const auto& [folded, key] : keys_) {
    if (folded.compare(0, prefix.size(), prefix) != 0) continue;
    if (folded.find('\\', prefix.size()) != std::string::npos) continue;
    names.push_back(BaseName(key.path));
  }
  std::sort(names.begin(), names.end(), EnumeratesBefore);
  return names;
}

// ---------------------------------------------------------------- files

void MachineModel::AddDirectory(const std::string& path) {
  const std::string parent = ParentPath(path);
  if (parent.size() > 2) AddDirectory(parent);  // "C:" is the drive itself
  directories_.emplace(Folded(path), path);
}

ModelFile& MachineModel::AddFile(const std::string& path, const std::string& content, Owner owner) {
  AddDirectory(ParentPath(path));
  ModelFile& file = files_[Folded(path)];
  file = ModelFile{path, content, owner};
  return file;
}

const ModelFile* MachineModel::File(const std::string& path) const {
  auto it = files_.find(Folded(path));
  return it == files_.end() ? nullptr : &it->second;
}

bool MachineModel::HasDirectory(const std::string& path) const {
  return directories_.count(Folded(path)) != 0;
}

std::vector<std::string> MachineModel::FilesIn(const std::string& directory) const {
  std::vector<std::string> paths;
  const std::string prefix = Folded(directory) + "\\";
  for (const auto& [folded, file] : files_) {
    if (folded.compare(0, prefix.size(), prefix) == 0 &&
        folded.find('\\', prefix.size()) == std::string::npos) {
      paths.push_back(file.path);
    }
  }
  return paths;
}

std::vector<std::string> MachineModel::DirectoriesIn(const std::string& directory) const {
  std::vector<std::string> paths;
  const std::string prefix = Folded(directory) + "\\";
  for (const auto& [folded, stored] : directories_) {
    if (folded.compare(0, prefix.size(), prefix) == 0 &&
        folded.find('\\', prefix.size()) == std::string::npos) {
      paths.push_back(stored);
    }
  }
  return paths;
}

std::set<char> MachineModel::Drives() const {
  std::set<char> drives{'C'};
  for (const auto& [folded, stored] : directories_) {
    drives.insert(static_cast<char>(stored[0] & ~0x20));
  }
  return drives;
}

// ---------------------------------------------------------------- the machine

std::unique_ptr<emu::Machine> MachineModel::Build() const {
  auto machine = std::make_unique<emu::Machine>();
  machine->SetWindowsDirectory(settings.windowsDirectory);
  machine->SetSystemDirectory(settings.systemDirectory);
  machine->SetTempPath(settings.tempPath);
  machine->SetWorkingDirectory(settings.workingDirectory);
  machine->SetVersion(settings.major, settings.minor);
  machine->SetDeletesOpenFiles(settings.deletesOpenFiles);

  for (const auto& [folded, stored] : directories_) machine->AddDirectory(stored);
  std::vector<std::string> held;
  for (const auto& [folded, file] : files_) {
    machine->AddFile(file.path, file.content);
    if (file.readOnly) machine->SetReadOnly(file.path);
    if (file.inUse || file.heldByNvram) machine->SetInUse(file.path);
    if (file.heldByNvram) held.push_back(file.path);
  }
  // Parents sort before their children, so every key keeps the stored case
  // the model gave it.
  for (const auto& [folded, key] : keys_) {
    machine->AddKey(key.path);
    for (const ModelValue& value : key.values)
      machine->SetValue(key.path, value.name, value.type, value.data);
  }
  for (const auto& [folded, key] : keys_) {
    if (key.denyOpen) machine->DenyOpen(key.path);
  }
  if (settings.nvramWindow) {
    // The product's NVRAM program closes its files when told to.
    emu::Machine* target = machine.get();
    machine->AddWindow("QN_NVRAMCLASS", "Quillnet NVRAM",
                       [target, held](std::uint32_t message, std::uintptr_t, std::intptr_t) {
                         if (message == 0x0401) {
                           for (const std::string& path : held) {
                             if (target->FileExists(path)) target->SetInUse(path, false);
                           }
                         }
                         return std::intptr_t{0};
                       });
  }
  return machine;
}

}  // namespace mdm::safety
