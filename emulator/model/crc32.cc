#include <zlib.h>

#include <algorithm>

#include "model/digest.h"

namespace emu {
namespace internal {

uint32_t Crc32(const Bytes& bytes) {
  uLong crc = crc32(0L, Z_NULL, 0);
  const Bytes::value_type* p = bytes.data();
  size_t left = bytes.size();
  // zlib takes at most a uInt at a time.
  while (left > 0) {
    uInt chunk = static_cast<uInt>(std::min<size_t>(left, 1u << 30));
    crc = crc32(crc, p, chunk);
    p += chunk;
    left -= chunk;
  }
  return static_cast<uint32_t>(crc);
}

}  // namespace internal
}  // namespace emu
