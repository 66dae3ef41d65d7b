#include "firmware_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "image/temp_files.h"

namespace {

std::vector<uint8_t> Slice(const std::vector<uint8_t>& bytes, size_t from, size_t length) {
  return std::vector<uint8_t>(bytes.begin() + from, bytes.begin() + from + length);
}

bool HasMagicAt(const std::vector<uint8_t>& bytes, size_t at) {
  return bytes.size() >= at + 4 && bytes[at] == 0x3D && bytes[at + 1] == 0xB8 &&
         bytes[at + 2] == 0xF3 && bytes[at + 3] == 0x96;
}

uint32_t Le32(const std::vector<uint8_t>& bytes, size_t at) {
  return bytes[at] | (bytes[at + 1] << 8) | (bytes[at + 2] << 16) |
         (static_cast<uint32_t>(bytes[at + 3]) << 24);
}

TEST(FirmwareBuilderTest, ImageHasHeaderBodyFillerAndDigest) {
  fwbuild::ImageOptions options;
  options.version = {1, 2, 3, 0, 4, 0, 0, 0};
  options.headerWord = 0x01020304;
  options.body = {'a', 'b', 'c'};
  options.filler = {0xF0, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7};
  const std::vector<uint8_t> image = fwbuild::BuildImage(options);
  // Expected bytes written out by hand; the digest is SHA-256 of the 35
  // bytes of header and body, computed with an independent tool.
  const std::vector<uint8_t> expected = {
      0x3d, 0xb8, 0xf3, 0x96, 0x04, 0x03, 0x02, 0x01, 0x20, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00,
      0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x02, 0x03, 0x00, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00,
      0x00, 0x00, 'a',  'b',  'c',  0xF0, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xb9, 0x36,
      0x64, 0x09, 0xd3, 0xb0, 0x8c, 0xf1, 0x4b, 0xfd, 0xc9, 0x61, 0x34, 0xa0, 0x11, 0x7f, 0x27,
      0xb1, 0x89, 0x97, 0x8b, 0x80, 0x27, 0xc7, 0x36, 0x45, 0x84, 0x55, 0xc9, 0x5a, 0xef, 0x5f};
  EXPECT_EQ(image, expected);

  options.corruptDigest = true;
  std::vector<uint8_t> corrupt = fwbuild::BuildImage(options);
  ASSERT_EQ(corrupt.size(), expected.size());
  EXPECT_NE(corrupt.back(), expected.back());
  corrupt.back() = expected.back();
  EXPECT_EQ(corrupt, expected);
}

TEST(FirmwareBuilderTest, LargerHeaderSizeAddsZeroBytesBeforeTheBody) {
  fwbuild::ImageOptions options;
  options.headerSize = 48;
  options.bodySize = 100;
  const std::vector<uint8_t> image = fwbuild::BuildImage(options);
  ASSERT_EQ(image.size(), 48u + 100u + 40u);
  EXPECT_EQ(image[8], 48);
  EXPECT_EQ(Le32(image, 12), 100u);
  EXPECT_EQ(Slice(image, 32, 16), std::vector<uint8_t>(16, 0));
  EXPECT_EQ(Slice(image, 48, 100), fwbuild::PseudoRandomBytes(100, options.seed));
}

TEST(FirmwareBuilderTest, PseudoRandomBytesAreRepeatableAndNeverErased) {
  const std::vector<uint8_t> first = fwbuild::PseudoRandomBytes(100000, 5);
  EXPECT_EQ(first, fwbuild::PseudoRandomBytes(100000, 5));
  EXPECT_NE(first, fwbuild::PseudoRandomBytes(100000, 6));
  EXPECT_EQ(std::count(first.begin(), first.end(), 0xFF), 0);
  // Not degenerate: most byte values occur.
  std::vector<bool> seen(256, false);
  for (uint8_t byte : first) {
    seen[byte] = true;
  }
  EXPECT_GE(std::count(seen.begin(), seen.end(), true), 250);
}

TEST(FirmwareBuilderTest, OnePartFileEndsWithTheRequestedFill) {
  fwbuild::ImageOptions options;
  options.bodySize = 64;
  const std::vector<uint8_t> file = fwbuild::BuildOnePartFile(options, 50);
  ASSERT_EQ(file.size(), 32u + 64u + 40u + 50u);
  EXPECT_EQ(Slice(file, 136, 50), std::vector<uint8_t>(50, 0xFF));
  EXPECT_EQ(Slice(file, 0, 136), fwbuild::BuildImage(options));
}

TEST(FirmwareBuilderTest, TwoPartFilePlacesBothPartsAndTheirDataEnds) {
  fwbuild::TwoPartOptions parts;
  parts.controller.bodySize = 0xC0;
  parts.app.bodySize = 0x200;
  parts.controllerDataEnd = 0x130;
  parts.appDataEnd = 0x300;
  parts.tailFill = 100;
  const std::vector<uint8_t> file = fwbuild::BuildTwoPartFile(parts);
  ASSERT_EQ(file.size(), 0x30000u + 0x300u + 100u);
  EXPECT_FALSE(HasMagicAt(file, 0));
  EXPECT_EQ(Slice(file, 0, 0x10000), std::vector<uint8_t>(0x10000, 0x00));
  ASSERT_TRUE(HasMagicAt(file, 0x10000));
  ASSERT_TRUE(HasMagicAt(file, 0x30000));
  EXPECT_EQ(Le32(file, 0x10000 + 4), 0u);  // Controller header word
  EXPECT_EQ(Le32(file, 0x30000 + 4), 1u);  // App header word
  EXPECT_EQ(Slice(file, 0x10000, 0x108), fwbuild::BuildImage(parts.controller));
  EXPECT_EQ(Slice(file, 0x30000, 0x248), fwbuild::BuildImage(parts.app));
  // Non-0xFF data up to each data end, 0xFF right after it.
  EXPECT_NE(file[0x10000 + 0x12F], 0xFF);
  EXPECT_EQ(Slice(file, 0x10000 + 0x130, 0x20000 - 0x130),
            std::vector<uint8_t>(0x20000 - 0x130, 0xFF));
  EXPECT_NE(file[0x30000 + 0x2FF], 0xFF);
  EXPECT_EQ(Slice(file, 0x30300, 100), std::vector<uint8_t>(100, 0xFF));
}

TEST(FirmwareBuilderTest, TwoPartFileRefusesAControllerThatReachesTheApp) {
  fwbuild::TwoPartOptions parts;
  parts.controllerDataEnd = 0x20001;
  EXPECT_TRUE(fwbuild::BuildTwoPartFile(parts).empty());
  parts.controllerDataEnd = 0x20000;
  EXPECT_EQ(fwbuild::BuildTwoPartFile(parts).size(), 0x30000u + 32u + 1024u + 40u + 256u);
}

TEST(FirmwareBuilderTest, OffsetImageFollowsJunk) {
  fwbuild::ImageOptions options;
  const std::vector<uint8_t> file = fwbuild::BuildOffsetImageFile(options, 8192, 16);
  const std::vector<uint8_t> image = fwbuild::BuildImage(options);
  ASSERT_EQ(file.size(), 8192 + image.size() + 16);
  EXPECT_EQ(Slice(file, 8192, image.size()), image);
  EXPECT_FALSE(HasMagicAt(file, 0));
  EXPECT_FALSE(HasMagicAt(file, 4096));
}

TEST(FirmwareBuilderTest, PassthroughHasTheRequestedSize) {
  EXPECT_EQ(fwbuild::BuildPassthrough(131072).size(), 131072u);
  EXPECT_TRUE(fwbuild::BuildPassthrough(0).empty());
}

TEST(FirmwareBuilderTest, VersionTextsAsTheDeviceReportsThem) {
  fwbuild::Version version{};
  ASSERT_TRUE(fwbuild::ParseVersion("01.02.0003.00000004", &version));
  EXPECT_EQ(version, (fwbuild::Version{1, 2, 3, 0, 4, 0, 0, 0}));
  ASSERT_TRUE(fwbuild::ParseVersion("0A-00-0110-12345678", &version));
  EXPECT_EQ(version, (fwbuild::Version{0x0A, 0x00, 0x10, 0x01, 0x78, 0x56, 0x34, 0x12}));
  EXPECT_EQ(fwbuild::VersionText(version), "0A-00-0110-12345678");
  ASSERT_TRUE(fwbuild::ParseVersion("ff.1.abcd.1", &version));
  EXPECT_EQ(fwbuild::VersionText(version), "FF-01-ABCD-00000001");
  for (const char* bad : {"", "1.2.3", "01.02.0003.000000004", "001.02.0003.00000004",
                          "0g.00.0000.00000000", "01.02.0003.", "01..0003.00000004"}) {
    EXPECT_FALSE(fwbuild::ParseVersion(bad, &version)) << bad;
  }
}

TEST(FirmwareBuilderTest, NumbersAreDecimalOrPrefixedHexadecimal) {
  uint64_t value = 0;
  ASSERT_TRUE(fwbuild::ParseNumber("65536", &value));
  EXPECT_EQ(value, 65536u);
  ASSERT_TRUE(fwbuild::ParseNumber("0x10000", &value));
  EXPECT_EQ(value, 0x10000u);
  ASSERT_TRUE(fwbuild::ParseNumber("0X1f", &value));
  EXPECT_EQ(value, 0x1Fu);
  for (const char* bad : {"", "0x", "12a", "-1", "1 ", "ff"}) {
    EXPECT_FALSE(fwbuild::ParseNumber(bad, &value)) << bad;
  }
}

TEST(FirmwareBuilderTest, WriteFileStoresTheExactBytes) {
  TempFiles files;
  ASSERT_TRUE(files.ok());
  const std::vector<uint8_t> bytes = {0x00, '\n', '\r', 0xFF, 0x1A};
  const std::string path = files.Path("out.bin");
  ASSERT_TRUE(fwbuild::WriteFile(path, bytes));
  std::ifstream in(path, std::ios::binary);
  const std::vector<uint8_t> read((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
  EXPECT_EQ(read, bytes);
  EXPECT_FALSE(fwbuild::WriteFile(files.Path("no-such-dir/out.bin"), bytes));
}

}  // namespace
