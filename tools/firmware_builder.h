// Builds firmware program files in memory for tests, the benchmark and the
// demo: one-part images, two-part (Controller + App) files, images placed
// behind junk at a 4096-byte step, and headerless passthrough programs.
// Written apart from the program's loader so that it checks the loader
// instead of mirroring it.
#ifndef QUORVEL_TOOLS_FIRMWARE_BUILDER_H_
#define QUORVEL_TOOLS_FIRMWARE_BUILDER_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fwbuild {

constexpr uint32_t kMagic = 0x96F3B83D;
constexpr size_t kHeaderBytes = 32;
// Behind the image proper: 8 bytes the loader skips, then the digest.
constexpr size_t kTrailerBytes = 40;
constexpr size_t kControllerOffset = 0x10000;
constexpr size_t kAppOffset = 0x30000;

using Version = std::array<uint8_t, 8>;

// One image: header, body, 8 filler bytes, SHA-256 of header and body.
struct ImageOptions {
  Version version = {1, 0, 0, 0, 0, 0, 0, 0};
  uint32_t magic = kMagic;
  uint32_t headerWord = 0;
  uint16_t headerSize = 32;  // bytes past the first 32 are zero
  uint32_t bodySize = 1024;  // ignored when body is given
  uint32_t seed = 1;         // body bytes when body is empty
  std::vector<uint8_t> body;
  std::array<uint8_t, 8> filler = {};
  bool corruptDigest = false;  // flips the digest's last byte
};

// Two-part file. Data ends are offsets from the part's header; 0 means right
// after the image's digest. Bytes between the digest and the data end are
// non-0xFF padding, everything else up to the App part and the tail is 0xFF.
struct TwoPartOptions {
  ImageOptions controller;
  ImageOptions app;
  size_t controllerDataEnd = 0;
  size_t appDataEnd = 0;
  size_t tailFill = 256;       // 0xFF bytes after the App part's data
  uint8_t leadingFill = 0x00;  // the first 0x10000 bytes
  TwoPartOptions();
};

// Deterministic bytes from a seed; never 0xFF, so they never read as erased
// flash.
std::vector<uint8_t> PseudoRandomBytes(size_t size, uint32_t seed);
std::vector<uint8_t> EncodeHeader(const ImageOptions& options, uint32_t bodySize);
std::vector<uint8_t> BuildImage(const ImageOptions& options);
// The image followed by trailingFill bytes of fillByte.
std::vector<uint8_t> BuildOnePartFile(const ImageOptions& options, size_t trailingFill = 0,
                                      uint8_t fillByte = 0xFF);
std::vector<uint8_t> BuildTwoPartFile(const TwoPartOptions& options);
// offset bytes of junk (no valid header anywhere), then the image, then
// trailingFill bytes of 0xFF.
std::vector<uint8_t> BuildOffsetImageFile(const ImageOptions& options, size_t offset,
                                          size_t trailingFill = 0, uint32_t junkSeed = 7);
std::vector<uint8_t> BuildPassthrough(size_t size, uint32_t seed = 3);

// Version text "MM.mm.RRRR.BBBBBBBB" (or with "-"), hexadecimal, as the
// device reports it: revision and build number are stored little-endian.
bool ParseVersion(const std::string& text, Version* version);
std::string VersionText(const Version& version);
// Decimal, or hexadecimal with 0x; the whole text must be a number.
bool ParseNumber(const std::string& text, uint64_t* value);

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace fwbuild

#endif  // QUORVEL_TOOLS_FIRMWARE_BUILDER_H_
