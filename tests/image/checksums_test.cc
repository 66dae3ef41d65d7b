#include "image/checksums.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> Bytes(const std::string& text) {
  return std::vector<uint8_t>(text.begin(), text.end());
}

// Published SHA-256 test vectors (FIPS 180-2 examples).
const uint8_t kSha256Abc[32] = {0xba, 0x78, 0x16, 0xbf, 0x8f, 0x01, 0xcf, 0xea, 0x41, 0x41, 0x40,
                                0xde, 0x5d, 0xae, 0x22, 0x23, 0xb0, 0x03, 0x61, 0xa3, 0x96, 0x17,
                                0x7a, 0x9c, 0xb4, 0x10, 0xff, 0x61, 0xf2, 0x00, 0x15, 0xad};
const char kTwoBlockMessage[] = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
const uint8_t kSha256TwoBlock[32] = {
    0x24, 0x8d, 0x6a, 0x61, 0xd2, 0x06, 0x38, 0xb8, 0xe5, 0xc0, 0x26, 0x93, 0x0c, 0x3e, 0x60, 0x39,
    0xa3, 0x3c, 0xe4, 0x59, 0x64, 0xff, 0x21, 0x67, 0xf6, 0xec, 0xed, 0xd4, 0x19, 0xdb, 0x06, 0xc1};

// The CRC-32 and the SHA-256 image digest.
class ChecksumsTest : public ::testing::Test {};

// The CRC-32 covers exactly the bytes it is given: the published check
// values, a range that stops short of the buffer's end, and nothing at all
// for an empty, negative or absent range.
TEST_F(ChecksumsTest, Crc32OfExactlyTheGivenRange) {
  struct Case {
    const char* text;  // nullptr: no buffer
    int32_t length;
    uint32_t crc;
  };
  const Case cases[] = {
      {"123456789", 9, 0xCBF43926u},
      {"abc", 3, 0x352441C2u},
      {"a", 1, 0xE8B7BE43u},
      // The tenth byte lies outside the range and must not count.
      {"1234567890", 9, 0xCBF43926u},
      {"1234567890", 10, 0x261DAEE5u},
      {"B", 0, 0u},
      {"B", -5, 0u},
      {nullptr, 4, 0u},
  };
  for (const Case& c : cases) {
    const std::vector<uint8_t> bytes = Bytes(c.text != nullptr ? c.text : "");
    const uint8_t* data = c.text != nullptr ? bytes.data() : nullptr;
    EXPECT_EQ(Crc32(data, c.length), c.crc) << (c.text ? c.text : "(none)") << " " << c.length;
  }
}

TEST_F(ChecksumsTest, Crc32AnySingleByteChangeChangesTheValue) {
  std::vector<uint8_t> bytes(300);
  for (size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<uint8_t>(i * 7 + 3);
  }
  const uint32_t original = Crc32(bytes.data(), static_cast<int32_t>(bytes.size()));
  for (size_t i = 0; i < bytes.size(); ++i) {
    std::vector<uint8_t> changed = bytes;
    changed[i] ^= 0x01;
    EXPECT_NE(Crc32(changed.data(), static_cast<int32_t>(changed.size())), original) << i;
  }
}

// The digest is taken over exactly the given bytes and compared with the
// stored one; absent input, an absent digest and sizes below one never match.
TEST_F(ChecksumsTest, DigestMatchesOnlyTheGivenBytes) {
  struct Case {
    const char* text;  // nullptr: no buffer
    int32_t size;
    const uint8_t* digest;
    int result;
  };
  const int32_t twoBlockSize = static_cast<int32_t>(std::strlen(kTwoBlockMessage));
  const Case cases[] = {
      {"abc", 3, kSha256Abc, 1},  {kTwoBlockMessage, twoBlockSize, kSha256TwoBlock, 1},
      {"abcd", 3, kSha256Abc, 1}, {"abcd", 4, kSha256Abc, 0},
      {"abcd", 2, kSha256Abc, 0}, {nullptr, 3, kSha256Abc, 0},
      {"abc", 3, nullptr, 0},     {"abc", 0, kSha256Abc, 0},
      {"abc", -1, kSha256Abc, 0},
  };
  for (const Case& c : cases) {
    const std::vector<uint8_t> bytes = Bytes(c.text != nullptr ? c.text : "");
    const uint8_t* data = c.text != nullptr ? bytes.data() : nullptr;
    EXPECT_EQ(VerifyImageDigest(data, c.size, c.digest), c.result)
        << (c.text ? c.text : "(none)") << " " << c.size << " " << (c.digest != nullptr);
  }
}

TEST_F(ChecksumsTest, DigestRejectsADigestThatDiffersInOneByte) {
  const std::vector<uint8_t> abc = Bytes("abc");
  for (int position : {0, 15, 31}) {
    uint8_t stored[32];
    std::memcpy(stored, kSha256Abc, 32);
    stored[position] ^= 0x80;
    EXPECT_EQ(VerifyImageDigest(abc.data(), 3, stored), 0) << position;
  }
}

}  // namespace
