#include "image/image_store.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "console/loaded_images.h"
#include "firmware_builder.h"
#include "image/checksums.h"
#include "image/program_loader.h"
#include "image/temp_files.h"

namespace {

uint32_t CrcOf(const uint8_t* bytes, size_t length) {
  return Crc32(bytes, static_cast<int32_t>(length));
}

// Data bytes (never 0xFF) up to dataEnd, then 0xFF up to size.
std::vector<uint8_t> DataThenFill(size_t dataEnd, size_t size) {
  std::vector<uint8_t> bytes(size, 0xFF);
  for (size_t i = 0; i < dataEnd; ++i) {
    bytes[i] = static_cast<uint8_t>(i % 251);
  }
  return bytes;
}

int32_t PartLengthOf(const std::vector<uint8_t>& bytes, int32_t scanStart) {
  return PartLength(bytes.data(), scanStart, static_cast<int32_t>(bytes.size()));
}

class ImageStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetImages();
    ASSERT_TRUE(files_.ok());
  }
  void TearDown() override { ResetImages(); }

  // A stored two-part image: Controller data up to 0x130, App data from
  // 0x20000 up to 0x20000 + 0x250, fill elsewhere.
  std::vector<uint8_t> TwoPartBytes() const {
    std::vector<uint8_t> bytes = DataThenFill(0x130, 0x20400);
    for (size_t i = 0; i < 0x250; ++i) {
      bytes[0x20000 + i] = static_cast<uint8_t>(i % 199);
    }
    return bytes;
  }
  void SetTwoPartHeaders(uint32_t controllerBody, uint32_t appBody) {
    TwoPartImage = true;
    ProgramHeader.bodySize = controllerBody;
    AppHeader.bodySize = appBody;
  }

  TempFiles files_;
};

// Data up to an offset, then 0xFF fill: the part ends 16 bytes into the fill
// after aligned data, at the 32nd 0xFF rounded down to 16 otherwise, and the
// whole range counts when the fill is shorter than 32 bytes.
TEST_F(ImageStoreTest, PartLengthFollowsWhereTheDataEnds) {
  struct Case {
    int dataEnd;
    int partLength;
  };
  const Case cases[] = {
      {0x130, 0x140},
      {0x100, 0x110},
      // The 32nd 0xFF is at 0x154, rounded down to 0x150.
      {0x135, 0x150},
      // The run completes at 0x15E.
      {0x13F, 0x150},
      // The run completes at 0x160 exactly.
      {0x141, 0x160},
      // No fill at all.
      {0x400, 0x400},
      // Exactly 31 0xFF bytes at the end are not a run.
      {0x400 - 31, 0x400},
      // 32 at the end are, completing at the last byte 0x3FF.
      {0x400 - 32, 0x3F0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PartLengthOf(DataThenFill(c.dataEnd, 0x400), 0x40), c.partLength) << c.dataEnd;
  }
}

TEST_F(ImageStoreTest, PartLengthShorterRunsOfFFAreData) {
  std::vector<uint8_t> bytes = DataThenFill(0x200, 0x400);
  for (size_t i = 0x80; i < 0x80 + 31; ++i) {
    bytes[i] = 0xFF;  // one short of a run
  }
  EXPECT_EQ(PartLengthOf(bytes, 0x40), 0x210);
  bytes[0x80 + 31] = 0xFF;  // now 32 in a row, ending at 0x9F
  EXPECT_EQ(PartLengthOf(bytes, 0x40), 0x90);
}

TEST_F(ImageStoreTest, PartLengthCountsOnlyFromTheScanStart) {
  // All 0xFF: the run counted from the scan start reaches 32 at start + 31.
  const std::vector<uint8_t> erased(0x400, 0xFF);
  EXPECT_EQ(PartLengthOf(erased, 5), 32);
  EXPECT_EQ(PartLengthOf(erased, 0x100), 0x110);
  // A run that lies before the scan start does not end the part.
  std::vector<uint8_t> bytes = DataThenFill(0x300, 0x400);
  for (size_t i = 0x10; i < 0x60; ++i) {
    bytes[i] = 0xFF;
  }
  EXPECT_EQ(PartLengthOf(bytes, 0x60), 0x310);
}

TEST_F(ImageStoreTest, PartLengthScanStartOutsideTheRangeGivesZero) {
  const std::vector<uint8_t> bytes = DataThenFill(0x100, 0x400);
  EXPECT_EQ(PartLengthOf(bytes, 0), 0);
  EXPECT_EQ(PartLengthOf(bytes, -16), 0);
  EXPECT_EQ(PartLengthOf(bytes, 0x400), 0);
  EXPECT_EQ(PartLengthOf(bytes, 0x401), 0);
  EXPECT_EQ(PartLengthOf(bytes, 0x3FF), 0x400);
}

TEST_F(ImageStoreTest, OnePartImageIsCopiedWithItsCrc) {
  std::vector<uint8_t> bytes = fwbuild::PseudoRandomBytes(5000, 9);
  ASSERT_EQ(
      StoreProgramImage(bytes.data(), static_cast<int64_t>(bytes.size()), &LoadedImages.program),
      1);
  const std::vector<uint8_t> original = bytes;
  bytes.assign(bytes.size(), 0);  // the store keeps its own copy
  EXPECT_EQ(ProgramImage.length, 5000);
  EXPECT_EQ(std::vector<uint8_t>(ProgramImage.data, ProgramImage.data + 5000), original);
  EXPECT_EQ(ProgramImage.crc32, CrcOf(original.data(), original.size()));
  EXPECT_EQ(ControllerPart.data, nullptr);
}

// Both stores take 1 to 2^31-1 bytes. Other lengths are refused on the length
// alone: not a byte past the buffer may be read, and no image is kept.
TEST_F(ImageStoreTest, LengthsOutsideOneToSigned32BitsAreRefused) {
  const std::vector<uint8_t> bytes(64, 0x11);
  for (int64_t length : {int64_t{0}, int64_t{-1}, int64_t{1} << 31, (int64_t{1} << 32) + 64}) {
    EXPECT_EQ(StoreProgramImage(bytes.data(), length, &LoadedImages.program), 0) << length;
  }
  // The passthrough store takes the loader's buffer: an empty one is refused.
  EXPECT_EQ(AdoptPassthroughImage(std::vector<uint8_t>(), &PassthroughImage), 0);
  EXPECT_EQ(PassthroughImage.data, nullptr);
  EXPECT_EQ(ProgramImage.data, nullptr);
  EXPECT_EQ(ProgramImage.length, 0);
  EXPECT_EQ(PassthroughImage.data, nullptr);
}

TEST_F(ImageStoreTest, TwoPartImageIsCutAtTheFill) {
  const std::vector<uint8_t> bytes = TwoPartBytes();
  SetTwoPartHeaders(0x40, 0x200);
  ASSERT_EQ(
      StoreProgramImage(bytes.data(), static_cast<int64_t>(bytes.size()), &LoadedImages.program),
      1);
  EXPECT_EQ(ControllerPart.data, ProgramImage.data);
  EXPECT_EQ(ControllerPart.length, 0x140);
  EXPECT_EQ(ControllerPart.crc32, CrcOf(bytes.data(), 0x140));
  EXPECT_EQ(AppPart.data, ProgramImage.data + 0x20000);
  EXPECT_EQ(AppPart.length, 0x260);
  EXPECT_EQ(AppPart.crc32, CrcOf(bytes.data() + 0x20000, 0x260));
  EXPECT_EQ(ProgramImage.crc32, CrcOf(bytes.data(), bytes.size()));
}

TEST_F(ImageStoreTest, FillBeyondAPartChangesOnlyTheWholeImageCrc) {
  std::vector<uint8_t> bytes = TwoPartBytes();
  SetTwoPartHeaders(0x40, 0x200);
  ASSERT_EQ(
      StoreProgramImage(bytes.data(), static_cast<int64_t>(bytes.size()), &LoadedImages.program),
      1);
  const uint32_t controllerCrc = ControllerPart.crc32;
  const uint32_t wholeCrc = ProgramImage.crc32;
  bytes[0x1000] = 0x00;  // inside the fill after the Controller part
  ASSERT_EQ(
      StoreProgramImage(bytes.data(), static_cast<int64_t>(bytes.size()), &LoadedImages.program),
      1);
  EXPECT_EQ(ControllerPart.crc32, controllerCrc);
  EXPECT_NE(ProgramImage.crc32, wholeCrc);
  bytes[0x12F] ^= 0x01;  // the Controller's last data byte
  ASSERT_EQ(
      StoreProgramImage(bytes.data(), static_cast<int64_t>(bytes.size()), &LoadedImages.program),
      1);
  EXPECT_NE(ControllerPart.crc32, controllerCrc);
}

TEST_F(ImageStoreTest, BodySizeOutsideTheStoredBytesFails) {
  const std::vector<uint8_t> bytes = TwoPartBytes();
  const int64_t size = static_cast<int64_t>(bytes.size());
  SetTwoPartHeaders(static_cast<uint32_t>(size), 0x200);
  EXPECT_EQ(StoreProgramImage(bytes.data(), size, &LoadedImages.program), 0);
  SetTwoPartHeaders(0x40, 0x400);  // the App part has only 0x400 bytes
  EXPECT_EQ(StoreProgramImage(bytes.data(), size, &LoadedImages.program), 0);
  SetTwoPartHeaders(0x40, 0xFFFFFFFFu);
  EXPECT_EQ(StoreProgramImage(bytes.data(), size, &LoadedImages.program), 0);
  SetTwoPartHeaders(0x40, 0x200);
  EXPECT_EQ(StoreProgramImage(bytes.data(), 0x20000, &LoadedImages.program),
            0);  // no App bytes at all
  EXPECT_EQ(ControllerPart.data, nullptr);
  EXPECT_EQ(AppPart.data, nullptr);
}

TEST_F(ImageStoreTest, StoringARangeOfTheCurrentImageIsSafe) {
  const std::vector<uint8_t> bytes = fwbuild::PseudoRandomBytes(300, 4);
  ASSERT_EQ(StoreProgramImage(bytes.data(), 300, &LoadedImages.program), 1);
  ASSERT_EQ(StoreProgramImage(ProgramImage.data + 100, 200, &LoadedImages.program), 1);
  EXPECT_EQ(std::vector<uint8_t>(ProgramImage.data, ProgramImage.data + 200),
            std::vector<uint8_t>(bytes.begin() + 100, bytes.end()));
}

TEST_F(ImageStoreTest, PassthroughLimitIsExactly131072Bytes) {
  const std::vector<uint8_t> largest = fwbuild::BuildPassthrough(131072);
  ASSERT_EQ(LoadPassthroughFile(files_.Write("largest.bin", largest), &LoadedImages.passthrough),
            1);
  EXPECT_EQ(PassthroughImage.length, 131072);
  EXPECT_EQ(std::vector<uint8_t>(PassthroughImage.data, PassthroughImage.data + 131072), largest);
  EXPECT_EQ(PassthroughImage.crc32, CrcOf(largest.data(), largest.size()));
  const std::vector<uint8_t> tooLarge = fwbuild::BuildPassthrough(131073);
  EXPECT_EQ(LoadPassthroughFile(files_.Write("too-large.bin", tooLarge), &LoadedImages.passthrough),
            0);
  EXPECT_EQ(AdoptPassthroughImage(std::vector<uint8_t>(tooLarge), &PassthroughImage), 0);
  EXPECT_EQ(PassthroughImage.data, nullptr);
}

TEST_F(ImageStoreTest, PassthroughFileIsTakenWhole) {
  const std::vector<uint8_t> one = {0x42};
  ASSERT_EQ(LoadPassthroughFile(files_.Write("one.bin", one), &LoadedImages.passthrough), 1);
  EXPECT_EQ(PassthroughImage.length, 1);
  EXPECT_EQ(PassthroughImage.crc32, CrcOf(one.data(), 1));
  // A header-looking start is not interpreted.
  const std::vector<uint8_t> image = fwbuild::BuildImage(fwbuild::ImageOptions());
  ASSERT_EQ(LoadPassthroughFile(files_.Write("image.bin", image), &LoadedImages.passthrough), 1);
  EXPECT_EQ(PassthroughImage.length, static_cast<int32_t>(image.size()));
}

TEST_F(ImageStoreTest, EmptyMissingOrSpecialPassthroughFilesAreRefused) {
  EXPECT_EQ(LoadPassthroughFile(files_.Write("empty.bin", {}), &LoadedImages.passthrough), 0);
  EXPECT_EQ(LoadPassthroughFile(files_.Path("missing.bin"), &LoadedImages.passthrough), 0);
  EXPECT_EQ(LoadPassthroughFile(files_.MakeDirectory("dir"), &LoadedImages.passthrough), 0);
  EXPECT_EQ(LoadPassthroughFile(files_.MakeFifo("fifo"), &LoadedImages.passthrough), 0);
  EXPECT_EQ(LoadPassthroughFile("/dev/null", &LoadedImages.passthrough), 0);
  EXPECT_EQ(PassthroughImage.data, nullptr);
}

TEST_F(ImageStoreTest, PassthroughAndProgramImagesAreIndependent) {
  const std::vector<uint8_t> program = fwbuild::BuildOnePartFile(fwbuild::ImageOptions());
  const std::vector<uint8_t> passthrough = fwbuild::BuildPassthrough(2000);
  ASSERT_EQ(LoadPassthroughFile(files_.Write("pass.bin", passthrough), &LoadedImages.passthrough),
            1);
  ASSERT_EQ(LoadProgramFile(files_.Write("prog.bin", program), ProgramFileChecks{},
                            &LoadedImages.program),
            1);
  EXPECT_EQ(PassthroughImage.length, 2000);
  EXPECT_EQ(PassthroughImage.crc32, CrcOf(passthrough.data(), passthrough.size()));
  EXPECT_EQ(ProgramImage.length, static_cast<int32_t>(program.size()));
}

}  // namespace
