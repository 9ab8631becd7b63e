// The calls the deliverables make, each with the outcome Windows was recorded
// to give (docs/windows95-calls.md names the record of every row). A row runs
// on a Windows 95 machine (or 98, where the record is 98's) when a record
// holds for Windows 9x, and on the machine's NT mode with what the NT family
// was recorded to give. Nothing here asserts what no record says.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "emulator/machine.h"

namespace mdm {
namespace {

constexpr std::uint32_t FILE_SHARE_WRITE = 2;
constexpr std::uint32_t UNTOUCHED = 0xdeadbeef;  // a last error or size nobody set

struct Row {
  const char* name;  // <function>_<behaviour>
  std::function<std::string(emu::Machine&)> calls;
  const char* windows9x;    // the recorded outcome; null when nothing records Windows 9x
  const char* ntFamily;     // the NT family's recorded outcome; null when the same
  std::uint32_t minor = 0;  // 10: the record is Windows 98's
};

std::string Shown(const char* bytes, std::size_t count) {
  std::string text = "\"";
  for (std::size_t i = 0; i < count; ++i)
    text += bytes[i] == '\0' ? std::string("\\0") : std::string(1, bytes[i]);
  return text + "\"";
}
std::string Shown(const char* text) { return Shown(text, std::strlen(text)); }
std::string Shown(const std::optional<std::string>& text) {
  return text ? Shown(text->data(), text->size()) : "(no file)";
}

// ---------------------------------------------------------------- registry

std::string Open(emu::Machine& m, RegKey parent, const char* subKey) {
  RegKey key = 0x1234;
  const std::int32_t rc = m.RegOpenKeyExA(parent, subKey, KEY_READ, &key);
  return "rc=" + std::to_string(rc) +
         (key == 0x1234 ? " key=kept"
          : key == 0    ? " key=0"
                        : " key=new");
}

RegKey OpenedKey(emu::Machine& m, const char* path) {
  RegKey key = 0;
  m.RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, KEY_ALL_ACCESS, &key);
  return key;
}

std::string QueryEx(emu::Machine& m, const char* value, bool withBuffer, std::uint32_t size,
                    bool withType = true) {
  m.SetString("K", "data", "foobar");
  const RegKey key = OpenedKey(m, "K");
  unsigned char buffer[32] = "kumquat";
  std::uint32_t type = UNTOUCHED;
  const std::int32_t rc = m.RegQueryValueExA(key, value, withType ? &type : nullptr,
                                             withBuffer ? buffer : nullptr, &size);
  m.RegCloseKey(key);
  return "rc=" + std::to_string(rc) +
         " type=" + (type == UNTOUCHED ? "kept" : std::to_string(type)) +
         " size=" + (size == UNTOUCHED ? "kept" : std::to_string(size)) +
         " data=" + Shown(reinterpret_cast<char*>(buffer));
}

// The value written with RegSetValueExA, and the size a query reports.
std::string StoredSize(emu::Machine& m, const char* text, std::uint32_t sizeGiven) {
  m.AddKey("K");
  const RegKey key = OpenedKey(m, "K");
  const std::int32_t set =
      m.RegSetValueExA(key, "v", REG_SZ, reinterpret_cast<const unsigned char*>(text), sizeGiven);
  std::uint32_t size = 0;
  m.RegQueryValueExA(key, "v", nullptr, nullptr, &size);
  m.RegCloseKey(key);
  return "set=" + std::to_string(set) + " size=" + std::to_string(size);
}

std::string Query(emu::Machine& m, RegKey key, const char* subKey, bool withBuffer, bool withSize,
                  std::int32_t size) {
  m.SetString("K\\subkey", "", "data");
  char buffer[16] = "";
  const std::int32_t rc =
      m.RegQueryValueA(key, subKey, withBuffer ? buffer : nullptr, withSize ? &size : nullptr);
  return "rc=" + std::to_string(rc) + " size=" + std::to_string(size) + " data=" + Shown(buffer);
}

// RegEnumValueA of "Test" = "foobar" with name and data buffers of the sizes
// given; the buffers are shown only where the record says what they hold.
std::string EnumValue(emu::Machine& m, std::uint32_t nameSize, std::uint32_t dataSize,
                      bool buffers = true) {
  m.SetString("K", "Test", "foobar");
  const RegKey key = OpenedKey(m, "K");
  char name[20] = "xxxxxxxxxx";
  unsigned char data[20] = "xxxxxxxxxx";
  std::uint32_t type = 0;
  const std::int32_t rc = m.RegEnumValueA(key, 0, name, &nameSize, &type, data, &dataSize);
  m.RegCloseKey(key);
  std::string outcome = "rc=" + std::to_string(rc) + " nameSize=" + std::to_string(nameSize) +
                        " dataSize=" + std::to_string(dataSize) + " type=" + std::to_string(type);
  if (buffers) outcome += " name=" + Shown(name) + " data=" + Shown(reinterpret_cast<char*>(data));
  return outcome;
}

std::string ValueOrder(emu::Machine& m) {
  for (const char* name : {"A", "C", "D", "B"}) m.SetString("K", name, "x");
  const RegKey key = OpenedKey(m, "K");
  std::string order;
  char name[8];
  for (std::uint32_t i = 0;; ++i) {
    std::uint32_t nameSize = sizeof name;
    if (m.RegEnumValueA(key, i, name, &nameSize, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    order += name;
  }
  m.RegCloseKey(key);
  return order;
}

// ---------------------------------------------------------------- profiles

constexpr const char* kProfile =
    "[section1]\r\nname1=val1\r\nname2=\"val2\"\r\nname3\r\nname4=a\r\n[section2]\r\n";

std::string Read(emu::Machine& m, const char* section, const char* key, const char* fallback,
                 std::uint32_t size, const char* file = ".\\test.ini", std::size_t shown = 0) {
  m.AddFile("C:\\WORK\\TEST.INI", kProfile);
  char buffer[MAX_PATH] = "kumquat";
  const std::uint32_t count =
      m.GetPrivateProfileStringA(section, key, fallback, buffer, size, file);
  return std::to_string(count) + " " + (shown > 0 ? Shown(buffer, shown) : Shown(buffer));
}

// A read and a write while the file is open through CreateFileA.
std::string WhileOpen(emu::Machine& m, std::uint32_t access, std::uint32_t share) {
  m.AddFile("C:\\WORK\\OPEN.INI", "[Test]\r\nKey=123\r\n");
  const FileHandle file = m.CreateFileA("C:\\WORK\\OPEN.INI", access, share,
                                        access == GENERIC_READ ? OPEN_EXISTING : OPEN_ALWAYS, 0);
  char buffer[16] = "";
  const std::uint32_t read =
      m.GetPrivateProfileStringA("Test", "Key", "", buffer, sizeof buffer, ".\\open.ini");
  const int written = m.WritePrivateProfileStringA("Test", "Key", "12345", ".\\open.ini");
  const std::uint32_t error = written ? 0 : m.GetLastError();
  m.CloseHandle(file);
  return "read=" + std::to_string(read) + " write=" + std::to_string(written) +
         " error=" + std::to_string(error);
}

std::string Write(emu::Machine& m, const char* section, const char* key, const char* value,
                  const char* file = ".\\new.ini") {
  const int ok = m.WritePrivateProfileStringA(section, key, value, file);
  return "ok=" + std::to_string(ok) + " file=" + Shown(m.ReadFile("C:\\WORK\\NEW.INI"));
}

// ---------------------------------------------------------------- files

std::string Find(emu::Machine& m, const char* pattern) {
  FindData data;
  const FindHandle handle = m.FindFirstFileA(pattern, &data);
  if (handle == INVALID_FIND_HANDLE) return "error=" + std::to_string(m.GetLastError());
  std::string names = data.fileName;
  while (m.FindNextFileA(handle, &data)) names += std::string(",") + data.fileName;
  names += " then error=" + std::to_string(m.GetLastError());
  m.FindClose(handle);
  return names;
}

std::string Failed(emu::Machine& m, int ok) {
  return ok ? "ok" : "error=" + std::to_string(m.GetLastError());
}

// One call and the last error it left, read before any other call.
template <typename Call>
std::string Attempt(emu::Machine& m, Call call) {
  return Failed(m, call());
}

// A directory query with a buffer too small (`small`), then one of `fits`.
template <typename Query>
std::string Directory(Query query, std::uint32_t small, std::uint32_t fits) {
  char buffer[MAX_PATH] = "foo";
  const std::uint32_t cut = query(buffer, small);
  const std::string untouched = buffer;
  const std::uint32_t whole = query(buffer, fits);
  return std::to_string(cut) + " " + untouched + ", " + std::to_string(whole) + " " + buffer;
}

std::string Version(emu::Machine& m, std::uint32_t size) {
  VersionInfo info{};
  info.size = size;
  m.WriteFile(0x7777, "", 0, nullptr);  // leaves a last error to be kept or replaced
  const std::uint32_t before = m.GetLastError();
  const int ok = m.GetVersionExA(&info);
  return "ok=" + std::to_string(ok) +
         (m.GetLastError() == before ? " error=kept"
                                     : " error=" + std::to_string(m.GetLastError()));
}

const Row kRows[] = {
    // ---- RegOpenKeyExA
    {"RegOpenKeyExA_LeadingBackslash",
     [](emu::Machine& m) {
       m.AddKey("Test");
       return Open(m, HKEY_LOCAL_MACHINE, "\\Test");
     },
     "rc=2 key=0", "rc=161 key=0"},
    {"RegOpenKeyExA_NullParent",
     [](emu::Machine& m) {
       m.AddKey("Test");
       return Open(m, 0, "Test");
     },
     "rc=1010 key=kept", "rc=6 key=kept"},
    {"RegOpenKeyExA_SameKeyTwiceSharesTheHandle",
     [](emu::Machine& m) {
       m.SetString("Test", "v", "x");
       const RegKey first = OpenedKey(m, "Test");
       const RegKey second = OpenedKey(m, "Test");
       m.RegCloseKey(second);
       std::uint32_t size = 0;
       return std::string(first == second ? "same" : "new") + " first-after-close=" +
              std::to_string(m.RegQueryValueExA(first, "v", nullptr, nullptr, &size));
     },
     "same first-after-close=1010", "new first-after-close=0", 10},
    // ---- RegCreateKeyA
    {"RegCreateKeyA_LeadingBackslash",
     [](emu::Machine& m) {
       RegKey key = 0;
       const std::int32_t rc = m.RegCreateKeyA(HKEY_LOCAL_MACHINE, "\\Subkey3", &key);
       return "rc=" + std::to_string(rc) + (m.HasKey("Subkey3") ? " created" : "");
     },
     "rc=0 created", "rc=161"},
    // ---- RegCloseKey
    {"RegCloseKey_Twice",
     [](emu::Machine& m) {
       m.AddKey("Test");
       const RegKey key = OpenedKey(m, "Test");
       m.RegCloseKey(key);
       return "rc=" + std::to_string(m.RegCloseKey(key));
     },
     "rc=0", "rc=6"},
    {"RegCloseKey_Null", [](emu::Machine& m) { return "rc=" + std::to_string(m.RegCloseKey(0)); },
     "rc=1010", "rc=6"},
    // ---- RegDeleteKeyA
    {"RegDeleteKeyA_NullSubkey",
     [](emu::Machine& m) {
       return "rc=" + std::to_string(m.RegDeleteKeyA(HKEY_LOCAL_MACHINE, nullptr));
     },
     "rc=1010", "rc=87"},
    {"RegDeleteKeyA_KeyWithSubkeys",
     [](emu::Machine& m) {
       m.AddKey("K\\Sub");
       const RegKey key = OpenedKey(m, "K");
       const std::int32_t rc = m.RegDeleteKeyA(key, "");
       m.RegCloseKey(key);
       return "rc=" + std::to_string(rc) + (m.HasKey("K") ? " kept" : " gone");
     },
     "rc=0 gone", "rc=5 kept"},
    // ---- RegQueryValueExA
    {"RegQueryValueExA_SizeOfAStringIsItsLengthPlusOne",
     [](emu::Machine& m) { return StoredSize(m, "foobar", 3); }, "set=0 size=7", "set=0 size=3"},
    {"RegQueryValueExA_StringWrittenWithSizeZero",
     [](emu::Machine& m) { return StoredSize(m, "", 0); }, "set=0 size=1", "set=0 size=0"},
    {"RegQueryValueExA_StringWrittenOneByteShortGetsItsTerminator",
     [](emu::Machine& m) { return StoredSize(m, "String", 6); }, "set=0 size=7", nullptr},
    {"RegQueryValueExA_AbsentValueWithoutBuffer",
     [](emu::Machine& m) { return QueryEx(m, "Nonexistent Value", false, UNTOUCHED); },
     "rc=2 type=0 size=kept data=\"kumquat\"", "rc=2 type=0 size=0 data=\"kumquat\""},
    {"RegQueryValueExA_AbsentValueWithBuffer",
     [](emu::Machine& m) { return QueryEx(m, "Nonexistent Value", true, 32); },
     "rc=2 type=0 size=32 data=\"kumquat\"", nullptr},
    {"RegQueryValueExA_BufferOneByteShort",
     [](emu::Machine& m) { return QueryEx(m, "data", true, 6); },
     "rc=234 type=1 size=7 data=\"kumquat\"", nullptr},
    {"RegQueryValueExA_TypeNull",
     [](emu::Machine& m) { return QueryEx(m, "data", true, 32, false); }, nullptr,
     "rc=0 type=kept size=7 data=\"foobar\""},
    {"RegQueryValueExA_PresentValueWithoutBuffer",
     [](emu::Machine& m) { return QueryEx(m, "data", false, 0); },
     "rc=0 type=1 size=7 data=\"kumquat\"", nullptr},
    // ---- RegQueryValueA
    {"RegQueryValueA_SizeCountsTheTerminator",
     [](emu::Machine& m) { return Query(m, HKEY_LOCAL_MACHINE, "K\\subkey", true, true, 16); },
     "rc=0 size=5 data=\"data\"", nullptr},
    {"RegQueryValueA_OwnHandleWithNullSubkey",
     [](emu::Machine& m) {
       m.SetString("K\\subkey", "", "data");
       return Query(m, OpenedKey(m, "K\\subkey"), nullptr, true, true, 16);
     },
     "rc=0 size=5 data=\"data\"", nullptr},
    {"RegQueryValueA_BufferTooSmall",
     [](emu::Machine& m) { return Query(m, HKEY_LOCAL_MACHINE, "K\\subkey", true, true, 1); },
     "rc=234 size=5 data=\"\"", nullptr},
    {"RegQueryValueA_NullBuffer",
     [](emu::Machine& m) { return Query(m, HKEY_LOCAL_MACHINE, "K\\subkey", false, true, 0); },
     "rc=0 size=5 data=\"\"", nullptr},
    {"RegQueryValueA_NullSize",
     [](emu::Machine& m) { return Query(m, HKEY_LOCAL_MACHINE, "K\\subkey", true, false, 0); },
     "rc=87 size=0 data=\"\"", nullptr},
    {"RegQueryValueA_InvalidKey",
     [](emu::Machine& m) { return Query(m, 0xcafebabe, "subkey", true, true, 16); },
     "rc=1010 size=16 data=\"\"", "rc=6 size=16 data=\"\"", 10},
    {"RegQueryValueA_NullKey",
     [](emu::Machine& m) { return Query(m, 0, "subkey", true, true, 16); },
     "rc=1010 size=16 data=\"\"", "rc=6 size=16 data=\"\"", 10},
    // ---- RegEnumValueA
    {"RegEnumValueA_NameTooSmallDataFits",
     [](emu::Machine& m) { return EnumValue(m, 3, 20, false); },
     "rc=234 nameSize=2 dataSize=7 type=1", "rc=234 nameSize=3 dataSize=7 type=1"},
    {"RegEnumValueA_NameAndDataTooSmall", [](emu::Machine& m) { return EnumValue(m, 2, 2); },
     "rc=234 nameSize=2 dataSize=7 type=1 name=\"xxxxxxxxxx\" data=\"xxxxxxxxxx\"", nullptr},
    {"RegEnumValueA_DataTooSmall", [](emu::Machine& m) { return EnumValue(m, 20, 2); },
     "rc=234 nameSize=20 dataSize=7 type=1 name=\"xxxxxxxxxx\" data=\"xxxxxxxxxx\"", nullptr},
    {"RegEnumValueA_NameBufferOfNothing",
     [](emu::Machine& m) { return EnumValue(m, 0, 20, false); },
     "rc=234 nameSize=0 dataSize=7 type=1", nullptr},
    {"RegEnumValueA_BothFit", [](emu::Machine& m) { return EnumValue(m, 20, 20); },
     "rc=0 nameSize=4 dataSize=7 type=1 name=\"Test\" data=\"foobar\"", nullptr},
    {"RegEnumValueA_CreationOrder", ValueOrder, nullptr, "ACDB"},
    // ---- RegSetValueExA
    {"RegSetValueExA_StringNullDataSizeZero",
     [](emu::Machine& m) {
       m.AddKey("K");
       return "rc=" + std::to_string(m.RegSetValueExA(OpenedKey(m, "K"), "v", REG_SZ, nullptr, 0));
     },
     "rc=87", "rc=0"},
    // ---- GetPrivateProfileStringA
    {"GetPrivateProfileStringA_QuotesAreStripped",
     [](emu::Machine& m) { return Read(m, "section1", "name2", "default", MAX_PATH); },
     "4 \"val2\"", nullptr},
    {"GetPrivateProfileStringA_KeyCaseBlind",
     [](emu::Machine& m) { return Read(m, "section1", "NaMe1", "default", MAX_PATH); },
     "4 \"val1\"", nullptr},
    {"GetPrivateProfileStringA_BufferOfTheValuesLength",
     [](emu::Machine& m) { return Read(m, "section1", "name1", "default", 4); }, "3 \"val\"",
     nullptr},
    {"GetPrivateProfileStringA_BufferOfOne",
     [](emu::Machine& m) { return Read(m, "section1", "name4", "default", 1); }, "0 \"\"", nullptr},
    {"GetPrivateProfileStringA_BufferOfNothing",
     [](emu::Machine& m) { return Read(m, "section1", "name1", "default", 0); }, "0 \"kumquat\"",
     nullptr},
    {"GetPrivateProfileStringA_MissingKeySectionOrFile",
     [](emu::Machine& m) {
       return Read(m, "section1", "notakey", "default", MAX_PATH) + ", " +
              Read(m, "notasection", "name1", "default", MAX_PATH) + ", " +
              Read(m, "section1", "name1", "default", MAX_PATH, "nonexistent") + ", " +
              Read(m, "section1", "name1", "default", MAX_PATH, "") + ", " +
              Read(m, "", "name1", "default", MAX_PATH);
     },
     "7 \"default\", 7 \"default\", 7 \"default\", 7 \"default\", 7 \"default\"", nullptr},
    {"GetPrivateProfileStringA_NothingFoundWithoutDefault",
     [](emu::Machine& m) {
       return Read(m, "", "name1", nullptr, MAX_PATH) + ", " +
              Read(m, "section1", "", nullptr, MAX_PATH);
     },
     "0 \"kumquat\", 0 \"kumquat\"", "0 \"\", 0 \"\""},
    {"GetPrivateProfileStringA_EmptyKeyGivesTheDefault",
     [](emu::Machine& m) { return Read(m, "section1", "", "default  ", MAX_PATH); },
     "7 \"default\"", nullptr},
    {"GetPrivateProfileStringA_NullSectionListsTheSections",
     [](emu::Machine& m) {
       return Read(m, nullptr, "name1", "default", MAX_PATH, ".\\test.ini", 19) + ", " +
              Read(m, nullptr, "name1", "default", 16, ".\\test.ini", 16);
     },
     "19 \"section1\\0section2\\0\\0\", 14 \"section1\\0\\0\\0\\0\\0\\0\\0\\0\"",
     "18 \"section1\\0section2\\0\\0\", 14 \"section1\\0secti\\0\\0\""},
    {"GetPrivateProfileStringA_KeyList",
     [](emu::Machine& m) {
       return Read(m, "section1", nullptr, "default", MAX_PATH, ".\\test.ini", 19);
     },
     "18 \"name1\\0name2\\0name4\\0\\0\"", nullptr},
    {"GetPrivateProfileStringA_KeyListCut",
     [](emu::Machine& m) { return Read(m, "section1", nullptr, "default", 16, ".\\test.ini", 15); },
     "14 \"name1\\0name2\\0n\\0\\0\"", "14 \"name1\\0name2\\0na\\0\""},
    {"GetPrivateProfileStringA_NullFileName",
     [](emu::Machine& m) { return Read(m, "section1", "name1", "default", MAX_PATH, nullptr); },
     "0 \"kumquat\"", "7 \"default\""},
    {"GetPrivateProfileStringA_BareFileNameIsInTheWindowsDirectory",
     [](emu::Machine& m) {
       m.AddFile("C:\\WINDOWS\\PRE1.TMP", kProfile);
       return Read(m, "section1", "NaMe1", "default", MAX_PATH, "pre1.tmp") + ", " +
              Read(m, "section1", "NaMe1", "default", MAX_PATH, "test.ini");
     },
     "4 \"val1\", 7 \"default\"", nullptr},
    {"GetPrivateProfileStringA_FileOpenForWriting",
     [](emu::Machine& m) { return WhileOpen(m, GENERIC_WRITE, FILE_SHARE_READ); },
     "read=0 write=0 error=32", "read=3 write=0 error=32"},
    {"GetPrivateProfileStringA_FileOpenForSharedReading",
     [](emu::Machine& m) { return WhileOpen(m, GENERIC_READ, FILE_SHARE_READ); },
     "read=3 write=0 error=32", nullptr},
    // ---- WritePrivateProfileStringA
    {"WritePrivateProfileStringA_FileSharingReadingAndWriting",
     [](emu::Machine& m) {
       return WhileOpen(m, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
     },
     "read=0 write=1 error=0", "read=3 write=1 error=0"},
    {"WritePrivateProfileStringA_NullSection",
     [](emu::Machine& m) {
       m.WriteFile(0x7777, "", 0, nullptr);
       const std::uint32_t before = m.GetLastError();
       const std::string outcome = Write(m, nullptr, "key", "string");
       return outcome + (m.GetLastError() == before ? " error=kept" : " error=set");
     },
     "ok=0 file=(no file) error=kept", "ok=0 file=(no file) error=set"},
    {"WritePrivateProfileStringA_NullValueMakesNoFile",
     [](emu::Machine& m) { return Write(m, "App", "key", nullptr); }, "ok=1 file=(no file)",
     "ok=1 file=\"\""},
    {"WritePrivateProfileStringA_EmptyValueMakesNoFile",
     [](emu::Machine& m) { return Write(m, "App", "key", ""); }, "ok=0 file=(no file)",
     "ok=1 file=\"[App]\r\nkey=\r\n\""},
    {"WritePrivateProfileStringA_LongValue",
     [](emu::Machine& m) {
       m.WriteFile(0x7777, "", 0, nullptr);  // leaves a last error to be kept or replaced
       const std::uint32_t before = m.GetLastError();
       auto write = [&](std::size_t length) {
         const std::string value(length, 'x');
         return "ok=" +
                std::to_string(m.WritePrivateProfileStringA("A", "k", value.c_str(), "n.ini")) +
                (m.GetLastError() == before ? " error=kept" : " error=set");
       };
       return write(32766) + ", " + write(32767);
     },
     "ok=1 error=kept, ok=0 error=kept", "ok=1 error=kept, ok=1 error=kept"},
    {"WritePrivateProfileStringA_EmptyFileName",
     [](emu::Machine& m) {
       const int ok = m.WritePrivateProfileStringA("App", "key", "string", "");
       return "ok=" + std::to_string(ok) + " error=" + std::to_string(m.GetLastError());
     },
     "ok=0 error=3", "ok=0 error=5"},
    {"WritePrivateProfileStringA_SectionAfterAnUnendedLine",
     [](emu::Machine& m) {
       m.AddFile("C:\\WORK\\NEW.INI", std::string("Data \0 before \0 first \0 section", 31));
       return Write(m, "section1", "key1", "string1");
     },
     "ok=1 file=\"Data \\0 before \\0 first \\0 section\r\n\r\n[section1]\r\nkey1=string1\"",
     "ok=1 file=\"Data \\0 before \\0 first \\0 section\r\n[section1]\r\nkey1=string1\r\n\""},
    {"WritePrivateProfileStringA_BlankLineBeforeEverySectionButTheFirst",
     [](emu::Machine& m) {
       m.WritePrivateProfileStringA("App1", "key1", "string1", ".\\new.ini");
       return Write(m, "App2", "key4", "string4");
     },
     "ok=1 file=\"[App1]\r\nkey1=string1\r\n\r\n[App2]\r\nkey4=string4\r\n\"",
     "ok=1 file=\"[App1]\r\nkey1=string1\r\n[App2]\r\nkey4=string4\r\n\""},
    // ---- GetWindowsDirectoryA, GetSystemDirectoryA, GetTempPathA
    {"GetWindowsDirectoryA_Buffers",
     [](emu::Machine& m) {
       return Directory([&](char* b, std::uint32_t n) { return m.GetWindowsDirectoryA(b, n); }, 10,
                        11);
     },
     nullptr, "11 foo, 10 C:\\WINDOWS"},
    {"GetSystemDirectoryA_Buffers",
     [](emu::Machine& m) {
       return Directory([&](char* b, std::uint32_t n) { return m.GetSystemDirectoryA(b, n); }, 1,
                        18);
     },
     nullptr, "18 foo, 17 C:\\WINDOWS\\SYSTEM"},
    {"GetTempPathA_Buffers",
     [](emu::Machine& m) {
       return Directory([&](char* b, std::uint32_t n) { return m.GetTempPathA(n, b); }, 8,
                        MAX_PATH);
     },
     "17 foo, 16 C:\\WINDOWS\\TEMP\\", nullptr},
    // ---- GetVersionExA
    {"GetVersionExA_Size148", [](emu::Machine& m) { return Version(m, 148); }, "ok=1 error=kept",
     nullptr},
    {"GetVersionExA_WrongSizes",
     [](emu::Machine& m) { return Version(m, 0) + ", " + Version(m, 74) + ", " + Version(m, 296); },
     "ok=0 error=kept, ok=0 error=kept, ok=0 error=kept",
     "ok=0 error=122, ok=0 error=122, ok=0 error=122"},
    {"GetVersionExA_ExtendedSize", [](emu::Machine& m) { return Version(m, 156); },
     "ok=0 error=kept", "ok=1 error=kept"},
    // ---- FindFirstFileA, FindNextFileA, FindClose
    {"FindFirstFileA_RootWithoutName", [](emu::Machine& m) { return Find(m, "C:\\"); }, "error=2",
     nullptr},
    {"FindFirstFileA_RootHasNoDots",
     [](emu::Machine& m) {
       m.AddFile("C:\\AUTOEXEC.BAT");
       return Find(m, "C:\\*");
     },
     "AUTOEXEC.BAT,WINDOWS,WORK then error=18", nullptr},
    {"FindFirstFileA_DotsComeFirst", [](emu::Machine& m) { return Find(m, "C:\\WINDOWS\\*"); },
     ".,..,SYSTEM,TEMP then error=18", nullptr},
    {"FindFirstFileA_MissingFolderWithTrailingBackslash",
     [](emu::Machine& m) { return Find(m, "C:\\foo\\"); }, "error=3", nullptr},
    {"FindFirstFileA_InsideAMissingFolder",
     [](emu::Machine& m) {
       return Find(m, "C:\\foo\\bar.txt") + ", " + Find(m, "C:\\foo\\*.*") + ", " +
              Find(m, "foo\\bar.txt");
     },
     "error=3, error=3, error=3", nullptr},
    {"FindFirstFileA_AliasesAndStar",
     [](emu::Machine& m) {
       for (const char* name : {"oemsetup.information", "noext", "readme.txt"})
         m.AddFile(std::string("C:\\WORK\\F\\") + name);
       return Find(m, "C:\\WORK\\F\\oem*.inf") + ", " + Find(m, "C:\\WORK\\F\\*") + ", " +
              Find(m, "C:\\WORK\\F\\*.*");
     },
     "oemsetup.information then error=18, .,..,noext,oemsetup.information,readme.txt then "
     "error=18, "
     ".,..,noext,oemsetup.information,readme.txt then error=18",
     nullptr},
    {"FindFirstFileA_NoMatch",
     [](emu::Machine& m) {
       return Find(m, "C:\\nul*") + ", " + Find(m, "C:\\WINDOWS\\nonexistent");
     },
     "error=2, error=2", nullptr},
    // ---- DeleteFileA
    {"DeleteFileA_ReadOnly",
     [](emu::Machine& m) {
       m.AddFile("C:\\WORK\\RO.TXT");
       m.SetReadOnly("C:\\WORK\\RO.TXT");
       return Attempt(m, [&] { return m.DeleteFileA("ro.txt"); });
     },
     "error=5", nullptr},
    {"DeleteFileA_FolderMissingFileOrEmptyName",
     [](emu::Machine& m) {
       m.AddDirectory("C:\\WORK\\testdir");
       std::string outcome;
       for (const char* path : {"testdir", "nonexist.txt", ""}) {
         outcome += (outcome.empty() ? "" : ", ") + Attempt(m, [&] { return m.DeleteFileA(path); });
       }
       return outcome;
     },
     nullptr, "error=5, error=2, error=3"},
    {"DeleteFileA_OpenFile",
     [](emu::Machine& m) {
       const FileHandle file =
           m.CreateFileA("open.log", GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS, 0);
       const std::string outcome = Attempt(m, [&] { return m.DeleteFileA("open.log"); });
       m.CloseHandle(file);
       return outcome;
     },
     "ok", "error=32"},
    // ---- RemoveDirectoryA
    {"RemoveDirectoryA_Wildcards",
     [](emu::Machine& m) {
       m.AddDirectory("C:\\WORK\\TMP");
       const std::string question =
           Attempt(m, [&] { return m.RemoveDirectoryA("C:\\WORK\\TMP?"); });
       return question + ", " + Attempt(m, [&] { return m.RemoveDirectoryA("C:\\WORK\\TMP*"); });
     },
     nullptr, "error=123, error=123"},
    // ---- CreateFileA
    {"CreateFileA_OpenAlways",
     [](emu::Machine& m) {
       m.AddFile("C:\\WORK\\OLD.TXT");
       m.CloseHandle(m.CreateFileA("old.txt", GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS, 0));
       const std::string existing = "existing error=" + std::to_string(m.GetLastError());
       m.CloseHandle(m.CreateFileA("new.txt", GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS, 0));
       return existing + ", new error=" + std::to_string(m.GetLastError());
     },
     "existing error=183, new error=0", nullptr},
    {"CreateFileA_Refusals",
     [](emu::Machine& m) {
       auto open = [&](const char* path) {
         const FileHandle file =
             m.CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0);
         if (file == INVALID_FILE_HANDLE) return "error=" + std::to_string(m.GetLastError());
         m.CloseHandle(file);
         return std::string("ok");
       };
       return open("C:\\WINDOWS") + ", " + open("C:\\WORK\\a") + ", " + open("c:\\*.*");
     },
     "error=5, error=2, error=2", "error=5, error=2, error=123", 10},
    // ---- WriteFile, ReadFile, SetFilePointer, SetEndOfFile, GetFileSize
    {"WriteFile_InvalidHandle",
     [](emu::Machine& m) {
       std::uint32_t written = UNTOUCHED;
       const int ok = m.WriteFile(0xdead, "data", 4, &written);
       return Failed(m, ok) + " written=" + std::to_string(written);
     },
     nullptr, "error=6 written=0"},
    {"WriteFile_NothingAndNullBuffers",
     [](emu::Machine& m) {
       const FileHandle file =
           m.CreateFileA("w.txt", GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS, 0);
       std::uint32_t written = UNTOUCHED;
       const int none = m.WriteFile(file, nullptr, 0, &written);
       std::string outcome = Failed(m, none) + " written=" + std::to_string(written);
       const int ten = m.WriteFile(file, nullptr, 10, &written);
       outcome += ", " + Failed(m, ten) + " written=" + std::to_string(written);
       m.CloseHandle(file);
       return outcome;
     },
     "ok written=0, ok written=10", "ok written=0, error=1784 written=0"},
    {"ReadFile_NullBuffers",
     [](emu::Machine& m) {
       m.AddFile("C:\\WORK\\R.TXT", "this is the test data");
       const FileHandle file =
           m.CreateFileA("r.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0);
       std::uint32_t read = UNTOUCHED;
       const int none = m.ReadFile(file, nullptr, 0, &read);
       std::string outcome = Failed(m, none) + " read=" + std::to_string(read);
       const int ten = m.ReadFile(file, nullptr, 10, &read);
       outcome += ", " + Failed(m, ten) + " read=" + std::to_string(read);
       m.CloseHandle(file);
       return outcome;
     },
     "ok read=0, error=87 read=0", "ok read=0, error=998 read=0"},
    {"SetEndOfFile_AtThePointer",
     [](emu::Machine& m) {
       const FileHandle file =
           m.CreateFileA("e.txt", GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS, 0);
       m.SetFilePointer(file, 0x1234, FILE_BEGIN);
       m.SetEndOfFile(file);
       const std::uint32_t size = m.GetFileSize(file);
       m.CloseHandle(file);
       return "size=" + std::to_string(size);
     },
     "size=4660", nullptr},
    // ---- MoveFileA
    {"MoveFileA_Refusals",
     [](emu::Machine& m) {
       m.AddFile("C:\\WORK\\SRC.TXT");
       m.AddFile("C:\\WORK\\DST.TXT");
       const std::string taken = Failed(m, m.MoveFileA("src.txt", "dst.txt"));
       const std::string pattern = Failed(m, m.MoveFileA("src.txt", "wild?.*"));
       const FileHandle file =
           m.CreateFileA("src.txt", GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS, 0);
       const std::string open = Failed(m, m.MoveFileA("src.txt", "moved.txt"));
       m.CloseHandle(file);
       return taken + ", " + pattern + ", " + open;
     },
     "error=183, error=2, error=5", "error=183, error=123, error=32"},
    // ---- SendMessageTimeoutA
    {"SendMessageTimeoutA_NotAnswered",
     [](emu::Machine& m) {
       m.AddWindow("Hung", "", nullptr, {0, true});
       m.AddWindow("Late", "", nullptr, {5000, false});
       auto send = [&](const char* window) {
         const std::intptr_t sent = m.SendMessageTimeoutA(m.FindWindowA(window, nullptr), 0x0401, 0,
                                                          0, SMTO_ABORTIFHUNG, 1000, nullptr);
         return "sent=" + std::to_string(sent) + " error=" + std::to_string(m.GetLastError());
       };
       return send("Hung") + ", " + send("Late");
     },
     "sent=0 error=0, sent=0 error=0", "sent=0 error=1460, sent=0 error=1460"},
};

void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }

std::vector<Row> RowsRecordedOnWindows9x() {
  std::vector<Row> rows;
  for (const Row& row : kRows) {
    if (row.windows9x != nullptr) rows.push_back(row);
  }
  return rows;
}

class OnWindows9x : public ::testing::TestWithParam<Row> {};
class OnTheNtFamily : public ::testing::TestWithParam<Row> {};

TEST_P(OnWindows9x, AnswersAsRecorded) {
  const Row& row = GetParam();
  emu::Machine machine;
  machine.SetVersion(4, row.minor, row.minor == 0 ? 950 : 1998);
  EXPECT_EQ(row.calls(machine), row.windows9x);
}

TEST_P(OnTheNtFamily, AnswersAsRecorded) {
  const Row& row = GetParam();
  emu::Machine machine;
  machine.SetVersion(5, 0, 2195);
  EXPECT_EQ(row.calls(machine), row.ntFamily != nullptr ? row.ntFamily : row.windows9x);
}

std::string RowName(const ::testing::TestParamInfo<Row>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(Calls, OnWindows9x, ::testing::ValuesIn(RowsRecordedOnWindows9x()),
                         RowName);
INSTANTIATE_TEST_SUITE_P(Calls, OnTheNtFamily, ::testing::ValuesIn(kRows), RowName);

}  // namespace
}  // namespace mdm
