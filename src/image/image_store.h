// The process-wide images the device procedures send: the default device
// program (with its two parts when it has them) and the passthrough
// device's program, each with its CRC-32, and the headers of the program.
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

extern FirmwareImage ProgramImage;
extern FirmwareImage ControllerPart;  // view into ProgramImage
extern FirmwareImage AppPart;         // view into ProgramImage
extern FirmwareImage PassthroughImage;
extern ImageHeader ProgramHeader;
extern ImageHeader AppHeader;
extern bool TwoPartImage;

// Copies length bytes into ProgramImage and computes its CRC-32; for a
// two-part image (TwoPartImage, with ProgramHeader and AppHeader set) also
// cuts ControllerPart at offset 0 and AppPart at 0x20000. 1 on success; 0
// when length is not 1 to 2^31-1, memory runs out or a part has length 0,
// leaving ProgramImage empty (or without parts). The bytes may lie inside
// the current ProgramImage.
int StoreProgramImage(const uint8_t* bytes, int64_t length);
// StoreProgramImage without the copy: takes the file buffer over and keeps
// the bytes from offset on as ProgramImage. Same results.
int AdoptProgramImage(std::vector<uint8_t>&& file, int64_t offset);
// Copies the bytes into PassthroughImage with their CRC-32. 0 (and an empty
// PassthroughImage) when length is not 1 to kPassthroughMaxSize.
int StorePassthroughImage(const uint8_t* bytes, int64_t length);
// StorePassthroughImage taking the buffer over instead of copying it.
int AdoptPassthroughImage(std::vector<uint8_t>&& file);

// The length of a part that starts at part and may run over available bytes:
// it ends inside the first run of 32 0xFF bytes at or after scanStart,
// rounded down to 16; without such a run it takes every available byte.
// 0 when scanStart is not inside the available bytes.
int32_t PartLength(const uint8_t* part, int32_t scanStart, int32_t available);

// The version text the updated device must report: of ProgramHeader for a
// one-part image; for a two-part image of the part being flashed (singlePart
// with appSelected choosing the App), or both joined by " | ".
std::string ImageVersionText(bool singlePart, bool appSelected);
// Empties every image and header (tests and program end).
void ResetImages();

#endif  // QUORVEL_IMAGE_IMAGE_STORE_H_
