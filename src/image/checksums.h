// CRC-32 sent to the device with every image, and the SHA-256 digest that
// proves a program file holds an intact image.
#ifndef QUORVEL_IMAGE_CHECKSUMS_H_
#define QUORVEL_IMAGE_CHECKSUMS_H_

#include <cstdint>

// The common CRC-32 (zlib, PNG, Ethernet); length > 0.
uint32_t Crc32(const uint8_t* bytes, int32_t length);
// 1 when the SHA-256 of size bytes equals the 32 stored bytes, else 0 (also
// for absent buffers and size <= 0).
int VerifyImageDigest(const uint8_t* image, int32_t size, const uint8_t* stored);

#endif  // QUORVEL_IMAGE_CHECKSUMS_H_
