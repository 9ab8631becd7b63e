// hvcall: loads a host build of HVLIB32 and calls one of its exports, the way
// the installer that ships with the product would call the DLL. The library
// works on the machine image that MDM_MACHINE names.
//
//   hvcall LIB Uninstall
//   hvcall LIB GetBaseAddr95
//   hvcall LIB ChangeW95SerialNumber OLD NEW

#include <dlfcn.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

using UninstallFn = void (*)();
using GetBaseAddr95Fn = std::int32_t (*)(char*);
using ChangeW95SerialNumberFn = std::int32_t (*)(const char*, const char*);

int Usage() {
  std::fprintf(stderr,
               "usage: hvcall LIB Uninstall\n"
               "       hvcall LIB GetBaseAddr95\n"
               "       hvcall LIB ChangeW95SerialNumber OLD NEW\n"
               "The library works on the machine image named by MDM_MACHINE.\n");
  return 2;
}

void* Resolve(void* library, const char* name) {
  void* entry = dlsym(library, name);
  if (entry == nullptr) std::fprintf(stderr, "hvcall: no export %s\n", name);
  return entry;
}

int Call(void* library, int argc, char** argv) {
  const char* exportName = argv[2];
  if (std::strcmp(exportName, "Uninstall") == 0 && argc == 3) {
    auto uninstall = reinterpret_cast<UninstallFn>(Resolve(library, exportName));
    if (uninstall == nullptr) return 2;
    uninstall();
    std::printf("Uninstall: done\n");
    return 0;
  }
  if (std::strcmp(exportName, "GetBaseAddr95") == 0 && argc == 3) {
    auto getBase = reinterpret_cast<GetBaseAddr95Fn>(Resolve(library, exportName));
    if (getBase == nullptr) return 2;
    char address[40] = {};
    const std::int32_t result = getBase(address);
    address[sizeof address - 1] = '\0';
    std::printf("GetBaseAddr95: result %d, base address \"%s\"\n", static_cast<int>(result),
                address);
    return 0;
  }
  if (std::strcmp(exportName, "ChangeW95SerialNumber") == 0 && argc == 5) {
    auto change = reinterpret_cast<ChangeW95SerialNumberFn>(Resolve(library, exportName));
    if (change == nullptr) return 2;
    const std::int32_t result = change(argv[3], argv[4]);
    std::printf("ChangeW95SerialNumber: result %d\n", static_cast<int>(result));
    return 0;
  }
  return Usage();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  const char* machine = std::getenv("MDM_MACHINE");
  if (machine == nullptr || machine[0] == '\0') {
    std::fprintf(stderr, "hvcall: set MDM_MACHINE to the machine image folder\n");
    return 2;
  }
  void* library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    std::fprintf(stderr, "hvcall: cannot load %s: %s\n", argv[1], dlerror());
    return 2;
  }
  const int status = Call(library, argc, argv);
  dlclose(library);
  return status;
}
