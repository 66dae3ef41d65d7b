// Firmware program files: the 32-byte image header, one-part and two-part
// layouts, the process-wide images and their loaders.
#ifndef QUORVEL_IMAGE_FIRMWARE_IMAGE_H_
#define QUORVEL_IMAGE_FIRMWARE_IMAGE_H_

#include <cstdint>
#include <string>
#include <vector>

constexpr uint32_t kImageMagic = 0x96F3B83D;
constexpr int32_t kImageHeaderSize = 32;
constexpr int32_t kPassthroughMaxSize = 0x20000;

struct ImageHeader {
  uint32_t magic = 0;
  uint32_t headerWord = 0;
  uint16_t headerSize = 0;
  uint16_t reserved1 = 0;
  uint32_t bodySize = 0;
  uint32_t reserved2 = 0;
  uint8_t version[8] = {};  // a version record, as stored
  uint32_t reserved3 = 0;
};

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

// Decodes 32 bytes; true when magic, headerSize >= 32 and bodySize != 0 hold.
bool DecodeImageHeader(const uint8_t* bytes, ImageHeader* header);

// Both loaders read regular files only (a FIFO or device node is refused
// before it is opened). Program files of 2 GiB or more do not fit the signed
// 32-bit image lengths and are refused; passthrough files above
// kPassthroughMaxSize bytes are refused unread.
int LoadProgramFile(const std::string& path, bool onePartOnly, bool digestCheck, bool search);
int LoadPassthroughFile(const std::string& path);
int ParseImage(const uint8_t* bytes, int64_t length, bool onePartOnly, bool digestCheck);
int StoreProgramImage(const uint8_t* bytes, int64_t length);
int StorePassthroughImage(const uint8_t* bytes, int64_t length);
int32_t PartLength(const uint8_t* part, int32_t scanStart, int32_t available);
// The version text the updated device must report (MM-mm-RRRR-BBBBBBBB, two
// parts joined by " | ").
std::string ImageVersionText(bool singlePart, bool appSelected);
// MM-mm-RRRR-BBBBBBBB of an 8-byte version record.
std::string FormatVersionText(const uint8_t record[8]);
// Empties every image (tests and program end).
void ResetImages();

#endif  // QUORVEL_IMAGE_FIRMWARE_IMAGE_H_
