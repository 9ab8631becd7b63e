// What a stage did with the package's things it met: each one that went, and
// each one that stayed with the reason. What was not there is neither, and
// neither is what the guard refused as someone else's.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/base/text.h"

namespace mdm {

enum class ItemKind { File, Folder, Key, InfFile, ListEntry };

// "file", "folder", "key", "INF file", "list entry": as the change log names them.
inline const char* KindName(ItemKind kind) {
  static const char* const NAMES[] = {"file", "folder", "key", "INF file", "list entry"};
  return NAMES[static_cast<int>(kind)];
}

struct OutcomeItem {
  ItemKind kind;
  std::string path;  // a full path, or a key below HKEY_LOCAL_MACHINE
  std::string why;   // for one that stayed: the error, or what kept it
};

struct StageOutcome {
  std::vector<OutcomeItem> removed;
  std::vector<OutcomeItem> remaining;  // each thing once, however often it was tried

  // One that went.
  void Went(ItemKind kind, std::string_view path);
  // One that stayed, counted once.
  void Stayed(ItemKind kind, std::string_view path, std::string_view why);
  void Add(const StageOutcome& other);
};

}  // namespace mdm
