// The layout of a firmware image: the 32-byte image header every image
// starts with, what ParseImage found in a program file, and the version
// text of a version record.
#ifndef QUORVEL_IMAGE_IMAGE_LAYOUT_H_
#define QUORVEL_IMAGE_IMAGE_LAYOUT_H_

#include <cstdint>
#include <string>

constexpr uint32_t kImageMagic = 0x96F3B83D;
constexpr int32_t kImageHeaderSize = 32;

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

// A valid image found at the start of some bytes: one part, or a Controller
// part (its header at 0x10000) and an App part (at 0x30000).
struct ImageLayout {
  bool twoPart = false;
  ImageHeader programHeader;  // the one-part image, or the Controller part
  ImageHeader appHeader;      // two-part only
};

// Decodes 32 little-endian bytes into *header (always written); true when
// magic, headerSize >= 32 and bodySize != 0 hold.
bool DecodeImageHeader(const uint8_t* bytes, ImageHeader* header);

// MM-mm-RRRR-BBBBBBBB of an 8-byte version record, upper-case hexadecimal.
std::string FormatVersionText(const uint8_t record[8]);

#endif  // QUORVEL_IMAGE_IMAGE_LAYOUT_H_
