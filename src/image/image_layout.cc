// The 32-byte image header and the version text derived from a version
// record.
#include "image/image_layout.h"

#include <cstdio>

namespace {

uint16_t ReadLe16(const uint8_t* bytes) {
  return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
}

uint32_t ReadLe32(const uint8_t* bytes) {
  return static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
         (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

}  // namespace

bool DecodeImageHeader(const uint8_t* bytes, ImageHeader* header) {
  header->magic = ReadLe32(bytes);
  header->headerWord = ReadLe32(bytes + 4);
  header->headerSize = ReadLe16(bytes + 8);
  header->reserved1 = ReadLe16(bytes + 10);
  header->bodySize = ReadLe32(bytes + 12);
  header->reserved2 = ReadLe32(bytes + 16);
  for (int i = 0; i < 8; ++i) {
    header->version[i] = bytes[20 + i];
  }
  header->reserved3 = ReadLe32(bytes + 28);
  return header->magic == kImageMagic && header->headerSize >= kImageHeaderSize &&
         header->bodySize != 0;
}

std::string FormatVersionText(const uint8_t record[8]) {
  // Revision and build number are little-endian in the record but read as
  // hexadecimal numbers, so their bytes are written high byte first.
  char text[20];
  std::snprintf(text, sizeof(text), "%02X-%02X-%02X%02X-%02X%02X%02X%02X", record[0], record[1],
                record[3], record[2], record[7], record[6], record[5], record[4]);
  return text;
}
