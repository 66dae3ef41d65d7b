// The images the device procedures send: the default device program (with
// its two parts when it has them) and the passthrough device's program, each
// with its CRC-32, and the headers of the program. The records are the
// caller's: every function here works on the one it is given.
#ifndef QUORVEL_IMAGE_IMAGE_STORE_H_
#define QUORVEL_IMAGE_IMAGE_STORE_H_

#include <cstdint>
#include <string>
#include <vector>

#include "image/image_layout.h"

constexpr int32_t kPassthroughMaxSize = 0x20000;

struct FirmwareImage {
  const uint8_t* data = nullptr;  // owned images point into storage
  int32_t length = 0;
  uint32_t crc32 = 0;
  std::vector<uint8_t> storage;  // empty for views
};

// The default device program as loaded: the whole image, and for a
// two-part image its parts, which are views into the whole one (moving the
// record keeps them valid; copying it does not).
struct LoadedProgram {
  FirmwareImage image;
  FirmwareImage controllerPart;  // two-part only: view into image
  FirmwareImage appPart;         // two-part only: view into image
  ImageHeader header;            // the one-part image's, or the Controller part's
  ImageHeader appHeader;         // two-part only
  bool twoPart = false;
};

// Which bytes of the program one transfer sends: the whole image, or one
// part of a two-part image. For a one-part image every choice is the whole.
enum class ImagePart { kWhole, kController, kApp };

// What one transfer sends and announces: the bytes, the header whose word
// and version go into the firmware information, and which part it is.
struct TransferImage {
  const FirmwareImage* image = nullptr;  // points into the LoadedProgram
  ImageHeader header;
  bool twoPart = false;
  ImagePart part = ImagePart::kWhole;
  // The version text the updated device must report (ImageVersionText).
  std::string versionText;
};

// The transfer of that part of the program; the record must outlive it.
TransferImage SelectTransferImage(const LoadedProgram& program, ImagePart part);

// Copies length bytes into program->image and computes its CRC-32; for a
// two-part image (program->twoPart, with both headers set) also cuts
// controllerPart at offset 0 and appPart at 0x20000. 1 on success; 0 when
// length is not 1 to 2^31-1, memory runs out or a part has length 0,
// leaving the image empty (or without parts); the headers and twoPart are
// never written. The bytes may lie inside the current program->image.
int StoreProgramImage(const uint8_t* bytes, int64_t length, LoadedProgram* program);
// StoreProgramImage without the copy: takes the file buffer over and keeps
// the bytes from offset on as program->image. Same results.
int AdoptProgramImage(std::vector<uint8_t>&& file, int64_t offset, LoadedProgram* program);
// Takes the buffer over as *image with its CRC-32: 1, or 0 (and an empty
// *image) when its length is not 1 to kPassthroughMaxSize.
int AdoptPassthroughImage(std::vector<uint8_t>&& file, FirmwareImage* image);

// The length of a part that starts at part and may run over available bytes:
// it ends inside the first run of 32 0xFF bytes at or after scanStart,
// rounded down to 16; without such a run it takes every available byte.
// 0 when scanStart is not inside the available bytes.
int32_t PartLength(const uint8_t* part, int32_t scanStart, int32_t available);

// The version text the updated device must report: of the header of a
// one-part image; for a two-part image of the part being flashed, or with
// kWhole both joined by " | ".
std::string ImageVersionText(const LoadedProgram& program, ImagePart part);

#endif  // QUORVEL_IMAGE_IMAGE_STORE_H_
