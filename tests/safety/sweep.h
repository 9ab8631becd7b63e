// Runs that are interrupted, and the runs after them. A stop sweep stops a
// deliverable after each of its calls in turn (the machine as the stopped
// process leaves it), runs it once more whole, and holds the outcome against
// one uninterrupted run: the same machine (log and undo files aside), a true
// result and count of what remains, and undo files that give back every key
// either run removed. A fault sweep makes each call fail once in turn and
// checks that nothing went without its undo, nothing but the package changed,
// and what stayed is told.
#pragma once

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "emulator/machine.h"

namespace mdm::safety {

enum class Work { Program, Library, SerialMove };
const char* Name(Work work);

struct SweptMachine {
  std::string description;  // for failure messages
  std::function<std::unique_ptr<emu::Machine>()> make;
  std::set<char> drives;
  // The serial move's arguments: the instance's serial number and the new one.
  std::string oldSerial = "0A1B2C3D";
  std::string newSerial = "0F0E0D0C";
};

struct SweepFigures {
  std::size_t points = 0;           // calls of one uninterrupted run
  std::size_t states = 0;           // distinct machines the stops leave
  std::size_t converged = 0;        // points whose next run ends as the uninterrupted one
  std::size_t keysWithoutUndo = 0;  // fault sweep: keys gone that no undo file gives back
  std::size_t untold = 0;  // fault sweep: runs that said 0 remaining while the package stayed
  std::vector<std::string> problems;  // one line each, the point named
};

SweepFigures StopSweep(const SweptMachine& machine, Work work);
SweepFigures FaultSweep(const SweptMachine& machine, Work work);

}  // namespace mdm::safety
