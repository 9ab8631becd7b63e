// Hostile INF files among the package's: binary, empty, huge, in encodings
// the profile functions do not read, with values at and beyond the read
// limits. A file the match rule cannot read stays; nothing outside the
// package goes.
#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>

#include "tests/safety/harness.h"

namespace mdm::safety {
namespace {

using namespace std::string_literals;

GeneratedMachine InstalledMachine(std::uint64_t seed) {
  Variation variation;
  variation.fullPackage = true;
  variation.productNames = true;
  return Generate(seed, variation);
}

struct HostileInf {
  const char* what;
  std::string content;
  std::optional<InfSpec> readAs;  // what a profile read finds; none: nothing
  Owner owner = Owner::Bystander;
};

void ExpectSafe(const HostileInf& inf) {
  for (std::uint64_t seed : {3u, 8u}) {
    for (const char* folder : {"\\INF\\OEM77.INF", "\\INF\\Other\\Q.R. Meridian, Inc.ODD.INF"}) {
      GeneratedMachine g = InstalledMachine(seed);
      const std::string path = g.model.settings.windowsDirectory + folder;
      g.model.AddFile(path, inf.content, inf.owner);
      if (inf.readAs) g.infs[Folded(path)] = *inf.readAs;
      for (Deliverable who : {Deliverable::Program, Deliverable::Library}) {
        const Outcome outcome = RunAndCheck(g, who);
        EXPECT_TRUE(outcome.problems.empty()) << inf.what << "\n"
                                              << Report(g, who, outcome.problems);
      }
    }
  }
}

InfSpec Spec(const std::string& deviceClass) {
  return InfSpec{
      {{"Version", "Class", deviceClass}, {"Strings", "Quillnet.DeviceDesc", "Quillnet"}}};
}

std::string Utf16(const std::string& text) {
  std::string wide = "\xff\xfe";
  for (char c : text) wide += std::string{c, '\0'};
  return wide;
}

TEST(HostileInf, UnreadableFilesStay) {
  std::mt19937 random(17);
  std::string binary(1 << 16, '\0');
  for (char& c : binary) c = static_cast<char>(random());
  ExpectSafe({"empty", "", std::nullopt});
  ExpectSafe({"binary", binary, std::nullopt});
  ExpectSafe({"binary after a section header", "[Version]\r\n" + binary, std::nullopt});
  ExpectSafe({"UTF-16", Utf16("[Version]\r\nClass=Quillnet\r\n"), std::nullopt, Owner::Package});
  ExpectSafe({"zero byte inside the class", "[Version]\r\nClass=Quil\0lnet\r\n"s, std::nullopt});
  ExpectSafe({"Latin-1 class",
              "[Version]\r\nClass=Mod\xe9m\r\n[Strings]\r\nQuillnet.DeviceDesc=x\r\n",
              std::nullopt});
  ExpectSafe({"class beyond the read limit",
              "[Version]\r\nClass=Quillnet" + std::string(300, 'Q') + "\r\n", std::nullopt,
              Owner::Package});
}

TEST(HostileInf, ReadableFilesFollowTheMatchRuleWhateverSurroundsThem) {
  const std::string junk = std::string(8 << 20, ';') + "\r\n";
  ExpectSafe({"8 MB after the class of another device", "[Version]\r\nClass=Net\r\n" + junk,
              InfSpec{{{"Version", "Class", "Net"}}}});
  ExpectSafe({"8 MB after the product's class", "[Version]\r\nClass=Quillnet\r\n" + junk,
              InfSpec{{{"Version", "Class", "Quillnet"}}}, Owner::Package});
  ExpectSafe({"blanks and quotes around the class", "[ Version ]\r\n  Class =  \"Quillnet\"  \r\n",
              InfSpec{{{"Version", "Class", "\"Quillnet\""}}}, Owner::Package});
  ExpectSafe({"the class only in a second Version section",
              "[Version]\r\nSignature=x\r\n[Strings]\r\nA=b\r\n[Version]\r\nClass=Quillnet\r\n",
              InfSpec{{{"Version", "Signature", "x"},
                       {"Strings", "A", "b"},
                       {"Version", "Class", "Quillnet"}}}});
  const std::string wide(300, 'D');
  ExpectSafe({"a description beyond the read limit",
              "[Version]\r\nClass=Modem\r\n[Strings]\r\nQuillnet.DeviceDesc=" + wide + "\r\n",
              InfSpec{{{"Version", "Class", "Modem"}, {"Strings", "Quillnet.DeviceDesc", wide}}},
              Owner::Package});
  ExpectSafe({"no line end at all",
              "[Version]\r\nClass=MEDIA\r\n[Strings]\r\nQuillnet.DeviceDesc=v", Spec("MEDIA"),
              Owner::Package});
}

TEST(HostileInf, AFolderNamedLikeAnInfFileIsNeverDeleted) {
  for (Deliverable who : {Deliverable::Program, Deliverable::Library}) {
    GeneratedMachine g = InstalledMachine(3);
    g.model.AddFile(g.model.settings.windowsDirectory + "\\INF\\OEM88.INF\\INSIDE.TXT", "x",
                    Owner::Bystander);
    const Outcome outcome = RunAndCheck(g, who);
    EXPECT_TRUE(outcome.problems.empty()) << Report(g, who, outcome.problems);
  }
}

}  // namespace
}  // namespace mdm::safety
