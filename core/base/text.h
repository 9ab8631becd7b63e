// Text helpers shared by every stage: ASCII-only case handling and path
// composition into fixed buffers that refuses to cut.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>

namespace mdm {

// "a" to "z" become capitals; every other byte, those above 127 included, stays.
void AsciiUpperInPlace(char* text);
void AsciiUpperInPlace(std::string& text);

// Whole-text comparison that folds only ASCII letters.
bool EqualsAsciiCaseBlind(const char* a, const char* b);

inline const char* AsCString(const char* text) { return text; }
inline const char* AsCString(const std::string& text) { return text.c_str(); }

// `name` equals one of `names` (texts or C strings), ASCII letters folded.
template <typename Names>
bool IsOneOfCaseBlind(const std::string& name, const Names& names) {
  for (const auto& candidate : names) {
    if (EqualsAsciiCaseBlind(name.c_str(), AsCString(candidate))) return true;
  }
  return false;
}

// printf-style composition into a buffer of `size` bytes, with the one
// formatter every build uses (the Windows images have no C runtime). It knows
// exactly "%s", "%d", "%u", "%x" and "%%", the numbers also with a zero-padded
// width of one digit ("%08x", "%02u"); no other flag, width or length.
// Returns false, and leaves the buffer empty, when the text (with its
// terminator) does not fit, since a path cut short would name something
// else, and when the format holds any other conversion or a null text.
bool FormatFitsV(char* buffer, std::size_t size, const char* format, va_list args);
bool FormatFits(char* buffer, std::size_t size, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;

template <std::size_t N, typename... Args>
bool Compose(char (&buffer)[N], const char* format, Args... args) {
  return FormatFits(buffer, N, format, args...);
}

// A name that stays inside the folder it is joined to and names one file: not
// empty, not "." or "..", and without a separator, drive, wildcard or other
// character a file name cannot hold.
bool IsPlainFileName(const std::string& name);

// The texts one after another. One call where `a + b + c` would spell each
// append out at every use: the Windows images have little room.
std::string Concat(std::initializer_list<std::string_view> parts);

// " (error N)", for a log line.
std::string ErrorText(long error);

// Copies `text` into a buffer when it fits whole; otherwise leaves it empty.
bool CopyFits(char* buffer, std::size_t size, const char* text);

}  // namespace mdm
