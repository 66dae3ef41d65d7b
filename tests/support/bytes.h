// Digests and pieces of byte strings, as the emulator's record shows them.
#ifndef QUORVEL_TESTS_SUPPORT_BYTES_H_
#define QUORVEL_TESTS_SUPPORT_BYTES_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace e2e {

std::string Sha256Hex(const std::vector<uint8_t>& bytes);  // lower case
std::string Crc32Hex(const std::vector<uint8_t>& bytes);   // "0x" and 8 upper-case digits
// At most length bytes from begin; empty when begin is past the end.
std::vector<uint8_t> Slice(const std::vector<uint8_t>& bytes, size_t begin, size_t length);

}  // namespace e2e

#endif  // QUORVEL_TESTS_SUPPORT_BYTES_H_
