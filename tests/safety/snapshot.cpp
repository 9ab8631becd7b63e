#include "tests/safety/snapshot.h"

#include <algorithm>

namespace mdm::safety {

namespace {

constexpr const char* kRootHeader = "[HKEY_LOCAL_MACHINE";

std::string Trim(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find('\n', start);
    lines.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) return lines;
    start = end + 1;
  }
}

// Exported blocks by key: the header line names the key, the value lines follow.
std::map<std::string, std::string> KeyBlocks(const std::string& exported) {
  std::map<std::string, std::string> blocks;
  std::string current;
  for (const std::string& line : SplitLines(exported)) {
    if (line.compare(0, std::string(kRootHeader).size(), kRootHeader) == 0 && line.back() == ']') {
      const std::string inside = line.substr(1, line.size() - 2);
      const std::size_t slash = inside.find('\\');
      current = Folded(slash == std::string::npos ? std::string() : inside.substr(slash + 1));
      blocks[current] = line + "\n";
    } else if (!line.empty() && blocks.count(current) != 0) {
      blocks[current] += line + "\n";
    }
  }
  return blocks;
}

bool UnderAny(const std::string& folded, const std::set<std::string>& roots) {
  for (const std::string& root : roots) {
    if (folded == root || folded.compare(0, root.size() + 1, root + "\\") == 0) return true;
  }
  return false;
}

// The text after "=" on the first line of the key in the first section of
// the name, line end excluded.
std::optional<std::string> RawValue(const std::string& text, const std::string& section,
                                    const std::string& key) {
  const std::vector<std::string> all = SplitLines(text);
  const std::vector<std::string> rest = LinesBesides(text, section, key, true);
  for (std::size_t i = 0; i < all.size(); ++i) {
    if (i < rest.size() && all[i] == rest[i]) continue;
    std::string line = all[i];
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::size_t value = line.find_first_not_of(" \t", line.find('=') + 1);
    return value == std::string::npos ? std::string() : line.substr(value);
  }
  return std::nullopt;
}

class Checker {
 public:
  Checker(const GeneratedMachine& g, Deliverable who, const Expectation& e, const Snapshot& before,
          emu::Machine& after)
      : g_(g),
        who_(who),
        e_(e),
        before_(before),
        machine_(after),
        after_(TakeSnapshot(after, g.model.Drives())) {}

  std::vector<std::string> Check() {
    CheckRegistry();
    CheckFiles();
    CheckProfiles();
    CheckBystanders();
    CheckRunFacts();
    for (const auto& [what, why] : e_.residues) {
      if (why.empty()) Problem("stays though no rule keeps it: " + what);
    }
    return problems_;
  }

 private:
  void Problem(const std::string& text) {
    if (problems_.size() < 40) problems_.push_back(text);
  }

  void CheckRegistry() {
    for (const auto& [key, block] : before_.keys) {
      const bool gone = UnderAny(key, e_.deletedKeys);
      auto now = after_.keys.find(key);
      if (gone && now != after_.keys.end()) Problem("key should be deleted: " + key);
      if (!gone && now == after_.keys.end()) Problem("key lost: " + key);
      if (!gone && now != after_.keys.end() && now->second != block) {
        Problem("key changed: " + key + "\n  before: " + block + "  after: " + now->second);
      }
    }
    for (const auto& [key, block] : after_.keys) {
      if (before_.keys.count(key) == 0) Problem("key appeared: " + key);
    }
  }

  bool IsProfileFile(const std::string& folded) const {
    return folded == Folded(g_.WinIni()) || folded == Folded(g_.SystemIni()) ||
           folded == Folded(g_.ConfigFile());
  }

  // The deliverable's own change log and undo file in the Windows directory:
  // they may appear and grow; the other deliverable's stay as they were.
  // The undo files of its earlier runs move up an age: "<name7><n>.REG".
  // An undo file name the run passes over is none of them: it stays.
  bool IsOwnLogFile(const std::string& folded) const {
    const std::string name = who_ == Deliverable::Program ? "MDMCLEAN" : "HVLIB32";
    const std::string base = g_.model.settings.windowsDirectory + "\\" + name;
    if (folded == Folded(base + ".LOG")) return true;
    if (folded == Folded(base + ".REG")) return !PassedOver(folded);
    for (char age = '1'; age <= '9'; ++age) {
      if (folded ==
          Folded(g_.model.settings.windowsDirectory + "\\" + name.substr(0, 7) + age + ".REG"))
        return !PassedOver(folded);
    }
    return false;
  }

  // An undo file name that holds a folder, a read-only file or a file that
  // does not begin as the undo files do (or as the start of their first line).
  bool PassedOver(const std::string& folded) const {
    if (g_.model.HasDirectory(folded)) return true;
    const ModelFile* file = g_.model.File(folded);
    if (file == nullptr) return false;
    const std::string header = "REGEDIT4\r\n";
    const std::size_t start = std::min(file->content.size(), header.size());
    return file->readOnly || file->content.compare(0, start, header, 0, start) != 0;
  }

  void CheckFiles() {
    for (const auto& [path, entry] : before_.files) {
      if (IsProfileFile(path) || IsOwnLogFile(path)) continue;
      const bool gone = e_.deletedFiles.count(path) != 0 || e_.removedDirectories.count(path) != 0;
      auto now = after_.files.find(path);
      if (gone && now != after_.files.end()) Problem("should be deleted: " + entry.path);
      if (!gone && now == after_.files.end()) Problem("lost: " + entry.path);
      if (!gone && now != after_.files.end() && now->second.content != entry.content) {
        Problem("content changed: " + entry.path);
      }
    }
    for (const auto& [path, entry] : after_.files) {
      if (before_.files.count(path) == 0 && !IsProfileFile(path) && !IsOwnLogFile(path)) {
        Problem("appeared: " + entry.path);
      }
    }
  }

  std::optional<std::string> Before(const std::string& path) const {
    auto it = before_.files.find(Folded(path));
    return it == before_.files.end() ? std::nullopt : it->second.content;
  }
  std::optional<std::string> After(const std::string& path) const {
    auto it = after_.files.find(Folded(path));
    return it == after_.files.end() ? std::nullopt : it->second.content;
  }

  // A profile file whose keys of one section were written: each holds its
  // value, and every other line is what it was.
  void CheckWritten(const std::string& path, const std::string& section,
                    const std::vector<std::pair<std::string, std::string>>& values) {
    std::vector<std::string> keys;
    for (const auto& [key, value] : values) keys.push_back(key);
    const auto before = Before(path);
    const auto after = After(path);
    if (!after) {
      Problem("profile file missing after the run: " + path);
      return;
    }
    bool hadHeader = false;
    if (before) {
      for (const std::string& line : SplitLines(*before)) {
        hadHeader = hadHeader || Folded(Trim(line)) == Folded("[" + section + "]");
      }
    }
    // A write after an unterminated last line ends that line first; the
    // bytes before stay as they were.
    auto terminated = [](std::optional<std::string> text) {
      if (text && !text->empty() && text->back() != '\n') *text += "\r\n";
      return text;
    };
    const std::vector<std::string> kept = LinesBesides(terminated(before), section, keys, true);
    std::vector<std::string> rest = LinesBesides(terminated(after), section, keys, hadHeader);
    // Windows 95 puts a blank line before a section it adds after other text.
    if (!hadHeader && rest.size() == kept.size() + 1) {
      std::size_t at = 0;
      while (at < kept.size() && kept[at] == rest[at]) ++at;
      if (Trim(rest[at]).empty()) rest.erase(rest.begin() + static_cast<std::ptrdiff_t>(at));
    }
    if (kept != rest) {
      Problem("other lines of " + path + " changed:\n  before: " + before.value_or("(absent)") +
              "\n  after: " + *after);
    }
    // The raw text after "=": a read would trim the blank that a removed
    // last entry leaves behind. A write stores no leading blanks or tabs.
    for (const auto& [key, value] : values) {
      const std::string written = RawValue(*after, section, key).value_or("(no such line)");
      const std::string wanted =
          value.substr(std::min(value.find_first_not_of(" \t"), value.size()));
      if (written != wanted)
        Problem(path + " " + key + "=\"" + written + "\", expected \"" + wanted + "\"");
    }
  }

  void CheckUnchanged(const std::string& path) {
    if (Before(path) != After(path)) Problem("profile file changed: " + path);
  }

  // Windows 95 makes no file for an empty value (a line written back empty).
  bool WritesNothing(const std::string& path, const std::optional<std::string>& line) const {
    return !line || (g_.model.settings.major < 5 && !Before(path) &&
                     line->find_first_not_of(" \t") == std::string::npos);
  }

  void CheckProfiles() {
    if (!WritesNothing(g_.WinIni(), e_.loadLine)) {
      CheckWritten(g_.WinIni(), "windows", {{"load", *e_.loadLine}});
    } else {
      CheckUnchanged(g_.WinIni());
    }
    if (!WritesNothing(g_.SystemIni(), e_.driversLine)) {
      CheckWritten(g_.SystemIni(), "boot", {{"drivers", *e_.driversLine}});
    } else {
      CheckUnchanged(g_.SystemIni());
    }
    if (e_.resultWritten) {
      // How many of the package's things stayed, then the result code.
      CheckWritten(
          g_.ConfigFile(), "Progress",
          {{"Remaining", std::to_string(e_.remaining)}, {"Result", std::to_string(e_.result)}});
    } else {
      CheckUnchanged(g_.ConfigFile());
    }
  }

  bool Exempt(const Exemption& exemption) const {
    return who_ == Deliverable::Program ? exemption.byProgram : exemption.byLibrary;
  }

  // A container mdmclean may take when everything below it is the package's.
  bool ExemptContainer(const std::string& folded, const ModelKey& key) const {
    if (who_ != Deliverable::Program || !key.exemption.byProgramWhenOnlyThePackageIsBelow)
      return false;
    for (const auto& [below, other] : g_.model.Keys()) {
      if (below.compare(0, folded.size() + 1, folded + "\\") == 0 && other.owner != Owner::Package)
        return false;
    }
    return true;
  }

  // What is not the package's survives, whatever the rules of the stages say.
  void CheckBystanders() {
    for (const auto& [folded, key] : g_.model.Keys()) {
      if (key.owner == Owner::Package || Exempt(key.exemption) || ExemptContainer(folded, key))
        continue;
      auto now = after_.keys.find(folded);
      if (now == after_.keys.end()) {
        Problem("collateral damage: bystander key lost: " + key.path);
      } else if (now->second != before_.keys.at(folded)) {
        Problem("collateral damage: bystander key changed: " + key.path);
      }
    }
    for (const auto& [folded, file] : g_.model.Files()) {
      if (file.owner == Owner::Package || IsProfileFile(folded) || IsOwnLogFile(folded)) continue;
      auto now = after_.files.find(folded);
      if (now == after_.files.end() || now->second.content != file.content) {
        Problem("collateral damage: bystander file lost or changed: " + file.path);
      }
    }
    CheckBystanderTokens(g_.load, g_.WinIni(), "windows", "load");
    CheckBystanderTokens(g_.drivers, g_.SystemIni(), "boot", "drivers");
  }

  // mdmclean cut the relative entry of this product-folder file from a line
  // it wrote, and with it the entries that end in it: every configured
  // product file's, whether it was there or not, and every file its run took
  // out of the product folder.
  bool ProductFileEntryCut(const std::string& name) const {
    if (who_ != Deliverable::Program || name.empty()) return false;
    for (const std::string& configured : g_.config.productFiles) {
      if (Folded(configured) == Folded(name)) return true;
    }
    const std::string path = Folded(g_.model.settings.systemDirectory + "\\QUILLNET.101\\" + name);
    return before_.files.count(path) != 0 && after_.files.count(path) == 0;
  }

  // The line as the run left it in the file, whatever the expectation says.
  void CheckBystanderTokens(const ListLine& line, const std::string& path,
                            const std::string& section, const std::string& key) {
    if (!line.fileExists || !line.sectionExists || !line.keyExists) return;
    const auto after = After(path);
    if (!after || after == Before(path)) return;  // not written: nothing was lost
    const std::vector<std::string> left = ListEntries(RawValue(*after, section, key).value_or(""));
    // A cut takes whole entries only, so every other entry is still there
    // whole and in its own letters, the one right after a cut included.
    for (const ListToken& token : line.tokens) {
      if (token.owner == Owner::Package || Exempt(token.exemption) ||
          ProductFileEntryCut(token.productFile))
        continue;
      const auto had = std::count_if(line.tokens.begin(), line.tokens.end(),
                                     [&](const ListToken& t) { return t.text == token.text; });
      const auto has = std::count(left.begin(), left.end(), token.text);
      if (has < had) Problem("collateral damage: list entry lost: " + token.text);
    }
  }

  void CheckRunFacts() {
    int messages = 0;
    for (const emu::JournalEntry& entry : machine_.Journal()) {
      messages += entry.kind == emu::JournalEntry::Kind::MessageSent ? 1 : 0;
    }
    if (messages != e_.messages) {
      Problem("NVRAM window told " + std::to_string(messages) + " times, expected " +
              std::to_string(e_.messages));
    }
    if (machine_.OpenKeyCount() != 0) Problem("registry keys left open");
    if (machine_.OpenSearchCount() != 0) Problem("directory searches left open");
  }

  const GeneratedMachine& g_;
  Deliverable who_;
  const Expectation& e_;
  const Snapshot& before_;
  emu::Machine& machine_;
  Snapshot after_;
  std::vector<std::string> problems_;
};

}  // namespace

Snapshot TakeSnapshot(const emu::Machine& machine, const std::set<char>& drives) {
  Snapshot snapshot;
  snapshot.keys = KeyBlocks(machine.ExportRegistry());
  for (char drive : drives) {
    for (const std::string& path : machine.ListTree(std::string{drive, ':', '\\'})) {
      snapshot.files[Folded(path)] = Snapshot::Entry{path, machine.ReadFile(path)};
    }
  }
  return snapshot;
}

std::vector<std::string> LinesBesides(const std::optional<std::string>& text,
                                      const std::string& section,
                                      const std::vector<std::string>& keys, bool withHeader) {
  std::vector<std::string> lines = SplitLines(text.value_or(""));
  std::vector<bool> found(keys.size(), false);
  bool inSection = false;
  bool sectionSeen = false;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string trimmed = Trim(lines[i]);
    if (!trimmed.empty() && trimmed.front() == '[' && trimmed.find(']') != std::string::npos) {
      const std::string name = Trim(trimmed.substr(1, trimmed.rfind(']') - 1));
      inSection = !sectionSeen && Folded(name) == Folded(section);
      sectionSeen = sectionSeen || inSection;
      if (inSection && !withHeader) lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(i--));
      continue;
    }
    const std::size_t equals = trimmed.find('=');
    if (!inSection || equals == std::string::npos) continue;
    for (std::size_t k = 0; k < keys.size(); ++k) {
      if (found[k] || Folded(Trim(trimmed.substr(0, equals))) != Folded(keys[k])) continue;
      found[k] = true;
      lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(i--));
      break;
    }
  }
  return lines;
}

std::vector<std::string> LinesBesides(const std::optional<std::string>& text,
                                      const std::string& section, const std::string& key,
                                      bool withHeader) {
  return LinesBesides(text, section, std::vector<std::string>{key}, withHeader);
}

std::vector<std::string> CheckRun(const GeneratedMachine& generated, Deliverable deliverable,
                                  const Expectation& expected, const Snapshot& before,
                                  emu::Machine& after) {
  return Checker(generated, deliverable, expected, before, after).Check();
}

}  // namespace mdm::safety
