// The registry functions of the platform. Windows 95 and 98 answer as they
// were recorded to (an unknown handle is ERROR_BADKEY, a leading backslash
// names no key, a string value is stored to its terminator whatever size is
// given); the NT family as it was recorded in the same tests, which is mostly
// what Wine answers. Both enumerate values in creation order.
#include <cstring>

#include "emulator/machine.h"
#include "emulator/machine_state.h"

namespace mdm::emu {

namespace {

constexpr std::size_t MAX_KEY_NAME = 255;

bool IsStringType(std::uint32_t type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// The key a handle names, or the error an operation on it fails with.
std::int32_t KeyOf(const RegistryTree& registry, bool windows9x, RegKey handle,
                   std::shared_ptr<RegNode>& node) {
  node = registry.Resolve(handle);
  if (!node) return windows9x ? static_cast<std::int32_t>(ERROR_BADKEY) : ERROR_INVALID_HANDLE;
  if (node->deleted) return static_cast<std::int32_t>(ERROR_KEY_DELETED);
  return ERROR_SUCCESS;
}

// Follows `subKey` from `from`; doubled and trailing backslashes are skipped.
// A leading backslash names no key on Windows 95 and is a bad path to Wine.
std::int32_t Walk(std::shared_ptr<RegNode> from, bool windows9x, const char* subKey,
                  std::shared_ptr<RegNode>& node) {
  const std::string path = subKey != nullptr ? subKey : "";
  if (!path.empty() && path[0] == '\\') {
    return windows9x ? ERROR_FILE_NOT_FOUND : static_cast<std::int32_t>(ERROR_BAD_PATHNAME);
  }
  node = std::move(from);
  for (const std::string& part : SplitKeyPath(path)) {
    node = node->FindSubkey(part);
    if (!node) return ERROR_FILE_NOT_FOUND;
  }
  return ERROR_SUCCESS;
}

// Opening without a handle: the checks RegOpenKeyExA makes.
std::int32_t Reach(const RegistryTree& registry, bool windows9x, RegKey parent, const char* subKey,
                   std::shared_ptr<RegNode>& node) {
  std::shared_ptr<RegNode> base;
  if (std::int32_t status = KeyOf(registry, windows9x, parent, base)) return status;
  if (std::int32_t status = Walk(base, windows9x, subKey, node)) return status;
  return node->denyOpen ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
}

std::string JoinKeyPath(const std::string& base, const char* subKey) {
  const std::string tail = subKey != nullptr ? subKey : "";
  if (base.empty()) return tail;
  return tail.empty() ? base : base + "\\" + tail;
}

// Copies value data the way RegQueryValueExA does: too small a buffer leaves
// it untouched and reports ERROR_MORE_DATA; a string stored without its
// terminator gets one after the data when there is room, not counted.
std::int32_t CopyData(const RegValue& value, unsigned char* data, std::uint32_t capacity) {
  const std::size_t length = value.data.size();
  if (data == nullptr || length == 0) return ERROR_SUCCESS;
  if (length > capacity) return ERROR_MORE_DATA;
  std::memcpy(data, value.data.data(), length);
  if (IsStringType(value.type) && length < capacity && data[length - 1] != 0) data[length] = 0;
  return ERROR_SUCCESS;
}

}  // namespace

std::int32_t Machine::RegOpenKeyExA(RegKey parent, const char* subKey, std::uint32_t access,
                                    RegKey* result) {
  RegistryTree& registry = state_->registry;
  std::shared_ptr<RegNode> base = registry.Resolve(parent);
  const std::string asked = JoinKeyPath(base && !base->deleted ? base->Path() : "", subKey);
  auto finish = [&](std::int32_t status) {
    state_->keyOpens.push_back(KeyOpen{asked, access, status});
    return status;
  };
  if (result == nullptr) return finish(ERROR_INVALID_PARAMETER);
  std::shared_ptr<RegNode> checked;
  const std::int32_t parentStatus = KeyOf(registry, state_->Windows9x(), parent, checked);
  if (parentStatus != ERROR_SUCCESS &&
      parentStatus != static_cast<std::int32_t>(ERROR_KEY_DELETED)) {
    return finish(parentStatus);  // an unknown handle leaves the result as it was
  }
  *result = 0;
  // The predefined key itself comes back, not a new handle.
  if (parent == HKEY_LOCAL_MACHINE && (subKey == nullptr || subKey[0] == '\0')) {
    *result = HKEY_LOCAL_MACHINE;
    return finish(ERROR_SUCCESS);
  }
  std::shared_ptr<RegNode> node;
  if (std::int32_t status = Reach(registry, state_->Windows9x(), parent, subKey, node)) {
    return finish(status);
  }
  // Windows 98 hands out the handle already open on the key, not a new one,
  // so closing either closes both.
  const RegKey shared = state_->Windows98() ? registry.OpenHandleOf(node.get()) : 0;
  *result = shared != 0 ? shared : registry.Open(node, access);
  return finish(ERROR_SUCCESS);
}

std::int32_t Machine::RegCreateKeyA(RegKey parent, const char* subKey, RegKey* result) {
  RegistryTree& registry = state_->registry;
  if (result == nullptr) return static_cast<std::int32_t>(ERROR_BADKEY);
  std::shared_ptr<RegNode> node;
  if (std::int32_t status = KeyOf(registry, state_->Windows9x(), parent, node)) return status;
  const char* path = subKey != nullptr ? subKey : "";
  // Windows 95 ignores one leading backslash here; the NT family none.
  if (path[0] == '\\' && state_->Windows9x()) ++path;
  if (path[0] == '\\') return static_cast<std::int32_t>(ERROR_BAD_PATHNAME);

  const std::vector<std::string> parts = SplitKeyPath(path);
  for (const std::string& part : parts) {
    if (part.size() > MAX_KEY_NAME) return ERROR_INVALID_PARAMETER;
  }
  for (const std::string& part : parts) {
    bool created = false;
    node = node->AddSubkey(part, &created);
    if (created) state_->Record(JournalEntry::Kind::KeyCreated, node->Path());
  }
  if (node->denyOpen) return ERROR_ACCESS_DENIED;
  *result = registry.Open(node, KEY_ALL_ACCESS);
  return ERROR_SUCCESS;
}

std::int32_t Machine::RegCloseKey(RegKey key) {
  const bool windows9x = state_->Windows9x();
  if (key == 0) return windows9x ? static_cast<std::int32_t>(ERROR_BADKEY) : ERROR_INVALID_HANDLE;
  if (key >= 0x80000000u) return ERROR_SUCCESS;  // predefined keys are never closed
  if (state_->registry.Close(key)) return ERROR_SUCCESS;
  return windows9x ? ERROR_SUCCESS
                   : ERROR_INVALID_HANDLE;  // Windows 95 does not mind a second close
}

std::int32_t Machine::RegDeleteKeyA(RegKey parent, const char* subKey) {
  RegistryTree& registry = state_->registry;
  if (subKey == nullptr) {
    return state_->Windows9x() ? static_cast<std::int32_t>(ERROR_BADKEY) : ERROR_INVALID_PARAMETER;
  }
  std::shared_ptr<RegNode> node;
  if (std::int32_t status = Reach(registry, state_->Windows9x(), parent, subKey, node)) {
    return status;
  }

  // The NT family deletes no key that has subkeys; the Win32 platform walks
  // the tree itself only below a named subkey.
  if (!state_->Windows9x() && subKey[0] == '\0' && !node->subkeys.empty()) {
    return ERROR_ACCESS_DENIED;
  }
  if (node == registry.Root()) {
    // An empty path from HKEY_LOCAL_MACHINE. Wine in Windows 95 mode starts
    // deleting the subkeys, depth first, and stops at the first key that
    // refuses, then fails with ERROR_ACCESS_DENIED (measured: keys below
    // HKLM\Hardware were gone). Nothing refuses here, so everything below
    // the root goes; the root itself stays. A caller must never get here.
    for (const auto& child : std::vector<std::shared_ptr<RegNode>>(node->subkeys)) {
      state_->Record(JournalEntry::Kind::KeyDeleted, child->Path());
      registry.Delete(child);
    }
    return ERROR_ACCESS_DENIED;
  }
  state_->Record(JournalEntry::Kind::KeyDeleted, node->Path());
  registry.Delete(node);  // with its whole subtree, as Windows 95 deletes
  return ERROR_SUCCESS;
}

std::int32_t Machine::RegEnumKeyA(RegKey key, std::uint32_t index, char* name,
                                  std::uint32_t nameSize) {
  std::shared_ptr<RegNode> node;
  if (std::int32_t status = KeyOf(state_->registry, state_->Windows9x(), key, node)) return status;
  if (index >= node->subkeys.size()) return ERROR_NO_MORE_ITEMS;
  const std::string& found = node->subkeys[index]->name;
  if (found.size() >= nameSize) return ERROR_MORE_DATA;
  if (name == nullptr) return ERROR_INVALID_PARAMETER;
  std::memcpy(name, found.c_str(), found.size() + 1);
  return ERROR_SUCCESS;
}

std::int32_t Machine::RegQueryValueExA(RegKey key, const char* valueName, std::uint32_t* type,
                                       unsigned char* data, std::uint32_t* dataSize) {
  if (data != nullptr && dataSize == nullptr) return ERROR_INVALID_PARAMETER;
  const std::uint32_t capacity = dataSize != nullptr ? *dataSize : 0;
  // Without a buffer the NT family clears the size first; Windows 95 leaves
  // it alone when the value is absent.
  if (data == nullptr && dataSize != nullptr && !state_->Windows9x()) *dataSize = 0;
  if (type != nullptr) *type = REG_NONE;  // as Windows 95 leaves it on failure

  std::shared_ptr<RegNode> node;
  if (std::int32_t status = KeyOf(state_->registry, state_->Windows9x(), key, node)) return status;
  const RegValue* value = node->FindValue(valueName != nullptr ? valueName : "");
  if (value == nullptr) return ERROR_FILE_NOT_FOUND;

  const std::int32_t status = CopyData(*value, data, capacity);
  if (type != nullptr) *type = value->type;
  if (dataSize != nullptr) *dataSize = static_cast<std::uint32_t>(value->data.size());
  return status;
}

std::int32_t Machine::RegQueryValueA(RegKey key, const char* subKey, char* data,
                                     std::int32_t* dataSize) {
  std::shared_ptr<RegNode> node;
  const bool windows9x = state_->Windows9x();
  const std::int32_t reached = (subKey != nullptr && subKey[0] != '\0')
                                   ? Reach(state_->registry, windows9x, key, subKey, node)
                                   : KeyOf(state_->registry, windows9x, key, node);
  if (reached != ERROR_SUCCESS) return reached;

  if (data != nullptr && dataSize == nullptr) return ERROR_INVALID_PARAMETER;
  const std::uint32_t capacity = dataSize != nullptr ? static_cast<std::uint32_t>(*dataSize) : 0;
  const RegValue* value = node->FindValue("");
  if (value == nullptr) {
    // No default value reads as the empty text, terminator counted.
    if (data != nullptr) data[0] = '\0';
    if (dataSize != nullptr) *dataSize = 1;
    return ERROR_SUCCESS;
  }
  const std::int32_t status = CopyData(*value, reinterpret_cast<unsigned char*>(data), capacity);
  if (dataSize != nullptr) *dataSize = static_cast<std::int32_t>(value->data.size());
  return status;
}

std::int32_t Machine::RegEnumValueA(RegKey key, std::uint32_t index, char* valueName,
                                    std::uint32_t* valueNameSize, std::uint32_t* type,
                                    unsigned char* data, std::uint32_t* dataSize) {
  if ((data != nullptr && dataSize == nullptr) || valueName == nullptr ||
      valueNameSize == nullptr) {
    return ERROR_INVALID_PARAMETER;
  }
  std::shared_ptr<RegNode> node;
  const bool windows9x = state_->Windows9x();
  if (std::int32_t status = KeyOf(state_->registry, windows9x, key, node)) return status;
  if (index >= node->values.size()) return ERROR_NO_MORE_ITEMS;
  const RegValue& value = node->values[index];

  std::int32_t status = CopyData(value, data, dataSize != nullptr ? *dataSize : 0);
  if (status == ERROR_SUCCESS) {
    const std::size_t length = value.name.size();
    if (length >= *valueNameSize) {
      // The name is cut to the buffer. Windows 95 reports the length cut
      // to; the NT family leaves the size as it was.
      status = ERROR_MORE_DATA;
      if (*valueNameSize > 0) {
        std::memcpy(valueName, value.name.data(), *valueNameSize - 1);
        valueName[*valueNameSize - 1] = '\0';
        if (windows9x) *valueNameSize -= 1;
      }
    } else {
      std::memcpy(valueName, value.name.c_str(), length + 1);
      *valueNameSize = static_cast<std::uint32_t>(length);
    }
  }
  if (type != nullptr) *type = value.type;
  if (dataSize != nullptr) *dataSize = static_cast<std::uint32_t>(value.data.size());
  return status;
}

std::int32_t Machine::RegSetValueExA(RegKey key, const char* valueName, std::uint32_t type,
                                     const unsigned char* data, std::uint32_t dataSize) {
  if (type == REG_SZ && state_->Windows9x()) {
    // Windows 95 ignores the size of a REG_SZ and measures the text itself.
    if (data == nullptr) return ERROR_INVALID_PARAMETER;
    dataSize = static_cast<std::uint32_t>(std::strlen(reinterpret_cast<const char*>(data)) + 1);
  } else if (IsStringType(type) && data != nullptr && dataSize > 0 && data[dataSize - 1] != 0 &&
             data[dataSize] == 0) {
    ++dataSize;  // the NT family adds the terminator a size one short left out
  }
  std::shared_ptr<RegNode> node;
  if (std::int32_t status = KeyOf(state_->registry, state_->Windows9x(), key, node)) return status;
  if (data == nullptr && dataSize > 0) return static_cast<std::int32_t>(ERROR_NOACCESS);

  const std::string name = valueName != nullptr ? valueName : "";
  node->SetValue(name, type, std::vector<unsigned char>(data, data + dataSize));
  state_->Record(JournalEntry::Kind::ValueSet, node->Path(), name);
  return ERROR_SUCCESS;
}

}  // namespace mdm::emu
