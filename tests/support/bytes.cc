#include "support/bytes.h"

#include <openssl/evp.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>

namespace e2e {

std::string Sha256Hex(const std::vector<uint8_t>& bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  EVP_Digest(bytes.data(), bytes.size(), digest, &size, EVP_sha256(), nullptr);
  std::string hex;
  for (unsigned int i = 0; i < size; ++i) {
    char pair[4];
    std::snprintf(pair, sizeof pair, "%02x", digest[i]);
    hex += pair;
  }
  return hex;
}

std::string Crc32Hex(const std::vector<uint8_t>& bytes) {
  uLong crc = crc32(0L, Z_NULL, 0);
  crc = crc32(crc, bytes.data(), static_cast<uInt>(bytes.size()));
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(crc));
  return text;
}

std::vector<uint8_t> Slice(const std::vector<uint8_t>& bytes, size_t begin, size_t length) {
  if (begin > bytes.size())
    return {};
  length = std::min(length, bytes.size() - begin);
  return std::vector<uint8_t>(bytes.begin() + static_cast<long>(begin),
                              bytes.begin() + static_cast<long>(begin + length));
}

}  // namespace e2e
