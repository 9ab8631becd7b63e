/* kit_client: a setup program's use of the kit, built by the kit tests from
   the kit's own files. It includes hvlib32.h, links with an import library
   of HVLIB32.DLL, and must compile as C89 and as C++98.

     kit_client base               GetBaseAddr95 through the import
     kit_client change OLD NEW     ChangeW95SerialNumber through the import
     kit_client uninstall          Uninstall through the import
     kit_client version FILE...    the version resource of each file, read as
                                   an installer reads it

   Commands run in order; one line per result on standard output. */
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "hvlib32.h"

static char info[16384];

/* A value of the version resource; NULL when it has none. */
static void *Query(const char *path) {
  void *value = NULL;
  UINT length = 0;
  return VerQueryValueA(info, path, &value, &length) && length > 0 ? value : NULL;
}

/* One string of the language and code page the resource lists first. */
static void PrintString(const WORD *translation, const char *name) {
  char path[96];
  const char *value;
  sprintf(path, "\\StringFileInfo\\%04X%04X\\%s", translation[0], translation[1], name);
  value = (const char *)Query(path);
  printf(" %s=\"%s\"", name, value != NULL ? value : "<none>");
}

static void PrintVersion(const char *file) {
  static const char *const names[] = {"CompanyName", "FileDescription", "FileVersion",
                                      "OriginalFilename", "ProductName", "ProductVersion"};
  DWORD unused = 0;
  const DWORD size = GetFileVersionInfoSizeA(file, &unused);
  const VS_FIXEDFILEINFO *fixed;
  const WORD *translation;
  size_t i;
  if (size == 0 || size > sizeof info || !GetFileVersionInfoA(file, 0, size, info)) {
    printf("version %s none\n", file);
    return;
  }
  fixed = (const VS_FIXEDFILEINFO *)Query("\\");
  translation = (const WORD *)Query("\\VarFileInfo\\Translation");
  if (fixed == NULL || translation == NULL) {
    printf("version %s incomplete\n", file);
    return;
  }
  printf("version %s file=%u.%u.%u.%u product=%u.%u.%u.%u type=%lu", file,
         HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
         HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS),
         HIWORD(fixed->dwProductVersionMS), LOWORD(fixed->dwProductVersionMS),
         HIWORD(fixed->dwProductVersionLS), LOWORD(fixed->dwProductVersionLS),
         (unsigned long)fixed->dwFileType);
  for (i = 0; i < sizeof names / sizeof names[0]; ++i) PrintString(translation, names[i]);
  printf("\n");
}

int main(int argc, char **argv) {
  int i = 1;
  while (i < argc) {
    if (strcmp(argv[i], "base") == 0) {
      char out[HVLIB32_BASE_ADDR_SIZE];
      const LONG result = GetBaseAddr95(out);
      printf("GetBaseAddr95 %ld \"%s\"\n", (long)result, out);
      i += 1;
    } else if (strcmp(argv[i], "change") == 0 && i + 2 < argc) {
      printf("ChangeW95SerialNumber %ld\n", (long)ChangeW95SerialNumber(argv[i + 1], argv[i + 2]));
      i += 3;
    } else if (strcmp(argv[i], "uninstall") == 0) {
      Uninstall();
      printf("Uninstall\n");
      i += 1;
    } else if (strcmp(argv[i], "version") == 0) {
      for (++i; i < argc; ++i) PrintVersion(argv[i]);
    } else {
      fprintf(stderr, "unknown command %s\n", argv[i]);
      return 2;
    }
  }
  return 0;
}
