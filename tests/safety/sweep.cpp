#include "tests/safety/sweep.h"

#include <map>
#include <optional>
#include <stdexcept>

#include "hvlib32/library_plan.h"
#include "hvlib32/exports.h"
#include "mdmclean/run.h"
#include "tests/safety/expectation.h"
#include "tests/safety/snapshot.h"
#include "tests/support/test_platform.h"
#include "tests/support/run_logs.h"

namespace mdm::safety {

namespace {

constexpr const char* kConfigFile = ".\\mdminfo.ini";

void Perform(Platform& platform, Work work, const SweptMachine& m) {
  switch (work) {
    case Work::Program: mdmclean::RunUninstall(platform); return;
    case Work::Library: hvlib32::Uninstall(platform); return;
    case Work::SerialMove:
      hvlib32::ChangeW95SerialNumber(platform, m.oldSerial.c_str(), m.newSerial.c_str());
      return;
  }
}

std::string WindowsDirectory(emu::Machine& machine) {
  char buffer[MAX_PATH] = {};
  machine.GetWindowsDirectoryA(buffer, MAX_PATH);
  return buffer;
}

// What a finished run told its caller: the result code (mdmclean's Result,
// the serial move's return code, -1 for Uninstall) and the number remaining.
struct Told {
  int result = -1;
  int remaining = -1;
};

int ProfileNumber(emu::Machine& machine, const char* key) {
  char text[32] = {};
  machine.GetPrivateProfileStringA("Progress", key, "", text, sizeof text, kConfigFile);
  return text[0] == '\0' ? -1 : std::atoi(text);
}

// The count the log's last line gives ("result 0 (done), 2 remaining",
// "done, 2 remaining"); -1 when the run could not write it.
int LoggedRemaining(emu::Machine& machine, Work work) {
  const std::string name = work == Work::Program ? "MDMCLEAN.LOG" : "HVLIB32.LOG";
  const auto log = machine.ReadFile(WindowsDirectory(machine) + "\\" + name);
  const std::string tail = " remaining\r\n";
  if (!log || log->size() < tail.size() ||
      log->compare(log->size() - tail.size(), tail.size(), tail) != 0) {
    return -1;
  }
  const std::size_t comma = log->rfind(", ");
  return comma == std::string::npos ? -1 : std::atoi(log->c_str() + comma + 2);
}

// Runs `work` on `platform` (the machine, or one that interrupts it) and
// reads what it told: mdmclean's exit code, the serial move's return code,
// the count of what remains from the log.
Told Run(Platform& platform, emu::Machine& machine, Work work, const SweptMachine& m) {
  Told told;
  if (work == Work::SerialMove) {
    told.result = static_cast<int>(
        hvlib32::ChangeW95SerialNumber(platform, m.oldSerial.c_str(), m.newSerial.c_str()));
    return told;
  }
  if (work == Work::Program) {
    told.result = mdmclean::RunUninstall(platform);
  } else {
    hvlib32::Uninstall(platform);
  }
  told.remaining = LoggedRemaining(machine, work);
  // mdmclean also tells it in mdminfo.ini, which may be all it could write.
  if (work == Work::Program && told.remaining < 0)
    told.remaining = ProfileNumber(machine, "Remaining");
  return told;
}

// mdminfo.ini holds what mdmclean told, or its log says it could not (or
// the log could not be written either).
bool ResultFileAgrees(emu::Machine& machine, const Told& told) {
  if (ProfileNumber(machine, "Result") == told.result &&
      ProfileNumber(machine, "Remaining") == told.remaining) {
    return true;
  }
  const auto log = machine.ReadFile(WindowsDirectory(machine) + "\\MDMCLEAN.LOG");
  return LoggedRemaining(machine, Work::Program) < 0 ||
         (log && log->find("could not be written into mdminfo.ini") != std::string::npos);
}

Told RunWhole(emu::Machine& machine, Work work, const SweptMachine& m) {
  return Run(machine, machine, work, m);
}

bool IsConfigFile(const emu::Machine& machine, const std::string& folded) {
  return folded == Folded(machine.WorkingDirectory() + "\\mdminfo.ini");
}

// A file's content as a comparison sees it: mdminfo.ini without what a run
// reports into it.
std::optional<std::string> Comparable(const emu::Machine& machine, const std::string& folded,
                                      const std::optional<std::string>& content) {
  if (!content || !IsConfigFile(machine, folded)) return content;
  std::string text;
  for (const std::string& line :
       LinesBesides(content, "Progress", std::vector<std::string>{"Result", "Remaining"}, false))
    text += line + "\n";
  return text;
}

// The paths of the two snapshots that differ (run logs and undo files aside).
std::vector<std::string> Differences(const emu::Machine& machine, const Snapshot& a,
                                     const Snapshot& b) {
  std::vector<std::string> differences;
  std::set<std::string> keys;
  for (const auto& [path, block] : a.keys) keys.insert(path);
  for (const auto& [path, block] : b.keys) keys.insert(path);
  for (const std::string& path : keys) {
    const auto x = a.keys.find(path);
    const auto y = b.keys.find(path);
    if (x == a.keys.end() || y == b.keys.end() || x->second != y->second)
      differences.push_back("key " + path);
  }
  std::set<std::string> files;
  for (const auto& [path, entry] : a.files) files.insert(path);
  for (const auto& [path, entry] : b.files) files.insert(path);
  for (const std::string& path : files) {
    if (test::IsRunLogFile(path)) continue;
    const auto x = a.files.find(path);
    const auto y = b.files.find(path);
    if (x == a.files.end() || y == b.files.end() ||
        Comparable(machine, path, x->second.content) !=
            Comparable(machine, path, y->second.content)) {
      differences.push_back("file " + path);
    }
  }
  return differences;
}

// The undo files of the run's deliverable in the Windows directory, the
// oldest first, as a person would import them to go back.
std::vector<std::string> UndoFiles(emu::Machine& machine, Work work) {
  const std::string name = work == Work::Program ? "MDMCLEAN" : "HVLIB32";
  const std::string directory = WindowsDirectory(machine) + "\\";
  std::vector<std::string> paths;
  for (int age = 9; age >= 1; --age)
    paths.push_back(directory + name.substr(0, 7) + std::to_string(age) + ".REG");
  paths.push_back(directory + name + ".REG");
  return paths;
}

// Imports every undo file; the registry then is the one before the runs,
// but for the key the serial move made (regedit cannot delete it; the log
// names it). Returns the keys that did not come back as they were.
std::vector<std::string> KeysNotBroughtBack(emu::Machine& machine, Work work, const SweptMachine& m,
                                            const Snapshot& original) {
  for (const std::string& path : UndoFiles(machine, work)) {
    // Another's file at an undo file's name is none of the runs' undo.
    const auto text = machine.ReadFile(path);
    if (!text || text->rfind("REGEDIT4\r\n", 0) != 0) continue;
    try {
      machine.ImportRegistry(*text);
    } catch (const std::exception& error) {
      return {"undo file " + path + " does not import: " + error.what()};
    }
  }
  if (work == Work::SerialMove) {
    const std::string made = "Enum\\ISAPNP\\QRM1001\\" + m.newSerial;
    if (original.keys.count(Folded(made)) == 0)
      machine.RegDeleteKeyA(HKEY_LOCAL_MACHINE, made.c_str());
  }
  const Snapshot now = TakeSnapshot(machine, m.drives);
  std::vector<std::string> lost;
  for (const auto& [path, block] : original.keys) {
    const auto it = now.keys.find(path);
    if (it == now.keys.end() || it->second != block) lost.push_back(path);
  }
  return lost;
}

// The port links of the root device's instances that name no key.
std::vector<std::string> DanglingPortLinks(emu::Machine& machine, const Snapshot& original) {
  std::vector<std::string> dangling;
  const std::string root = "Enum\\Root\\Quillnet";
  RegKey key = 0;
  if (machine.RegOpenKeyExA(HKEY_LOCAL_MACHINE, root.c_str(), KEY_READ, &key) != ERROR_SUCCESS)
    return dangling;
  char name[MAX_PATH];
  for (std::uint32_t i = 0; machine.RegEnumKeyA(key, i, name, MAX_PATH) == ERROR_SUCCESS; ++i) {
    const auto link = machine.GetString(root + "\\" + name, "ConnectedToPort");
    // Links that named nothing before the move are not its to mend.
    if (link && !link->empty() && !machine.HasKey(*link) &&
        original.keys.count(Folded(*link)) != 0) {
      dangling.push_back(root + "\\" + name + " ConnectedToPort " + *link);
    }
  }
  machine.RegCloseKey(key);
  return dangling;
}

// The text after "=" of `key` in `section`, blanks around it dropped.
std::string RawListValue(const std::optional<std::string>& text, const std::string& section,
                         const std::string& key) {
  bool inSection = false;
  std::size_t start = 0;
  const std::string all = text.value_or("");
  while (start < all.size()) {
    std::size_t end = all.find('\n', start);
    if (end == std::string::npos) end = all.size();
    std::string line = all.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos) continue;
    if (line[first] == '[') {
      inSection = Folded(line.substr(first)).rfind("[" + Folded(section) + "]", 0) == 0;
      continue;
    }
    const std::size_t equals = line.find('=');
    if (!inSection || equals == std::string::npos) continue;
    const std::string name =
        line.substr(first, line.find_last_not_of(" \t", equals - 1) + 1 - first);
    if (Folded(name) != Folded(key)) continue;
    const std::size_t value = line.find_first_not_of(" \t", equals + 1);
    if (value == std::string::npos) return {};
    return line.substr(value, line.find_last_not_of(" \t") + 1 - value);
  }
  return {};
}

// Positions of `b`'s entries that `a` keeps, matched in order.
std::vector<bool> Kept(const std::vector<std::string>& a, const std::vector<std::string>& b,
                       bool& subsequence) {
  std::vector<bool> kept(b.size(), false);
  std::size_t at = 0;
  for (const std::string& entry : a) {
    while (at < b.size() && b[at] != entry) ++at;
    if (at == b.size()) {
      subsequence = false;
      return kept;
    }
    kept[at++] = true;
  }
  subsequence = true;
  return kept;
}

// A list line that lost only entries the uninterrupted run also cut, and a
// file otherwise as it was: what a run that could cut only some leaves.
bool CutsOnlyWhatOneRunCuts(const std::optional<std::string>& before,
                            const std::optional<std::string>& after,
                            const std::optional<std::string>& reference, const char* section,
                            const char* key) {
  if (LinesBesides(before, section, key, true) != LinesBesides(after, section, key, true))
    return false;
  const std::vector<std::string> was = ReadListEntries(RawListValue(before, section, key));
  bool fits = false;
  bool fitsReference = false;
  const std::vector<bool> keptNow =
      Kept(ReadListEntries(RawListValue(after, section, key)), was, fits);
  const std::vector<bool> keptByOne =
      Kept(ReadListEntries(RawListValue(reference, section, key)), was, fitsReference);
  if (!fits || !fitsReference) return false;
  for (std::size_t i = 0; i < was.size(); ++i) {
    if (!keptNow[i] && keptByOne[i]) return false;
  }
  return true;
}

// One uninterrupted run: its calls, the machine it leaves and what it told.
struct Reference {
  Snapshot before;
  Snapshot after;
  Told told;
  std::size_t calls = 0;
};

Reference RunReference(const SweptMachine& m, Work work) {
  Reference ref;
  auto machine = m.make();
  ref.before = TakeSnapshot(*machine, m.drives);
  test::TestPlatform counted(*machine, /*recording=*/false);
  Perform(counted, work, m);
  ref.calls = counted.Calls();
  auto again = m.make();
  ref.told = RunWhole(*again, work, m);
  ref.after = TakeSnapshot(*again, m.drives);
  return ref;
}

std::string Joined(const std::vector<std::string>& items) {
  std::string text;
  for (const std::string& item : items) text += (text.empty() ? "" : ", ") + item;
  return text;
}

}  // namespace

const char* Name(Work work) {
  switch (work) {
    case Work::Program: return "mdmclean";
    case Work::Library: return "Uninstall";
    case Work::SerialMove: return "ChangeW95SerialNumber";
  }
  return "";
}

SweepFigures StopSweep(const SweptMachine& m, Work work) {
  const Reference ref = RunReference(m, work);
  SweepFigures figures;
  figures.points = ref.calls;
  std::size_t lastState = static_cast<std::size_t>(-1);
  bool lastConverged = false;
  for (std::size_t point = 1; point <= ref.calls; ++point) {
    auto machine = m.make();
    test::TestPlatform stopping(*machine, /*recording=*/false);
    stopping.StopAfter(point);
    Perform(stopping, work, m);
    machine->EndProcess();
    // A stop after a call that changed nothing leaves the machine the stop
    // before it left, and the run after it does the same.
    const std::size_t state = machine->Journal().size();
    if (state == lastState) {
      figures.converged += lastConverged ? 1 : 0;
      continue;
    }
    lastState = state;
    ++figures.states;
    std::vector<std::string> problems;
    const std::string at = std::string(Name(work)) + " stopped after call " +
                           stopping.Interrupted() + " on " + m.description + ": ";
    if (work == Work::SerialMove) {
      for (const std::string& link : DanglingPortLinks(*machine, ref.before))
        problems.push_back("after the stop the link names a missing key: " + link);
    }
    const Snapshot stopped = TakeSnapshot(*machine, m.drives);
    const bool finished = Differences(*machine, stopped, ref.after).empty();
    const Told told = RunWhole(*machine, work, m);
    for (const std::string& difference :
         Differences(*machine, TakeSnapshot(*machine, m.drives), ref.after))
      problems.push_back("ends unlike one uninterrupted run: " + difference);
    if (work == Work::Program && !ResultFileAgrees(*machine, told)) {
      problems.push_back("mdminfo.ini tells other figures than the exit code and the log");
    }
    if (work == Work::Program) {
      // Not installed only when the stopped run had finished the job; a run
      // that could write no count (its log and mdminfo.ini read-only) said none.
      const bool truthful =
          told.result == 2 ? finished && told.remaining <= 0
                           : told.result == ref.told.result && told.remaining == ref.told.remaining;
      if (!truthful)
        problems.push_back("told result " + std::to_string(told.result) + ", " +
                           std::to_string(told.remaining) + " remaining; one run tells " +
                           std::to_string(ref.told.result) + ", " +
                           std::to_string(ref.told.remaining));
    } else if (told.result != ref.told.result || told.remaining != ref.told.remaining) {
      problems.push_back("told " + std::to_string(told.result) + ", " +
                         std::to_string(told.remaining) + " remaining; one run tells " +
                         std::to_string(ref.told.result) + ", " +
                         std::to_string(ref.told.remaining));
    }
    const std::vector<std::string> lost = KeysNotBroughtBack(*machine, work, m, ref.before);
    if (!lost.empty()) problems.push_back("the undo files do not bring back: " + Joined(lost));
    lastConverged = problems.empty();
    figures.converged += lastConverged ? 1 : 0;
    for (const std::string& problem : problems) figures.problems.push_back(at + problem);
  }
  return figures;
}

SweepFigures FaultSweep(const SweptMachine& m, Work work) {
  const Reference ref = RunReference(m, work);
  SweepFigures figures;
  figures.points = ref.calls;
  for (std::size_t point = 1; point <= ref.calls; ++point) {
    auto machine = m.make();
    test::TestPlatform failing(*machine, /*recording=*/false);
    failing.Fail(point);
    const Told told = Run(failing, *machine, work, m);
    machine->EndProcess();
    const std::string at = std::string(Name(work)) + " with call " + failing.Interrupted() +
                           " failing on " + m.description + ": ";
    const Snapshot after = TakeSnapshot(*machine, m.drives);
    // Every change is one the uninterrupted run makes too.
    const std::vector<std::string> unlike = Differences(*machine, after, ref.after);
    const std::set<std::string> unfinished(unlike.begin(), unlike.end());
    const std::string windows = Folded(WindowsDirectory(*machine));
    for (const std::string& changed : Differences(*machine, ref.before, after)) {
      if (unfinished.count(changed) == 0) continue;
      const std::string path = changed.substr(changed.find(' ') + 1);
      const auto content = [&](const Snapshot& snapshot) -> std::optional<std::string> {
        const auto it = snapshot.files.find(path);
        return it == snapshot.files.end() ? std::nullopt : it->second.content;
      };
      const bool partialCut = (path == windows + "\\win.ini" &&
                               CutsOnlyWhatOneRunCuts(content(ref.before), content(after),
                                                      content(ref.after), "windows", "load")) ||
                              (path == windows + "\\system.ini" &&
                               CutsOnlyWhatOneRunCuts(content(ref.before), content(after),
                                                      content(ref.after), "boot", "drivers"));
      if (!partialCut)
        figures.problems.push_back(at + "a change one run does not make: " + changed);
    }
    // A list line counts by its entries: an absent key the run would have
    // written back empty is none of the package's.
    bool packageStayed = false;
    for (const std::string& d : unlike) {
      const std::string path = d.substr(d.find(' ') + 1);
      const char* section = path == windows + "\\win.ini"      ? "windows"
                            : path == windows + "\\system.ini" ? "boot"
                                                               : nullptr;
      if (section == nullptr) {
        packageStayed = true;
        continue;
      }
      const char* key = section[0] == 'w' ? "load" : "drivers";
      const auto content = [&](const Snapshot& snapshot) -> std::optional<std::string> {
        const auto it = snapshot.files.find(path);
        return it == snapshot.files.end() ? std::nullopt : it->second.content;
      };
      packageStayed =
          packageStayed || ReadListEntries(RawListValue(content(after), section, key)) !=
                               ReadListEntries(RawListValue(content(ref.after), section, key));
    }
    // A run that could write no count said nothing; one that says 0 must be right.
    const bool toldStayed =
        work == Work::SerialMove ? told.result != 0 : told.remaining != 0 || told.result == 1;
    // A profile read has no failure of its own: a run cannot tell it from a
    // missing key (only a list line is read twice, lest it be written back
    // empty), so what such a read hid is not told.
    const bool profileRead =
        failing.Interrupted().find("GetPrivateProfileStringA") != std::string::npos;
    if (packageStayed && !toldStayed && !profileRead) {
      ++figures.untold;
      figures.problems.push_back(
          at + "the package's things stayed and the run told none: " + Joined(unlike));
    }
    const std::vector<std::string> lost = KeysNotBroughtBack(*machine, work, m, ref.before);
    figures.keysWithoutUndo += lost.size();
    if (!lost.empty())
      figures.problems.push_back(at + "the undo files do not bring back: " + Joined(lost));
  }
  return figures;
}

}  // namespace mdm::safety
