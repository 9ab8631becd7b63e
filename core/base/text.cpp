#include "core/base/text.h"

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

namespace {

// Appends to a bounded buffer; remembers whether everything fitted.
class Output {
 public:
  Output(char* buffer, std::size_t size) : buffer_(buffer), size_(size) {}

  void Put(char c) {
    if (length_ + 1 < size_) buffer_[length_] = c;
    ++length_;
  }
  void Put(const char* text) {
    for (; *text != '\0'; ++text) Put(*text);
  }
  // At least `minDigits` digits, zeros in front.
  void PutNumber(unsigned value, unsigned radix, int minDigits) {
    char digits[16];
    int count = 0;
    do {
      digits[count++] = "0123456789abcdef"[value % radix];
      value /= radix;
    } while (value != 0);
    for (int zeros = minDigits - count; zeros > 0; --zeros) Put('0');
    while (count > 0) Put(digits[--count]);
  }
  // Terminates the text; false (and the empty text) when it did not fit.
  bool Finish() {
    if (length_ + 1 > size_) {
      buffer_[0] = '\0';
      return false;
    }
    buffer_[length_] = '\0';
    return true;
  }

 private:
  char* buffer_;
  std::size_t size_;
  std::size_t length_ = 0;
};

// One conversion, `width` the zero-padded width ("%08x") or 0; false for a
// conversion this formatter does not know.
bool Convert(char conversion, int width, va_list& args, Output& out) {
  switch (conversion) {
    case 's': {
      const char* text = va_arg(args, const char*);
      if (text == nullptr || width != 0) return false;
      out.Put(text);
      return true;
    }
    case 'd': {
      const int value = va_arg(args, int);
      // Negated as unsigned: the most negative int has no positive twin.
      if (value < 0) out.Put('-');
      out.PutNumber(value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value),
                    10, value < 0 ? width - 1 : width);
      return true;
    }
    case 'u': out.PutNumber(va_arg(args, unsigned), 10, width); return true;
    case 'x': out.PutNumber(va_arg(args, unsigned), 16, width); return true;
    case '%':
      if (width != 0) return false;
      out.Put('%');
      return true;
    default: return false;
  }
}

}  // namespace

bool FormatFitsV(char* buffer, std::size_t size, const char* format, va_list args) {
  if (size == 0) return false;
  Output out(buffer, size);
  va_list rest;
  va_copy(rest, args);
  bool known = true;
  for (const char* at = format; known && *at != '\0'; ++at) {
    if (*at != '%') {
      out.Put(*at);
    } else {
      int width = 0;
      if (at[1] == '0' && at[2] >= '1' && at[2] <= '9') {
        width = at[2] - '0';
        at += 2;
      }
      known = Convert(*++at, width, rest, out);
    }
  }
  va_end(rest);
  if (!known) {
    buffer[0] = '\0';
    return false;
  }
  return out.Finish();
}

bool FormatFits(char* buffer, std::size_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const bool fits = FormatFitsV(buffer, size, format, args);
  va_end(args);
  return fits;
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

std::string ErrorText(long error) {
  char text[24];
  Compose(text, " (error %d)", static_cast<int>(error));
  return text;
}

std::string Concat(std::initializer_list<std::string_view> parts) {
  std::size_t size = 0;
  for (std::string_view part : parts) size += part.size();
  std::string text;
  text.reserve(size);
  for (std::string_view part : parts) text.append(part.data(), part.size());
  return text;
}

}  // namespace mdm
