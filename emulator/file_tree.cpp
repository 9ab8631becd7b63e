#include "emulator/file_tree.h"

#include <algorithm>

#include "emulator/case_blind.h"

namespace mdm::emu {

namespace {

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

void AppendComponents(std::string_view rest, std::vector<std::string>& parts) {
  std::size_t start = 0;
  while (start <= rest.size()) {
    std::size_t end = rest.find('\\', start);
    if (end == std::string_view::npos) end = rest.size();
    const std::string_view part = rest.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.emplace_back(part);
    }
    start = end + 1;
  }
}

}  // namespace

bool ByNameCaseBlind::operator()(const std::unique_ptr<FileNode>& a,
                                 const std::unique_ptr<FileNode>& b) const {
  return CompareCaseBlind(a->name, b->name) < 0;
}
bool ByNameCaseBlind::operator()(const std::unique_ptr<FileNode>& a, std::string_view b) const {
  return CompareCaseBlind(a->name, b) < 0;
}
bool ByNameCaseBlind::operator()(std::string_view a, const std::unique_ptr<FileNode>& b) const {
  return CompareCaseBlind(a, b->name) < 0;
}

FileNode* FileNode::Find(std::string_view childName) const {
  auto it = children.find(childName);
  return it == children.end() ? nullptr : it->get();
}

FileNode& FileNode::Add(std::string_view childName, bool directory) {
  auto it = children.lower_bound(childName);
  if (it != children.end() && SameCaseBlind((*it)->name, childName)) return **it;
  auto node = std::make_unique<FileNode>();
  node->name = std::string(childName);
  node->isDirectory = directory;
  return **children.insert(it, std::move(node));
}

bool FileNode::Remove(const FileNode* child) { return Take(child) != nullptr; }

std::unique_ptr<FileNode> FileNode::Take(const FileNode* child) {
  auto it = children.find(std::string_view(child->name));
  if (it == children.end() || it->get() != child) return nullptr;
  return std::move(children.extract(it).value());
}

std::string WinPath::ToString() const {
  std::string text{drive, ':'};
  if (parts.empty()) return text + "\\";
  for (const std::string& part : parts) text += "\\" + part;
  return text;
}

bool SamePath(const WinPath& a, const WinPath& b) {
  if (a.drive != b.drive || a.parts.size() != b.parts.size()) return false;
  for (std::size_t i = 0; i < a.parts.size(); ++i) {
    if (!SameCaseBlind(a.parts[i], b.parts[i])) return false;
  }
  return true;
}

WinPath WinPath::Parent() const {
  WinPath parent = *this;
  if (!parent.parts.empty()) parent.parts.pop_back();
  parent.trailingSeparator = false;
  return parent;
}

std::optional<WinPath> ParseWinPath(std::string_view path, const WinPath& workingDirectory) {
  std::string text(path);
  std::replace(text.begin(), text.end(), '/', '\\');
  if (text.rfind("\\\\", 0) == 0) return std::nullopt;  // UNC: no such thing here

  WinPath result = workingDirectory;
  std::string_view rest = text;
  if (rest.size() >= 2 && rest[1] == ':') {
    if (!IsLetter(rest[0])) return std::nullopt;
    const char drive = AsciiUpper(rest[0]);
    rest.remove_prefix(2);
    if (drive != workingDirectory.drive) result = WinPath{drive, {}, false};
  } else if (rest.find(':') != std::string_view::npos) {
    return std::nullopt;
  }
  if (!rest.empty() && rest[0] == '\\') result.parts.clear();
  AppendComponents(rest, result.parts);
  result.trailingSeparator = !rest.empty() && rest.back() == '\\';
  return result;
}

bool HasWildcard(std::string_view name) {
  return name.find_first_of("*?") != std::string_view::npos;
}

bool MatchesPattern(std::string_view name, std::string_view pattern) {
  std::size_t n = 0;
  std::size_t p = 0;
  std::size_t starAt = std::string_view::npos;
  std::size_t resumeAt = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      starAt = p++;
      resumeAt = n;
    } else if (p < pattern.size() &&
               (pattern[p] == '?' || AsciiLower(pattern[p]) == AsciiLower(name[n]))) {
      ++p;
      ++n;
    } else if (starAt != std::string_view::npos) {
      p = starAt + 1;  // let the last "*" swallow one more character
      n = ++resumeAt;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && (pattern[p] == '*' || pattern[p] == '.')) ++p;
  return p == pattern.size();
}

namespace {

bool IsShortNameChar(char c) {
  if (static_cast<unsigned char>(c) < 0x20) return false;
  return std::string_view("\"*+,/:;<=>?[\\]| .").find(c) == std::string_view::npos;
}

// A name that is already 8.3: one to eight characters, at most one dot, an
// extension of at most three, nothing a short name cannot hold.
bool IsShortName(std::string_view name) {
  const std::size_t dot = name.find('.');
  const std::string_view base = name.substr(0, dot);
  const std::string_view ext = dot == std::string_view::npos ? "" : name.substr(dot + 1);
  if (base.empty() || base.size() > 8 || ext.size() > 3) return false;
  if (dot != std::string_view::npos && ext.empty()) return false;
  for (char c : base)
    if (!IsShortNameChar(c)) return false;
  for (char c : ext)
    if (!IsShortNameChar(c)) return false;
  return true;
}

// Blanks and dots go, characters a short name cannot hold become "_",
// letters are upper-cased.
std::string BasisPart(std::string_view text, std::size_t limit) {
  std::string part;
  for (char c : text) {
    if (part.size() == limit) break;
    if (c == ' ' || c == '.') continue;
    part += IsShortNameChar(c) ? AsciiUpper(c) : '_';
  }
  return part;
}

}  // namespace

std::string ShortNameAlias(std::string_view name) {
  if (name == "." || name == ".." || IsShortName(name)) return "";
  const std::size_t lastDot = name.find_last_of('.');
  const bool hasExtension = lastDot != std::string_view::npos && lastDot > 0;
  const std::string base = BasisPart(hasExtension ? name.substr(0, lastDot) : name, 6);
  const std::string ext = hasExtension ? BasisPart(name.substr(lastDot + 1), 3) : "";
  return (base.empty() ? std::string("_") : base) + "~1" + (ext.empty() ? "" : "." + ext);
}

FileNode* FileTree::Drive(char letter) const {
  auto it = drives_.find(AsciiUpper(letter));
  return it == drives_.end() ? nullptr : it->second.get();
}

FileNode& FileTree::AddDrive(char letter) {
  auto& slot = drives_[AsciiUpper(letter)];
  if (!slot) {
    slot = std::make_unique<FileNode>();
    slot->name = std::string{AsciiUpper(letter), ':'};
    slot->isDirectory = true;
  }
  return *slot;
}

FileNode* FileTree::Find(const WinPath& path, Lookup* result) const {
  Lookup ignored;
  Lookup& outcome = result != nullptr ? *result : ignored;
  FileNode* node = Drive(path.drive);
  if (node == nullptr) {
    outcome = Lookup::NoPath;
    return nullptr;
  }
  for (std::size_t i = 0; i < path.parts.size(); ++i) {
    if (!node->isDirectory) {
      outcome = Lookup::NoPath;
      return nullptr;
    }
    FileNode* child = node->Find(path.parts[i]);
    if (child == nullptr) {
      outcome = (i + 1 == path.parts.size()) ? Lookup::NoFile : Lookup::NoPath;
      return nullptr;
    }
    node = child;
  }
  outcome = Lookup::Found;
  return node;
}

FileNode* FileTree::MakeDirectories(const WinPath& path) {
  FileNode* node = &AddDrive(path.drive);
  for (const std::string& part : path.parts) {
    node = &node->Add(part, true);
    if (!node->isDirectory) return nullptr;
  }
  return node;
}

std::string FileTree::StoredPath(const WinPath& path) const {
  WinPath stored{path.drive, {}, false};
  const FileNode* node = Drive(path.drive);
  for (const std::string& part : path.parts) {
    node = node != nullptr ? node->Find(part) : nullptr;
    stored.parts.push_back(node != nullptr ? node->name : part);
  }
  return stored.ToString();
}

}  // namespace mdm::emu
