// runtime-probe MODE: checks the Windows runtime from inside a program built
// on it, and prints one line per finding to standard output ("ok ...",
// "FAIL ..."); the Wine test reads them.
//
//   runtime    constructors before main, exit handlers after it (their
//              lines follow "main done", last registered first), the call
//              guard's budget, heaps and last-error code
//   exports    ChangeW95SerialNumber, then Uninstall, as the exports run
//              them, with budgets growing from nothing until a call
//              completes: every call ended early reports
//              ERROR_NOT_ENOUGH_MEMORY and leaves no handle open
//   program    the same for mdmclean's run in the working directory; an
//              ended run leaves no "Result" in mdminfo.ini
#include <cstring>
#include <string>
#include <vector>

#include "core/base/text.h"
#include "core/platform/platform_win32.h"
#include "hvlib32/library_plan.h"
#include "hvlib32/exports.h"
#include "mdmclean/run.h"
#include "runtime/guard.h"

#include <windows.h>

namespace {

void Print(const char* text) {
  DWORD written = 0;
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  WriteFile(out, text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
  WriteFile(out, "\n", 1, &written, nullptr);
}

template <typename... Args>
void Printf(const char* format, Args... args) {
  char line[512];
  Print(mdm::Compose(line, format, args...) ? line : "FAIL a line did not fit");
}

void Check(bool holds, const char* what) { Printf("%s %s", holds ? "ok" : "FAIL", what); }

// --- Constructors and exit handlers.
int g_constructed = 0;

struct Recorder {
  int order = ++g_constructed;
  ~Recorder() { Printf("exit: static object %d", order); }
};
Recorder g_first;
Recorder g_second;

void AtExit() { Print("exit: atexit handler"); }

void CheckStartAndExit() {
  Check(g_first.order == 1 && g_second.order == 2, "static constructors ran before main, in order");
  Check(atexit(AtExit) == 0, "atexit takes a handler");
}

// --- The call guard.
DWORD HeapCount() { return GetProcessHeaps(0, nullptr); }

void CheckGuard() {
  const DWORD heaps = HeapCount();
  Check(mdm::rt::GuardedCall([] { std::string text(1000, 'x'); }, 4096),
        "a call within its budget completes");
  bool abandoned = true;
  for (int i = 0; i < 100; ++i) {
    abandoned &= !mdm::rt::GuardedCall([] { std::vector<char> block(8192); }, 4096);
  }
  Check(abandoned, "an allocation beyond the budget ends the call");
  Check(HeapCount() == heaps, "every call's heap is gone after it");
  Check(!mdm::rt::GuardedCall([] {
    std::string text;
    text.resize(text.max_size() + 1);
  }),
        "a failed check of the string class ends the call");
  bool kept = false;
  mdm::rt::GuardedCall([&] {
    SetLastError(1234);
    std::string text(100, 'x');
    kept = GetLastError() == 1234;
  });
  Check(kept, "an allocation keeps the last-error code");
  std::string outside(100, 'y');
  Check(outside.size() == 100, "memory outside a guarded call comes from the process heap");
}

// --- Calls ended at every allocation.

// The handle the process gets next. Handles come from the lowest free slot of
// the process's table, so one that a call left open shows as a change here.
std::uintptr_t NextHandle() {
  HKEY key = nullptr;
  RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_READ, &key);
  RegCloseKey(key);
  return reinterpret_cast<std::uintptr_t>(key);
}

// The system keeps a few handles of its own from the first profile read,
// window lookup and directory search of a process on; they are made before
// anything is measured.
void OpenTheSystemsOwnHandles() {
  char value[8];
  GetPrivateProfileStringA("windows", "load", "", value, sizeof value, "win.ini");
  GetPrivateProfileStringA("Progress", "Result", "", value, sizeof value, ".\\mdminfo.ini");
  FindWindowA("QN_NVRAMCLASS", "Quillnet NVRAM");
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA("C:\\*.*", &found);
  if (search != INVALID_HANDLE_VALUE) FindClose(search);
}

constexpr std::size_t BUDGET_STEP = 32;
constexpr std::size_t LARGEST_BUDGET = 1 << 20;

// Runs `call(budget)` with growing budgets until it completes; true when it did.
template <typename Call>
bool EndedAtEveryAllocation(const char* what, Call call) {
  OpenTheSystemsOwnHandles();
  int ended = 0;
  bool handlesKept = true;
  for (std::size_t budget = 0; budget <= LARGEST_BUDGET; budget += BUDGET_STEP) {
    const std::uintptr_t handle = NextHandle();
    const bool completed = call(budget);
    handlesKept &= NextHandle() == handle;
    if (completed) {
      Printf("ok %s completed with a budget of %u bytes after %d calls ended early", what,
             static_cast<unsigned>(budget), ended);
      Check(ended > 0, "some calls were ended early");
      Check(handlesKept, "calls ended early left no handle open");
      return true;
    }
    ++ended;
  }
  Printf("FAIL %s never completed", what);
  return false;
}

// An export call with `budget`, made as the exports make it; true when it
// completed.
template <typename Work>
bool ExportCompletes(std::size_t budget, Work work) {
  mdm::Win32Platform platform;
  std::int32_t status = ERROR_NOT_ENOUGH_MEMORY;
  if (!mdm::rt::GuardedCall([&] { status = work(platform); }, budget)) return false;
  if (status != 0) Printf("FAIL status %d", status);
  return true;
}

void CheckExports() {
  EndedAtEveryAllocation("ChangeW95SerialNumber", [](std::size_t budget) {
    return ExportCompletes(budget, [](mdm::Platform& platform) {
      return mdm::hvlib32::ChangeW95SerialNumber(platform, "0A1B2C3D", "5E6F7A8B");
    });
  });
  EndedAtEveryAllocation("Uninstall", [](std::size_t budget) {
    return ExportCompletes(budget, [](mdm::Platform& platform) {
      mdm::hvlib32::Uninstall(platform);
      return std::int32_t{0};
    });
  });
}

void CheckProgram() {
  EndedAtEveryAllocation("mdmclean", [](std::size_t budget) {
    // The frame of mdmclean's main: the run under the call guard, and no
    // result left standing when memory ran out.
    std::int32_t code = ERROR_NOT_ENOUGH_MEMORY;
    {
      mdm::Win32Platform platform;
      mdm::rt::GuardedCall(
          [&] {
            mdm::mdmclean::RunUninstall(platform);
            code = 0;
          },
          budget);
    }
    if (code == ERROR_NOT_ENOUGH_MEMORY) {
      mdm::Win32Platform platform;
      mdm::mdmclean::RemoveResult(platform);
    }
    char result[8] = {};
    GetPrivateProfileStringA("Progress", "Result", "none", result, sizeof result, ".\\mdminfo.ini");
    if (code != 0) {
      if (code != ERROR_NOT_ENOUGH_MEMORY || std::strcmp(result, "none") != 0) {
        Printf("FAIL ended run: exit code %d, Result %s", code, result);
      }
      return false;
    }
    Printf("ok Result=%s", result);
    return true;
  });
}

}  // namespace

int main() {
  // The last word of the command line.
  const char* mode = GetCommandLineA();
  for (const char* at = mode; *at != '\0'; ++at) {
    if (*at == ' ') mode = at + 1;
  }
  if (std::strcmp(mode, "runtime") == 0) {
    CheckStartAndExit();
    CheckGuard();
  } else if (std::strcmp(mode, "exports") == 0) {
    CheckExports();
  } else if (std::strcmp(mode, "program") == 0) {
    CheckProgram();
  } else {
    Print("usage: runtime-probe runtime|exports|program");
    return 2;
  }
  Print("main done");
  return 0;
}
