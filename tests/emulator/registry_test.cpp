// The emulated registry: what the stages rely on, and the Win32 details that
// are easy to get wrong (sizes on ERROR_MORE_DATA, enumeration order, stale
// handles, subtree deletion).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "emulator/machine.h"

namespace mdm {
namespace {

constexpr std::int32_t ERROR_BAD_PATHNAME = 161;
constexpr std::int32_t ERROR_KEY_DELETED = 1018;

class Registry : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(machine.OpenKeyCount(), 0u); }

  RegKey Open(const std::string& path) {
    RegKey key = 0;
    EXPECT_EQ(machine.RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), KEY_ALL_ACCESS, &key), 0)
        << path;
    return key;
  }

  std::vector<std::string> Subkeys(const std::string& path) {
    RegKey key = Open(path);
    std::vector<std::string> names;
    char name[256];
    for (std::uint32_t i = 0; machine.RegEnumKeyA(key, i, name, sizeof name) == 0; ++i)
      names.push_back(name);
    machine.RegCloseKey(key);
    return names;
  }

  std::vector<std::string> ValueNames(const std::string& path) {
    RegKey key = Open(path);
    std::vector<std::string> names;
    for (std::uint32_t i = 0;; ++i) {
      char name[256];
      std::uint32_t nameSize = sizeof name;
      if (machine.RegEnumValueA(key, i, name, &nameSize, nullptr, nullptr, nullptr) != 0) break;
      names.push_back(name);
    }
    machine.RegCloseKey(key);
    return names;
  }

  emu::Machine machine;
};

TEST_F(Registry, KeyNamesMatchCaseBlindAndKeepTheirCase) {
  machine.AddKey("Enum\\Root\\Quillnet\\0000");
  RegKey key = Open("ENUM\\root\\QUILLNET\\0000");
  machine.RegCloseKey(key);
  EXPECT_EQ(Subkeys("enum\\ROOT"), std::vector<std::string>{"Quillnet"});

  // A create of an existing key in other case opens it and renames nothing.
  ASSERT_EQ(machine.RegCreateKeyA(HKEY_LOCAL_MACHINE, "ENUM\\ROOT\\QUILLNET", &key), 0);
  machine.RegCloseKey(key);
  EXPECT_EQ(Subkeys("Enum\\Root"), std::vector<std::string>{"Quillnet"});
}

TEST_F(Registry, PathFormsAndFailures) {
  machine.AddKey("A\\B");
  RegKey key = 0;
  EXPECT_EQ(machine.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "A\\C", KEY_READ, &key),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key, 0u);
  // Doubled and trailing separators are skipped, so "A\" + "" names A itself.
  ASSERT_EQ(machine.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "A\\\\B\\", KEY_READ, &key), 0);
  machine.RegCloseKey(key);

  // An empty name: the predefined root comes back as itself, an open key as a new handle.
  ASSERT_EQ(machine.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "", KEY_READ, &key), 0);
  EXPECT_EQ(key, HKEY_LOCAL_MACHINE);
  EXPECT_EQ(machine.OpenKeyCount(), 0u);
  RegKey a = Open("A");
  RegKey again = 0;
  ASSERT_EQ(machine.RegOpenKeyExA(a, nullptr, KEY_READ, &again), 0);
  EXPECT_NE(again, a);
  EXPECT_EQ(machine.OpenKeyCount(), 2u);
  machine.RegCloseKey(again);
  machine.RegCloseKey(a);
  EXPECT_EQ(machine.RegCloseKey(HKEY_LOCAL_MACHINE), 0);
}

TEST_F(Registry, CreateMakesEveryMissingKeyAndJournalsIt) {
  machine.AddKey("A");
  RegKey key = 0;
  ASSERT_EQ(machine.RegCreateKeyA(HKEY_LOCAL_MACHINE, "A\\B\\C", &key), 0);
  machine.RegCloseKey(key);
  ASSERT_EQ(machine.Journal().size(), 2u);
  EXPECT_EQ(emu::ToString(machine.Journal()[0]), "KeyCreated A\\B");
  EXPECT_EQ(emu::ToString(machine.Journal()[1]), "KeyCreated A\\B\\C");
  // Windows 95 skips one leading backslash on create (not on open).
  ASSERT_EQ(machine.RegCreateKeyA(HKEY_LOCAL_MACHINE, "\\A\\D", &key), 0);
  machine.RegCloseKey(key);
  EXPECT_TRUE(machine.HasKey("A\\D"));
}

TEST_F(Registry, DeleteRemovesTheWholeSubtreeAndStaleHandlesFail) {
  machine.SetString("Soft\\Vendor\\1.0\\ComPort", "", "COM3");
  machine.AddKey("Soft\\Vendor\\2.0");
  machine.AddKey("Soft\\Other");
  RegKey deep = Open("Soft\\Vendor\\1.0\\ComPort");

  EXPECT_EQ(machine.RegDeleteKeyA(HKEY_LOCAL_MACHINE, "soft\\VENDOR"), 0);
  EXPECT_FALSE(machine.HasKey("Soft\\Vendor"));
  EXPECT_TRUE(machine.HasKey("Soft\\Other"));
  ASSERT_EQ(machine.Journal().size(), 1u);
  EXPECT_EQ(emu::ToString(machine.Journal()[0]), "KeyDeleted Soft\\Vendor");

  char data[16];
  std::uint32_t size = sizeof data;
  EXPECT_EQ(machine.RegQueryValueExA(deep, nullptr, nullptr, reinterpret_cast<unsigned char*>(data),
                                     &size),
            ERROR_KEY_DELETED);
  RegKey child = 0;
  EXPECT_EQ(machine.RegCreateKeyA(deep, "X", &child), ERROR_KEY_DELETED);
  EXPECT_EQ(machine.RegCloseKey(deep), 0);

  EXPECT_EQ(machine.RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Soft\\Vendor"), ERROR_FILE_NOT_FOUND);
}

TEST_F(Registry, DeleteOfAnEmptyPathFromTheRootWipesItsSubkeys) {
  // What Wine does in Windows 95 mode; a caller composing an empty path must
  // never get here, and the emulator shows loudly when it does.
  machine.AddKey("Enum\\Root");
  machine.AddKey("Software");
  EXPECT_EQ(machine.RegDeleteKeyA(HKEY_LOCAL_MACHINE, ""), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(machine.HasKey("Enum"));
  EXPECT_FALSE(machine.HasKey("Software"));

  // From an open key, the empty path deletes that key.
  machine.AddKey("A\\B\\C");
  RegKey a = Open("A\\B");
  EXPECT_EQ(machine.RegDeleteKeyA(a, ""), 0);
  EXPECT_TRUE(machine.HasKey("A"));
  EXPECT_FALSE(machine.HasKey("A\\B"));
  machine.RegCloseKey(a);
}

TEST_F(Registry, DeniedKeysRefuseOpensButGoWithTheirParent) {
  machine.AddKey("Class\\Modem\\0000");
  machine.AddKey("Class\\Modem\\0001");
  machine.DenyOpen("Class\\Modem\\0000");
  RegKey key = 0;
  EXPECT_EQ(machine.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Class\\Modem\\0000", KEY_READ, &key),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(machine.RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Class\\Modem\\0000"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(Subkeys("Class\\Modem"), (std::vector<std::string>{"0000", "0001"}));
  EXPECT_EQ(machine.RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Class\\Modem"), 0);
  EXPECT_FALSE(machine.HasKey("Class\\Modem"));
}

TEST_F(Registry, SubkeysEnumerateSortedCaseBlindLikeWine) {
  for (const char* name : {"b", "_x", "A", "a1", "B2", "0000"})
    machine.AddKey(std::string("K\\") + name);
  EXPECT_EQ(Subkeys("K"), (std::vector<std::string>{"0000", "_x", "A", "a1", "b", "B2"}));

  RegKey key = Open("K");
  char name[8];
  EXPECT_EQ(machine.RegEnumKeyA(key, 6, name, sizeof name), ERROR_NO_MORE_ITEMS);
  EXPECT_EQ(machine.RegEnumKeyA(key, 0, name, 4), ERROR_MORE_DATA);  // "0000" needs 5
  EXPECT_EQ(machine.RegEnumKeyA(key, 0, name, 5), 0);
  machine.RegCloseKey(key);
}

TEST_F(Registry, QueryValueSizesAndMoreData) {
  machine.SetString("K", "Name", "abcdef");
  machine.SetDword("K", "Flags", 0x10);
  RegKey key = Open("k");

  std::uint32_t type = REG_SZ;
  std::uint32_t size = 0;
  EXPECT_EQ(machine.RegQueryValueExA(key, "NAME", &type, nullptr, &size), 0);
  EXPECT_EQ(size, 7u);  // the terminator counts
  EXPECT_EQ(type, REG_SZ);

  unsigned char data[8];
  std::memset(data, '*', sizeof data);
  size = 6;
  EXPECT_EQ(machine.RegQueryValueExA(key, "Name", &type, data, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 7u);      // the size needed
  EXPECT_EQ(data[0], '*');  // and nothing copied
  size = 7;
  EXPECT_EQ(machine.RegQueryValueExA(key, "Name", &type, data, &size), 0);
  EXPECT_STREQ(reinterpret_cast<char*>(data), "abcdef");

  size = sizeof data;
  EXPECT_EQ(machine.RegQueryValueExA(key, "Flags", &type, data, &size), 0);
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(data[0], 0x10);

  type = REG_SZ;
  EXPECT_EQ(machine.RegQueryValueExA(key, "Missing", &type, data, &size), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(type, REG_NONE);
  EXPECT_EQ(machine.RegQueryValueExA(key, "Name", nullptr, data, nullptr), ERROR_INVALID_PARAMETER);
  machine.RegCloseKey(key);
}

TEST_F(Registry, StringStoredWithoutTerminatorGetsOneOnlyWhenThereIsRoom) {
  machine.SetValue("K", "Raw", REG_SZ, {'a', 'b', 'c'});
  RegKey key = Open("K");
  unsigned char data[8];
  std::memset(data, '*', sizeof data);
  std::uint32_t size = sizeof data;
  ASSERT_EQ(machine.RegQueryValueExA(key, "Raw", nullptr, data, &size), 0);
  EXPECT_EQ(size, 3u);  // the added zero is not counted
  EXPECT_EQ(data[3], 0);

  std::memset(data, '*', sizeof data);
  size = 3;
  ASSERT_EQ(machine.RegQueryValueExA(key, "Raw", nullptr, data, &size), 0);
  EXPECT_EQ(data[3], '*');  // an exact fit stays unterminated
  machine.RegCloseKey(key);
}

TEST_F(Registry, QueryValueReadsTheDefaultOfASubkey) {
  machine.SetString("Soft\\Base", "", "0x2E8");
  machine.AddKey("Soft\\Empty");
  char text[40];
  std::int32_t size = sizeof text;
  ASSERT_EQ(machine.RegQueryValueA(HKEY_LOCAL_MACHINE, "Soft\\Base", text, &size), 0);
  EXPECT_STREQ(text, "0x2E8");
  EXPECT_EQ(size, 6);

  // No default value reads as the empty text, size 1.
  size = sizeof text;
  ASSERT_EQ(machine.RegQueryValueA(HKEY_LOCAL_MACHINE, "Soft\\Empty", text, &size), 0);
  EXPECT_STREQ(text, "");
  EXPECT_EQ(size, 1);

  size = 3;
  EXPECT_EQ(machine.RegQueryValueA(HKEY_LOCAL_MACHINE, "Soft\\Base", text, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 6);
  EXPECT_EQ(machine.RegQueryValueA(HKEY_LOCAL_MACHINE, "Soft\\None", text, &size),
            ERROR_FILE_NOT_FOUND);
}

TEST_F(Registry, EnumValueNameSizesAndCuts) {
  machine.SetString("K", "LongName", "data");
  RegKey key = Open("K");
  char name[16];
  std::uint32_t nameSize = sizeof name;
  std::uint32_t type = 0;
  unsigned char data[16];
  std::uint32_t dataSize = sizeof data;
  ASSERT_EQ(machine.RegEnumValueA(key, 0, name, &nameSize, &type, data, &dataSize), 0);
  EXPECT_EQ(nameSize, 8u);  // without terminator
  EXPECT_EQ(dataSize, 5u);  // with it
  EXPECT_STREQ(name, "LongName");

  nameSize = 8;  // no room for the terminator
  dataSize = sizeof data;
  EXPECT_EQ(machine.RegEnumValueA(key, 0, name, &nameSize, &type, data, &dataSize),
            ERROR_MORE_DATA);
  EXPECT_EQ(nameSize, 7u);  // the length cut to, as Windows 95 reports it
  EXPECT_STREQ(name, "LongNam");

  nameSize = sizeof name;
  dataSize = 4;
  EXPECT_EQ(machine.RegEnumValueA(key, 0, name, &nameSize, &type, data, &dataSize),
            ERROR_MORE_DATA);
  EXPECT_EQ(dataSize, 5u);
  nameSize = sizeof name;
  EXPECT_EQ(machine.RegEnumValueA(key, 1, name, &nameSize, &type, nullptr, nullptr),
            ERROR_NO_MORE_ITEMS);
  machine.RegCloseKey(key);
}

TEST_F(Registry, SetValueMeasuresStringsItselfAndKeepsTheStoredName) {
  machine.SetString("K", "ConnectedToPort", "old");
  RegKey key = Open("K");
  const char text[] = "ISAPNP\\QRM1001\\NEW";
  // Windows 95 ignores the size given for a REG_SZ.
  ASSERT_EQ(machine.RegSetValueExA(key, "connectedtoport", REG_SZ,
                                   reinterpret_cast<const unsigned char*>(text), 3),
            0);
  EXPECT_EQ(machine.GetString("K", "ConnectedToPort"), text);
  EXPECT_EQ(ValueNames("K"), std::vector<std::string>{"ConnectedToPort"});
  const unsigned char bytes[] = {1, 2, 3};
  ASSERT_EQ(machine.RegSetValueExA(key, "Bin", REG_BINARY, bytes, 2), 0);
  machine.RegCloseKey(key);
  EXPECT_EQ(emu::ToString(machine.Journal().back()), "ValueSet K \"Bin\"");
  EXPECT_EQ(machine.RegSetValueExA(key, "x", REG_BINARY, bytes, 1), 1010);  // ERROR_BADKEY
}

TEST_F(Registry, KeyOpenLogRecordsAccess) {
  machine.AddKey("A");
  RegKey key = 0;
  machine.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "A", KEY_ALL_ACCESS, &key);
  machine.RegCloseKey(key);
  machine.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "B", 0x2001F, &key);
  ASSERT_EQ(machine.KeyOpenLog().size(), 2u);
  EXPECT_EQ(machine.KeyOpenLog()[0].path, "A");
  EXPECT_EQ(machine.KeyOpenLog()[0].access, KEY_ALL_ACCESS);
  EXPECT_EQ(machine.KeyOpenLog()[1].result, ERROR_FILE_NOT_FOUND);
}

}  // namespace
}  // namespace mdm
