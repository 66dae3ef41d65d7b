// SHA-256 with Windows CNG, as the device computes it over what it received.

// windows.h comes first: the other Windows headers build on its types.
// clang-format off
#include <windows.h>
#include <bcrypt.h>
// clang-format on

#include <cctype>

#include "model/digest.h"
#include "model/hex.h"

namespace emu {
namespace internal {

std::string Sha256Hex(const Bytes& bytes) {
  unsigned char digest[32];
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  if (bytes.size() > 0xFFFFFFFFu ||
      !BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0)))
    return "";
  NTSTATUS status =
      BCryptHash(algorithm, nullptr, 0, const_cast<PUCHAR>(bytes.data()),
                 static_cast<ULONG>(bytes.size()), digest, static_cast<ULONG>(sizeof(digest)));
  BCryptCloseAlgorithmProvider(algorithm, 0);
  if (!BCRYPT_SUCCESS(status))
    return "";
  std::string hex = HexText(digest, sizeof(digest));
  for (char& ch : hex)
    ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return hex;
}

// bcrypt.dll is loaded before this DLL and detached after it, so it still
// works in our exit handler.
void PrepareDigestForExit() {}

}  // namespace internal
}  // namespace emu
