#include "common/text.h"

#include <cstdio>
#include <cstring>

namespace mdm {

namespace {
char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
}  // namespace

void AsciiUpperInPlace(char* text) {
  for (; *text != '\0'; ++text) *text = AsciiUpper(*text);
}

void AsciiUpperInPlace(std::string& text) {
  for (char& c : text) c = AsciiUpper(c);
}

bool EqualsAsciiCaseBlind(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    if (AsciiUpper(*a) != AsciiUpper(*b)) return false;
  }
  return *a == *b;
}

bool FormatFits(char* buffer, std::size_t size, const char* format, ...) {
  if (size == 0) return false;
  va_list args;
  va_start(args, format);
  const int needed = std::vsnprintf(buffer, size, format, args);
  va_end(args);
  if (needed < 0 || static_cast<std::size_t>(needed) >= size) {
    buffer[0] = '\0';
    return false;
  }
  return true;
}

bool IsPlainFileName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  return name.find_first_of("\\/:*?\"<>|") == std::string::npos;
}

bool CopyFits(char* buffer, std::size_t size, const char* text) {
  const std::size_t length = std::strlen(text);
  if (size == 0) return false;
  if (length >= size) {
    buffer[0] = '\0';
    return false;
  }
  std::memcpy(buffer, text, length + 1);
  return true;
}

}  // namespace mdm
