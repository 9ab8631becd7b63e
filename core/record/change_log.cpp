#include "core/record/change_log.h"

#include "core/platform/platform.h"
#include "core/base/text.h"

namespace mdm {

namespace {

class Discard final : public ChangeLog {
 public:
  using ChangeLog::Line;
  void Line(const std::string&) override {}
  bool KeepForUndo(const std::string&, std::string&) override { return true; }
  bool KeepValueForUndo(const std::string&, const std::string&, std::string&) override {
    return true;
  }
};

}  // namespace

void ChangeLog::Line(std::initializer_list<std::string_view> parts) { Line(Concat(parts)); }

ChangeLog& NoChangeLog() {
  static Discard discard;
  return discard;
}

void LogRemoval(ChangeLog& log, const char* what, const std::string& path, bool removed,
                std::uint32_t error) {
  if (removed) {
    log.Line({"removed ", what, " ", path});
    return;
  }
  // Not found, or its folder not found: there was nothing to remove.
  const bool absent = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
  const std::string reason = ErrorText(static_cast<long>(error));
  log.Line({absent ? "absent " : "refused ", what, " ", path, reason});
}

}  // namespace mdm
