// SHA-256 from the system's cryptography: OpenSSL's libcrypto on Linux
// (sha256_openssl.cc), Windows CNG (sha256_win32.cc); the build picks one.
#ifndef QUORVEL_IMAGE_SHA256_H_
#define QUORVEL_IMAGE_SHA256_H_

#include <cstddef>
#include <cstdint>

constexpr size_t kSha256Size = 32;

// The digest of size bytes into digest; false when the system could not
// compute it.
bool ComputeSha256(const uint8_t* bytes, size_t size, uint8_t digest[kSha256Size]);

#endif  // QUORVEL_IMAGE_SHA256_H_
