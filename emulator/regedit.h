// REGEDIT4 text of HKEY_LOCAL_MACHINE: what the machine image keeps on disk,
// and what Windows' regedit and Wine's regedit and reg export.
#pragma once

#include <string>
#include <string_view>

#include "emulator/registry_tree.h"

namespace mdm::emu {

// Every key in enumeration order (depth first, subkeys sorted case-blind),
// keys without values included so that empty keys survive a round trip.
std::string ExportRegedit(const RegistryTree& registry);
// The same for `key` and the keys below it.
std::string ExportRegedit(const RegNode& key);

// Merges the text into the registry. Accepts "REGEDIT4" and "Windows Registry
// Editor Version 5.00" (whose hex(1), hex(2) and hex(7) data are UTF-16LE),
// ANSI, UTF-8 with BOM or UTF-16LE with BOM; "[-HKEY_LOCAL_MACHINE\path]"
// deletes a subtree and `"name"=-` a value; keys of other roots are skipped.
// Throws std::runtime_error naming the line on malformed text.
void ImportRegedit(RegistryTree& registry, std::string_view text);

}  // namespace mdm::emu
