// Windows CNG: the system's own provider, so the zip needs no crypto library.

// windows.h comes first: the other Windows headers build on its types.
// clang-format off
#include <windows.h>
#include <bcrypt.h>
// clang-format on

#include "image/sha256.h"

bool ComputeSha256(const uint8_t* bytes, size_t size, uint8_t digest[kSha256Size]) {
  // BCryptHash takes a 32-bit length; firmware files are far smaller.
  if (size > 0xFFFFFFFFu)
    return false;
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0)))
    return false;
  NTSTATUS status = BCryptHash(algorithm, nullptr, 0, const_cast<PUCHAR>(bytes),
                               static_cast<ULONG>(size), digest, kSha256Size);
  BCryptCloseAlgorithmProvider(algorithm, 0);
  return BCRYPT_SUCCESS(status);
}
