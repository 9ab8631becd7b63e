// What a stage did with the package's things it met: each one that went, and
// each one that stayed with the reason. What was not there is neither, and
// neither is what the guard refused as someone else's.
#pragma once

#include <string>
#include <vector>

namespace mdm {

enum class ItemKind { File, Folder, Key, InfFile, ListEntry };

struct OutcomeItem {
  ItemKind kind;
  std::string path;  // a full path, or a key below HKEY_LOCAL_MACHINE
  std::string why;   // for one that stayed: the error, or what kept it
};

struct StageOutcome {
  std::vector<OutcomeItem> removed;
  std::vector<OutcomeItem> remaining;

  void Add(const StageOutcome& other) {
    removed.insert(removed.end(), other.removed.begin(), other.removed.end());
    remaining.insert(remaining.end(), other.remaining.begin(), other.remaining.end());
  }
};

}  // namespace mdm
