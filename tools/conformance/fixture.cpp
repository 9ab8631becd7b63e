// The one fixture description both runs lay down below their root folder.
#include "tools/conformance/conformance.h"

namespace mdm::conformance {
namespace {

// Profile files with every oddity the readers meet: quotes, blanks, comments,
// duplicate sections and keys, a key before any section, a line without "=".
const char* const kTrickyLines[] = {
    "orphan=before any section",
    "[Sect]",
    "  Key1 =  value one  ",
    "Key2=\"quoted\"",
    "Key3=\"unbalanced",
    "Key4= \"  inner  \" ",
    ";Comment=yes",
    "Key5=",
    "NoEquals",
    "Dup=first",
    "Dup=second",
    "Long=0123456789",
    "[Other]",
    "Key1=other section",
    "[sect]",
    "Key1=duplicate section",
    "Extra=only in duplicate",
    "[ Spaced ]",
    "a = 1",
    "",
};

std::string Join(const char* eol) {
  std::string text;
  for (const char* line : kTrickyLines) text += std::string(line) + eol;
  return text;
}

}  // namespace

void LayDownFixture(FixtureAccess& fixture, const std::string& root) {
  fixture.MakeDirectory(root);
  fixture.WriteFile(root + "\\crlf.ini", Join("\r\n"));
  fixture.WriteFile(root + "\\lf.ini", Join("\n"));
  fixture.WriteFile(root + "\\write.ini", Join("\r\n"));
  fixture.WriteFile(root + "\\writelf.ini", "; kept comment\n[A]\nx = 1\n\n[B]\ny=2\n");
  fixture.WriteFile(root + "\\wd.ini", "[WD]\nwhere=working directory\n");

  const std::string files = root + "\\files";
  fixture.MakeDirectory(files);
  for (const char* name : {"oem1.inf", "OEM2.INF", "oemsetup.inf", "oem10.pnf", "modem.inf",
                           "x.txt", "y.txt", "xy.txt", "noext", "a.b.c", "readme.1st",
                           // Its 8.3 name (OEMSET~1.INF) fits "oem*.inf"; the long name does not.
                           "oemsetup.information"}) {
    fixture.WriteFile(files + "\\" + name, name);
  }
  fixture.MakeDirectory(files + "\\sub");
  fixture.MakeDirectory(files + "\\full");
  fixture.WriteFile(files + "\\full\\inside.txt", "inside");
  fixture.MakeDirectory(files + "\\empty");
  fixture.WriteFile(files + "\\ro.txt", "read-only");
  fixture.SetReadOnly(files + "\\ro.txt");

  const std::string written = root + "\\written";
  fixture.MakeDirectory(written);
  fixture.WriteFile(written + "\\old.log", "0123456789");
  fixture.WriteFile(written + "\\ro.log", "kept");
  fixture.SetReadOnly(written + "\\ro.log");
  fixture.MakeDirectory(written + "\\folder.log");
}

}  // namespace mdm::conformance
