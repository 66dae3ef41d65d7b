// Finding and checking the firmware image inside a default device program
// file: a one-part image at the image start, or a Controller part and an App
// part at fixed offsets behind 64 KiB that the device never receives.
#include <cstdint>
#include <limits>
#include <vector>

#include "image/checksums.h"
#include "image/file_reader.h"
#include "image/firmware_image.h"

namespace {

constexpr int64_t kControllerHeaderOffset = 0x10000;
constexpr int64_t kAppHeaderOffset = 0x30000;
// Between the image proper and its digest: 8 bytes the loader skips.
constexpr int64_t kDigestGap = 8;
constexpr int64_t kDigestSize = 32;
constexpr int64_t kSearchStep = 4096;

// Checks that the image whose header sits at offset is complete within
// length bytes and, with the digest check, that its stored digest matches.
int CheckImageExtent(const uint8_t* bytes, int64_t offset, int64_t length,
                     const ImageHeader& header, bool digestCheck) {
  const int64_t imageSize = static_cast<int64_t>(header.headerSize) + header.bodySize;
  if (imageSize > std::numeric_limits<int32_t>::max()) {
    return 0;
  }
  if (!digestCheck) {
    return length >= offset + imageSize ? 1 : 0;
  }
  if (length < offset + imageSize + kDigestGap + kDigestSize) {
    return 0;
  }
  const uint8_t* image = bytes + offset;
  return VerifyImageDigest(image, static_cast<int32_t>(imageSize), image + imageSize + kDigestGap);
}

bool HeaderAt(const uint8_t* bytes, int64_t length, int64_t offset, ImageHeader* header) {
  return length - offset >= kImageHeaderSize && DecodeImageHeader(bytes + offset, header);
}

// The first start (0, then 4096, 8192, ... when searching) at which a valid
// image begins, or -1.
int64_t FindImageStart(const std::vector<uint8_t>& file, bool onePartOnly, bool digestCheck,
                       bool search) {
  const int64_t size = static_cast<int64_t>(file.size());
  if (ParseImage(file.data(), size, onePartOnly, digestCheck) == 1) {
    return 0;
  }
  if (!search || size <= kSearchStep) {
    return -1;
  }
  for (int64_t start = kSearchStep; start < size; start += kSearchStep) {
    if (ParseImage(file.data() + start, size - start, onePartOnly, digestCheck) == 1) {
      return start;
    }
  }
  return -1;
}

}  // namespace

int ParseImage(const uint8_t* bytes, int64_t length, bool onePartOnly, bool digestCheck) {
  if (bytes == nullptr || length <= 0) {
    return 0;
  }
  ImageHeader header;
  if (HeaderAt(bytes, length, 0, &header)) {
    ProgramHeader = header;
    TwoPartImage = false;
    return CheckImageExtent(bytes, 0, length, header, digestCheck);
  }
  if (onePartOnly) {
    return 0;
  }
  TwoPartImage = true;
  if (!HeaderAt(bytes, length, kControllerHeaderOffset, &header)) {
    return 0;
  }
  ProgramHeader = header;
  if (!HeaderAt(bytes, length, kAppHeaderOffset, &header)) {
    return 0;
  }
  AppHeader = header;
  // Only the App part carries a digest the loader checks; the Controller
  // part is checked by the device.
  return CheckImageExtent(bytes, kAppHeaderOffset, length, header, digestCheck);
}

int LoadProgramFile(const std::string& path, bool onePartOnly, bool digestCheck, bool search) {
  std::vector<uint8_t> file;
  // Image lengths are signed 32-bit throughout, so a file of 2 GiB or more
  // is refused before it is read.
  if (ReadWholeFile(path, std::numeric_limits<int32_t>::max(), &file) != FileReadResult::kOk) {
    return 0;
  }
  const int64_t start = FindImageStart(file, onePartOnly, digestCheck, search);
  if (start < 0) {
    return 0;
  }
  const int64_t stored = TwoPartImage ? start + kControllerHeaderOffset : start;
  const int64_t size = static_cast<int64_t>(file.size());
  return StoreProgramImage(file.data() + stored, size - stored);
}
