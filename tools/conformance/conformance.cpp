// The sequences. Every line is "<area>.<case> <results>"; nothing printed
// depends on handle values or on the order a directory is read in.
#include "tools/conformance/conformance.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

namespace mdm::conformance {
namespace {

void Line(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

void Line(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vfprintf(stdout, format, args);
  va_end(args);
  std::fputc('\n', stdout);
}

// Bytes as one printable line: \r, \n, \\, \0 and other controls escaped.
std::string Escape(const std::string& bytes) {
  std::string text;
  for (unsigned char c : bytes) {
    if (c == '\r') {
      text += "\\r";
    } else if (c == '\n') {
      text += "\\n";
    } else if (c == '\\') {
      text += "\\\\";
    } else if (c < 0x20 || c >= 0x7f) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      text += hex;
    } else {
      text += static_cast<char>(c);
    }
  }
  return text;
}

std::string Escape(const unsigned char* data, std::uint32_t size) {
  return Escape(std::string(reinterpret_cast<const char*>(data), size));
}

// ------------------------------------------------------------------ registry

const char* const kRoot = "Software\\MdmConformance";

std::string Sub(const char* name) { return std::string(kRoot) + "\\" + name; }

void CreateAndClose(Platform& p, const std::string& path, const char* label) {
  RegKey key = 0;
  std::int32_t rc = p.RegCreateKeyA(HKEY_LOCAL_MACHINE, path.c_str(), &key);
  Line("reg.create %s rc=%d", label, rc);
  if (rc == ERROR_SUCCESS) p.RegCloseKey(key);
}

void OpenAndClose(Platform& p, RegKey parent, const char* subKey, const char* label) {
  RegKey key = 0;
  std::int32_t rc = p.RegOpenKeyExA(parent, subKey, KEY_ALL_ACCESS, &key);
  Line("reg.open %s rc=%d", label, rc);
  if (rc == ERROR_SUCCESS) p.RegCloseKey(key);
}

void EnumerateKeys(Platform& p, RegKey key, const char* label) {
  char name[MAX_PATH];
  for (std::uint32_t index = 0;; ++index) {
    std::int32_t rc = p.RegEnumKeyA(key, index, name, sizeof name);
    Line("reg.enum-key %s index=%u rc=%d name=%s", label, index, rc,
         rc == ERROR_SUCCESS ? name : "");
    if (rc != ERROR_SUCCESS || index > 32) break;
  }
}

void SetValue(Platform& p, RegKey key, const char* name, std::uint32_t type, const void* data,
              std::uint32_t size) {
  std::int32_t rc =
      p.RegSetValueExA(key, name, type, static_cast<const unsigned char*>(data), size);
  Line("reg.set name=\"%s\" type=%u size=%u rc=%d", name, type, size, rc);
}

void QueryValue(Platform& p, RegKey key, const char* name, std::uint32_t bufferSize,
                const char* label) {
  unsigned char data[300];
  std::memset(data, 0, sizeof data);
  std::uint32_t type = REG_SZ;
  std::uint32_t size = bufferSize;
  std::int32_t rc = p.RegQueryValueExA(key, name, &type, bufferSize ? data : nullptr, &size);
  std::string shown = rc == ERROR_SUCCESS && bufferSize ? Escape(data, size) : "";
  Line("reg.query %s rc=%d type=%u size=%u data=%s", label, rc, rc == ERROR_SUCCESS ? type : 0,
       rc == ERROR_SUCCESS || rc == ERROR_MORE_DATA ? size : 0, shown.c_str());
}

void QueryDefault(Platform& p, RegKey key, const char* subKey, std::int32_t bufferSize,
                  const char* label) {
  char data[300];
  std::memset(data, 0, sizeof data);
  std::int32_t size = bufferSize;
  std::int32_t rc = p.RegQueryValueA(key, subKey, data, &size);
  Line("reg.query-default %s rc=%d size=%d data=%s", label, rc,
       rc == ERROR_SUCCESS || rc == ERROR_MORE_DATA ? size : 0,
       rc == ERROR_SUCCESS ? Escape(data).c_str() : "");
}

void EnumerateValues(Platform& p, RegKey key, std::uint32_t nameSize, std::uint32_t dataSize,
                     const char* label) {
  for (std::uint32_t index = 0;; ++index) {
    char name[300] = {};
    unsigned char data[300] = {};
    std::uint32_t nameLength = nameSize;
    std::uint32_t dataLength = dataSize;
    std::uint32_t type = 0;
    std::int32_t rc = p.RegEnumValueA(key, index, name, &nameLength, &type, data, &dataLength);
    bool read = rc == ERROR_SUCCESS;
    Line("reg.enum-value %s index=%u rc=%d name=\"%s\" nameSize=%u type=%u dataSize=%u data=%s",
         label, index, rc, read ? name : "", read ? nameLength : 0, read ? type : 0,
         read || rc == ERROR_MORE_DATA ? dataLength : 0,
         read ? Escape(data, dataLength).c_str() : "");
    if (rc != ERROR_SUCCESS || index > 32) break;
  }
}

void RegistryKeys(Platform& p) {
  Line("reg.delete absent-root rc=%d", p.RegDeleteKeyA(HKEY_LOCAL_MACHINE, kRoot));
  OpenAndClose(p, HKEY_LOCAL_MACHINE, kRoot, "absent-root");
  // Created neither in sorted nor in reverse order, to show the enumeration order.
  for (const char* name : {"Beta", "alpha", "Zed", "_under", "beta2", "a b", "Gamma", "10", "9"}) {
    CreateAndClose(p, Sub(name), name);
  }
  CreateAndClose(p, Sub("BETA"), "existing-other-case");

  RegKey root = 0;
  Line("reg.open root rc=%d", p.RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRoot, KEY_ALL_ACCESS, &root));
  EnumerateKeys(p, root, "root");
  char small[2];
  Line("reg.enum-key small-buffer rc=%d", p.RegEnumKeyA(root, 0, small, 2));

  OpenAndClose(p, HKEY_LOCAL_MACHINE, "SOFTWARE\\mdmconformance\\BETA", "other-case");
  OpenAndClose(p, root, "", "empty-subkey");
  OpenAndClose(p, root, "Beta\\", "trailing-backslash");
  OpenAndClose(p, root, "Absent", "absent-child");
  OpenAndClose(p, root, "Beta\\Absent", "absent-grandchild");
  p.RegCloseKey(root);
}

void RegistryValues(Platform& p) {
  RegKey beta = 0;
  Line("reg.open beta rc=%d",
       p.RegOpenKeyExA(HKEY_LOCAL_MACHINE, Sub("Beta").c_str(), KEY_ALL_ACCESS, &beta));
  const std::uint32_t dword = 0x12345678;
  const unsigned char binary[] = {1, 2, 3};
  SetValue(p, beta, "Name", REG_SZ, "Value", 6);
  SetValue(p, beta, "zeta", REG_SZ, "last", 5);
  SetValue(p, beta, "Dword", REG_DWORD, &dword, 4);
  SetValue(p, beta, "Bin", REG_BINARY, binary, 3);
  SetValue(p, beta, "", REG_SZ, "default text", 13);
  SetValue(p, beta, "NoTerm", REG_SZ, "abc", 3);
  SetValue(p, beta, "Empty", REG_SZ, "", 1);
  SetValue(p, beta, "Alpha", REG_SZ, "first?", 7);

  QueryValue(p, beta, "Name", 256, "large-buffer");
  QueryValue(p, beta, "NAME", 256, "other-case");
  QueryValue(p, beta, "Name", 6, "exact-buffer");
  QueryValue(p, beta, "Name", 5, "one-short");
  QueryValue(p, beta, "Name", 0, "size-only");
  QueryValue(p, beta, "Dword", 256, "dword");
  QueryValue(p, beta, "Bin", 2, "binary-short");
  QueryValue(p, beta, "Absent", 256, "absent-value");
  QueryValue(p, beta, "", 256, "default-by-empty-name");
  QueryValue(p, beta, "NoTerm", 256, "stored-without-terminator");
  QueryValue(p, beta, "Empty", 256, "empty");
  {
    unsigned char data[16] = {};
    std::uint32_t size = sizeof data;
    std::int32_t rc = p.RegQueryValueExA(beta, "Name", nullptr, data, &size);
    Line("reg.query null-type rc=%d size=%u", rc, size);
  }

  RegKey root = 0;
  p.RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRoot, KEY_ALL_ACCESS, &root);
  QueryDefault(p, root, "Beta", 256, "of-subkey");
  QueryDefault(p, root, "BETA", 256, "of-subkey-other-case");
  QueryDefault(p, beta, nullptr, 256, "of-key-null-name");
  QueryDefault(p, beta, "", 256, "of-key-empty-name");
  QueryDefault(p, root, "Beta", 5, "small-buffer");
  QueryDefault(p, root, "alpha", 256, "never-set");
  QueryDefault(p, root, "Absent", 256, "absent-key");
  p.RegCloseKey(root);

  EnumerateValues(p, beta, 256, 256, "all");
  EnumerateValues(p, beta, 2, 256, "small-name");
  EnumerateValues(p, beta, 256, 2, "small-data");
  p.RegCloseKey(beta);
}

void RegistryDeletes(Platform& p) {
  for (const char* path : {"Tree\\A\\B\\C", "Tree\\A\\D", "Tree\\E"})
    CreateAndClose(p, Sub(path), path);
  RegKey leaf = 0;
  if (p.RegOpenKeyExA(HKEY_LOCAL_MACHINE, Sub("Tree\\A\\B\\C").c_str(), KEY_ALL_ACCESS, &leaf) ==
      ERROR_SUCCESS) {
    SetValue(p, leaf, "v", REG_SZ, "x", 2);
    p.RegCloseKey(leaf);
  }
  Line("reg.delete subtree rc=%d", p.RegDeleteKeyA(HKEY_LOCAL_MACHINE, Sub("Tree").c_str()));
  OpenAndClose(p, HKEY_LOCAL_MACHINE, Sub("Tree").c_str(), "deleted-subtree");
  OpenAndClose(p, HKEY_LOCAL_MACHINE, Sub("Tree\\A\\B\\C").c_str(), "deleted-leaf");

  RegKey root = 0;
  p.RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRoot, KEY_ALL_ACCESS, &root);
  Line("reg.delete via-handle rc=%d", p.RegDeleteKeyA(root, "Zed"));
  Line("reg.delete other-case rc=%d", p.RegDeleteKeyA(root, "GAMMA"));
  Line("reg.delete absent rc=%d", p.RegDeleteKeyA(root, "Absent"));
  Line("reg.delete absent-parent rc=%d", p.RegDeleteKeyA(root, "Absent\\Child"));
  EnumerateKeys(p, root, "after-deletes");
  // A path composed from an empty value: the empty name addresses the key itself.
  OpenAndClose(p, HKEY_LOCAL_MACHINE, "", "empty-subkey-of-local-machine");
  CreateAndClose(p, Sub("Victim\\Child"), "Victim\\Child");
  RegKey victim = 0;
  p.RegOpenKeyExA(root, "Victim", KEY_ALL_ACCESS, &victim);
  Line("reg.delete empty-name-via-handle rc=%d", p.RegDeleteKeyA(victim, ""));
  p.RegCloseKey(victim);
  OpenAndClose(p, root, "Victim", "after-empty-name-delete");
  OpenAndClose(p, root, "Victim\\Child", "child-after-empty-name-delete");
  Line("reg.delete victim rc=%d", p.RegDeleteKeyA(root, "Victim"));
  Line("reg.close root rc=%d", p.RegCloseKey(root));
  Line("reg.delete root rc=%d", p.RegDeleteKeyA(HKEY_LOCAL_MACHINE, kRoot));
  OpenAndClose(p, HKEY_LOCAL_MACHINE, kRoot, "deleted-root");
}

// ------------------------------------------------------------------ profiles

// Length of the text in a buffer of `size` bytes, stopping at its end when
// the platform left no terminator.
std::size_t TextLength(const char* buffer, std::size_t size) {
  std::size_t length = 0;
  while (length < size && buffer[length] != '\0') ++length;
  return length;
}

void Read(Platform& p, const char* section, const char* key, const char* dflt, std::uint32_t size,
          const std::string& file, const char* label) {
  char buffer[300];
  std::memset(buffer, '#', sizeof buffer);
  std::uint32_t count = p.GetPrivateProfileStringA(section, key, dflt, buffer, size, file.c_str());
  std::string shown = size > 0 ? Escape(std::string(buffer, TextLength(buffer, size))) : "";
  Line("ini.read %s count=%u value=\"%s\"", label, count, shown.c_str());
}

void ProfileReads(Platform& p, const std::string& root, const char* fileName) {
  const std::string file = root + "\\" + fileName;
  struct Case {
    const char* section;
    const char* key;
    const char* label;
  };
  const Case cases[] = {
      {"Sect", "Key1", "trimmed"},
      {"SECT", "key1", "case-blind"},
      {"Sect", "Key2", "quoted"},
      {"Sect", "Key3", "unbalanced-quote"},
      {"Sect", "Key4", "quoted-with-blanks"},
      {"Sect", ";Comment", "comment-line-as-key"},
      {"Sect", "Comment", "comment-key-without-semicolon"},
      {"Sect", "Key5", "empty-value"},
      {"Sect", "NoEquals", "line-without-equals"},
      {"Sect", "Dup", "duplicate-key"},
      {"Sect", "Extra", "key-of-duplicate-section"},
      {"Sect", "orphan", "key-before-any-section"},
      {"Other", "Key1", "same-key-other-section"},
      {"Spaced", "a", "blanks-around-section-name"},
      {"Sect", "Absent", "missing-key"},
      {"Absent", "Key1", "missing-section"},
  };
  std::string prefix = std::string(fileName) + ":";
  for (const Case& c : cases) {
    Read(p, c.section, c.key, "", 256, file, (prefix + c.label).c_str());
  }
  Read(p, "Sect", "Long", "", 5, file, (prefix + "truncated-to-5").c_str());
  Read(p, "Sect", "Long", "", 11, file, (prefix + "exact-fit-11").c_str());
  Read(p, "Sect", "Long", "", 1, file, (prefix + "buffer-of-1").c_str());
  Read(p, "Sect", "Key2", "", 4, file, (prefix + "quoted-truncated-to-4").c_str());
  Read(p, "Sect", "Absent", "fallback", 256, file, (prefix + "missing-with-default").c_str());
}

void ShowFile(Platform&, FixtureAccess& fixture, const std::string& path, const char* label) {
  std::optional<std::string> bytes = fixture.ReadFile(path);
  Line("ini.bytes %s %s", label, bytes ? ("\"" + Escape(*bytes) + "\"").c_str() : "absent");
}

void Write(Platform& p, const char* section, const char* key, const char* value,
           const std::string& file, const char* label) {
  int ok = p.WritePrivateProfileStringA(section, key, value, file.c_str());
  // Flush, so that the bytes on disk are the ones the next line shows.
  p.WritePrivateProfileStringA(nullptr, nullptr, nullptr, file.c_str());
  Line("ini.write %s ok=%d", label, ok != 0);
}

void ProfileWrites(Platform& p, FixtureAccess& fixture, const std::string& root) {
  const std::string file = root + "\\write.ini";
  Write(p, "Sect", "Key1", "new one", file, "replace-blank-padded");
  ShowFile(p, fixture, file, "after-replace");
  Write(p, "SECT", "dup", "changed", file, "replace-duplicate-other-case");
  ShowFile(p, fixture, file, "after-duplicate");
  Write(p, "Other", "Added", "v", file, "add-key");
  ShowFile(p, fixture, file, "after-add-key");
  Write(p, "NewSect", "k", "v", file, "add-section");
  ShowFile(p, fixture, file, "after-add-section");
  Write(p, "Sect", "Key2", nullptr, file, "delete-key");
  ShowFile(p, fixture, file, "after-delete-key");
  Read(p, "NewSect", "k", "", 256, file, "write.ini:read-back");

  const std::string lf = root + "\\writelf.ini";
  Write(p, "A", "x", "2", lf, "lf-replace");
  ShowFile(p, fixture, lf, "lf-after-replace");
  Write(p, "B", "z", "3", lf, "lf-add-key");
  ShowFile(p, fixture, lf, "lf-after-add-key");

  const std::string created = root + "\\created.ini";
  Write(p, "New", "key", "value", created, "create-file");
  ShowFile(p, fixture, created, "created");

  // A bare name lives in the Windows directory.
  char windows[MAX_PATH] = {};
  p.GetWindowsDirectoryA(windows, sizeof windows);
  Write(p, "Bare", "k", "v", "mdmconf.ini", "bare-name");
  ShowFile(p, fixture, std::string(windows) + "\\mdmconf.ini", "bare-name-in-windows-directory");
  ShowFile(p, fixture, root + "\\mdmconf.ini", "bare-name-in-working-directory");
  Read(p, "Bare", "k", "", 256, "mdmconf.ini", "bare-name-read");
  Line("ini.cleanup bare-name ok=%d",
       p.DeleteFileA((std::string(windows) + "\\mdmconf.ini").c_str()) != 0);
  Read(p, "WD", "where", "", 256, ".\\wd.ini", "dot-name-in-working-directory");
  Read(p, "WD", "where", "", 256, "wd.ini", "bare-name-not-in-working-directory");
  Read(p, "Sect", "Key1", "", 256, root + "\\absent.ini", "missing-file");
}

// ------------------------------------------------------------------ files

std::string Flags(std::uint32_t attributes) {
  std::string flags;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) flags += 'D';
  if (attributes & FILE_ATTRIBUTE_READONLY) flags += 'R';
  return flags.empty() ? "-" : flags;
}

void Find(Platform& p, const std::string& pattern, const char* label) {
  FindData data;
  FindHandle handle = p.FindFirstFileA(pattern.c_str(), &data);
  if (handle == INVALID_FIND_HANDLE) {
    Line("find %s invalid error=%u", label, p.GetLastError());
    return;
  }
  std::vector<std::string> names;
  do {
    names.push_back(std::string(data.fileName) + "/" + Flags(data.attributes));
  } while (p.FindNextFileA(handle, &data) && names.size() < 100);
  std::uint32_t endError = p.GetLastError();
  Line("find %s close=%d", label, p.FindClose(handle) != 0);
  std::sort(names.begin(), names.end());
  std::string joined;
  for (const auto& name : names) joined += " " + name;
  Line("find %s count=%u end-error=%u names:%s", label, static_cast<unsigned>(names.size()),
       endError, joined.c_str());
}

void Searches(Platform& p, const std::string& root) {
  const std::string files = root + "\\files";
  Find(p, files + "\\*.*", "star-dot-star");
  Find(p, files + "\\*", "star");
  Find(p, files + "\\oem*.inf", "oem-star-inf");
  Find(p, files + "\\OEM*.INF", "oem-star-inf-capitals");
  Find(p, files + "\\?.txt", "question-dot-txt");
  Find(p, files + "\\??.txt", "two-questions-dot-txt");
  Find(p, files + "\\noex?", "trailing-question");
  Find(p, files + "\\noext.*", "name-dot-star-without-extension");
  Find(p, files + "\\*.", "star-dot");
  Find(p, files + "\\a.b.*", "two-dots");
  Find(p, files + "\\sub", "plain-directory");
  Find(p, files + "\\OEM1.inf", "plain-file-other-case");
  Find(p, files + "\\sub\\*.*", "empty-directory");
  Find(p, files + "\\.", "dot");
  Find(p, files + "\\..", "dot-dot");
  Find(p, files + "\\nomatch*.zzz", "no-match");
  Find(p, root + "\\absent\\*.*", "absent-folder");
  Find(p, root + "\\absent", "absent-plain");
  Find(p, files + "\\", "trailing-backslash");
}

void Removal(Platform& p, const char* label, int ok) {
  std::uint32_t error = ok ? 0 : p.GetLastError();
  Line("remove %s ok=%d error=%u", label, ok != 0, error);
}

void Removals(Platform& p, const std::string& root) {
  const std::string files = root + "\\files";
  Removal(p, "delete-read-only", p.DeleteFileA((files + "\\ro.txt").c_str()));
  Removal(p, "delete-directory", p.DeleteFileA((files + "\\sub").c_str()));
  Removal(p, "delete-missing", p.DeleteFileA((files + "\\missing.txt").c_str()));
  Removal(p, "delete-in-missing-folder", p.DeleteFileA((root + "\\absent\\x.txt").c_str()));
  Removal(p, "delete-other-case", p.DeleteFileA((files + "\\MODEM.INF").c_str()));
  Removal(p, "delete-again", p.DeleteFileA((files + "\\modem.inf").c_str()));
  Removal(p, "rmdir-non-empty", p.RemoveDirectoryA((files + "\\full").c_str()));
  Removal(p, "rmdir-file", p.RemoveDirectoryA((files + "\\x.txt").c_str()));
  Removal(p, "rmdir-missing", p.RemoveDirectoryA((files + "\\missing").c_str()));
  Removal(p, "rmdir-empty", p.RemoveDirectoryA((files + "\\empty").c_str()));
  Removal(p, "rmdir-again", p.RemoveDirectoryA((files + "\\empty").c_str()));
  {
    // A directory is removed only after every search on it is closed.
    FindData data;
    FindHandle handle = p.FindFirstFileA((files + "\\sub\\*.*").c_str(), &data);
    Removal(p, "rmdir-with-open-search", p.RemoveDirectoryA((files + "\\sub").c_str()));
    if (handle != INVALID_FIND_HANDLE) p.FindClose(handle);
    Removal(p, "rmdir-after-close", p.RemoveDirectoryA((files + "\\sub").c_str()));
  }
  Find(p, files + "\\*.*", "after-removals");
}

// ------------------------------------------------------------------ writing

FileHandle OpenForWriting(Platform& p, const std::string& path, const char* label) {
  const FileHandle file = p.CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL);
  // With OPEN_ALWAYS the last error tells an existing file (183) from a new one.
  Line("write.open %s ok=%d error=%u", label, file != INVALID_FILE_HANDLE, p.GetLastError());
  return file;
}

void Put(Platform& p, FileHandle file, const char* text, const char* label) {
  std::uint32_t written = 99;
  const int ok = p.WriteFile(file, text, static_cast<std::uint32_t>(std::strlen(text)), &written);
  Line("write.put %s ok=%d written=%u", label, ok != 0, written);
}

void Writes(Platform& p, FixtureAccess& fixture, const std::string& root) {
  const std::string folder = root + "\\written";
  FileHandle file = OpenForWriting(p, folder + "\\new.log", "new-file");
  Line("write.size new-file size=%u", p.GetFileSize(file));
  Put(p, file, "abc", "first");
  Line("write.seek end position=%u", p.SetFilePointer(file, 0, FILE_END));
  Put(p, file, "de\r\n", "second");
  Line("write.flush ok=%d", p.FlushFileBuffers(file) != 0);
  Removal(p, "delete-while-open", p.DeleteFileA((folder + "\\new.log").c_str()));
  Line("write.close ok=%d", p.CloseHandle(file) != 0);
  ShowFile(p, fixture, folder + "\\new.log", "new-file");

  file = OpenForWriting(p, folder + "\\old.log", "existing-file");
  Line("write.size existing-file size=%u", p.GetFileSize(file));
  Line("write.seek end position=%u", p.SetFilePointer(file, 0, FILE_END));
  Put(p, file, "X", "append");
  Line("write.seek begin position=%u", p.SetFilePointer(file, 0, FILE_BEGIN));
  Line("write.truncate ok=%d", p.SetEndOfFile(file) != 0);
  Line("write.size truncated size=%u", p.GetFileSize(file));
  Put(p, file, "new", "afresh");
  p.CloseHandle(file);
  ShowFile(p, fixture, folder + "\\old.log", "existing-file");

  for (const char* refused : {"ro.log", "folder.log", "missing\\x.log"}) {
    file = OpenForWriting(p, folder + "\\" + refused, refused);
    if (file != INVALID_FILE_HANDLE) p.CloseHandle(file);
  }
  ShowFile(p, fixture, folder + "\\ro.log", "read-only-file");

  // Reading back: the first bytes, the rest, and the end.
  file = p.CreateFileA((folder + "\\old.log").c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL);
  Line("read.open existing ok=%d", file != INVALID_FILE_HANDLE);
  for (const std::uint32_t size : {2u, 64u, 8u}) {
    char bytes[64] = {};
    std::uint32_t read = 99;
    const int ok = p.ReadFile(file, bytes, size, &read);
    Line("read.bytes size=%u ok=%d read=%u text=\"%s\"", size, ok != 0, read,
         Escape(std::string(bytes, read < sizeof bytes ? read : 0)).c_str());
  }
  p.CloseHandle(file);
  for (const char* refused : {"absent.log", "folder.log"}) {
    file = p.CreateFileA((folder + "\\" + refused).c_str(), GENERIC_READ, FILE_SHARE_READ,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
    Line("read.open %s ok=%d error=%u", refused, file != INVALID_FILE_HANDLE,
         file == INVALID_FILE_HANDLE ? p.GetLastError() : 0);
    if (file != INVALID_FILE_HANDLE) p.CloseHandle(file);
  }

  // Renaming, as the undo files are renamed.
  const auto move = [&](const char* from, const char* to, const char* label) {
    const int ok = p.MoveFileA((folder + "\\" + from).c_str(), (folder + "\\" + to).c_str());
    Line("move %s ok=%d error=%u", label, ok != 0, ok ? 0 : p.GetLastError());
  };
  move("new.log", "moved.log", "move-file");
  move("moved.log", "old.log", "move-onto-existing");
  move("absent.log", "x.log", "move-missing");
  move("ro.log", "ro2.log", "move-read-only");
  move("ro2.log", "ro.log", "move-read-only-back");
  move("folder.log", "folder2.log", "move-folder");
  ShowFile(p, fixture, folder + "\\moved.log", "moved-file");
  Find(p, folder + "\\*.*", "after-moves");

  std::uintptr_t reply = 77;
  const std::intptr_t sent = p.SendMessageTimeoutA(0, 0x0401, 0, 0, SMTO_ABORTIFHUNG, 1000, &reply);
  Line("sys.send-timeout no-window sent=%d error=%u", sent != 0, sent != 0 ? 0 : p.GetLastError());

  SystemTime now;
  p.GetLocalTime(&now);
  Line("write.local-time plausible=%d", now.year >= 1980 && now.month >= 1 && now.month <= 12 &&
                                            now.day >= 1 && now.day <= 31 && now.hour < 24);
}

// ------------------------------------------------------------------ system

void System(Platform& p) {
  char buffer[MAX_PATH];
  std::uint32_t count = p.GetWindowsDirectoryA(buffer, sizeof buffer);
  Line("sys.windows-directory count=%u value=%s", count, buffer);
  count = p.GetSystemDirectoryA(buffer, sizeof buffer);
  Line("sys.system-directory count=%u value=%s", count, buffer);
  char small[4] = {};
  count = p.GetWindowsDirectoryA(small, sizeof small);
  Line("sys.windows-directory-small-buffer count=%u", count);
  count = p.GetTempPathA(sizeof buffer, buffer);
  bool trailing = count > 0 && buffer[count - 1] == '\\';
  Line("sys.temp-path count-is-length=%d trailing-backslash=%d",
       count == std::strlen(buffer) ? 1 : 0, trailing);

  VersionInfo info;
  info.size = VERSION_INFO_SIZE;
  int ok = p.GetVersionExA(&info);
  Line(
      "sys.version size=148 ok=%d major=%u minor=%u build-low=%u build-high=0x%x platform=%u "
      "csd=\"%s\"",
      ok != 0, info.majorVersion, info.minorVersion, info.buildNumber & 0xffff,
      info.buildNumber >> 16, info.platformId, info.csdVersion);
  VersionInfo wrong;
  wrong.size = 100;
  ok = p.GetVersionExA(&wrong);
  Line("sys.version size=100 ok=%d error=%u major=%u", ok != 0, ok ? 0 : p.GetLastError(),
       wrong.majorVersion);

  Line("sys.find-window absent found=%d",
       p.FindWindowA("MdmConformanceNoSuchClass", "No Such Window") != 0);
}

}  // namespace

int RunConformance(Platform& platform, FixtureAccess& fixture, const std::string& root) {
  RegistryKeys(platform);
  RegistryValues(platform);
  RegistryDeletes(platform);
  ProfileReads(platform, root, "crlf.ini");
  ProfileReads(platform, root, "lf.ini");
  ProfileWrites(platform, fixture, root);
  Searches(platform, root);
  Removals(platform, root);
  Writes(platform, fixture, root);
  System(platform);
  std::fflush(stdout);
  return 0;
}

}  // namespace mdm::conformance
