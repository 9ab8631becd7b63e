// A seeded generator of Windows 95 machines: the modem package installed
// fully, partly or not at all, among other devices and programs whose keys,
// files and list entries must survive an uninstall. Besides the machine it
// records what it installed in a form the expectations read: the INF files'
// sections, the list lines' entries and the configuration it wrote.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tests/safety/machine_model.h"

namespace mdm::safety {

// One key line of an INF file; `raw` is the text after "=" as written.
struct InfLine {
  std::string section;
  std::string key;
  std::string raw;
};

// An INF file as the generator wrote it; Text() gives its bytes.
struct InfSpec {
  std::vector<InfLine> lines;  // grouped by section in this order

  std::string Text() const;
  // The value a profile read returns: the first section and the first key of
  // the name (case-blind), blanks trimmed, matching quotes removed.
  std::string Value(const std::string& section, const std::string& key) const;
};

// One entry of a profile list line: a name or path, or a long one with
// blanks in double quotes, the quotes part of its text.
struct ListToken {
  std::string text;
  Owner owner = Owner::Bystander;
  // Another program's full path that a package entry ends, which a
  // deliverable removes whole with the package.
  Exemption exemption = {};
  std::string separator = " ";  // what follows it when another entry does
  // A full path ending in "QUILLNET.101\<productFile>": mdmclean removes it
  // whole with that relative entry, which it cuts for every configured
  // product file and for every file its run deletes from the product folder.
  std::string productFile = {};
};

// The "load" line of win.ini or the "drivers" line of system.ini.
struct ListLine {
  bool fileExists = true;
  bool sectionExists = true;
  bool keyExists = true;
  std::vector<ListToken> tokens;
  // The text after "=" as the file holds it: the value, now and then with
  // blanks around it or in quotes.
  std::string fileText;

  std::string Value() const;  // the tokens joined by their separators
};

// The mdminfo.ini the generator wrote.
struct Configuration {
  std::vector<std::string> systemFiles;
  std::vector<std::string> productFiles;
  std::vector<std::string> pnpIds;
  std::string vendor;
  std::string modemName;
  std::string voiceName;  // empty: the key is absent
  bool complete = true;   // every required key present and non-empty
  std::string text;
};

// The names the package was installed under.
struct PackageNames {
  std::string modem;      // the root device's name, the class keys' "InfSection"
  std::string voice;      // the MEDIA class key's "InfSection"
  std::string vendor;     // SOFTWARE\<vendor>\<modem>
  std::string rootClass;  // the root device's class; normally the modem's name
  std::vector<std::string> pnpIds;
  std::string loadProgram;  // the start-up program in QUILLNET.101
};

struct GeneratedMachine {
  std::uint64_t seed = 0;
  std::string description;  // one line for failure messages
  // What happened on the machine before the uninstall (a second install, a
  // card that changed its ID ...), each by name with the keys and files it
  // made (folded, or a part of their paths); empty for a plain install.
  struct History {
    std::string name;
    std::vector<std::string> items;
  };
  std::vector<History> histories;
  MachineModel model;
  PackageNames names;
  bool productNames = true;             // the names the library has built in
  std::map<std::string, InfSpec> infs;  // by folded path
  ListLine load;
  ListLine drivers;
  Configuration config;

  std::string WinIni() const;  // full paths of the three profile files
  std::string SystemIni() const;
  std::string ConfigFile() const;
};

GeneratedMachine Generate(std::uint64_t seed);

// Fixes what a test needs and leaves the rest to the seed.
struct Variation {
  bool fullPackage = false;           // every part of the package installed
  bool productNames = false;          // under the library's built-in names
  std::string windowsDirectory;       // with its system directory "<windows>\SYSTEM"
  std::optional<PackageNames> names;  // names other than the product's
};
GeneratedMachine Generate(std::uint64_t seed, const Variation& variation);

// The product's built-in names, as the library knows them.
PackageNames ProductNames();

}  // namespace mdm::safety
