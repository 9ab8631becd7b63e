// Reading and editing the text of a profile (.ini) file the way the Windows
// profile functions treat it, on the file's bytes.
//
// Reading: section and key names match case-blind; blanks around section
// names, keys and values do not count; a value in matching quotes loses them;
// a line without "=" is not a key; lines before the first section belong to
// no section; the first of two equal keys wins, and only the first of two
// sections of the same name is searched.
//
// Editing keeps every byte that the edit does not concern: comments, blank
// lines, line endings, other sections and keys. New lines end with "\r\n".
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mdm::emu {

std::optional<std::string> FindProfileValue(std::string_view text, std::string_view section,
                                            std::string_view key);
// Names of the keys of the first section of that name, in file order.
std::vector<std::string> ProfileKeyNames(std::string_view text, std::string_view section);
std::vector<std::string> ProfileSectionNames(std::string_view text);

// How a section added at the end of the text is laid out. Windows 95 puts a
// blank line before it when other text precedes, and ends the added key line
// only when the text's last line was ended; otherwise, as Wine does, the
// section follows at once and every added line ends with "\r\n".
enum class NewSectionStyle { Windows95, Wine };

// Replaces the value of the first occurrence of the key, or adds the key at the
// end of its section, or adds the section at the end of the text.
std::string SetProfileValue(std::string_view text, std::string_view section, std::string_view key,
                            std::string_view value, NewSectionStyle style = NewSectionStyle::Wine);
std::string DeleteProfileKey(std::string_view text, std::string_view section, std::string_view key);
std::string DeleteProfileSection(std::string_view text, std::string_view section);

// Every key line in file order, with its section; for settings files.
struct ProfileEntry {
  std::string section;
  std::string key;
  std::string value;  // quotes removed as a read removes them
  int line = 0;       // 1-based
};
std::vector<ProfileEntry> ProfileEntries(std::string_view text);

}  // namespace mdm::emu
