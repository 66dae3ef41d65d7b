// Finding and checking the firmware image inside a default device program
// file: a one-part image at the image start, or a Controller part and an App
// part at fixed offsets behind 64 KiB that the device never receives. The
// file is not read whole: the search asks only for the headers at the
// starts it tries, and only the bytes from the image found (the Controller
// part for two parts) to the end of the file are read and kept. The search
// is pure; the caller's record is written once, by the loader, from the
// layout that was found.
#include "image/program_loader.h"

#include <cstdint>
#include <limits>
#include <new>
#include <utility>
#include <vector>

#include "image/checksums.h"
#include "image/file_reader.h"
#include "image/header_windows.h"
#include "image/image_store.h"

namespace {

constexpr int64_t kControllerHeaderOffset = 0x10000;
constexpr int64_t kAppHeaderOffset = 0x30000;
// Between the image proper and its digest: 8 bytes the loader skips.
constexpr int64_t kDigestGap = 8;
constexpr int64_t kDigestSize = 32;
constexpr int64_t kSearchStep = 4096;

// Where ParseLayout takes the headers from: in memory, or from the header
// windows of an open file; offsets are relative to the image start.
struct HeaderSource {
  const uint8_t* bytes = nullptr;
  HeaderWindows* windows = nullptr;
  int64_t start = 0;
};

// The bytes whose SHA-256 must match, relative to the image start: the
// image proper, its stored digest kDigestGap bytes after its end.
struct DigestRange {
  int64_t offset = 0;
  int64_t size = 0;
};

bool HeaderAt(const HeaderSource& source, int64_t length, int64_t offset, ImageHeader* header) {
  if (length - offset < kImageHeaderSize) {
    return false;
  }
  if (source.windows != nullptr) {
    return WindowHeader(source.windows, source.start + offset, header);
  }
  return DecodeImageHeader(source.bytes + offset, header);
}

// Checks that the image whose header sits at offset is complete within
// length bytes, with room for its digest when that is checked.
bool ImageFits(int64_t offset, int64_t length, const ImageHeader& header, bool digestCheck,
               DigestRange* digest) {
  const int64_t imageSize = static_cast<int64_t>(header.headerSize) + header.bodySize;
  if (imageSize > std::numeric_limits<int32_t>::max()) {
    return false;
  }
  digest->offset = offset;
  digest->size = imageSize;
  return length >= offset + imageSize + (digestCheck ? kDigestGap + kDigestSize : 0);
}

// The layout the headers describe, everything of ParseImage but the digest
// comparison: true with *layout and *digest filled.
bool ParseLayout(const HeaderSource& source, int64_t length, const ProgramFileChecks& checks,
                 ImageLayout* layout, DigestRange* digest) {
  *layout = ImageLayout{};
  if (HeaderAt(source, length, 0, &layout->programHeader)) {
    return ImageFits(0, length, layout->programHeader, checks.digestCheck, digest);
  }
  if (checks.onePartOnly) {
    return false;
  }
  layout->twoPart = true;
  if (!HeaderAt(source, length, kControllerHeaderOffset, &layout->programHeader) ||
      !HeaderAt(source, length, kAppHeaderOffset, &layout->appHeader)) {
    return false;
  }
  // Only the App part carries a digest the loader checks; the Controller
  // part is checked by the device.
  return ImageFits(kAppHeaderOffset, length, layout->appHeader, checks.digestCheck, digest);
}

bool DigestMatches(const uint8_t* bytes, const DigestRange& digest) {
  const uint8_t* image = bytes + digest.offset;
  return VerifyImageDigest(image, static_cast<int32_t>(digest.size),
                           image + digest.size + kDigestGap) == 1;
}

// Reads the bytes from offset to the end of the file: what the device is
// sent, and all a digest check needs.
bool ReadStoredBytes(const OpenedFile& file, int64_t offset, std::vector<uint8_t>* stored) {
  try {
    stored->resize(static_cast<size_t>(file.size - offset));
  } catch (const std::bad_alloc&) {
    return false;
  }
  return ReadFileRange(file, offset, stored->size(), stored->data());
}

// Tries the image start: 1 with *stored holding the bytes to keep (from
// the start, or from the Controller part of two parts) and *layout, 0 when
// no valid image begins there, -1 when the file could not be read.
int TryImageStart(HeaderWindows* windows, int64_t start, const ProgramFileChecks& checks,
                  ImageLayout* layout, std::vector<uint8_t>* stored) {
  const HeaderSource source{nullptr, windows, start};
  DigestRange digest;
  if (!ParseLayout(source, windows->file->size - start, checks, layout, &digest)) {
    return windows->readFailed ? -1 : 0;
  }
  const int64_t keptFrom = layout->twoPart ? kControllerHeaderOffset : 0;
  // The scan's chunk is not needed beside the kept bytes.
  std::vector<uint8_t>().swap(windows->chunk);
  if (!ReadStoredBytes(*windows->file, start + keptFrom, stored)) {
    return -1;
  }
  // The digested range lies inside the kept bytes.
  digest.offset -= keptFrom;
  return !checks.digestCheck || DigestMatches(stored->data(), digest) ? 1 : 0;
}

// The first start (0, then 4096, 8192, ... when searching) at which a valid
// image begins: true with *layout and *stored, false when there is none or
// the file could not be read.
bool FindImage(const OpenedFile& file, const ProgramFileChecks& checks, ImageLayout* layout,
               std::vector<uint8_t>* stored) {
  HeaderWindows windows;
  windows.file = &file;
  for (int64_t start = 0; start < file.size; start += kSearchStep) {
    const int found = TryImageStart(&windows, start, checks, layout, stored);
    if (found != 0) {
      return found == 1;
    }
    if (!checks.search) {
      break;
    }
  }
  return false;
}

}  // namespace

int ParseImage(const uint8_t* bytes, int64_t length, const ProgramFileChecks& checks,
               ImageLayout* layout) {
  if (bytes == nullptr || length <= 0) {
    return 0;
  }
  const HeaderSource source{bytes, nullptr, 0};
  DigestRange digest;
  if (!ParseLayout(source, length, checks, layout, &digest)) {
    return 0;
  }
  return !checks.digestCheck || DigestMatches(bytes, digest) ? 1 : 0;
}

int LoadProgramFile(const std::string& path, const ProgramFileChecks& checks,
                    LoadedProgram* program, ProgramLoadFailure* failure) {
  OpenedFile file;
  if (OpenFileForRanges(path, &file) != FileReadResult::kOk) {
    return 0;
  }
  // Image lengths are signed 32-bit throughout, so a file of 2 GiB or more
  // is refused before anything is read.
  if (file.size > kProgramMaxSize) {
    if (failure != nullptr) {
      failure->tooLarge = true;
      failure->fileSize = file.size;
    }
    return 0;
  }
  ImageLayout layout;
  std::vector<uint8_t> stored;
  if (!FindImage(file, checks, &layout, &stored)) {
    return 0;
  }
  program->header = layout.programHeader;
  if (layout.twoPart)
    program->appHeader = layout.appHeader;
  program->twoPart = layout.twoPart;
  // Only the kept bytes were read, and they become the image: the program
  // exists once in memory.
  return AdoptProgramImage(std::move(stored), 0, program);
}

int LoadPassthroughFile(const std::string& path, FirmwareImage* image) {
  std::vector<uint8_t> file;
  if (ReadWholeFile(path, kPassthroughMaxSize, &file) != FileReadResult::kOk) {
    return 0;
  }
  return AdoptPassthroughImage(std::move(file), image);
}
