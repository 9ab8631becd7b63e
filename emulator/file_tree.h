// The drives of the emulated machine: one in-memory tree per drive letter.
// Names are matched case-blind and stored with their case; children are kept
// sorted case-blind, which is the order a directory search returns them in.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace mdm::emu {

struct FileNode;

// Orders children by name, case-blind; also finds a child by a bare name.
struct ByNameCaseBlind {
  using is_transparent = void;
  bool operator()(const std::unique_ptr<FileNode>& a, const std::unique_ptr<FileNode>& b) const;
  bool operator()(const std::unique_ptr<FileNode>& a, std::string_view b) const;
  bool operator()(std::string_view a, const std::unique_ptr<FileNode>& b) const;
};

struct FileNode {
  std::string name;  // stored case; "C:" for a drive's root
  bool isDirectory = false;
  std::string content;  // file bytes
  bool readOnly = false;
  bool inUse = false;
  // Sorted case-blind. A tree, not an array: deleting thousands of files from
  // one folder must not shift the rest of the folder each time.
  std::set<std::unique_ptr<FileNode>, ByNameCaseBlind> children;

  FileNode* Find(std::string_view childName) const;
  FileNode& Add(std::string_view childName, bool directory);
  bool Remove(const FileNode* child);
  // Unlinks a child and hands it over; null when it is not a child.
  std::unique_ptr<FileNode> Take(const FileNode* child);
};

// A full Windows path after normalisation: drive letter (upper case) and the
// components below the root, without "." and "..".
struct WinPath {
  char drive = 'C';
  std::vector<std::string> parts;
  bool trailingSeparator = false;

  std::string ToString() const;  // "C:\A\B", "C:\" for the root
  WinPath Parent() const;
};

// Same drive and the same components, case-blind.
bool SamePath(const WinPath& a, const WinPath& b);

// Resolves `path` as Win32 does: "/" is a separator, doubled separators
// collapse, "." and ".." are resolved, a path without drive or leading
// separator is relative to `workingDirectory`, "\x" is on its drive's root.
// UNC paths and paths without a letter before ":" give nullopt.
std::optional<WinPath> ParseWinPath(std::string_view path, const WinPath& workingDirectory);

// Win32 wildcard match of one name against one pattern, case-blind: "*" any
// run, "?" exactly one character, and trailing "." and "*" of the pattern may
// match nothing (so "*.*" matches names without a dot), as Wine matches.
bool MatchesPattern(std::string_view name, std::string_view pattern);
bool HasWildcard(std::string_view name);

// The 8.3 alias Windows 95 gives a long name ("oemsetup.information" ->
// "OEMSET~1.INF"), or the empty text when the name is a valid 8.3 name itself.
// Windows matches a search pattern against both names. Only the first alias
// of a basis is modelled (~1): collisions do not change what a pattern with a
// prefix of up to six characters matches.
std::string ShortNameAlias(std::string_view name);

enum class Lookup { Found, NoFile, NoPath };

class FileTree {
 public:
  FileNode* Drive(char letter) const;
  FileNode& AddDrive(char letter);
  // The node a path names; `result` tells a missing last component (NoFile)
  // from a missing or non-directory parent (NoPath).
  FileNode* Find(const WinPath& path, Lookup* result = nullptr) const;
  // Creates missing directories along `path` (the path itself included).
  // Returns null when a file stands in the way.
  FileNode* MakeDirectories(const WinPath& path);
  // The path of an existing node in stored case.
  std::string StoredPath(const WinPath& path) const;
  const std::map<char, std::unique_ptr<FileNode>>& Drives() const { return drives_; }
  void Clear() { drives_.clear(); }

 private:
  std::map<char, std::unique_ptr<FileNode>> drives_;
};

}  // namespace mdm::emu
