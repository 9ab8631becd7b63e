// nvram-window: owns a top-level window of class "QN_NVRAMCLASS" titled
// "Quillnet NVRAM", as the product's NVRAM program does, starts another
// program and records every 0x0401 message the window handles until that
// program has ended. For each message it also records which of the watched
// files were missing at that moment, so a test can tell whether the message
// came before or after the files went.
//
//   nvram-window REPORT [--sleep MS] [--hold FILE]... [WATCHED...] -- PROGRAM [ARGS...]
//
// With --hold the file stays open, shared for reading only, until PROGRAM
// has ended: a file in use, which Windows does not let another delete.
// With --sleep the window handles each 0x0401 message slowly, as a hung
// product does: it returns only when PROGRAM has ended or MS milliseconds
// have passed, and the report says which ("late=1": the sender did not wait
// for the answer; "late=0": it did, or it was still running).
//
// PROGRAM starts with CreateProcessA in the same working directory. REPORT
// receives, in this order:
//   message N wParam=W lParam=L missing=M    one line per message, M missing files
//   missing PATH                              one line per file missing then
//   messages COUNT
//   child exit CODE
// Exit code: 0 when the program ran to its end, 2 on a usage error, 3 when the
// window or the program could not be created (the report says why).

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr UINT NVRAM_MESSAGE = 0x0401;

struct Delivery {
  WPARAM wParam;
  LPARAM lParam;
  std::vector<std::string> missing;
  bool late = false;
};

std::vector<std::string> g_watched;
std::vector<Delivery> g_deliveries;
DWORD g_sleepMs = 0;
HANDLE g_child = nullptr;

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == NVRAM_MESSAGE) {
    // Checked inside the handler: the sender waits until this returns, so
    // what is missing now was deleted before the message was sent.
    Delivery delivery{wParam, lParam, {}};
    for (const std::string& path : g_watched) {
      if (!FileExists(path)) delivery.missing.push_back(path);
    }
    if (g_sleepMs != 0) delivery.late = WaitForSingleObject(g_child, g_sleepMs) == WAIT_OBJECT_0;
    g_deliveries.push_back(delivery);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

HWND CreateNvramWindow() {
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "QN_NVRAMCLASS";
  if (RegisterClassA(&windowClass) == 0) return nullptr;
  // Top-level and never shown: FindWindowA finds hidden windows too, whereas a
  // message-only window (HWND_MESSAGE parent) would not be found at all.
  return CreateWindowA("QN_NVRAMCLASS", "Quillnet NVRAM", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                       CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                       windowClass.hInstance, nullptr);
}

// Quotes arguments with blanks; arguments holding quotes are not supported.
std::string CommandLine(char** first, char** last) {
  std::string line;
  for (char** arg = first; arg != last; ++arg) {
    std::string text = *arg;
    if (!line.empty()) line += ' ';
    line +=
        text.empty() || text.find_first_of(" \t") != std::string::npos ? "\"" + text + "\"" : text;
  }
  return line;
}

void DrainMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

// Pumps messages, sent ones included, until the process ends; no polling.
DWORD PumpUntilExit(HANDLE process) {
  for (;;) {
    DrainMessages();
    DWORD woken = MsgWaitForMultipleObjects(1, &process, FALSE, INFINITE, QS_ALLINPUT);
    if (woken != WAIT_OBJECT_0 + 1) break;
  }
  DrainMessages();
  DWORD exitCode = 0;
  GetExitCodeProcess(process, &exitCode);
  return exitCode;
}

void WriteReport(FILE* report, DWORD childExit) {
  int number = 0;
  for (const Delivery& delivery : g_deliveries) {
    std::fprintf(report, "message %d wParam=%llu lParam=%lld missing=%u", ++number,
                 static_cast<unsigned long long>(delivery.wParam),
                 static_cast<long long>(delivery.lParam),
                 static_cast<unsigned>(delivery.missing.size()));
    std::fprintf(report, g_sleepMs != 0 ? " late=%d\n" : "\n", delivery.late ? 1 : 0);
    for (const std::string& path : delivery.missing) {
      std::fprintf(report, "missing %s\n", path.c_str());
    }
  }
  std::fprintf(report, "messages %u\n", static_cast<unsigned>(g_deliveries.size()));
  std::fprintf(report, "child exit %lu\n", static_cast<unsigned long>(childExit));
}

}  // namespace

int main(int argc, char** argv) {
  int separator = 2;
  while (separator < argc && std::string(argv[separator]) != "--") ++separator;
  if (argc < 2 || separator + 1 >= argc) {
    std::fprintf(stderr, "usage: nvram-window REPORT [WATCHED...] -- PROGRAM [ARGS...]\n");
    return 2;
  }
  FILE* report = std::fopen(argv[1], "wb");
  if (report == nullptr) return 3;
  int watched = 2;
  if (separator > 3 && std::string(argv[2]) == "--sleep") {
    g_sleepMs = static_cast<DWORD>(std::strtoul(argv[3], nullptr, 10));
    watched = 4;
  }
  std::vector<HANDLE> held;
  while (watched + 1 < separator && std::string(argv[watched]) == "--hold") {
    held.push_back(CreateFileA(argv[watched + 1], GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    watched += 2;
  }
  g_watched.assign(argv + watched, argv + separator);

  HWND window = CreateNvramWindow();
  if (window == nullptr) {
    std::fprintf(report, "error window %lu\n", static_cast<unsigned long>(GetLastError()));
    std::fclose(report);
    return 3;
  }
  std::string command = CommandLine(argv + separator + 1, argv + argc);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child = {};
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &child)) {
    std::fprintf(report, "error start %lu %s\n", static_cast<unsigned long>(GetLastError()),
                 command.c_str());
    std::fclose(report);
    DestroyWindow(window);
    return 3;
  }
  CloseHandle(child.hThread);
  g_child = child.hProcess;
  DWORD childExit = PumpUntilExit(child.hProcess);
  CloseHandle(child.hProcess);
  for (HANDLE file : held) {
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  }
  DestroyWindow(window);
  WriteReport(report, childExit);
  std::fclose(report);
  return 0;
}
