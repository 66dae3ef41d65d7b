#include <openssl/evp.h>

#include "image/sha256.h"

bool ComputeSha256(const uint8_t* bytes, size_t size, uint8_t digest[kSha256Size]) {
  unsigned char out[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(bytes, size, out, &length, EVP_sha256(), nullptr) != 1 || length != kSha256Size)
    return false;
  for (size_t i = 0; i < kSha256Size; ++i)
    digest[i] = out[i];
  return true;
}
