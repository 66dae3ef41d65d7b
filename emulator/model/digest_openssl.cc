// SHA-256 with libcrypto, as the device computes it over what it received.
#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <cctype>

#include "model/digest.h"
#include "model/hex.h"

namespace emu {
namespace internal {

std::string Sha256Hex(const Bytes& bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  EVP_MD_CTX* ctx = EVP_MD_CTX_new();
  bool ok = ctx && EVP_DigestInit_ex(ctx, EVP_sha256(), nullptr) == 1 &&
            EVP_DigestUpdate(ctx, bytes.data(), bytes.size()) == 1 &&
            EVP_DigestFinal_ex(ctx, digest, &size) == 1;
  EVP_MD_CTX_free(ctx);
  if (!ok)
    return "";
  std::string hex = HexText(digest, size);
  for (char& ch : hex)
    ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return hex;
}

// libcrypto registers its own exit handler when it first initialises; our
// handler, registered after this, runs before that teardown. A zero option
// set returns without doing anything, so ask for something.
void PrepareDigestForExit() {
  OPENSSL_init_crypto(OPENSSL_INIT_ADD_ALL_DIGESTS, nullptr);
  Sha256Hex(Bytes());
}

}  // namespace internal
}  // namespace emu
