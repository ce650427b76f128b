// Letter case in ASCII only: A-Z and a-z, every other byte (those above
// 0x7F included) unchanged. URLs, site keys, registry names and cache folder
// names all ignore case this way, whatever the locale.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

inline char AsciiToLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}

inline char AsciiToUpper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - ('a' - 'A')) : c;
}

// Copies `size` bytes from `in` to `out` with A-Z lowered to a-z. `in` may
// equal `out`. Eight bytes at a time.
inline void AsciiLowerCopy(const char* in, char* out, std::size_t size) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
  std::size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    std::uint64_t word;
    std::memcpy(&word, in + i, 8);
    const std::uint64_t low7 = word & (0x7F * kOnes);
    // Bit 7 of each byte: set where the low seven bits are >= 'A' and
    // where they are > 'Z'; bytes with bit 7 set (not ASCII) stay out.
    const std::uint64_t atLeastA = low7 + (0x80 - 'A') * kOnes;
    const std::uint64_t aboveZ = low7 + (0x80 - 'Z' - 1) * kOnes;
    const std::uint64_t upper = atLeastA & ~aboveZ & ~word & (0x80 * kOnes);
    word |= upper >> 2;  // 0x80 >> 2 is the 0x20 between the cases
    std::memcpy(out + i, &word, 8);
  }
  for (; i < size; ++i) out[i] = AsciiToLower(in[i]);
}

inline void AsciiLowerInPlace(std::string& text) {
  AsciiLowerCopy(text.data(), text.data(), text.size());
}

inline std::string AsciiLower(std::string_view text) {
  std::string result(text);
  AsciiLowerInPlace(result);
  return result;
}

inline std::string AsciiUpper(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = AsciiToUpper(c);
  return result;
}

inline bool AsciiEqualIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (AsciiToLower(a[i]) != AsciiToLower(b[i])) return false;
  return true;
}
