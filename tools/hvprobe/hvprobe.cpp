// hvprobe: loads HVLIB32.dll with LoadLibraryA, as the product's installer
// does, and calls its exports. Results go to a file, because output of a
// program under Wine is awkward to collect.
//
//   hvprobe OUTFILE [--ordinal] COMMAND...
//
// Commands run in order within one load of the library:
//   resolve            every export by name and by ordinal; both must agree
//   uninstall          Uninstall()
//   base               GetBaseAddr95(buffer)
//   base-null          GetBaseAddr95(NULL)
//   change OLD NEW     ChangeW95SerialNumber(OLD, NEW)
//   values KEY         the values of HKEY_LOCAL_MACHINE\KEY as they are now,
//                      for runs whose registry cannot be read from outside
//                      between two calls
// With --ordinal the calls go through the entries resolved by ordinal.
// Exit code: 0 when every command ran, 1 when an export is missing or the two
// resolutions disagree, 2 on a usage error or when the library does not load.

#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

using UninstallFn = void(WINAPI*)();
using GetBaseAddr95Fn = LONG(WINAPI*)(char*);
using ChangeW95SerialNumberFn = LONG(WINAPI*)(const char*, const char*);

struct Export {
  const char* name;
  WORD ordinal;
};
constexpr Export EXPORTS[] = {{"ChangeW95SerialNumber", 1}, {"GetBaseAddr95", 2}, {"Uninstall", 3}};

struct Entries {
  FARPROC byName[3] = {};
  FARPROC byOrdinal[3] = {};
};

template <typename Fn>
Fn As(FARPROC entry) {
  // Through the generic function pointer type, which the compiler accepts
  // as a cast between unrelated function types.
  return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(entry));
}

// One line per value in enumeration order: strings as text, other data as
// hex bytes after the type.
void PrintValues(const char* key, FILE* out) {
  HKEY handle = nullptr;
  const LONG opened = RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &handle);
  std::fprintf(out, "values %s result=%ld\n", key, static_cast<long>(opened));
  if (opened != ERROR_SUCCESS) return;
  for (DWORD index = 0;; ++index) {
    char name[256];
    BYTE data[1024];
    DWORD nameSize = sizeof name;
    DWORD dataSize = sizeof data - 1;
    DWORD type = 0;
    if (RegEnumValueA(handle, index, name, &nameSize, nullptr, &type, data, &dataSize) !=
        ERROR_SUCCESS) {
      break;
    }
    if (type == REG_SZ) {
      data[dataSize] = '\0';
      std::fprintf(out, "  %s=%s\n", name, reinterpret_cast<const char*>(data));
      continue;
    }
    std::fprintf(out, "  %s type=%lu", name, static_cast<unsigned long>(type));
    for (DWORD i = 0; i < dataSize; ++i) std::fprintf(out, " %02x", data[i]);
    std::fprintf(out, "\n");
  }
  RegCloseKey(handle);
}

bool Resolve(HMODULE library, Entries& entries, FILE* out) {
  bool ok = true;
  for (int i = 0; i < 3; ++i) {
    entries.byName[i] = GetProcAddress(library, EXPORTS[i].name);
    entries.byOrdinal[i] = GetProcAddress(library, MAKEINTRESOURCEA(EXPORTS[i].ordinal));
    const char* verdict = "same";
    if (entries.byName[i] == nullptr || entries.byOrdinal[i] == nullptr) {
      verdict = "missing";
      ok = false;
    } else if (entries.byName[i] != entries.byOrdinal[i]) {
      verdict = "different";
      ok = false;
    }
    std::fprintf(out, "resolve %s ordinal %u %s\n", EXPORTS[i].name,
                 static_cast<unsigned>(EXPORTS[i].ordinal), verdict);
  }
  return ok;
}

int Run(HMODULE library, int argc, char** argv, FILE* out) {
  Entries entries;
  const bool resolved = Resolve(library, entries, out);
  int first = 2;
  const bool byOrdinal = argc > first && std::strcmp(argv[first], "--ordinal") == 0;
  if (byOrdinal) ++first;
  if (!resolved) return 1;
  FARPROC* table = byOrdinal ? entries.byOrdinal : entries.byName;

  for (int i = first; i < argc; ++i) {
    const char* command = argv[i];
    if (std::strcmp(command, "resolve") == 0) {
      continue;  // done above, for every run
    } else if (std::strcmp(command, "uninstall") == 0) {
      As<UninstallFn>(table[2])();
      std::fprintf(out, "uninstall done\n");
    } else if (std::strcmp(command, "base") == 0) {
      char address[64];
      std::memset(address, 'X', sizeof address);
      const LONG result = As<GetBaseAddr95Fn>(table[1])(address);
      const bool terminated = std::memchr(address, '\0', 40) != nullptr;
      if (!terminated) address[40] = '\0';
      std::fprintf(out, "base result=%ld terminated=%d text=\"%s\"\n", static_cast<long>(result),
                   terminated ? 1 : 0, address);
    } else if (std::strcmp(command, "base-null") == 0) {
      const LONG result = As<GetBaseAddr95Fn>(table[1])(nullptr);
      std::fprintf(out, "base-null result=%ld\n", static_cast<long>(result));
    } else if (std::strcmp(command, "change") == 0 && i + 2 < argc) {
      const LONG result = As<ChangeW95SerialNumberFn>(table[0])(argv[i + 1], argv[i + 2]);
      std::fprintf(out, "change %s %s result=%ld\n", argv[i + 1], argv[i + 2],
                   static_cast<long>(result));
      i += 2;
    } else if (std::strcmp(command, "values") == 0 && i + 1 < argc) {
      PrintValues(argv[++i], out);
    } else {
      std::fprintf(out, "usage error at \"%s\"\n", command);
      return 2;
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  FILE* out = std::fopen(argv[1], "wb");
  if (out == nullptr) return 2;
  HMODULE library = LoadLibraryA("HVLIB32.dll");
  if (library == nullptr) {
    std::fprintf(out, "load failed %lu\n", static_cast<unsigned long>(GetLastError()));
    std::fclose(out);
    return 2;
  }
  const int status = Run(library, argc, argv, out);
  const BOOL freed = FreeLibrary(library);
  std::fprintf(out, "unload %s\n", freed ? "ok" : "failed");
  std::fclose(out);
  return status;
}
