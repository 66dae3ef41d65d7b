// CRC-32 and SHA-256 over in-memory image bytes. Both are computed once at
// load time; nothing here is on the download path.
#include "image/checksums.h"

#include <zlib.h>

#include <cstring>

#include "image/sha256.h"

uint32_t Crc32(const uint8_t* bytes, int32_t length) {
  uLong crc = crc32(0L, Z_NULL, 0);
  if (bytes == nullptr || length <= 0) {
    return static_cast<uint32_t>(crc);
  }
  crc = crc32(crc, bytes, static_cast<uInt>(length));
  return static_cast<uint32_t>(crc);
}

int VerifyImageDigest(const uint8_t* image, int32_t size, const uint8_t* stored) {
  if (image == nullptr || stored == nullptr || size <= 0) {
    return 0;
  }
  uint8_t digest[kSha256Size];
  if (!ComputeSha256(image, static_cast<size_t>(size), digest)) {
    return 0;
  }
  return std::memcmp(digest, stored, kSha256Size) == 0 ? 1 : 0;
}
