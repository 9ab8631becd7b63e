// Registry text and machine images: round trips, the formats Wine writes, and
// malformed input.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>
#include <string>

#include "emulator/machine.h"

namespace mdm {
namespace {

namespace fs = std::filesystem;

std::string Utf16(const std::string& text) {
  std::string bytes = "\xff\xfe";
  for (char c : text) {
    bytes += c;
    bytes += '\0';
  }
  return bytes;
}

std::string ReadHost(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void WriteHost(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

// A private folder per test, removed afterwards.
class ImageFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    root = fs::temp_directory_path() /
           ("mdm_emulator_" + std::string(info->name()) + "_" + std::to_string(::getpid()));
    fs::remove_all(root);
  }
  void TearDown() override { fs::remove_all(root); }
  fs::path root;
};

TEST(RegistryText, RoundTripKeepsEveryTypeAndEmptyKeys) {
  emu::Machine machine;
  machine.SetString("Enum\\Root\\Quillnet\\0000", "ConnectedToPort", "ISAPNP\\QRM1001\\\"0A\"");
  machine.SetString("Enum\\Root\\Quillnet\\0000", "", "default");
  machine.SetDword("Enum\\Root\\Quillnet\\0000", "ConfigFlags", 0x12345678);
  machine.SetValue("Enum\\Root\\Quillnet\\0000", "BootConfig", REG_BINARY,
                   std::vector<unsigned char>(40, 0xAB));
  machine.SetValue("Enum\\Root\\Quillnet\\0000", "Raw", REG_SZ, {'n', 'o', 'z', 'e', 'r', 'o'});
  machine.SetValue("Enum\\Root\\Quillnet\\0000", "Expand", REG_EXPAND_SZ, {'%', 'x', '%', 0});
  machine.SetValue("Enum\\Root\\Quillnet\\0000", "Lines", REG_SZ, {'a', '\n', 'b', 0});
  machine.AddKey("Empty\\Key");
  const std::string text = machine.ExportRegistry();
  EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\Enum\\Root\\Quillnet\\0000]\n@=\"default\"\n"),
            std::string::npos);
  EXPECT_NE(text.find("\"ConnectedToPort\"=\"ISAPNP\\\\QRM1001\\\\\\\"0A\\\"\"\n"),
            std::string::npos);
  EXPECT_NE(text.find("\"ConfigFlags\"=dword:12345678\n"), std::string::npos);
  EXPECT_NE(text.find("\"Expand\"=hex(2):25,78,25,00\n"), std::string::npos);
  EXPECT_NE(text.find(",\\\n  ab,"), std::string::npos);  // long hex data wraps

  emu::Machine copy;
  copy.ImportRegistry(text);
  EXPECT_EQ(copy.ExportRegistry(), text);
  EXPECT_TRUE(copy.HasKey("Empty\\Key"));
  EXPECT_EQ(copy.GetString("Enum\\Root\\Quillnet\\0000", "Raw"), "nozero");
}

// Found by fuzzing: a value name holding a line break or a zero byte was
// written raw, and the exported text no longer imported.
TEST(RegistryText, NamesWithLineBreaksAndZerosSurviveARoundTrip) {
  emu::Machine first;
  first.ImportRegistry(
      "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\K]\r\n\"a\\nb\\r\\0c\\\\d\\\"e\"=\"v\"\r\n");
  const std::string exported = first.ExportRegistry();
  emu::Machine second;
  ASSERT_NO_THROW(second.ImportRegistry(exported)) << exported;
  EXPECT_EQ(second.ExportRegistry(), exported);
  EXPECT_TRUE(second.HasValue("K", std::string("a\nb\r\0c\\d\"e", 10)));
}

TEST(RegistryText, ImportsWhatWineWritesAndSkipsOtherRoots) {
  const std::string text =
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "[HKEY_CURRENT_USER\\Software\\X]\r\n\"skip\"=\"me\"\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\Software\\QRMeridian]\r\n"
      "\"Name\"=\"Quillnet\"\r\n"
      "\"Path\"=hex(2):43,00,3a,00,5c,00,\\\r\n  00,00\r\n"
      "\"Gone\"=-\r\n\r\n"
      "[-HKEY_LOCAL_MACHINE\\Software\\Old]\r\n";
  emu::Machine machine;
  machine.SetString("Software\\QRMeridian", "Gone", "x");
  machine.AddKey("Software\\Old\\Sub");
  machine.ImportRegistry(Utf16(text));
  EXPECT_EQ(machine.GetString("Software\\QRMeridian", "Name"), "Quillnet");
  EXPECT_EQ(machine.GetString("Software\\QRMeridian", "Path"), "C:\\");  // UTF-16 data narrowed
  EXPECT_FALSE(machine.HasValue("Software\\QRMeridian", "Gone"));
  EXPECT_FALSE(machine.HasKey("Software\\Old"));
  EXPECT_FALSE(machine.HasKey("Software\\X"));
}

TEST(RegistryText, MalformedTextNamesItsLine) {
  emu::Machine machine;
  for (const auto& [text, line] : std::vector<std::pair<std::string, std::string>>{
           {"REGEDIT5\n", "line 1"},
           {"REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\A\n", "line 3"},
           {"REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\A]\n\"v\"=dword:xyz\n", "line 4"},
           {"REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\A]\n\"v\"=hex:1,2g\n", "line 4"},
           {"REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\A]\n\"v\"=\"open\n", "line 4"},
           {"REGEDIT4\n\"v\"=\"x\"\n", "line 2"},
           {"REGEDIT4\n[HKEY_NOWHERE\\A]\n", "line 2"}}) {
    try {
      machine.ImportRegistry(text);
      ADD_FAILURE() << "accepted: " << text;
    } catch (const std::runtime_error& error) {
      EXPECT_NE(std::string(error.what()).find(line), std::string::npos) << error.what();
    }
  }
}

TEST_F(ImageFolder, SaveAndLoadRoundTrip) {
  emu::Machine machine;
  machine.SetWorkingDirectory("C:\\QNSETUP");
  machine.SetVersion(4, 10, 2222);
  machine.AddFile("C:\\QNSETUP\\mdminfo.ini", "[FileNames]\r\nx=1\r\n");
  machine.AddFile("C:\\WINDOWS\\SYSTEM\\LOCKED.DLL", std::string("\0\x01\xff", 3));
  machine.SetReadOnly("C:\\WINDOWS\\SYSTEM\\LOCKED.DLL");
  machine.AddFile("D:\\DATA\\In Use.bin", "busy");
  machine.SetInUse("D:\\DATA\\In Use.bin");
  machine.AddDirectory("C:\\EMPTY");
  machine.AddWindow("QN_NVRAMCLASS", "Quillnet NVRAM", nullptr);
  machine.SetString("Enum\\ISAPNP\\QRM1001", "Class", "Ports");
  machine.DeleteFileA("C:\\QNSETUP\\mdminfo.ini");
  machine.SaveImage(root.string());

  EXPECT_EQ(ReadHost(root / "journal.txt"), "FileDeleted C:\\QNSETUP\\mdminfo.ini\n");
  EXPECT_EQ(ReadHost(root / "drive_c" / "WINDOWS" / "SYSTEM" / "LOCKED.DLL"),
            std::string("\0\x01\xff", 3));
  EXPECT_FALSE(fs::exists(root / "drive_c" / "QNSETUP" / "mdminfo.ini"));

  auto loaded = emu::Machine::LoadImage(root.string());
  EXPECT_EQ(loaded->ListTree("C:\\"), machine.ListTree("C:\\"));
  EXPECT_EQ(loaded->ListTree("D:\\"), machine.ListTree("D:\\"));
  EXPECT_EQ(loaded->ExportRegistry(), machine.ExportRegistry());
  EXPECT_EQ(loaded->WorkingDirectory(), "C:\\QNSETUP");
  EXPECT_EQ(loaded->DeleteFileA("C:\\WINDOWS\\SYSTEM\\LOCKED.DLL"), 0);
  EXPECT_EQ(loaded->MoveFileA("D:\\DATA\\IN USE.BIN", "D:\\DATA\\MOVED.BIN"), 0);
  EXPECT_NE(loaded->FindWindowA("QN_NVRAMCLASS", "Quillnet NVRAM"), 0u);
  VersionInfo info;
  info.size = VERSION_INFO_SIZE;
  loaded->GetVersionExA(&info);
  EXPECT_EQ(info.minorVersion, 10u);
  EXPECT_TRUE(loaded->Journal().empty());

  // Saving again over the image replaces it, and removed drives go.
  loaded->DeleteFileA("C:\\WINDOWS\\SYSTEM\\QNMISSING.DLL");
  emu::Machine bare;
  bare.SaveImage(root.string());
  EXPECT_FALSE(fs::exists(root / "drive_d"));
}

TEST_F(ImageFolder, SaveRefusesAFolderThatIsNoImage) {
  WriteHost(root / "precious.txt", "keep me");
  emu::Machine machine;
  EXPECT_THROW(machine.SaveImage(root.string()), std::runtime_error);
  EXPECT_EQ(ReadHost(root / "precious.txt"), "keep me");
}

TEST_F(ImageFolder, LoadRefusesMalformedImages) {
  EXPECT_THROW(emu::Machine::LoadImage(root.string()), std::runtime_error);  // no folder
  WriteHost(root / "machine.ini", "[Drives]\nC=drive_c\n");
  WriteHost(root / "drive_c" / "a.txt", "1");
  WriteHost(root / "drive_c" / "A.TXT", "2");
  EXPECT_THROW(emu::Machine::LoadImage(root.string()), std::runtime_error);  // ambiguous names
  fs::remove(root / "drive_c" / "A.TXT");
  EXPECT_NO_THROW(emu::Machine::LoadImage(root.string()));

  for (const std::string settings :
       {"[Drives]\nC=../elsewhere\n", "[Version]\nMajor=four\n", "[Drivers]\nC=drive_c\n",
        "[Drives]\nC=drive_c\n[ReadOnly]\n1=C:\\NONE\n"}) {
    WriteHost(root / "machine.ini", settings);
    EXPECT_THROW(emu::Machine::LoadImage(root.string()), std::runtime_error) << settings;
  }
  WriteHost(root / "machine.ini", "[Drives]\nC=drive_c\n");
  WriteHost(root / "registry.reg", "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\A]\n\"v\"=bad\n");
  try {
    emu::Machine::LoadImage(root.string());
    ADD_FAILURE();
  } catch (const std::runtime_error& error) {
    EXPECT_NE(std::string(error.what()).find("registry.reg"), std::string::npos);
    EXPECT_NE(std::string(error.what()).find("line 4"), std::string::npos);
  }
}

TEST(SampleMachine, LoadsAndSurvivesASaveAndLoad) {
  const fs::path sample = fs::path(MDM_SOURCE_DIR) / "sample-machine";
  if (!fs::exists(sample / "machine.ini")) GTEST_SKIP() << "no sample machine";
  auto machine = emu::Machine::LoadImage(sample.string());
  EXPECT_NE(machine->FindWindowA("QN_NVRAMCLASS", "Quillnet NVRAM"), 0u);
  EXPECT_TRUE(machine->HasKey("Enum\\ISAPNP\\QRM1001"));

  const fs::path copy =
      fs::temp_directory_path() / ("mdm_emulator_sample_" + std::to_string(::getpid()));
  fs::remove_all(copy);
  machine->SaveImage(copy.string());
  auto again = emu::Machine::LoadImage(copy.string());
  EXPECT_EQ(again->ListTree(), machine->ListTree());
  EXPECT_EQ(again->ExportRegistry(), machine->ExportRegistry());
  fs::remove_all(copy);
}

}  // namespace
}  // namespace mdm
