// What a generated machine holds, as the generator knows it: every registry
// key with its values, every file with its bytes and flags, the settings, and
// who owns each item (the package, or a bystander that must survive). The
// model is built first; the emulated machine is made from it, as many times as
// a test needs an identical copy.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "emulator/machine.h"

namespace mdm::safety {

enum class Owner {
  Frame,      // containers and system keys: Enum, Enum\Root, the class roots ...
  Bystander,  // another device's or program's key or file
  Package,    // the modem package's own
};

// A bystander that one deliverable removes with the package by design
// (a full path that ends in one of the package's list entries, say).
// Everything else that is not the package's must survive both deliverables.
struct Exemption {
  bool byProgram = false;
  bool byLibrary = false;
  // A container that mdmclean removes when nothing but the package's keys
  // is below it ("Enum\MODEMWAVE"); while another's key is below, it stays.
  bool byProgramWhenOnlyThePackageIsBelow = false;
};

struct ModelValue {
  std::string name;
  std::uint32_t type = REG_SZ;
  std::vector<unsigned char> data;
};

struct ModelKey {
  std::string path;  // stored case
  std::vector<ModelValue> values;
  Owner owner = Owner::Frame;
  Exemption exemption;
  bool denyOpen = false;
};

struct ModelFile {
  std::string path;  // full Windows path, stored case
  std::string content;
  Owner owner = Owner::Bystander;
  bool readOnly = false;
  bool inUse = false;
  bool heldByNvram = false;  // in use until the NVRAM window is told to let go
};

struct Settings {
  std::string windowsDirectory = "C:\\WINDOWS";
  std::string systemDirectory = "C:\\WINDOWS\\SYSTEM";
  std::string tempPath = "C:\\WINDOWS\\TEMP\\";
  std::string workingDirectory = "C:\\QNSETUP";
  std::uint32_t major = 4;
  std::uint32_t minor = 0;
  bool nvramWindow = false;
  // DeleteFileA of a file in use: Windows 95 and 98 delete it; the
  // refusal is the other way a Windows 95 machine was documented to go.
  bool deletesOpenFiles = true;
};

// Case-blind key of a registry path or file path.
std::string Folded(const std::string& path);

class MachineModel {
 public:
  Settings settings;

  // ---- Registry. Missing parents are added as Frame keys.
  ModelKey& AddKey(const std::string& path, Owner owner, Exemption exemption = {});
  void SetString(const std::string& path, const std::string& name, const std::string& value,
                 Owner owner);
  void SetValue(const std::string& path, const ModelValue& value, Owner owner);
  bool HasKey(const std::string& path) const;
  const ModelKey* Key(const std::string& path) const;
  // A value as the removal stages read it: REG_SZ passed in, 255 bytes at
  // most, the type not checked, the text up to the first zero byte. Nothing
  // when the key cannot be opened or the value is absent or too wide.
  std::optional<std::string> ReadStageString(const std::string& path,
                                             const std::string& name) const;
  // Names of the subkeys of `path` in the order the registry enumerates them.
  std::vector<std::string> SubkeyNames(const std::string& path) const;
  const std::map<std::string, ModelKey>& Keys() const { return keys_; }

  // ---- Files. Missing folders are added.
  ModelFile& AddFile(const std::string& path, const std::string& content, Owner owner);
  void AddDirectory(const std::string& path);
  const ModelFile* File(const std::string& path) const;
  bool HasDirectory(const std::string& path) const;
  // Files and folders directly inside `directory`, full paths in stored case.
  std::vector<std::string> FilesIn(const std::string& directory) const;
  std::vector<std::string> DirectoriesIn(const std::string& directory) const;
  const std::map<std::string, ModelFile>& Files() const { return files_; }
  // Drive letters the machine uses.
  std::set<char> Drives() const;

  // A fresh emulated machine holding exactly this.
  std::unique_ptr<emu::Machine> Build() const;

 private:
  std::map<std::string, ModelKey> keys_;            // by folded path
  std::map<std::string, ModelFile> files_;          // by folded path
  std::map<std::string, std::string> directories_;  // folded -> stored
};

// The parent of a backslash path ("" for a top-level name).
std::string ParentPath(const std::string& path);
// The last component of a backslash path.
std::string BaseName(const std::string& path);

}  // namespace mdm::safety
