// The registry of HKEY_LOCAL_MACHINE as a tree of keys, and the table of open
// key handles.
//
// Subkeys are kept sorted case-blind, the order in which Wine's registry
// enumerates them. Values are kept in the order they were created, the order
// Windows 95 enumerates them in; SortedValues gives Wine's order. A deleted
// key stays alive while a handle refers to it, marked deleted, so that stale
// handles fail the way Windows fails them.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/platform/platform.h"

namespace mdm::emu {

struct RegValue {
  std::string name;  // "" is the default value
  std::uint32_t type = 0;
  std::vector<unsigned char> data;
};

struct RegNode {
  std::string name;  // stored case; "" for the root
  RegNode* parent = nullptr;
  std::vector<std::shared_ptr<RegNode>> subkeys;  // sorted case-blind
  std::vector<RegValue> values;                   // in creation order
  bool deleted = false;
  bool denyOpen = false;

  // Path below HKEY_LOCAL_MACHINE in stored case, "" for the root.
  std::string Path() const;
  std::shared_ptr<RegNode> FindSubkey(std::string_view subkeyName) const;
  // Creates the subkey when absent; `created` tells which happened.
  std::shared_ptr<RegNode> AddSubkey(std::string_view subkeyName, bool* created = nullptr);
  const RegValue* FindValue(std::string_view valueName) const;
  // The values sorted case-blind (a name that is a prefix first).
  std::vector<const RegValue*> SortedValues() const;
  // Replaces data and type of an existing value, keeping its stored name and
  // its place; a new value goes last.
  void SetValue(std::string_view valueName, std::uint32_t type, std::vector<unsigned char> data);
  bool RemoveValue(std::string_view valueName);
};

// Splits a key path at backslashes. Empty components (doubled or trailing
// backslashes) are dropped, as Wine's registry server drops them.
std::vector<std::string> SplitKeyPath(std::string_view path);

class RegistryTree {
 public:
  RegistryTree();

  const std::shared_ptr<RegNode>& Root() const { return root_; }
  std::shared_ptr<RegNode> Find(std::string_view path) const;
  // Creates every missing key along `path`; appends the paths of the keys it
  // created to `created` when given.
  std::shared_ptr<RegNode> Create(std::string_view path,
                                  std::vector<std::string>* created = nullptr);
  // Detaches `node` from its parent and marks it and its whole subtree deleted.
  void Delete(const std::shared_ptr<RegNode>& node);
  void Clear();

  // ---- Handles.
  RegKey Open(std::shared_ptr<RegNode> node, std::uint32_t access);
  // A handle already open on `node`, or 0.
  RegKey OpenHandleOf(const RegNode* node) const;
  bool Close(RegKey handle);
  // The key a handle names (HKEY_LOCAL_MACHINE names the root), or null.
  std::shared_ptr<RegNode> Resolve(RegKey handle) const;
  std::size_t OpenCount() const { return handles_.size(); }
  void CloseAll() { handles_.clear(); }

 private:
  struct Handle {
    std::shared_ptr<RegNode> node;
    std::uint32_t access;
  };
  std::shared_ptr<RegNode> root_;
  std::map<RegKey, Handle> handles_;
  RegKey nextHandle_ = 0x100;
};

}  // namespace mdm::emu
