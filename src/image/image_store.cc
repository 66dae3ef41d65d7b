// Keeping loaded programs in memory with their CRC-32, and cutting the two
// parts of a two-part image.
#include "image/image_store.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <new>
#include <utility>
#include <vector>

#include "image/checksums.h"

FirmwareImage ProgramImage;
FirmwareImage ControllerPart;
FirmwareImage AppPart;
FirmwareImage PassthroughImage;
ImageHeader ProgramHeader;
ImageHeader AppHeader;
bool TwoPartImage = false;

namespace {

// Offset of the App part within the stored two-part image.
constexpr int32_t kAppPartOffset = 0x20000;
// The part ends inside the erased flash that follows it: the first run of
// this many 0xFF bytes marks the fill.
constexpr int32_t kFillRunLength = 32;
constexpr int32_t kPartAlignment = 16;

// A copy of the bytes, or false when there is nothing to copy or no memory.
bool CopyBytes(const uint8_t* bytes, int64_t length, std::vector<uint8_t>* copy) {
  if (bytes == nullptr || length <= 0 || length > std::numeric_limits<int32_t>::max())
    return false;
  try {
    copy->assign(bytes, bytes + length);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

// Takes the buffer over as the image, from offset to its end.
bool AdoptImage(std::vector<uint8_t>&& buffer, int64_t offset, int64_t maxLength,
                FirmwareImage* image) {
  const int64_t length = static_cast<int64_t>(buffer.size()) - offset;
  *image = FirmwareImage{};
  if (offset < 0 || length <= 0 || length > maxLength)
    return false;
  image->storage = std::move(buffer);
  image->data = image->storage.data() + offset;
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

int AdoptProgramImage(std::vector<uint8_t>&& file, int64_t offset) {
  ControllerPart = FirmwareImage{};
  AppPart = FirmwareImage{};
  if (!AdoptImage(std::move(file), offset, std::numeric_limits<int32_t>::max(), &ProgramImage)) {
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

int StoreProgramImage(const uint8_t* bytes, int64_t length) {
  // Copied before the previous contents are released: the bytes may be a
  // range of the image being replaced.
  std::vector<uint8_t> copy;
  if (!CopyBytes(bytes, length, &copy)) {
    ControllerPart = FirmwareImage{};
    AppPart = FirmwareImage{};
    ProgramImage = FirmwareImage{};
    return 0;
  }
  return AdoptProgramImage(std::move(copy), 0);
}

int AdoptPassthroughImage(std::vector<uint8_t>&& file) {
  return AdoptImage(std::move(file), 0, kPassthroughMaxSize, &PassthroughImage) ? 1 : 0;
}

int StorePassthroughImage(const uint8_t* bytes, int64_t length) {
  std::vector<uint8_t> copy;
  if (length > kPassthroughMaxSize || !CopyBytes(bytes, length, &copy)) {
    PassthroughImage = FirmwareImage{};
    return 0;
  }
  return AdoptPassthroughImage(std::move(copy));
}

std::string ImageVersionText(bool singlePart, bool appSelected) {
  if (!TwoPartImage) {
    return FormatVersionText(ProgramHeader.version);
  }
  if (!singlePart) {
    return FormatVersionText(ProgramHeader.version) + " | " + FormatVersionText(AppHeader.version);
  }
  return FormatVersionText(appSelected ? AppHeader.version : ProgramHeader.version);
}

void ResetImages() {
  ProgramImage = FirmwareImage{};
  ControllerPart = FirmwareImage{};
  AppPart = FirmwareImage{};
  PassthroughImage = FirmwareImage{};
  ProgramHeader = ImageHeader{};
  AppHeader = ImageHeader{};
  TwoPartImage = false;
}
