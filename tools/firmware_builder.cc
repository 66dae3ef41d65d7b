#include "firmware_builder.h"

#include <openssl/sha.h>

#include <algorithm>
#include <cstdio>
#include <fstream>

namespace fwbuild {

namespace {

void PutLe16(std::vector<uint8_t>* out, size_t at, uint16_t value) {
  (*out)[at] = static_cast<uint8_t>(value);
  (*out)[at + 1] = static_cast<uint8_t>(value >> 8);
}

void PutLe32(std::vector<uint8_t>* out, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) {
    (*out)[at + i] = static_cast<uint8_t>(value >> (8 * i));
  }
}

void Append(std::vector<uint8_t>* out, const std::vector<uint8_t>& bytes) {
  out->insert(out->end(), bytes.begin(), bytes.end());
}

// The image, padded with non-0xFF bytes up to dataEnd (when larger).
std::vector<uint8_t> ImageWithData(const ImageOptions& options, size_t dataEnd) {
  std::vector<uint8_t> bytes = BuildImage(options);
  if (dataEnd > bytes.size()) {
    Append(&bytes, PseudoRandomBytes(dataEnd - bytes.size(), options.seed + 101));
  }
  return bytes;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  if (c >= 'a' && c <= 'f') {
    return c - 'a' + 10;
  }
  if (c >= 'A' && c <= 'F') {
    return c - 'A' + 10;
  }
  return -1;
}

// All of text as a number in base 10 or 16, at most maxDigits digits.
bool ParseDigits(const std::string& text, uint32_t base, size_t maxDigits, uint64_t* value) {
  if (text.empty() || text.size() > maxDigits) {
    return false;
  }
  uint64_t result = 0;
  for (char c : text) {
    const int digit = HexDigit(c);
    if (digit < 0 || static_cast<uint32_t>(digit) >= base) {
      return false;
    }
    result = result * base + static_cast<uint64_t>(digit);
  }
  *value = result;
  return true;
}

}  // namespace

TwoPartOptions::TwoPartOptions() {
  controller.headerWord = 0;
  controller.seed = 11;
  app.headerWord = 1;
  app.seed = 22;
  app.version = {2, 0, 0, 0, 0, 0, 0, 0};
}

std::vector<uint8_t> PseudoRandomBytes(size_t size, uint32_t seed) {
  std::vector<uint8_t> bytes(size);
  uint32_t state = seed * 2654435761u + 0x9E3779B9u;
  if (state == 0) {
    state = 0x6D2B79F5u;
  }
  for (uint8_t& byte : bytes) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    byte = static_cast<uint8_t>(state >> 24);
    if (byte == 0xFF) {
      byte = 0x5A;
    }
  }
  return bytes;
}

std::vector<uint8_t> EncodeHeader(const ImageOptions& options, uint32_t bodySize) {
  std::vector<uint8_t> header(std::max<size_t>(options.headerSize, kHeaderBytes), 0);
  PutLe32(&header, 0, options.magic);
  PutLe32(&header, 4, options.headerWord);
  PutLe16(&header, 8, options.headerSize);
  PutLe32(&header, 12, bodySize);
  std::copy(options.version.begin(), options.version.end(), header.begin() + 20);
  return header;
}

std::vector<uint8_t> BuildImage(const ImageOptions& options) {
  const std::vector<uint8_t> body =
      options.body.empty() ? PseudoRandomBytes(options.bodySize, options.seed) : options.body;
  std::vector<uint8_t> image = EncodeHeader(options, static_cast<uint32_t>(body.size()));
  Append(&image, body);
  uint8_t digest[SHA256_DIGEST_LENGTH];
  SHA256(image.data(), image.size(), digest);
  if (options.corruptDigest) {
    digest[SHA256_DIGEST_LENGTH - 1] ^= 0x01;
  }
  image.insert(image.end(), options.filler.begin(), options.filler.end());
  image.insert(image.end(), digest, digest + SHA256_DIGEST_LENGTH);
  return image;
}

std::vector<uint8_t> BuildOnePartFile(const ImageOptions& options, size_t trailingFill,
                                      uint8_t fillByte) {
  std::vector<uint8_t> file = BuildImage(options);
  file.insert(file.end(), trailingFill, fillByte);
  return file;
}

std::vector<uint8_t> BuildTwoPartFile(const TwoPartOptions& options) {
  const std::vector<uint8_t> controller =
      ImageWithData(options.controller, options.controllerDataEnd);
  if (controller.size() > kAppOffset - kControllerOffset) {
    return {};  // the Controller part would overlap the App header
  }
  const std::vector<uint8_t> app = ImageWithData(options.app, options.appDataEnd);
  std::vector<uint8_t> file;
  // Reserving the whole file up front also keeps GCC's -O3 bounds check from
  // misreading the growth of the vector as an overflow.
  file.reserve(kAppOffset + app.size() + options.tailFill);
  file.assign(kControllerOffset, options.leadingFill);
  Append(&file, controller);
  file.resize(kAppOffset, 0xFF);
  Append(&file, app);
  file.insert(file.end(), options.tailFill, 0xFF);
  return file;
}

std::vector<uint8_t> BuildOffsetImageFile(const ImageOptions& options, size_t offset,
                                          size_t trailingFill, uint32_t junkSeed) {
  std::vector<uint8_t> file = PseudoRandomBytes(offset, junkSeed);
  Append(&file, BuildOnePartFile(options, trailingFill));
  return file;
}

std::vector<uint8_t> BuildPassthrough(size_t size, uint32_t seed) {
  return PseudoRandomBytes(size, seed);
}

bool ParseVersion(const std::string& text, Version* version) {
  const size_t maxDigits[4] = {2, 2, 4, 8};
  uint64_t fields[4] = {};
  size_t begin = 0;
  for (int i = 0; i < 4; ++i) {
    const size_t end = i < 3 ? text.find_first_of(".-", begin) : text.size();
    if (end == std::string::npos ||
        !ParseDigits(text.substr(begin, end - begin), 16, maxDigits[i], &fields[i])) {
      return false;
    }
    begin = end + 1;
  }
  (*version)[0] = static_cast<uint8_t>(fields[0]);
  (*version)[1] = static_cast<uint8_t>(fields[1]);
  for (int i = 0; i < 2; ++i) {
    (*version)[2 + i] = static_cast<uint8_t>(fields[2] >> (8 * i));
  }
  for (int i = 0; i < 4; ++i) {
    (*version)[4 + i] = static_cast<uint8_t>(fields[3] >> (8 * i));
  }
  return true;
}

std::string VersionText(const Version& v) {
  char text[20];
  const unsigned revision = v[2] | (v[3] << 8);
  const unsigned long build = static_cast<unsigned long>(v[4]) | (v[5] << 8) | (v[6] << 16) |
                              (static_cast<unsigned long>(v[7]) << 24);
  std::snprintf(text, sizeof(text), "%02X-%02X-%04X-%08lX", v[0], v[1], revision, build);
  return text;
}

bool ParseNumber(const std::string& text, uint64_t* value) {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    return ParseDigits(text.substr(2), 16, 15, value);
  }
  return ParseDigits(text, 10, 18, value);
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::out | std::ios::binary | std::ios::trunc);
  if (!out.is_open()) {
    return false;
  }
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  out.close();
  return !out.fail();
}

}  // namespace fwbuild
