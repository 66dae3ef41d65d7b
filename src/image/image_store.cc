// Keeping loaded programs in memory with their CRC-32, cutting the two parts
// of a two-part image, and loading the passthrough device's program.
#include <algorithm>
#include <cstdint>
#include <limits>
#include <new>
#include <vector>

#include "image/checksums.h"
#include "image/file_reader.h"
#include "image/firmware_image.h"

namespace {

// Offset of the App part within the stored two-part image.
constexpr int32_t kAppPartOffset = 0x20000;
// The part ends inside the erased flash that follows it: the first run of
// this many 0xFF bytes marks the fill.
constexpr int32_t kFillRunLength = 32;
constexpr int32_t kPartAlignment = 16;

// Copies before the previous contents are released: the bytes may be a
// range of the image being replaced.
bool StoreOwnedImage(const uint8_t* bytes, int64_t length, FirmwareImage* image) {
  std::vector<uint8_t> copy;
  bool copied = false;
  if (bytes != nullptr && length > 0 && length <= std::numeric_limits<int32_t>::max()) {
    try {
      copy.assign(bytes, bytes + length);
      copied = true;
    } catch (const std::bad_alloc&) {
      copied = false;
    }
  }
  *image = FirmwareImage{};
  if (!copied) {
    return false;
  }
  image->storage.swap(copy);
  image->data = image->storage.data();
  image->length = static_cast<int32_t>(length);
  image->crc32 = Crc32(image->data, image->length);
  return true;
}

// A view into ProgramImage from offset, ending where PartLength finds the fill.
bool CutPart(int32_t offset, uint32_t bodySize, FirmwareImage* part) {
  const int32_t available = ProgramImage.length - offset;
  if (offset < 0 || available <= 0) {
    return false;
  }
  // A body size beyond the stored bytes yields length 0 below.
  const int32_t scanStart =
      static_cast<int32_t>(std::min<uint32_t>(bodySize, std::numeric_limits<int32_t>::max()));
  const int32_t length = PartLength(ProgramImage.data + offset, scanStart, available);
  if (length == 0) {
    return false;
  }
  part->data = ProgramImage.data + offset;
  part->length = length;
  part->crc32 = Crc32(part->data, length);
  return true;
}

}  // namespace

int32_t PartLength(const uint8_t* part, int32_t scanStart, int32_t available) {
  if (part == nullptr || scanStart <= 0 || scanStart >= available) {
    return 0;
  }
  int32_t run = 0;
  for (int32_t k = scanStart; k < available; ++k) {
    run = part[k] == 0xFF ? run + 1 : 0;
    if (run == kFillRunLength) {
      return k / kPartAlignment * kPartAlignment;
    }
  }
  return available;
}

int StoreProgramImage(const uint8_t* bytes, int64_t length) {
  ControllerPart = FirmwareImage{};
  AppPart = FirmwareImage{};
  if (!StoreOwnedImage(bytes, length, &ProgramImage)) {
    return 0;
  }
  if (!TwoPartImage) {
    return 1;
  }
  if (!CutPart(0, ProgramHeader.bodySize, &ControllerPart) ||
      !CutPart(kAppPartOffset, AppHeader.bodySize, &AppPart)) {
    ControllerPart = FirmwareImage{};
    AppPart = FirmwareImage{};
    return 0;
  }
  return 1;
}

int StorePassthroughImage(const uint8_t* bytes, int64_t length) {
  if (length > kPassthroughMaxSize) {
    PassthroughImage = FirmwareImage{};
    return 0;
  }
  return StoreOwnedImage(bytes, length, &PassthroughImage) ? 1 : 0;
}

int LoadPassthroughFile(const std::string& path) {
  std::vector<uint8_t> file;
  if (ReadWholeFile(path, kPassthroughMaxSize, &file) != FileReadResult::kOk) {
    return 0;
  }
  return StorePassthroughImage(file.data(), static_cast<int64_t>(file.size()));
}
