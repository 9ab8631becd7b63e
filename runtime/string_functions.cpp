// The memory and string functions the code and the compiler call. Built
// with -ffreestanding and without loop-to-call rewriting, so that none of
// them turns into a call to itself.
#include <cstddef>

extern "C" {

void* memcpy(void* to, const void* from, std::size_t count) {
  auto* out = static_cast<unsigned char*>(to);
  const auto* in = static_cast<const unsigned char*>(from);
  while (count-- > 0) *out++ = *in++;
  return to;
}

void* memmove(void* to, const void* from, std::size_t count) {
  auto* out = static_cast<unsigned char*>(to);
  const auto* in = static_cast<const unsigned char*>(from);
  if (out <= in || out >= in + count) return memcpy(to, from, count);
  while (count-- > 0) out[count] = in[count];  // overlapping, backwards
  return to;
}

void* memset(void* to, int value, std::size_t count) {
  auto* out = static_cast<unsigned char*>(to);
  while (count-- > 0) *out++ = static_cast<unsigned char>(value);
  return to;
}

int memcmp(const void* a, const void* b, std::size_t count) {
  const auto* x = static_cast<const unsigned char*>(a);
  const auto* y = static_cast<const unsigned char*>(b);
  for (; count > 0; --count, ++x, ++y) {
    if (*x != *y) return *x < *y ? -1 : 1;
  }
  return 0;
}

void* memchr(const void* text, int value, std::size_t count) {
  const auto* at = static_cast<const unsigned char*>(text);
  for (; count > 0; --count, ++at) {
    if (*at == static_cast<unsigned char>(value)) return const_cast<unsigned char*>(at);
  }
  return nullptr;
}

std::size_t strlen(const char* text) {
  std::size_t length = 0;
  while (text[length] != '\0') ++length;
  return length;
}

int strcmp(const char* a, const char* b) {
  for (; *a != '\0' && *a == *b; ++a, ++b) {
  }
  const auto x = static_cast<unsigned char>(*a);
  const auto y = static_cast<unsigned char>(*b);
  return x == y ? 0 : (x < y ? -1 : 1);
}

char* strstr(const char* text, const char* wanted) {
  const std::size_t length = strlen(wanted);
  if (length == 0) return const_cast<char*>(text);
  // memcmp stops at the first difference, so it never reads past the
  // terminator of a text shorter than the one wanted.
  for (; *text != '\0'; ++text) {
    if (memcmp(text, wanted, length) == 0) return const_cast<char*>(text);
  }
  return nullptr;
}

}  // extern "C"
