// Finding and checking the firmware image inside a default device program
// file: a one-part image at the image start, or a Controller part and an App
// part at fixed offsets behind 64 KiB that the device never receives. The
// search is pure; the caller's record is written once, by the loader, from
// the layout that was found.
#include "image/program_loader.h"

#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "image/checksums.h"
#include "image/file_reader.h"
#include "image/image_store.h"

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
int64_t FindImageStart(const std::vector<uint8_t>& file, const ProgramFileChecks& checks,
                       ImageLayout* layout) {
  const int64_t size = static_cast<int64_t>(file.size());
  if (ParseImage(file.data(), size, checks, layout) == 1) {
    return 0;
  }
  if (!checks.search || size <= kSearchStep) {
    return -1;
  }
  for (int64_t start = kSearchStep; start < size; start += kSearchStep) {
    if (ParseImage(file.data() + start, size - start, checks, layout) == 1) {
      return start;
    }
  }
  return -1;
}

}  // namespace

int ParseImage(const uint8_t* bytes, int64_t length, const ProgramFileChecks& checks,
               ImageLayout* layout) {
  if (bytes == nullptr || length <= 0) {
    return 0;
  }
  *layout = ImageLayout{};
  if (HeaderAt(bytes, length, 0, &layout->programHeader)) {
    return CheckImageExtent(bytes, 0, length, layout->programHeader, checks.digestCheck);
  }
  if (checks.onePartOnly) {
    return 0;
  }
  layout->twoPart = true;
  if (!HeaderAt(bytes, length, kControllerHeaderOffset, &layout->programHeader) ||
      !HeaderAt(bytes, length, kAppHeaderOffset, &layout->appHeader)) {
    return 0;
  }
  // Only the App part carries a digest the loader checks; the Controller
  // part is checked by the device.
  return CheckImageExtent(bytes, kAppHeaderOffset, length, layout->appHeader, checks.digestCheck);
}

int LoadProgramFile(const std::string& path, const ProgramFileChecks& checks,
                    LoadedProgram* program) {
  std::vector<uint8_t> file;
  // Image lengths are signed 32-bit throughout, so a file of 2 GiB or more
  // is refused before it is read.
  if (ReadWholeFile(path, std::numeric_limits<int32_t>::max(), &file) != FileReadResult::kOk) {
    return 0;
  }
  ImageLayout layout;
  const int64_t start = FindImageStart(file, checks, &layout);
  if (start < 0) {
    return 0;
  }
  program->header = layout.programHeader;
  if (layout.twoPart)
    program->appHeader = layout.appHeader;
  program->twoPart = layout.twoPart;
  // The file buffer becomes the image: a large program exists once in memory.
  return AdoptProgramImage(std::move(file),
                           layout.twoPart ? start + kControllerHeaderOffset : start, program);
}

int LoadPassthroughFile(const std::string& path, FirmwareImage* image) {
  std::vector<uint8_t> file;
  if (ReadWholeFile(path, kPassthroughMaxSize, &file) != FileReadResult::kOk) {
    return 0;
  }
  return AdoptPassthroughImage(std::move(file), image);
}
