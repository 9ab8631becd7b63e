#include "tests/safety/sweep.h"

#include <map>
#include <optional>
#include <stdexcept>

#include "hvlib32/plan.h"
#include "hvlib32/services.h"
#include "mdmclean/run.h"
#include "tests/safety/snapshot.h"
#include "tests/support/interrupting_platform.h"
#include "tests/support/run_logs.h"

namespace mdm::safety {

namespace {

constexpr const char* kConfigFile = ".\\mdminfo.ini";

void Perform(Platform& platform, Work work, const SweptMachine& m) {
  switch (work) {
    case Work::Program: cleaner::RunUninstall(platform); return;
    case Work::Library: hvlib::Uninstall(platform); return;
    case Work::SerialMove:
      hvlib::ChangeW95SerialNumber(platform, m.oldSerial.c_str(), m.newSerial.c_str());
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

// The count on the last line of HVLIB32.LOG ("done, 2 remaining").
int LoggedRemaining(emu::Machine& machine) {
  const auto log = machine.ReadFile(WindowsDirectory(machine) + "\\HVLIB32.LOG");
  if (!log) return -1;
  const std::size_t done = log->rfind("\r\ndone, ");
  return done == std::string::npos ? -1 : std::atoi(log->c_str() + done + 8);
}

// Runs `work` whole on `machine` and reads what it told.
Told RunWhole(emu::Machine& machine, Work work, const SweptMachine& m) {
  Told told;
  if (work == Work::SerialMove) {
    told.result = static_cast<int>(
        hvlib::ChangeW95SerialNumber(machine, m.oldSerial.c_str(), m.newSerial.c_str()));
    return told;
  }
  Perform(machine, work, m);
  if (work == Work::Program) {
    told.result = ProfileNumber(machine, "Result");
    told.remaining = ProfileNumber(machine, "Remaining");
  } else {
    told.remaining = LoggedRemaining(machine);
  }
  return told;
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
  for (const std::string& line : LinesBesides(content, "Progress", std::vector<std::string>{"Result", "Remaining"}, false))
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
std::vector<std::string> KeysNotBroughtBack(emu::Machine& machine, Work work,
                                            const SweptMachine& m, const Snapshot& original) {
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
    if (original.keys.count(Folded(made)) == 0) machine.RegDeleteKeyA(HKEY_LOCAL_MACHINE, made.c_str());
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
  test::InterruptingPlatform counted(*machine);
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
    test::InterruptingPlatform stopping(*machine);
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
    if (work == Work::Program) {
      // Not installed only when the stopped run had finished the job.
      const bool truthful =
          told.result == 2 ? finished && told.remaining == 0
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
    test::InterruptingPlatform failing(*machine);
    failing.Fail(point);
    Told told;
    if (work == Work::SerialMove) {
      told.result = static_cast<int>(
          hvlib::ChangeW95SerialNumber(failing, m.oldSerial.c_str(), m.newSerial.c_str()));
    } else {
      Perform(failing, work, m);
      told.result = work == Work::Program ? ProfileNumber(*machine, "Result") : -1;
      told.remaining = work == Work::Program ? ProfileNumber(*machine, "Remaining")
                                             : LoggedRemaining(*machine);
    }
    machine->EndProcess();
    const std::string at = std::string(Name(work)) + " with call " + failing.Interrupted() +
                           " failing on " + m.description + ": ";
    const Snapshot after = TakeSnapshot(*machine, m.drives);
    // Every change is one the uninterrupted run makes too.
    const std::vector<std::string> unlike = Differences(*machine, after, ref.after);
    const std::set<std::string> unfinished(unlike.begin(), unlike.end());
    for (const std::string& changed : Differences(*machine, ref.before, after)) {
      if (unfinished.count(changed) != 0)
        figures.problems.push_back(at + "a change one run does not make: " + changed);
    }
    const bool packageStayed = !unlike.empty();
    const bool toldStayed = work == Work::SerialMove ? told.result != 0
                                                     : told.remaining > 0 || told.result == 1;
    if (packageStayed && !toldStayed) {
      ++figures.untold;
      figures.problems.push_back(at + "the package's things stayed and the run told none: " +
                                 Joined(unlike));
    }
    const std::vector<std::string> lost = KeysNotBroughtBack(*machine, work, m, ref.before);
    figures.keysWithoutUndo += lost.size();
    if (!lost.empty())
      figures.problems.push_back(at + "the undo files do not bring back: " + Joined(lost));
  }
  return figures;
}

}  // namespace mdm::safety
