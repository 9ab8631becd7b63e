// GetBaseAddr95 and ChangeW95SerialNumber on emulated machines.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "emulator/machine.h"
#include "hvlib32/exports.h"
#include "hvlib32/serial_move.h"
#include "tests/support/run_logs.h"
#include "tests/support/test_platform.h"

namespace mdm::hvlib32 {
namespace {

using test::TestPlatform;

const std::string BASE_KEY = "SOFTWARE\\QRMeridian\\Quillnet\\1.0\\Base";
const std::string ROOT_KEY = "Enum\\Root\\Quillnet";
const std::string ISAPNP = "Enum\\ISAPNP\\QRM1001\\";
const std::string OLD_SERIAL = "1234ABCD";
const std::string NEW_SERIAL = "5678EF01";

std::vector<unsigned char> Bytes(const std::string& text) {
  return std::vector<unsigned char>(text.begin(), text.end());
}

// ---------------------------------------------------------------- GetBaseAddr95

class BaseAddressTest : public ::testing::Test {
 protected:
  // The caller's buffer is larger than 40 bytes and full of marks, so that a
  // missing terminator or a write past 40 bytes shows.
  std::int32_t Query(Platform& platform) {
    std::memset(buffer, 'X', sizeof buffer);
    return GetBaseAddr95(platform, buffer);
  }
  std::string Text() const { return std::string(buffer, strnlen(buffer, 40)); }
  bool TerminatedWithin40() const { return std::memchr(buffer, '\0', 40) != nullptr; }

  emu::Machine machine;
  char buffer[64];
};

TEST_F(BaseAddressTest, ReadsTheDefaultValueAndClosesTheKey) {
  machine.SetString(BASE_KEY, "", "0x2E8");
  EXPECT_EQ(Query(machine), ERROR_SUCCESS);
  EXPECT_EQ(Text(), "0x2E8");
  EXPECT_EQ(machine.OpenKeyCount(), 0u);
  EXPECT_TRUE(machine.Journal().empty());
}

TEST_F(BaseAddressTest, AbsentOrOversizedValueGivesSuccessAndEmptyText) {
  machine.AddKey(BASE_KEY);
  machine.SetString(BASE_KEY, "Other", "0x3F8");
  EXPECT_EQ(Query(machine), ERROR_SUCCESS);
  EXPECT_EQ(Text(), "");

  const std::string longest(39, '7');
  machine.SetString(BASE_KEY, "", longest);
  EXPECT_EQ(Query(machine), ERROR_SUCCESS);
  EXPECT_EQ(Text(), longest);

  for (std::size_t length : {40u, 41u, 300u}) {
    machine.SetString(BASE_KEY, "", std::string(length, '7'));
    EXPECT_EQ(Query(machine), ERROR_SUCCESS) << length;
    EXPECT_TRUE(TerminatedWithin40()) << length;
    EXPECT_EQ(Text(), "") << length;
  }
  EXPECT_EQ(machine.OpenKeyCount(), 0u);
}

TEST_F(BaseAddressTest, DataWithoutTerminatorNeverLeavesTheBufferOpen) {
  // Exactly 40 bytes of REG_SZ data with no zero: it fits the read, but it is
  // a 40-character address, which does not fit the caller's text.
  machine.SetValue(BASE_KEY, "", REG_SZ, Bytes(std::string(40, '8')));
  EXPECT_EQ(Query(machine), ERROR_SUCCESS);
  EXPECT_TRUE(TerminatedWithin40());
  EXPECT_EQ(Text(), "");
}

TEST_F(BaseAddressTest, KeyThatCannotBeOpenedGivesItsErrorAndEmptyText) {
  EXPECT_EQ(Query(machine), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Text(), "");

  machine.SetString(BASE_KEY, "", "0x2E8");
  machine.DenyOpen(BASE_KEY);
  EXPECT_EQ(Query(machine), ERROR_ACCESS_DENIED);
  EXPECT_EQ(Text(), "");
  EXPECT_EQ(machine.OpenKeyCount(), 0u);
}

TEST_F(BaseAddressTest, NullBufferIsRefused) {
  machine.SetString(BASE_KEY, "", "0x2E8");
  EXPECT_EQ(GetBaseAddr95(machine, nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(machine.OpenKeyCount(), 0u);
}

// -------------------------------------------------------- ChangeW95SerialNumber

class SerialChangeTest : public ::testing::Test {
 protected:
  // The root device instance links to the ISAPNP port instance, which holds
  // values of several types and a subkey.
  void SetUp() override {
    machine.SetString(ROOT_KEY + "\\0000", "ConnectedToPort", "ISAPNP\\QRM1001\\" + OLD_SERIAL);
    machine.SetString(ROOT_KEY + "\\0000", "DeviceDesc", "Quillnet modem");
    machine.SetString(OldKey(), "DeviceDesc", "Quillnet serial port");
    machine.SetString(OldKey(), "", "default text");
    machine.SetDword(OldKey(), "ConfigFlags", 0x10);
    machine.SetValue(OldKey(), "BootConfig", REG_BINARY, {0x00, 0x01, 0xE8, 0x02, 0xFF});
    machine.AddKey(OldKey() + "\\LogConfig");
  }

  static std::string OldKey() { return ISAPNP + OLD_SERIAL; }
  static std::string NewKey() { return ISAPNP + NEW_SERIAL; }
  std::string Link(const std::string& instance = "0000") const {
    return machine.GetString(ROOT_KEY + "\\" + instance, "ConnectedToPort").value_or("<absent>");
  }
  std::int32_t Change(Platform& platform, const std::string& oldSerial,
                      const std::string& newSerial) {
    return MoveSerialNumber(platform, oldSerial.c_str(), newSerial.c_str(), NoChangeLog());
  }
  std::int32_t Change() { return Change(machine, OLD_SERIAL, NEW_SERIAL); }

  // The values of one key, read through the platform, as "name=type:hexdata".
  std::vector<std::string> ValuesOf(const std::string& path) {
    std::vector<std::string> values;
    RegKey key = 0;
    if (machine.RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), KEY_READ, &key) != 0) {
      return values;
    }
    for (std::uint32_t index = 0;; ++index) {
      char name[20000];
      std::vector<unsigned char> data(70000);
      std::uint32_t nameSize = sizeof name;
      std::uint32_t dataSize = static_cast<std::uint32_t>(data.size());
      std::uint32_t type = 0;
      if (machine.RegEnumValueA(key, index, name, &nameSize, &type, data.data(), &dataSize) != 0) {
        break;
      }
      std::string entry = std::string(name) + "=" + std::to_string(type) + ":";
      for (std::uint32_t i = 0; i < dataSize; ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02x", data[i]);
        entry += hex;
      }
      values.push_back(entry);
    }
    machine.RegCloseKey(key);
    return values;
  }

  emu::Machine machine;
};

TEST_F(SerialChangeTest, MovesTheInstanceAndRelinksThePort) {
  const std::vector<std::string> oldValues = ValuesOf(OldKey());
  TestPlatform platform(machine);
  EXPECT_EQ(Change(platform, OLD_SERIAL, NEW_SERIAL), ERROR_SUCCESS);

  EXPECT_EQ(Link(), "ISAPNP\\QRM1001\\" + NEW_SERIAL);
  EXPECT_EQ(ValuesOf(NewKey()), oldValues);
  EXPECT_FALSE(machine.HasKey(OldKey()));
  EXPECT_FALSE(machine.HasKey(OldKey() + "\\LogConfig"));
  EXPECT_FALSE(machine.HasKey(NewKey() + "\\LogConfig"));  // subkeys are not carried over
  EXPECT_EQ(machine.GetString(ROOT_KEY + "\\0000", "DeviceDesc"), "Quillnet modem");
  EXPECT_EQ(machine.OpenKeyCount(), 0u);

  // Order: the old key is looked at before anything changes; then the new
  // key gets the values, the link names it, and the old key goes last, so
  // that the link never names a key that is not there.
  const std::string relink = "RegSetValueExA " + ROOT_KEY + "\\0000 ConnectedToPort";
  EXPECT_LT(platform.IndexOf("RegOpenKeyExA " + OldKey()), platform.IndexOf("RegCreateKeyA"));
  EXPECT_LT(platform.IndexOf("RegSetValueExA " + NewKey()), platform.IndexOf(relink));
  EXPECT_LT(platform.IndexOf(relink), platform.IndexOf("RegDeleteKeyA " + OldKey()));
  EXPECT_EQ(emu::ToString(machine.Journal().back()),
            emu::ToString({emu::JournalEntry::Kind::KeyDeleted, OldKey(), ""}));
}

// Every instance whose link names the old serial number names the new one
// afterwards: none may be left naming a key that is gone.
TEST_F(SerialChangeTest, EveryMatchingInstanceIsRelinked) {
  machine.SetString(ROOT_KEY + "\\0001", "ConnectedToPort", "ISAPNP\\QRM1001\\" + OLD_SERIAL);
  char first[40];
  RegKey root = 0;
  ASSERT_EQ(machine.RegOpenKeyExA(HKEY_LOCAL_MACHINE, ROOT_KEY.c_str(), KEY_READ, &root), 0);
  ASSERT_EQ(machine.RegEnumKeyA(root, 0, first, sizeof first), 0);
  machine.RegCloseKey(root);
  const std::string second = std::string(first) == "0000" ? "0001" : "0000";

  EXPECT_EQ(Change(), ERROR_SUCCESS);
  EXPECT_EQ(Link(first), "ISAPNP\\QRM1001\\" + NEW_SERIAL);
  EXPECT_EQ(Link(second), "ISAPNP\\QRM1001\\" + NEW_SERIAL);
}

// The serial number is one whole component of the link, in any letter case:
// a component it merely starts or ends is another serial number. An
// instance whose link cannot be read might name the old key: nothing moves
// until it can be.
TEST_F(SerialChangeTest, WalkSkipsWhatItCannotUseAndMatchesWholeComponentsCaseBlind) {
  // Enumerated before the real one: no link, serials that hold the old one,
  // a link too long for its 200 bytes, an instance that cannot be opened.
  machine.RegDeleteKeyA(HKEY_LOCAL_MACHINE, (ROOT_KEY + "\\0000").c_str());
  machine.SetString(ROOT_KEY + "\\0000", "DeviceDesc", "no link");
  machine.SetString(ROOT_KEY + "\\0001", "ConnectedToPort", "ISAPNP\\QRM1001\\" + OLD_SERIAL + "9");
  machine.SetString(ROOT_KEY + "\\0002", "ConnectedToPort", "ISAPNP\\QRM1001\\X" + OLD_SERIAL);
  machine.SetString(ROOT_KEY + "\\0003", "ConnectedToPort",
                    std::string(200, 'P') + "\\" + OLD_SERIAL);
  machine.SetString(ROOT_KEY + "\\0005", "ConnectedToPort", "ISAPNP\\QRM1001\\1234abcd");

  EXPECT_EQ(Change(), ERROR_SUCCESS);
  EXPECT_EQ(Link("0001"), "ISAPNP\\QRM1001\\" + OLD_SERIAL + "9");
  EXPECT_EQ(Link("0002"), "ISAPNP\\QRM1001\\X" + OLD_SERIAL);
  EXPECT_EQ(Link("0003"), std::string(200, 'P') + "\\" + OLD_SERIAL);
  EXPECT_EQ(Link("0005"), "ISAPNP\\QRM1001\\" + NEW_SERIAL);
  EXPECT_EQ(machine.OpenKeyCount(), 0u);

  // The old serial number given in other letter case names the same key and
  // the same link.
  machine.SetString(ROOT_KEY + "\\0005", "ConnectedToPort", "ISAPNP\\QRM1001\\" + NEW_SERIAL);
  EXPECT_EQ(Change(machine, "5678ef01", "0A1B2C3D"), ERROR_SUCCESS);
  EXPECT_EQ(Link("0005"), "ISAPNP\\QRM1001\\0A1B2C3D");
  EXPECT_TRUE(machine.HasKey(ISAPNP + "0A1B2C3D"));
  EXPECT_FALSE(machine.HasKey(NewKey()));

  // An instance whose link cannot be read might name the old key: nothing
  // moves until it can be read.
  machine.SetString(ROOT_KEY + "\\0004", "ConnectedToPort", "ISAPNP\\QRM1001\\0A1B2C3D");
  machine.DenyOpen(ROOT_KEY + "\\0004");
  const std::string before = machine.ExportRegistry();
  EXPECT_EQ(Change(machine, "0A1B2C3D", NEW_SERIAL.c_str()), ERROR_ACCESS_DENIED);
  EXPECT_EQ(machine.ExportRegistry(), before);
}

TEST_F(SerialChangeTest, LinkOfExactly200BytesEndsAtItsLastByte) {
  // 200 bytes of REG_SZ data with no terminator: the last byte makes way for
  // one, so the old serial number at the very end is no longer whole.
  const std::string link = std::string(192, 'P') + OLD_SERIAL;
  machine.SetValue(ROOT_KEY + "\\0000", "ConnectedToPort", REG_SZ, Bytes(link));
  EXPECT_EQ(Change(), ERROR_SUCCESS);
  EXPECT_EQ(machine.GetString(ROOT_KEY + "\\0000", "ConnectedToPort"), link);
  EXPECT_FALSE(machine.HasKey(OldKey()));
}

TEST_F(SerialChangeTest, TextAfterTheOldSerialIsDropped) {
  machine.SetString(ROOT_KEY + "\\0000", "ConnectedToPort",
                    "ISAPNP\\QRM1001\\" + OLD_SERIAL + "\\tail " + OLD_SERIAL);
  EXPECT_EQ(Change(), ERROR_SUCCESS);
  EXPECT_EQ(Link(), "ISAPNP\\QRM1001\\" + NEW_SERIAL);
}

TEST_F(SerialChangeTest, WithoutAMatchingInstanceTheKeyStillMoves) {
  machine.SetString(ROOT_KEY + "\\0000", "ConnectedToPort", "ISAPNP\\QRM1001\\99999999");
  EXPECT_EQ(Change(), ERROR_SUCCESS);
  EXPECT_EQ(Link(), "ISAPNP\\QRM1001\\99999999");
  EXPECT_TRUE(machine.HasKey(NewKey()));
  EXPECT_FALSE(machine.HasKey(OldKey()));
}

// A key already at the new serial number keeps its other values and takes
// the copies; what it held goes to the undo file first, so that importing it
// gives the machine back as it was.
TEST_F(SerialChangeTest, ExistingNewKeyKeepsItsOtherValuesAndTakesTheCopies) {
  machine.SetString(NewKey(), "DeviceDesc", "stale");
  machine.SetString(NewKey(), "Kept", "yes");
  const std::string before = machine.ExportRegistry();
  EXPECT_EQ(ChangeW95SerialNumber(machine, OLD_SERIAL.c_str(), NEW_SERIAL.c_str()), ERROR_SUCCESS);
  EXPECT_EQ(machine.GetString(NewKey(), "DeviceDesc"), "Quillnet serial port");
  EXPECT_EQ(machine.GetString(NewKey(), "Kept"), "yes");
  EXPECT_FALSE(machine.HasKey(OldKey()));
  const std::string undo = machine.ReadFile("C:\\WINDOWS\\HVLIB32.REG").value_or("");
  EXPECT_NE(undo.find("[HKEY_LOCAL_MACHINE\\" + NewKey() + "]\r\n\"DeviceDesc\"=\"stale\"\r\n"),
            std::string::npos)
      << undo;
  machine.ImportRegistry(undo);
  machine.SetString(NewKey(), "DeviceDesc", "stale");     // an import adds, it does not take away:
  EXPECT_EQ(machine.GetString(NewKey(), "Kept"), "yes");  // the copies' other values stay
  EXPECT_EQ(machine.GetString(ROOT_KEY + "\\0000", "ConnectedToPort"),
            "ISAPNP\\QRM1001\\" + OLD_SERIAL);
  EXPECT_TRUE(machine.HasKey(OldKey()));
}

TEST_F(SerialChangeTest, ValuesBeyondTheEnumerationLimitsAreCopiedWhole) {
  const std::string longName(100, 'N');      // needs more than 40 bytes
  const std::string name40(40, 'M');         // needs 41 with its terminator
  std::vector<unsigned char> bigData(5000);  // more than 200 bytes
  for (std::size_t i = 0; i < bigData.size(); ++i) bigData[i] = static_cast<unsigned char>(i * 7);
  machine.SetValue(OldKey(), longName, REG_BINARY, bigData);
  machine.SetString(OldKey(), name40, std::string(199, 'd'));
  machine.SetString(OldKey(), "AfterTheBigOnes", "still copied");
  const std::vector<std::string> oldValues = ValuesOf(OldKey());

  EXPECT_EQ(Change(), ERROR_SUCCESS);
  EXPECT_EQ(ValuesOf(NewKey()), oldValues);
  EXPECT_FALSE(machine.HasKey(OldKey()));
}

// Each way the service can end, with the registry it leaves.
TEST_F(SerialChangeTest, RootKeyThatCannotBeOpenedChangesNothing) {
  emu::Machine bare;
  EXPECT_EQ(ChangeW95SerialNumber(bare, OLD_SERIAL.c_str(), NEW_SERIAL.c_str()),
            ERROR_FILE_NOT_FOUND);

  machine.DenyOpen(ROOT_KEY);
  const std::string before = machine.ExportRegistry();
  EXPECT_EQ(Change(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(machine.ExportRegistry(), before);
}

// A call that fails changes nothing: the old key is looked for before the
// link is touched. A prefix of the serial number names no key.
TEST_F(SerialChangeTest, MissingOldKeyChangesNothing) {
  const std::string before = machine.ExportRegistry();
  EXPECT_EQ(Change(machine, "1234", NEW_SERIAL), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(machine.ExportRegistry(), before);
  machine.SetString(ROOT_KEY + "\\0000", "ConnectedToPort", "ISAPNP\\QRM1001\\ABSENT");
  EXPECT_EQ(Change(machine, "ABSENT", NEW_SERIAL), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Link(), "ISAPNP\\QRM1001\\ABSENT");
  EXPECT_FALSE(machine.HasKey(NewKey()));
  EXPECT_TRUE(machine.HasKey(OldKey()));
  EXPECT_EQ(machine.OpenKeyCount(), 0u);
}

TEST_F(SerialChangeTest, NewKeyThatCannotBeCreatedIsReportedAndTheOldKeyStays) {
  const std::string before = machine.ExportRegistry();
  TestPlatform platform(machine);
  platform.Fail("RegCreateKeyA", ERROR_ACCESS_DENIED);
  EXPECT_EQ(Change(platform, OLD_SERIAL, NEW_SERIAL), ERROR_ACCESS_DENIED);
  EXPECT_EQ(machine.ExportRegistry(), before);
  EXPECT_EQ(machine.OpenKeyCount(), 0u);
}

// The key it created goes again, the old key and the link stay.
TEST_F(SerialChangeTest, ValueThatCannotBeCopiedKeepsTheOldKey) {
  const std::string before = machine.ExportRegistry();
  for (const char* failing : {"RegEnumValueA", "RegSetValueExA"}) {
    TestPlatform platform(machine);
    platform.Fail(failing, ERROR_ACCESS_DENIED);
    EXPECT_EQ(Change(platform, OLD_SERIAL, NEW_SERIAL), ERROR_ACCESS_DENIED) << failing;
    EXPECT_EQ(machine.ExportRegistry(), before) << failing;
    EXPECT_EQ(machine.OpenKeyCount(), 0u);
  }
}

TEST_F(SerialChangeTest, NormalEndReturnsTheResultOfTheDelete) {
  TestPlatform platform(machine);
  platform.Fail("RegDeleteKeyA", ERROR_ACCESS_DENIED);
  EXPECT_EQ(Change(platform, OLD_SERIAL, NEW_SERIAL), ERROR_ACCESS_DENIED);
  EXPECT_TRUE(machine.HasKey(OldKey()));
  // The link already names the new key, which is there.
  EXPECT_EQ(Link(), "ISAPNP\\QRM1001\\" + NEW_SERIAL);
  EXPECT_TRUE(machine.HasKey(NewKey()));
  // Once deleting works again, the same call completes the move.
  platform.Restore("RegDeleteKeyA");
  EXPECT_EQ(Change(platform, OLD_SERIAL, NEW_SERIAL), ERROR_SUCCESS);
  EXPECT_FALSE(machine.HasKey(OldKey()));
  EXPECT_EQ(Link(), "ISAPNP\\QRM1001\\" + NEW_SERIAL);
}

TEST_F(SerialChangeTest, RelinkThatWouldNotFitItsTextChangesNothing) {
  // 170 bytes before the old serial leave room for 29 characters and the
  // terminator, not for 30.
  machine.SetString(ROOT_KEY + "\\0000", "ConnectedToPort",
                    std::string(169, 'P') + "\\" + OLD_SERIAL);
  const std::string before = machine.ExportRegistry();
  EXPECT_EQ(Change(machine, OLD_SERIAL, std::string(30, 'S')), ERROR_MORE_DATA);
  EXPECT_EQ(machine.ExportRegistry(), before);
  EXPECT_EQ(machine.OpenKeyCount(), 0u);

  EXPECT_EQ(Change(machine, OLD_SERIAL, std::string(29, 'S')), ERROR_SUCCESS);
  EXPECT_EQ(Link(), std::string(169, 'P') + "\\" + std::string(29, 'S'));
}

TEST_F(SerialChangeTest, UnsafeSerialNumbersAreRefusedUntouched) {
  const std::string before = machine.ExportRegistry();
  const std::string tooLong(180, 'A');
  const char* unsafe[] = {nullptr, "", "\\", "1234\\ABCD", "..\\QRM1001", tooLong.c_str()};
  for (const char* serial : unsafe) {
    const std::string shown = serial == nullptr ? "null" : serial;
    EXPECT_EQ(ChangeW95SerialNumber(machine, serial, NEW_SERIAL.c_str()), ERROR_INVALID_PARAMETER)
        << "old " << shown;
    EXPECT_EQ(ChangeW95SerialNumber(machine, OLD_SERIAL.c_str(), serial), ERROR_INVALID_PARAMETER)
        << "new " << shown;
  }
  EXPECT_EQ(machine.ExportRegistry(), before);
  EXPECT_TRUE(test::WithoutRunLogs(machine.Journal()).empty());
}

TEST_F(SerialChangeTest, LongestSerialNumbersStillWork) {
  const std::string longest(179, 'B');
  machine.SetString(ISAPNP + longest, "DeviceDesc", "long");
  machine.SetString(ROOT_KEY + "\\0000", "ConnectedToPort", longest);
  EXPECT_EQ(Change(machine, longest, std::string(179, 'C')), ERROR_SUCCESS);
  EXPECT_EQ(machine.GetString(ISAPNP + std::string(179, 'C'), "DeviceDesc"), "long");
  EXPECT_FALSE(machine.HasKey(ISAPNP + longest));
}

TEST_F(SerialChangeTest, SameSerialNumberKeepsTheKey) {
  // "1234abcd" names the same key as "1234ABCD": key names compare case-blind.
  const std::vector<std::string> oldValues = ValuesOf(OldKey());
  for (const std::string& same : {OLD_SERIAL, std::string("1234abcd")}) {
    EXPECT_EQ(Change(machine, OLD_SERIAL, same), ERROR_SUCCESS) << same;
    EXPECT_EQ(ValuesOf(OldKey()), oldValues) << same;
    EXPECT_TRUE(machine.HasKey(OldKey() + "\\LogConfig")) << same;
    EXPECT_EQ(machine.OpenKeyCount(), 0u);
  }
  // The link is relinked as for any other new serial number.
  EXPECT_EQ(Link(), "ISAPNP\\QRM1001\\1234abcd");
}

}  // namespace
}  // namespace mdm::hvlib32
