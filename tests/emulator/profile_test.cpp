// Profile files: where a name resolves, how a value is read, and that a write
// changes only the bytes it concerns.
#include <gtest/gtest.h>

#include <string>

#include "emulator/machine.h"

namespace mdm {
namespace {

class Profile : public ::testing::Test {
 protected:
  std::string Read(const char* section, const char* key, const char* file = "win.ini",
                   std::uint32_t size = 64, std::uint32_t* count = nullptr) {
    std::string buffer(size, '*');
    const std::uint32_t copied =
        machine.GetPrivateProfileStringA(section, key, "", buffer.data(), size, file);
    if (count != nullptr) *count = copied;
    return buffer.c_str();
  }

  emu::Machine machine;
};

TEST_F(Profile, BareNamesLiveInTheWindowsDirectoryDotNamesInTheWorkingOne) {
  machine.AddFile("C:\\WINDOWS\\WIN.INI", "[windows]\r\nload=win\r\n");
  machine.AddFile("C:\\WORK\\win.ini", "[windows]\r\nload=work\r\n");
  machine.AddFile("D:\\X\\win.ini", "[windows]\r\nload=full\r\n");
  EXPECT_EQ(Read("windows", "load", "win.ini"), "win");
  EXPECT_EQ(Read("windows", "load", ".\\win.ini"), "work");
  EXPECT_EQ(Read("windows", "load", "D:\\X\\WIN.INI"), "full");
  machine.SetWindowsDirectory("D:\\X");
  EXPECT_EQ(Read("windows", "load", "win.ini"), "full");
}

TEST_F(Profile, ReadingTrimsMatchesCaseBlindAndUnquotes) {
  machine.AddFile("C:\\WINDOWS\\TEST.INI",
                  "orphan=before any section\r\n"
                  "[ Boot ]\r\n"
                  "  Drivers  =  mmsystem.dll  QUILLNET.101\\QUILLNET.DRV  \r\n"
                  "name2=\"val2\"\r\n"
                  "single='q'\r\n"
                  "lonely\"=x\r\n"
                  "no equals sign\r\n"
                  ";foo=bar\r\n"
                  "dup=first\r\n"
                  "DUP=second\r\n"
                  "[boot]\r\n"
                  "late=in the second section of the same name\r\n");
  std::uint32_t count = 0;
  EXPECT_EQ(Read("boot", "drivers", "test.ini", 64, &count),
            "mmsystem.dll  QUILLNET.101\\QUILLNET.DRV");
  EXPECT_EQ(count, 39u);
  EXPECT_EQ(Read("BOOT", "name2", "test.ini", 64, &count), "val2");
  EXPECT_EQ(count, 4u);
  EXPECT_EQ(Read("boot", "single", "test.ini"), "q");
  EXPECT_EQ(Read("boot", "lonely\"", "test.ini"), "x");
  EXPECT_EQ(Read("boot", "no equals sign", "test.ini", 64, &count), "");
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(Read("boot", ";foo", "test.ini"), "bar");  // a comment by convention only
  EXPECT_EQ(Read("boot", "dup", "test.ini"), "first");
  EXPECT_EQ(Read("boot", "late", "test.ini"), "");  // only the first [boot] is searched
  EXPECT_EQ(Read("", "orphan", "test.ini"), "");
}

TEST_F(Profile, MissingFileSectionOrKeyGiveTheDefaultAndACutValueFitsTheBuffer) {
  machine.AddFile("C:\\WINDOWS\\WIN.INI", "[windows]\r\nload=abcdef\r\n");
  std::uint32_t count = 99;
  EXPECT_EQ(Read("windows", "load", "none.ini", 64, &count), "");
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(Read("nothing", "load", "win.ini", 64, &count), "");
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(Read("windows", "run", "win.ini", 64, &count), "");
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(Read("windows", "load", "win.ini", 4, &count), "abc");
  EXPECT_EQ(count, 3u);
  EXPECT_EQ(Read("windows", "load", "win.ini", 7, &count), "abcdef");
  EXPECT_EQ(count, 6u);
}

TEST_F(Profile, WriteReplacesTheFirstValueAndKeepsEveryOtherByte) {
  const std::string before =
      "; comment line\n"
      "[windows]\r\n"
      "load = C:\\A.EXE C:\\B.EXE   \r\n"
      "load=second\r\n"
      "\r\n"
      "[Other]\n"
      "x=1";
  machine.AddFile("C:\\WINDOWS\\WIN.INI", before);
  ASSERT_EQ(machine.WritePrivateProfileStringA("Windows", "LOAD", "C:\\B.EXE", "win.ini"), 1);
  EXPECT_EQ(machine.ReadFile("C:\\WINDOWS\\WIN.INI"),
            "; comment line\n"
            "[windows]\r\n"
            "load = C:\\B.EXE   \r\n"
            "load=second\r\n"
            "\r\n"
            "[Other]\n"
            "x=1");
  ASSERT_EQ(machine.Journal().size(), 1u);
  EXPECT_EQ(emu::ToString(machine.Journal()[0]),
            "ProfileWritten C:\\WINDOWS\\WIN.INI Windows\\LOAD=C:\\B.EXE");
}

// A new section comes after a blank line, as Windows 95 lays it out.
TEST_F(Profile, WriteAddsKeysAtTheEndOfTheirSectionAndNewSectionsAtTheEnd) {
  machine.AddFile("C:\\WINDOWS\\SYSTEM.INI", "[boot]\r\nshell=Explorer.exe\r\n\r\n[386Enh]\r\nx=1");
  ASSERT_EQ(machine.WritePrivateProfileStringA("boot", "drivers", "mmsystem.dll", "system.ini"), 1);
  ASSERT_EQ(machine.WritePrivateProfileStringA("386Enh", "y", "2", "system.ini"), 1);
  ASSERT_EQ(machine.WritePrivateProfileStringA("New", "k", "v", "system.ini"), 1);
  EXPECT_EQ(machine.ReadFile("C:\\WINDOWS\\SYSTEM.INI"),
            "[boot]\r\nshell=Explorer.exe\r\ndrivers=mmsystem.dll\r\n\r\n[386Enh]\r\nx=1\r\ny=2\r\n"
            "\r\n[New]\r\nk=v\r\n");
}

TEST_F(Profile, WriteCreatesTheFileButNotItsFolder) {
  ASSERT_EQ(machine.WritePrivateProfileStringA("Progress", "Result", "0", ".\\mdminfo.ini"), 1);
  EXPECT_EQ(machine.ReadFile("C:\\WORK\\MDMINFO.INI"), "[Progress]\r\nResult=0\r\n");
  EXPECT_EQ(machine.WritePrivateProfileStringA("s", "k", "v", "C:\\NONE\\x.ini"), 0);
  EXPECT_FALSE(machine.DirectoryExists("C:\\NONE"));

  machine.AddFile("C:\\WINDOWS\\RO.INI", "[s]\r\nk=old\r\n");
  machine.SetReadOnly("C:\\WINDOWS\\RO.INI");
  EXPECT_EQ(machine.WritePrivateProfileStringA("s", "k", "new", "ro.ini"), 0);
  EXPECT_EQ(machine.ReadFile("C:\\WINDOWS\\RO.INI"), "[s]\r\nk=old\r\n");
}

TEST_F(Profile, NullFormsDeleteOrFlushWithoutHarm) {
  machine.AddFile("C:\\WINDOWS\\WIN.INI", "[a]\r\nk=1\r\nj=2\r\n[b]\r\nm=3\r\n");
  EXPECT_EQ(machine.WritePrivateProfileStringA(nullptr, nullptr, nullptr, "win.ini"),
            0);  // as Wine
  EXPECT_EQ(machine.WritePrivateProfileStringA("a", "k", nullptr, "win.ini"), 1);
  EXPECT_EQ(machine.ReadFile("C:\\WINDOWS\\WIN.INI"), "[a]\r\nj=2\r\n[b]\r\nm=3\r\n");
  EXPECT_EQ(machine.WritePrivateProfileStringA("a", nullptr, nullptr, "win.ini"), 1);
  EXPECT_EQ(machine.ReadFile("C:\\WINDOWS\\WIN.INI"), "[b]\r\nm=3\r\n");

  char list[16];
  EXPECT_EQ(machine.GetPrivateProfileStringA("b", nullptr, "", list, sizeof list, "win.ini"), 2u);
  EXPECT_EQ(std::string(list, 3), std::string("m\0\0", 3));
  // A null section lists the sections, the closing zero counted (Windows 95).
  EXPECT_EQ(machine.GetPrivateProfileStringA(nullptr, "m", "", list, sizeof list, "win.ini"), 3u);
  EXPECT_EQ(std::string(list, 3), std::string("b\0\0", 3));
}

}  // namespace
}  // namespace mdm
