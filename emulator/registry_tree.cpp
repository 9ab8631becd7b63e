#include "emulator/registry_tree.h"

#include <algorithm>

#include "emulator/case_blind.h"

namespace mdm::emu {

namespace {

template <typename Item, typename NameOf>
auto LowerBoundByName(Item& items, std::string_view name, NameOf nameOf) {
  return std::lower_bound(
      items.begin(), items.end(), name,
      [&](const auto& item, std::string_view n) { return CompareCaseBlind(nameOf(item), n) < 0; });
}

const std::string& SubkeyName(const std::shared_ptr<RegNode>& node) { return node->name; }

template <typename Values>
auto ValueNamed(Values& values, std::string_view name) {
  return std::find_if(values.begin(), values.end(),
                      [&](const RegValue& value) { return SameCaseBlind(value.name, name); });
}

// A deleted key may outlive its parent (a handle keeps it), so its parent
// link is cut rather than left dangling.
void MarkDeleted(RegNode& node) {
  node.deleted = true;
  for (const auto& child : node.subkeys) {
    MarkDeleted(*child);
    child->parent = nullptr;
  }
}

}  // namespace

std::string RegNode::Path() const {
  if (parent == nullptr) return {};
  const std::string above = parent->Path();
  return above.empty() ? name : above + "\\" + name;
}

std::shared_ptr<RegNode> RegNode::FindSubkey(std::string_view subkeyName) const {
  auto it = LowerBoundByName(subkeys, subkeyName, SubkeyName);
  if (it != subkeys.end() && SameCaseBlind((*it)->name, subkeyName)) return *it;
  return nullptr;
}

std::shared_ptr<RegNode> RegNode::AddSubkey(std::string_view subkeyName, bool* created) {
  auto it = LowerBoundByName(subkeys, subkeyName, SubkeyName);
  if (it != subkeys.end() && SameCaseBlind((*it)->name, subkeyName)) {
    if (created != nullptr) *created = false;
    return *it;
  }
  auto node = std::make_shared<RegNode>();
  node->name = std::string(subkeyName);
  node->parent = this;
  subkeys.insert(it, node);
  if (created != nullptr) *created = true;
  return node;
}

const RegValue* RegNode::FindValue(std::string_view valueName) const {
  auto it = ValueNamed(values, valueName);
  return it != values.end() ? &*it : nullptr;
}

std::vector<const RegValue*> RegNode::SortedValues() const {
  std::vector<const RegValue*> sorted;
  for (const RegValue& value : values) sorted.push_back(&value);
  std::stable_sort(sorted.begin(), sorted.end(), [](const RegValue* a, const RegValue* b) {
    return CompareCaseBlind(a->name, b->name) < 0;
  });
  return sorted;
}

void RegNode::SetValue(std::string_view valueName, std::uint32_t type,
                       std::vector<unsigned char> data) {
  auto it = ValueNamed(values, valueName);
  if (it == values.end())
    it = values.insert(values.end(), RegValue{std::string(valueName), type, {}});
  it->type = type;
  it->data = std::move(data);
}

bool RegNode::RemoveValue(std::string_view valueName) {
  auto it = ValueNamed(values, valueName);
  if (it == values.end()) return false;
  values.erase(it);
  return true;
}

std::vector<std::string> SplitKeyPath(std::string_view path) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('\\', start);
    if (end == std::string_view::npos) end = path.size();
    if (end > start) parts.emplace_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

RegistryTree::RegistryTree() : root_(std::make_shared<RegNode>()) {}

std::shared_ptr<RegNode> RegistryTree::Find(std::string_view path) const {
  std::shared_ptr<RegNode> node = root_;
  for (const std::string& part : SplitKeyPath(path)) {
    node = node->FindSubkey(part);
    if (!node) return nullptr;
  }
  return node;
}

std::shared_ptr<RegNode> RegistryTree::Create(std::string_view path,
                                              std::vector<std::string>* created) {
  std::shared_ptr<RegNode> node = root_;
  for (const std::string& part : SplitKeyPath(path)) {
    bool isNew = false;
    node = node->AddSubkey(part, &isNew);
    if (isNew && created != nullptr) created->push_back(node->Path());
  }
  return node;
}

void RegistryTree::Delete(const std::shared_ptr<RegNode>& node) {
  RegNode* parent = node->parent;
  if (parent == nullptr) return;  // the root stays
  auto& siblings = parent->subkeys;
  siblings.erase(std::remove(siblings.begin(), siblings.end(), node), siblings.end());
  node->parent = nullptr;
  MarkDeleted(*node);
}

void RegistryTree::Clear() {
  for (const auto& child : std::vector<std::shared_ptr<RegNode>>(root_->subkeys)) Delete(child);
  root_->values.clear();
}

RegKey RegistryTree::Open(std::shared_ptr<RegNode> node, std::uint32_t access) {
  const RegKey handle = nextHandle_;
  nextHandle_ += 4;  // handle values step by four, as on Windows
  handles_[handle] = Handle{std::move(node), access};
  return handle;
}

RegKey RegistryTree::OpenHandleOf(const RegNode* node) const {
  for (const auto& [handle, open] : handles_) {
    if (open.node.get() == node) return handle;
  }
  return 0;
}

bool RegistryTree::Close(RegKey handle) { return handles_.erase(handle) > 0; }

std::shared_ptr<RegNode> RegistryTree::Resolve(RegKey handle) const {
  if (handle == HKEY_LOCAL_MACHINE) return root_;
  auto it = handles_.find(handle);
  return it == handles_.end() ? nullptr : it->second.node;
}

}  // namespace mdm::emu
