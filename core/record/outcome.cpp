#include "core/record/outcome.h"

namespace mdm {

void StageOutcome::Went(ItemKind kind, std::string_view path) {
  removed.push_back({kind, std::string(path), {}});
}

void StageOutcome::Stayed(ItemKind kind, std::string_view path, std::string_view why) {
  for (const OutcomeItem& counted : remaining) {
    if (counted.kind == kind && counted.path.size() == path.size() &&
        EqualsAsciiCaseBlind(counted.path.c_str(), std::string(path).c_str())) {
      return;
    }
  }
  remaining.push_back({kind, std::string(path), std::string(why)});
}

void StageOutcome::Add(const StageOutcome& other) {
  removed.insert(removed.end(), other.removed.begin(), other.removed.end());
  for (const OutcomeItem& item : other.remaining) Stayed(item.kind, item.path, item.why);
}

}  // namespace mdm
