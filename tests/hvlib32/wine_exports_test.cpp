// HVLIB32.dll of the win64 build under Wine, loaded with LoadLibraryA by the
// hvprobe program: its exports resolve by name and by ordinal to the same
// entries, the two registry services work through either, and loading,
// unloading and reading the base address change nothing.

#include <gtest/gtest.h>

#include <string>

#include "tests/wine/wine_prefix.h"

namespace mdm::wine {
namespace {

const char* const kPackageRegistry =
    "REGEDIT4\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\QRMeridian\\Quillnet\\1.0\\Base]\r\n"
    "@=\"0x2E8\"\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\Enum\\Root\\Quillnet\\0000]\r\n"
    "\"ConnectedToPort\"=\"ISAPNP\\\\QRM1001\\\\1234ABCD\\\\tail\"\r\n"
    "\"DeviceDesc\"=\"Quillnet modem\"\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\Enum\\Root\\Quillnet\\0001]\r\n"
    "\"ConnectedToPort\"=\"ISAPNP\\\\QRM1001\\\\1234ABCD\"\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\Enum\\ISAPNP\\QRM1001\\1234ABCD]\r\n"
    "\"DeviceDesc\"=\"Quillnet serial port\"\r\n"
    "\"ConfigFlags\"=dword:00000010\r\n"
    "\"BootConfig\"=hex:00,01,e8,02,ff\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\Enum\\ISAPNP\\QRM1001\\1234ABCD\\LogConfig]\r\n"
    "\"0000\"=hex:01\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\Modem\\0000]\r\n"
    "\"InfPath\"=\"OEM3.INF\"\r\n";

const std::string kIsapnp = "HKEY_LOCAL_MACHINE\\Enum\\ISAPNP\\QRM1001";
const std::string kRoot = "HKEY_LOCAL_MACHINE\\Enum\\Root\\Quillnet";

// A value of more than 40 name bytes and 200 data bytes, beyond the
// enumeration limits of the copy, in REGEDIT4 form.
std::string LongValue() {
  std::string line = "\"" + std::string(60, 'N') + "\"=hex:";
  for (int i = 0; i < 300; ++i) line += (i ? "," : "") + std::string("5a");
  return line + "\r\n";
}

// The first section of an export (the key's own values, without subkeys),
// with the key name replaced so that two keys' values compare.
std::string ValuesOnly(const std::string& exported) {
  const std::size_t start = exported.find("]\n");
  if (start == std::string::npos) return "";
  const std::size_t end = exported.find("\n\n", start);
  return exported.substr(start + 2, end == std::string::npos ? std::string::npos : end - start - 2);
}

class HvlibUnderWine : public ::testing::Test {
 protected:
  void SetUp() override {
    MDM_REQUIRE_WINE();
    probe = Win64Exe("hvprobe.exe");
    ASSERT_TRUE(FileExistsOnHost(probe)) << probe << " is missing: build the win64 preset first";
    ASSERT_TRUE(FileExistsOnHost(Win64Exe("HVLIB32.dll")))
        << Win64Exe("HVLIB32.dll") << " is missing: build the win64 preset first";
    prefix = std::make_unique<WinePrefix>();
  }

  // Runs hvprobe and returns what it wrote to its result file.
  std::string Probe(const std::vector<std::string>& commands, int expectedExit = 0) {
    std::vector<std::string> args = {"C:\\probe.txt"};
    args.insert(args.end(), commands.begin(), commands.end());
    const RunResult run = prefix->Run(probe, args);
    const std::string report = prefix->ReadFile("C:\\probe.txt").value_or("<no report>");
    EXPECT_EQ(run.exitCode, expectedExit) << report << run.err;
    return report;
  }

  std::string probe;
  std::unique_ptr<WinePrefix> prefix;
};

const char* const kResolved =
    "resolve ChangeW95SerialNumber ordinal 1 same\n"
    "resolve GetBaseAddr95 ordinal 2 same\n"
    "resolve Uninstall ordinal 3 same\n";

TEST_F(HvlibUnderWine, LoadingUnloadingAndTheBaseAddressChangeNothing) {
  prefix->ImportRegistry(kPackageRegistry);
  prefix->WriteFile("C:\\windows\\system32\\QUILLNET.CPL", "cpl");
  prefix->WriteFile("C:\\windows\\system32\\QUILLNET.101\\QUILLNET.EXE", "exe");
  prefix->WriteFile("C:\\windows\\system32\\QUILLNET.101\\PRELDR.EXE", "pre");
  prefix->WriteFile("C:\\windows\\win.ini",
                    "[windows]\r\nload=C:\\WINDOWS\\SYSTEM\\QUILLNET.101\\PRELDR.EXE\r\n");
  prefix->WriteFile("C:\\windows\\system.ini", "[boot]\r\ndrivers=mmsystem.dll qnwave.drv\r\n");

  auto snapshot = [&] {
    std::string all;
    for (const char* key : {"HKEY_LOCAL_MACHINE\\Enum", "HKEY_LOCAL_MACHINE\\SOFTWARE\\QRMeridian",
                            "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class"}) {
      all += prefix->ExportRegistry(key);
    }
    for (const std::string& name : prefix->ListDir("C:\\windows\\system32\\QUILLNET.101")) {
      all += name + "\n";
    }
    all += prefix->ReadFile("C:\\windows\\system32\\QUILLNET.CPL").value_or("<gone>");
    all += prefix->ReadFile("C:\\windows\\win.ini").value_or("<gone>");
    all += prefix->ReadFile("C:\\windows\\system.ini").value_or("<gone>");
    for (const char* log : {"C:\\windows\\HVLIB32.LOG", "C:\\windows\\HVLIB32.REG"}) {
      all += prefix->Exists(log) ? "log written\n" : "no log\n";
    }
    return all;
  };
  const std::string before = snapshot();
  // Reading the base address writes nothing either, not even a log.
  EXPECT_EQ(Probe({"resolve", "base"}), std::string(kResolved) +
                                            "base result=0 terminated=1 text=\"0x2E8\"\n"
                                            "unload ok\n");
  EXPECT_EQ(snapshot(), before);
}

TEST_F(HvlibUnderWine, ServicesWorkThroughNamesAndOrdinals) {
  prefix->ImportRegistry(std::string(kPackageRegistry) + "\r\n[" + kIsapnp + "\\1234ABCD]\r\n" +
                         LongValue());
  const std::string oldValues = ValuesOnly(prefix->ExportRegistry(kIsapnp + "\\1234ABCD"));
  ASSERT_NE(oldValues.find(std::string(60, 'N')), std::string::npos) << oldValues;

  // By name: the base address, the move, and a refused null buffer.
  EXPECT_EQ(Probe({"base", "change", "1234ABCD", "5678EF01", "base-null"}),
            std::string(kResolved) +
                "base result=0 terminated=1 text=\"0x2E8\"\n"
                "change 1234ABCD 5678EF01 result=0\n"
                "base-null result=87\n"
                "unload ok\n");
  EXPECT_NE(prefix->ExportRegistry(kRoot + "\\0000")
                .find("\"ConnectedToPort\"=\"ISAPNP\\\\QRM1001\\\\5678EF01\"\n"),
            std::string::npos);
  // Every link that named the old key names the new one.
  EXPECT_NE(prefix->ExportRegistry(kRoot + "\\0001")
                .find("\"ConnectedToPort\"=\"ISAPNP\\\\QRM1001\\\\5678EF01\"\n"),
            std::string::npos);
  EXPECT_EQ(prefix->ExportRegistry(kIsapnp + "\\1234ABCD"), "");
  const std::string moved = prefix->ExportRegistry(kIsapnp + "\\5678EF01");
  EXPECT_EQ(ValuesOnly(moved), oldValues);
  EXPECT_EQ(moved.find("LogConfig"), std::string::npos) << moved;

  // By ordinal: a second move, the same serial number (kept), an absent
  // instance, a serial number that would address another key.
  EXPECT_EQ(Probe({"--ordinal", "change", "5678EF01", "9ABC0000", "change", "9ABC0000", "9ABC0000",
                   "change", "ABSENT", "5678EF01", "change", "9ABC0000", "..\\X", "base"}),
            std::string(kResolved) +
                "change 5678EF01 9ABC0000 result=0\n"
                "change 9ABC0000 9ABC0000 result=0\n"
                "change ABSENT 5678EF01 result=2\n"
                "change 9ABC0000 ..\\X result=87\n"
                "base result=0 terminated=1 text=\"0x2E8\"\n"
                "unload ok\n");
  EXPECT_EQ(ValuesOnly(prefix->ExportRegistry(kIsapnp + "\\9ABC0000")), oldValues);
  EXPECT_EQ(prefix->ExportRegistry(kIsapnp + "\\5678EF01"), "");
  EXPECT_NE(prefix->ExportRegistry(kRoot + "\\0000")
                .find("\"ConnectedToPort\"=\"ISAPNP\\\\QRM1001\\\\9ABC0000\"\n"),
            std::string::npos);

  // Without the base-address key the result is its open's error, the text empty.
  prefix->ImportRegistry("REGEDIT4\r\n\r\n[-HKEY_LOCAL_MACHINE\\SOFTWARE\\QRMeridian]\r\n");
  EXPECT_EQ(Probe({"--ordinal", "base"}),
            std::string(kResolved) + "base result=2 terminated=1 text=\"\"\nunload ok\n");
}

}  // namespace
}  // namespace mdm::wine
