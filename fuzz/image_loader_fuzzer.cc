// Any bytes as a default device program file, with the loader flags of every
// chip platform, or as a passthrough program file. Whatever the loader
// accepts must be a well-formed image whose stored bytes, parts, checksums
// and version texts follow from the file; everything else it must refuse
// without touching memory it does not own.
//
// Input: one control byte, then the file. Control bits 0-2: chip platform
// (value mod 5); bit 3: a passthrough file; bit 4: a sparse two-part layout,
// where the rest is [len16 LE][piece at 0][len16 LE][piece at 0x10000]
// [piece at 0x30000] over erased flash (0xFF), so that small inputs reach
// the two-part layout.
#include <openssl/evp.h>
#include <sys/mman.h>
#include <unistd.h>
#include <zlib.h>

#include <cstring>
#include <string>
#include <vector>

#include "console/loaded_images.h"
#include "fuzz_support.h"
#include "image/image_store.h"
#include "image/program_loader.h"

namespace {

constexpr size_t kControllerAt = 0x10000;
constexpr size_t kAppAt = 0x30000;
constexpr size_t kAppInStored = 0x20000;
constexpr uint8_t kMagic[4] = {0x3D, 0xB8, 0xF3, 0x96};

uint32_t Le32(const uint8_t* p) {
  return p[0] | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

uint32_t ZlibCrc(const uint8_t* data, size_t size) {
  return static_cast<uint32_t>(crc32(crc32(0L, Z_NULL, 0), data, static_cast<uInt>(size)));
}

bool DigestMatches(const uint8_t* image, size_t size, const uint8_t* stored) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(image, size, digest, &length, EVP_sha256(), nullptr);
  return length == 32 && memcmp(digest, stored, 32) == 0;
}

// A file through the same path the program takes: a name to open.
std::string WriteFile(const std::vector<uint8_t>& bytes) {
  static int fd = memfd_create("quorvel-fuzz", 0);
  fuzz::Check(fd >= 0, "a memory file can be made");
  fuzz::Check(ftruncate(fd, 0) == 0, "the memory file can be emptied");
  size_t written = 0;
  while (written < bytes.size()) {
    ssize_t n =
        pwrite(fd, bytes.data() + written, bytes.size() - written, static_cast<off_t>(written));
    fuzz::Check(n > 0, "the memory file can be written");
    written += static_cast<size_t>(n);
  }
  return "/proc/self/fd/" + std::to_string(fd);
}

std::vector<uint8_t> Sparse(const uint8_t* data, size_t size) {
  std::vector<uint8_t> pieces[3];
  size_t at = 0;
  for (int i = 0; i < 2; ++i) {
    size_t length = at + 2 <= size ? data[at] | (data[at + 1] << 8) : 0;
    at = at + 2 <= size ? at + 2 : size;
    length = std::min(length, size - at);
    pieces[i].assign(data + at, data + at + length);
    at += length;
  }
  pieces[2].assign(data + at, data + size);
  std::vector<uint8_t> file(kAppAt + pieces[2].size(), 0xFF);
  std::copy(pieces[0].begin(), pieces[0].begin() + std::min(pieces[0].size(), kControllerAt),
            file.begin());
  std::copy(pieces[1].begin(),
            pieces[1].begin() + std::min(pieces[1].size(), kAppAt - kControllerAt),
            file.begin() + kControllerAt);
  std::copy(pieces[2].begin(), pieces[2].end(), file.begin() + kAppAt);
  return file;
}

// The Controller part's extent is not checked by the loader: its length is
// found from the fill that follows it.
void CheckHeaderAt(const uint8_t* header, size_t available, bool extent, bool digest) {
  fuzz::Check(available >= 32 && memcmp(header, kMagic, 4) == 0, "an accepted image has a header");
  uint32_t headerSize = header[8] | (header[9] << 8);
  uint32_t bodySize = Le32(header + 12);
  fuzz::Check(headerSize >= 32 && bodySize != 0, "an accepted header has sizes");
  uint64_t image = uint64_t{headerSize} + bodySize;
  if (!extent)
    return;
  fuzz::Check(image <= available, "an accepted image lies within the stored bytes");
  if (digest) {
    fuzz::Check(image + 40 <= available, "an accepted image keeps its digest");
    fuzz::Check(DigestMatches(header, image, header + image + 8), "the digest really matches");
  }
}

void CheckPart(const FirmwareImage& part, const uint8_t* start, size_t available) {
  fuzz::Check(part.data == start, "a part is a view at its offset");
  fuzz::Check(part.length > 0 && static_cast<size_t>(part.length) <= available,
              "a part lies within the stored image");
  fuzz::Check(part.length % 16 == 0 || static_cast<size_t>(part.length) == available,
              "a part ends on 16 bytes or at the end");
  fuzz::Check(part.crc32 == ZlibCrc(part.data, static_cast<size_t>(part.length)),
              "a part's CRC-32 covers the part");
}

void CheckVersionTexts() {
  for (ImagePart part : {ImagePart::kWhole, ImagePart::kController, ImagePart::kApp}) {
    std::string text = ImageVersionText(LoadedImages.program, part);
    bool both = TwoPartImage && part == ImagePart::kWhole;
    fuzz::Check(text.size() == (both ? 41u : 19u), "a version text has its length");
  }
}

void CheckProgram(const std::vector<uint8_t>& file, int platform) {
  bool digest = platform != 3;
  fuzz::Check(!(platform == 0 && TwoPartImage), "platform 0 takes one-part images only");
  const FirmwareImage& image = ProgramImage;
  size_t length = static_cast<size_t>(image.length);
  fuzz::Check(image.data != nullptr && image.length > 0, "an accepted program is stored");
  fuzz::Check(length <= file.size(), "the stored image comes from the file");
  size_t stored = file.size() - length;
  fuzz::Check(!TwoPartImage || stored >= kControllerAt, "a two-part image skips its first 64 KiB");
  size_t start = TwoPartImage ? stored - kControllerAt : stored;
  fuzz::Check(start % 4096 == 0, "the image starts on a search step");
  fuzz::Check(platform == 3 || start == 0, "only platform 3 searches");
  fuzz::Check(memcmp(image.data, file.data() + stored, length) == 0,
              "the stored image is the file from the image start to its end");
  fuzz::Check(image.crc32 == ZlibCrc(image.data, length), "the CRC-32 covers the stored image");
  if (!TwoPartImage) {
    CheckHeaderAt(image.data, length, true, digest);
  } else {
    fuzz::Check(length >= kAppInStored + 32, "a two-part image holds its App header");
    CheckHeaderAt(image.data, length, false, false);
    CheckHeaderAt(image.data + kAppInStored, length - kAppInStored, true, digest);
    CheckPart(ControllerPart, image.data, length);
    CheckPart(AppPart, image.data + kAppInStored, length - kAppInStored);
  }
  CheckVersionTexts();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0)
    return 0;
  uint8_t control = data[0];
  int platform = (control & 0x07) % 5;
  std::vector<uint8_t> file =
      (control & 0x10) ? Sparse(data + 1, size - 1) : std::vector<uint8_t>(data + 1, data + size);
  std::string path = WriteFile(file);
  ResetImages();
  if (control & 0x08) {
    int loaded = LoadPassthroughFile(path, &LoadedImages.passthrough);
    bool fits = !file.empty() && file.size() <= 0x20000;
    fuzz::Check(loaded == (fits ? 1 : 0),
                "a passthrough file loads exactly when 1 to 131072 bytes");
    if (loaded) {
      fuzz::Check(PassthroughImage.length == static_cast<int32_t>(file.size()) &&
                      memcmp(PassthroughImage.data, file.data(), file.size()) == 0,
                  "the passthrough image is the whole file");
      fuzz::Check(PassthroughImage.crc32 == ZlibCrc(file.data(), file.size()),
                  "the passthrough CRC-32 covers the file");
    }
  } else if (LoadProgramFile(path, ProgramFileChecks{platform == 0, platform != 3, platform == 3},
                             &LoadedImages.program) == 1) {
    CheckProgram(file, platform);
  }
  ResetImages();
  return 0;
}
