// ASCII-only case folding for the emulated machine's names: registry keys and
// values, file names, profile sections and keys.
//
// Windows folds the whole ANSI code page (Wine folds Unicode); the emulator
// folds only "A" to "Z", which is all the names the system handles need.
#pragma once

#include <string>
#include <string_view>

namespace mdm::emu {

inline char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

inline bool SameCaseBlind(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

// The order Wine keeps registry subkeys and values in: characters compared
// folded to lower case as unsigned values, a prefix before the longer name.
// Used for directory listings too, so every enumeration is deterministic.
inline int CompareCaseBlind(std::string_view a, std::string_view b) {
  const std::size_t common = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < common; ++i) {
    const int ca = static_cast<unsigned char>(AsciiLower(a[i]));
    const int cb = static_cast<unsigned char>(AsciiLower(b[i]));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

inline std::string ToLowerAscii(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = AsciiLower(c);
  return result;
}

}  // namespace mdm::emu
