// The checksums the device computes over what it received: its own CRC-32
// for the verify, and SHA-256 for the record (from the system's
// cryptography: digest_openssl.cc on Linux, digest_win32.cc on Windows).
#ifndef QUORVEL_EMULATOR_MODEL_DIGEST_H_
#define QUORVEL_EMULATOR_MODEL_DIGEST_H_

#include <cstdint>
#include <string>

#include "model/bytes.h"

namespace emu {
namespace internal {

// The CRC-32 of zlib (and of the device's firmware).
uint32_t Crc32(const Bytes& bytes);
// Lower-case hex; empty when the system's cryptography failed.
std::string Sha256Hex(const Bytes& bytes);
// Makes sure hashing still works from the process's exit handlers.
void PrepareDigestForExit();

}  // namespace internal
}  // namespace emu

#endif  // QUORVEL_EMULATOR_MODEL_DIGEST_H_
