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

// A view into the whole image from offset, ending where PartLength finds the
// fill.
bool CutPart(const FirmwareImage& whole, int32_t offset, uint32_t bodySize, FirmwareImage* part) {
  const int32_t available = whole.length - offset;
  if (offset < 0 || available <= 0) {
    return false;
  }
  // A body size beyond the stored bytes yields length 0 below.
  const int32_t scanStart =
      static_cast<int32_t>(std::min<uint32_t>(bodySize, std::numeric_limits<int32_t>::max()));
  const int32_t length = PartLength(whole.data + offset, scanStart, available);
  if (length == 0) {
    return false;
  }
  part->data = whole.data + offset;
  part->length = length;
  part->crc32 = Crc32(part->data, length);
  return true;
}

void ClearParts(LoadedProgram* program) {
  program->controllerPart = FirmwareImage{};
  program->appPart = FirmwareImage{};
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

int AdoptProgramImage(std::vector<uint8_t>&& file, int64_t offset, LoadedProgram* program) {
  ClearParts(program);
  if (!AdoptImage(std::move(file), offset, std::numeric_limits<int32_t>::max(), &program->image)) {
    return 0;
  }
  if (!program->twoPart) {
    return 1;
  }
  if (!CutPart(program->image, 0, program->header.bodySize, &program->controllerPart) ||
      !CutPart(program->image, kAppPartOffset, program->appHeader.bodySize, &program->appPart)) {
    ClearParts(program);
    return 0;
  }
  return 1;
}

int StoreProgramImage(const uint8_t* bytes, int64_t length, LoadedProgram* program) {
  // Copied before the previous contents are released: the bytes may be a
  // range of the image being replaced.
  std::vector<uint8_t> copy;
  if (!CopyBytes(bytes, length, &copy)) {
    ClearParts(program);
    program->image = FirmwareImage{};
    return 0;
  }
  return AdoptProgramImage(std::move(copy), 0, program);
}

int AdoptPassthroughImage(std::vector<uint8_t>&& file, FirmwareImage* image) {
  return AdoptImage(std::move(file), 0, kPassthroughMaxSize, image) ? 1 : 0;
}

std::string ImageVersionText(const LoadedProgram& program, ImagePart part) {
  const std::string controller = FormatVersionText(program.header.version);
  if (!program.twoPart) {
    return controller;
  }
  if (part == ImagePart::kWhole) {
    return controller + " | " + FormatVersionText(program.appHeader.version);
  }
  return part == ImagePart::kApp ? FormatVersionText(program.appHeader.version) : controller;
}

TransferImage SelectTransferImage(const LoadedProgram& program, ImagePart part) {
  TransferImage transfer;
  const bool onePart = !program.twoPart || part == ImagePart::kWhole;
  transfer.image = onePart                   ? &program.image
                   : part == ImagePart::kApp ? &program.appPart
                                             : &program.controllerPart;
  transfer.header =
      (program.twoPart && part == ImagePart::kApp) ? program.appHeader : program.header;
  transfer.twoPart = program.twoPart;
  transfer.part = part;
  transfer.versionText = ImageVersionText(program, part);
  return transfer;
}
