// ASCII case folding that ignores the locale: device paths, lock names,
// commands and locale names are compared the same way everywhere.
#ifndef QUORVEL_PLATFORM_ASCII_H_
#define QUORVEL_PLATFORM_ASCII_H_

#include <string>

// 'A' to 'Z' become 'a' to 'z'; every other byte is returned unchanged.
inline char LowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// The text with LowerAscii applied to each byte.
inline std::string LowerAscii(std::string text) {
  for (char& c : text)
    c = LowerAscii(c);
  return text;
}

#endif  // QUORVEL_PLATFORM_ASCII_H_
