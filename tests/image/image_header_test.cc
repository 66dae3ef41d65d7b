#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "console/loaded_images.h"
#include "image/image_store.h"

namespace {

// A valid header written out byte by byte: magic 3D B8 F3 96, header word
// 0x11223344, header size 0x0030, body size 0x00012345, version 01 02 03 00
// 04 00 00 00, and recognisable reserved fields.
std::vector<uint8_t> SampleHeader() {
  return {0x3D, 0xB8, 0xF3, 0x96, 0x44, 0x33, 0x22, 0x11, 0x30, 0x00, 0xAA,
          0xBB, 0x45, 0x23, 0x01, 0x00, 0x01, 0x02, 0x03, 0x04, 0x01, 0x02,
          0x03, 0x00, 0x04, 0x00, 0x00, 0x00, 0xC0, 0xC1, 0xC2, 0xC3};
}

class ImageHeaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetImages();
    const uint8_t controller[8] = {0x01, 0x02, 0x03, 0x00, 0x04, 0x00, 0x00, 0x00};
    const uint8_t app[8] = {0x05, 0x06, 0x07, 0x00, 0x08, 0x00, 0x00, 0x00};
    std::memcpy(ProgramHeader.version, controller, 8);
    std::memcpy(AppHeader.version, app, 8);
  }
  void TearDown() override { ResetImages(); }
};

TEST_F(ImageHeaderTest, DecodeReadsEveryFieldLittleEndian) {
  const std::vector<uint8_t> bytes = SampleHeader();
  ImageHeader header;
  ASSERT_TRUE(DecodeImageHeader(bytes.data(), &header));
  EXPECT_EQ(header.magic, 0x96F3B83Du);
  EXPECT_EQ(header.headerWord, 0x11223344u);
  EXPECT_EQ(header.headerSize, 0x30);
  EXPECT_EQ(header.reserved1, 0xBBAA);
  EXPECT_EQ(header.bodySize, 0x12345u);
  EXPECT_EQ(header.reserved2, 0x04030201u);
  const uint8_t version[8] = {0x01, 0x02, 0x03, 0x00, 0x04, 0x00, 0x00, 0x00};
  EXPECT_EQ(std::memcmp(header.version, version, 8), 0);
  EXPECT_EQ(header.reserved3, 0xC3C2C1C0u);
}

TEST_F(ImageHeaderTest, DecodeRequiresMagicHeaderSizeAndBody) {
  ImageHeader header;
  std::vector<uint8_t> bytes = SampleHeader();
  std::swap(bytes[0], bytes[3]);  // magic stored big-endian
  std::swap(bytes[1], bytes[2]);
  EXPECT_FALSE(DecodeImageHeader(bytes.data(), &header));

  bytes = SampleHeader();
  bytes[8] = 31;  // header size below 32
  EXPECT_FALSE(DecodeImageHeader(bytes.data(), &header));
  bytes[8] = 32;
  EXPECT_TRUE(DecodeImageHeader(bytes.data(), &header));
  bytes[8] = 0x00;  // 0x0100: the high byte counts
  bytes[9] = 0x01;
  EXPECT_TRUE(DecodeImageHeader(bytes.data(), &header));
  EXPECT_EQ(header.headerSize, 0x100);

  bytes = SampleHeader();
  bytes[12] = bytes[13] = bytes[14] = bytes[15] = 0;  // empty body
  EXPECT_FALSE(DecodeImageHeader(bytes.data(), &header));
  bytes[15] = 0x01;  // 0x01000000: only the top byte set
  EXPECT_TRUE(DecodeImageHeader(bytes.data(), &header));
  EXPECT_EQ(header.bodySize, 0x01000000u);
}

TEST_F(ImageHeaderTest, FormatVersionTextWritesRevisionAndBuildHighByteFirst) {
  const uint8_t first[8] = {0x01, 0x02, 0x03, 0x00, 0x04, 0x00, 0x00, 0x00};
  EXPECT_EQ(FormatVersionText(first), "01-02-0003-00000004");
  const uint8_t second[8] = {0x0A, 0x00, 0x10, 0x01, 0x78, 0x56, 0x34, 0x12};
  EXPECT_EQ(FormatVersionText(second), "0A-00-0110-12345678");
  const uint8_t letters[8] = {0xab, 0xcd, 0xef, 0xbe, 0xad, 0xde, 0xfe, 0xca};
  EXPECT_EQ(FormatVersionText(letters), "AB-CD-BEEF-CAFEDEAD");
  const uint8_t erased[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(FormatVersionText(erased), "FF-FF-FFFF-FFFFFFFF");
  const uint8_t zero[8] = {};
  EXPECT_EQ(FormatVersionText(zero), "00-00-0000-00000000");
}

TEST_F(ImageHeaderTest, ImageVersionTextOnePartImageAlwaysUsesTheProgramHeader) {
  TwoPartImage = false;
  for (ImagePart part : {ImagePart::kWhole, ImagePart::kController, ImagePart::kApp}) {
    EXPECT_EQ(ImageVersionText(LoadedImages.program, part), "01-02-0003-00000004")
        << static_cast<int>(part);
  }
}

TEST_F(ImageHeaderTest, ImageVersionTextTwoPartImageNamesThePartsBeingFlashed) {
  TwoPartImage = true;
  EXPECT_EQ(ImageVersionText(LoadedImages.program, ImagePart::kWhole),
            "01-02-0003-00000004 | 05-06-0007-00000008");
  EXPECT_EQ(ImageVersionText(LoadedImages.program, ImagePart::kApp), "05-06-0007-00000008");
  EXPECT_EQ(ImageVersionText(LoadedImages.program, ImagePart::kController), "01-02-0003-00000004");
}

TEST_F(ImageHeaderTest, ResetImagesEmptiesEveryImageAndHeader) {
  ProgramImage.storage = {1, 2, 3};
  ProgramImage.data = ProgramImage.storage.data();
  ProgramImage.length = 3;
  ProgramImage.crc32 = 9;
  ControllerPart.data = ProgramImage.data;
  ControllerPart.length = 2;
  AppPart.data = ProgramImage.data + 1;
  AppPart.length = 1;
  PassthroughImage.storage = {4};
  PassthroughImage.data = PassthroughImage.storage.data();
  PassthroughImage.length = 1;
  ProgramHeader.bodySize = 5;
  AppHeader.headerWord = 1;
  TwoPartImage = true;
  ResetImages();
  for (const FirmwareImage* image : {&ProgramImage, &ControllerPart, &AppPart, &PassthroughImage}) {
    EXPECT_EQ(image->data, nullptr);
    EXPECT_EQ(image->length, 0);
    EXPECT_EQ(image->crc32, 0u);
    EXPECT_TRUE(image->storage.empty());
  }
  EXPECT_EQ(ProgramHeader.bodySize, 0u);
  EXPECT_EQ(AppHeader.headerWord, 0u);
  EXPECT_FALSE(TwoPartImage);
}

}  // namespace
