#include "image/program_loader.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "console/loaded_images.h"
#include "firmware_builder.h"
#include "image/checksums.h"
#include "image/image_store.h"
#include "image/temp_files.h"
#include "support/workspace.h"

namespace {

// The file checks of the chip platforms.
struct LoadFlags {
  const char* name;
  ProgramFileChecks checks;
};
const LoadFlags kTq3410 = {"TQ3410", {true, true, false}};
const LoadFlags kTq520x = {"TQ520x", {false, true, false}};
const LoadFlags kTq52xx = {"TQ52xx", {false, false, true}};

// ParseImage without a digest check, for the extent rules alone.
int ParseWithoutDigest(const std::vector<uint8_t>& file, int64_t length) {
  ImageLayout layout;
  return ParseImage(file.data(), length, kTq52xx.checks, &layout);
}

std::vector<uint8_t> Slice(const std::vector<uint8_t>& bytes, size_t from, size_t length) {
  return std::vector<uint8_t>(bytes.begin() + from, bytes.begin() + from + length);
}

std::vector<uint8_t> Stored(const FirmwareImage& image) {
  return std::vector<uint8_t>(image.data, image.data + image.length);
}

uint32_t CrcOf(const std::vector<uint8_t>& bytes) {
  return Crc32(bytes.data(), static_cast<int32_t>(bytes.size()));
}

class ProgramLoaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetImages();
    ASSERT_TRUE(files_.ok());
    image_.version = {0x01, 0x02, 0x03, 0x00, 0x04, 0x00, 0x00, 0x00};
    image_.headerWord = 0x5A;
    image_.bodySize = 1000;
  }
  void TearDown() override { ResetImages(); }

  int Load(const std::vector<uint8_t>& file, const LoadFlags& flags) {
    const std::string path = files_.Write("program.bin", file);
    EXPECT_FALSE(path.empty());
    return LoadProgramFile(path, flags.checks, &LoadedImages.program);
  }

  // Controller body 0xC0 (digest ends at 0x108) with data up to 0x130; App
  // body 0x200 (digest ends at 0x248) with data up to 0x300.
  fwbuild::TwoPartOptions TwoParts() const {
    fwbuild::TwoPartOptions parts;
    parts.controller.bodySize = 0xC0;
    parts.controller.version = {0x01, 0x00, 0x11, 0x00, 0x21, 0x00, 0x00, 0x00};
    parts.app.bodySize = 0x200;
    parts.app.version = {0x02, 0x00, 0x12, 0x00, 0x22, 0x00, 0x00, 0x00};
    parts.controllerDataEnd = 0x130;
    parts.appDataEnd = 0x300;
    parts.tailFill = 256;
    return parts;
  }

  TempFiles files_;
  fwbuild::ImageOptions image_;
};

TEST_F(ProgramLoaderTest, OnePartImageLoadsOnEveryPlatform) {
  const std::vector<uint8_t> file = fwbuild::BuildOnePartFile(image_, 100);
  for (const LoadFlags& flags : {kTq3410, kTq520x, kTq52xx}) {
    SCOPED_TRACE(flags.name);
    ResetImages();
    ASSERT_EQ(Load(file, flags), 1);
    EXPECT_FALSE(TwoPartImage);
    EXPECT_EQ(Stored(ProgramImage), file);  // up to the end of the file, fill included
    EXPECT_EQ(ProgramImage.crc32, CrcOf(file));
    EXPECT_EQ(ProgramHeader.headerWord, 0x5Au);
    EXPECT_EQ(ProgramHeader.bodySize, 1000u);
    EXPECT_EQ(ImageVersionText(LoadedImages.program, ImagePart::kWhole), "01-02-0003-00000004");
    EXPECT_EQ(ControllerPart.data, nullptr);
    EXPECT_EQ(AppPart.data, nullptr);
  }
}

TEST_F(ProgramLoaderTest, ChangedImageFailsOnlyWhereTheDigestIsChecked) {
  const std::vector<uint8_t> good = fwbuild::BuildOnePartFile(image_);
  // A body byte, the version and a reserved header field are all covered.
  for (size_t offset : {size_t{32 + 500}, size_t{20}, size_t{30}, size_t{32 + 999}}) {
    SCOPED_TRACE(offset);
    std::vector<uint8_t> file = good;
    file[offset] ^= 0x10;
    EXPECT_EQ(Load(file, kTq3410), 0);
    EXPECT_EQ(Load(file, kTq520x), 0);
    EXPECT_EQ(Load(file, kTq52xx), 1);
  }
}

TEST_F(ProgramLoaderTest, DigestMismatchInItsLastByteFails) {
  image_.corruptDigest = true;
  const std::vector<uint8_t> file = fwbuild::BuildOnePartFile(image_);
  EXPECT_EQ(Load(file, kTq520x), 0);
  EXPECT_EQ(Load(file, kTq3410), 0);
  EXPECT_EQ(Load(file, kTq52xx), 1);
}

TEST_F(ProgramLoaderTest, TheEightBytesBeforeTheDigestAreNotCovered) {
  image_.filler = {0xDE, 0xAD, 0xBE, 0xEF, 0x01, 0x02, 0x03, 0x04};
  std::vector<uint8_t> file = fwbuild::BuildOnePartFile(image_);
  ASSERT_EQ(Load(file, kTq520x), 1);
  const size_t fillerAt = 32 + 1000;
  for (size_t i = 0; i < 8; ++i) {
    file[fillerAt + i] = static_cast<uint8_t>(~file[fillerAt + i]);
  }
  EXPECT_EQ(Load(file, kTq520x), 1);
  // One byte further is the digest itself.
  file[fillerAt + 8] ^= 0x01;
  EXPECT_EQ(Load(file, kTq520x), 0);
}

TEST_F(ProgramLoaderTest, LargerHeaderSizeCountsInTheImage) {
  image_.headerSize = 64;
  const std::vector<uint8_t> file = fwbuild::BuildOnePartFile(image_);
  ASSERT_EQ(file.size(), 64u + 1000u + 40u);
  EXPECT_EQ(Load(file, kTq520x), 1);
  EXPECT_EQ(Load(Slice(file, 0, 64 + 1000 + 39), kTq520x), 0);
}

TEST_F(ProgramLoaderTest, TruncationAtTheTrailerBoundary) {
  const std::vector<uint8_t> file = fwbuild::BuildOnePartFile(image_);
  const size_t imageSize = 32 + 1000;
  ASSERT_EQ(file.size(), imageSize + 40);
  EXPECT_EQ(Load(file, kTq520x), 1);
  EXPECT_EQ(Load(Slice(file, 0, imageSize + 39), kTq520x), 0);
  EXPECT_EQ(Load(Slice(file, 0, imageSize + 39), kTq3410), 0);
  // Without the digest check only the image proper must be present.
  EXPECT_EQ(Load(Slice(file, 0, imageSize), kTq52xx), 1);
  EXPECT_EQ(ProgramImage.length, static_cast<int32_t>(imageSize));
  EXPECT_EQ(Load(Slice(file, 0, imageSize - 1), kTq52xx), 0);
}

TEST_F(ProgramLoaderTest, FilesWithoutAValidHeaderFail) {
  const std::vector<uint8_t> image = fwbuild::BuildOnePartFile(image_);
  for (const LoadFlags& flags : {kTq3410, kTq520x, kTq52xx}) {
    SCOPED_TRACE(flags.name);
    EXPECT_EQ(Load({}, flags), 0);
    EXPECT_EQ(Load(Slice(image, 0, 31), flags), 0);
    EXPECT_EQ(Load(fwbuild::PseudoRandomBytes(20000, 5), flags), 0);
    EXPECT_EQ(ProgramImage.data, nullptr);
  }
  EXPECT_EQ(LoadProgramFile(files_.Path("missing.bin"), kTq520x.checks, &LoadedImages.program), 0);
}

TEST_F(ProgramLoaderTest, TwoPartFileStoresBothPartsBehindTheLeadIn) {
  const std::vector<uint8_t> file = fwbuild::BuildTwoPartFile(TwoParts());
  ASSERT_EQ(file.size(), 0x30000u + 0x300u + 256u);
  for (const LoadFlags& flags : {kTq520x, kTq52xx}) {
    SCOPED_TRACE(flags.name);
    ResetImages();
    ASSERT_EQ(Load(file, flags), 1);
    ASSERT_TRUE(TwoPartImage);
    const std::vector<uint8_t> stored = Slice(file, 0x10000, file.size() - 0x10000);
    EXPECT_EQ(Stored(ProgramImage), stored);
    EXPECT_EQ(ProgramImage.crc32, CrcOf(stored));
    // Each part ends 16 bytes into the fill that follows its data.
    EXPECT_EQ(ControllerPart.data, ProgramImage.data);
    EXPECT_EQ(ControllerPart.length, 0x140);
    EXPECT_EQ(ControllerPart.crc32, CrcOf(Slice(stored, 0, 0x140)));
    EXPECT_EQ(AppPart.data, ProgramImage.data + 0x20000);
    EXPECT_EQ(AppPart.length, 0x310);
    EXPECT_EQ(AppPart.crc32, CrcOf(Slice(stored, 0x20000, 0x310)));
    EXPECT_EQ(ProgramHeader.headerWord, 0u);
    EXPECT_EQ(AppHeader.headerWord, 1u);
    EXPECT_EQ(ImageVersionText(LoadedImages.program, ImagePart::kWhole),
              "01-00-0011-00000021 | 02-00-0012-00000022");
  }
}

TEST_F(ProgramLoaderTest, PartScansStartAtTheBodySize) {
  // The scan for the fill starts at the body size counted from the header,
  // so a body whose last 32 bytes are 0xFF cuts the part short there.
  fwbuild::TwoPartOptions parts = TwoParts();
  parts.controller.body = fwbuild::PseudoRandomBytes(0xC0, 1);
  std::fill(parts.controller.body.end() - 32, parts.controller.body.end(), 0xFF);
  parts.app.body = fwbuild::PseudoRandomBytes(0x200, 2);
  std::fill(parts.app.body.end() - 40, parts.app.body.end(), 0xFF);
  ASSERT_EQ(Load(fwbuild::BuildTwoPartFile(parts), kTq520x), 1);
  // Controller: 0xFF from 0xC0 to 0xDF, the 32nd at 0xDF. App: 0xFF from
  // 0x1F8, counted from 0x200, the 32nd at 0x21F.
  EXPECT_EQ(ControllerPart.length, 0xD0);
  EXPECT_EQ(AppPart.length, 0x210);
}

TEST_F(ProgramLoaderTest, SearchFindsATwoPartImageBehindJunk) {
  std::vector<uint8_t> file = fwbuild::PseudoRandomBytes(4096, 8);
  const std::vector<uint8_t> twoPart = fwbuild::BuildTwoPartFile(TwoParts());
  file.insert(file.end(), twoPart.begin(), twoPart.end());
  ASSERT_EQ(Load(file, kTq52xx), 1);
  ASSERT_TRUE(TwoPartImage);
  // The 64 KiB lead-in is counted from where the image was found.
  EXPECT_EQ(Stored(ProgramImage), Slice(file, 4096 + 0x10000, file.size() - 4096 - 0x10000));
  EXPECT_EQ(ControllerPart.length, 0x140);
  EXPECT_EQ(AppPart.length, 0x310);
}

TEST_F(ProgramLoaderTest, TwoPartFileIsRefusedWhereOnlyOnePartImagesAreAllowed) {
  EXPECT_EQ(Load(fwbuild::BuildTwoPartFile(TwoParts()), kTq3410), 0);
  EXPECT_EQ(ProgramImage.data, nullptr);
}

TEST_F(ProgramLoaderTest, OnlyTheAppPartDigestIsChecked) {
  fwbuild::TwoPartOptions parts = TwoParts();
  parts.controller.corruptDigest = true;
  EXPECT_EQ(Load(fwbuild::BuildTwoPartFile(parts), kTq520x), 1);
  parts = TwoParts();
  parts.app.corruptDigest = true;
  const std::vector<uint8_t> badApp = fwbuild::BuildTwoPartFile(parts);
  EXPECT_EQ(Load(badApp, kTq520x), 0);
  EXPECT_EQ(Load(badApp, kTq52xx), 1);
}

TEST_F(ProgramLoaderTest, TwoPartTruncationAtTheAppTrailer) {
  fwbuild::TwoPartOptions parts = TwoParts();
  parts.appDataEnd = 0;
  parts.tailFill = 0;
  const std::vector<uint8_t> file = fwbuild::BuildTwoPartFile(parts);
  const size_t appImage = 32 + 0x200;
  ASSERT_EQ(file.size(), 0x30000 + appImage + 40);
  ASSERT_EQ(Load(file, kTq520x), 1);
  // No fill after the App part: it takes every stored byte from 0x20000.
  EXPECT_EQ(AppPart.length, static_cast<int32_t>(appImage + 40));
  EXPECT_EQ(Load(Slice(file, 0, file.size() - 1), kTq520x), 0);
  EXPECT_EQ(ParseWithoutDigest(file, 0x30000 + appImage), 1);
  EXPECT_EQ(ParseWithoutDigest(file, 0x30000 + appImage - 1), 0);
  EXPECT_EQ(ParseWithoutDigest(file, 0x30000 + 31), 0);
}

TEST_F(ProgramLoaderTest, ParseImageReturnsTheLayoutAndWritesNoRecord) {
  const std::vector<uint8_t> file = fwbuild::BuildTwoPartFile(TwoParts());
  ImageLayout layout;
  ASSERT_EQ(ParseImage(file.data(), static_cast<int64_t>(file.size()), kTq520x.checks, &layout), 1);
  EXPECT_TRUE(layout.twoPart);
  EXPECT_EQ(layout.programHeader.bodySize, 0xC0u);
  EXPECT_EQ(layout.appHeader.bodySize, 0x200u);
  const std::vector<uint8_t> one = fwbuild::BuildOnePartFile(image_);
  ASSERT_EQ(ParseImage(one.data(), static_cast<int64_t>(one.size()), kTq520x.checks, &layout), 1);
  EXPECT_FALSE(layout.twoPart);
  EXPECT_EQ(layout.programHeader.bodySize, 1000u);
  // Neither parse, nor a failed load, touches the image records.
  EXPECT_FALSE(TwoPartImage);
  EXPECT_EQ(ProgramHeader.bodySize, 0u);
  EXPECT_EQ(AppHeader.bodySize, 0u);
  ASSERT_EQ(Load(one, kTq520x), 1);
  EXPECT_EQ(Load(file, kTq3410), 0);
  EXPECT_FALSE(TwoPartImage);
  EXPECT_EQ(ProgramHeader.bodySize, 1000u);
  EXPECT_EQ(AppHeader.bodySize, 0u);
}

TEST_F(ProgramLoaderTest, SearchFindsTheImageAtMultiplesOf4096) {
  for (size_t offset : {size_t{0}, size_t{4096}, size_t{8192}, size_t{5 * 4096}}) {
    SCOPED_TRACE(offset);
    ResetImages();
    const std::vector<uint8_t> file = fwbuild::BuildOffsetImageFile(image_, offset, 64);
    ASSERT_EQ(Load(file, kTq52xx), 1);
    EXPECT_FALSE(TwoPartImage);
    EXPECT_EQ(Stored(ProgramImage), Slice(file, offset, file.size() - offset));
    EXPECT_EQ(ProgramImage.crc32, CrcOf(Slice(file, offset, file.size() - offset)));
    EXPECT_EQ(Load(file, kTq520x), offset == 0 ? 1 : 0);
    EXPECT_EQ(Load(file, kTq3410), offset == 0 ? 1 : 0);
  }
}

TEST_F(ProgramLoaderTest, SearchOnlyTriesMultiplesOf4096) {
  EXPECT_EQ(Load(fwbuild::BuildOffsetImageFile(image_, 100, 64), kTq52xx), 0);
  EXPECT_EQ(Load(fwbuild::BuildOffsetImageFile(image_, 4096 + 16, 64), kTq52xx), 0);
}

TEST_F(ProgramLoaderTest, SearchStopsAtTheFirstImage) {
  std::vector<uint8_t> file = fwbuild::BuildOffsetImageFile(image_, 4096);
  file.resize(8192, 0x00);
  fwbuild::ImageOptions later = image_;
  later.version = {0x09, 0x09, 0x09, 0x00, 0x09, 0x00, 0x00, 0x00};
  const std::vector<uint8_t> second = fwbuild::BuildImage(later);
  file.insert(file.end(), second.begin(), second.end());
  ASSERT_EQ(Load(file, kTq52xx), 1);
  EXPECT_EQ(ImageVersionText(LoadedImages.program, ImagePart::kWhole), "01-02-0003-00000004");
  EXPECT_EQ(ProgramImage.length, static_cast<int32_t>(file.size() - 4096));
}

TEST_F(ProgramLoaderTest, ALaterLoadReplacesTheTwoPartViews) {
  ASSERT_EQ(Load(fwbuild::BuildTwoPartFile(TwoParts()), kTq520x), 1);
  ASSERT_NE(AppPart.data, nullptr);
  ASSERT_EQ(Load(fwbuild::BuildOnePartFile(image_), kTq520x), 1);
  EXPECT_FALSE(TwoPartImage);
  EXPECT_EQ(ControllerPart.data, nullptr);
  EXPECT_EQ(ControllerPart.length, 0);
  EXPECT_EQ(AppPart.data, nullptr);
  EXPECT_EQ(AppPart.length, 0);
}

TEST_F(ProgramLoaderTest, PathsThatAreNotRegularFilesAreRefused) {
  const std::string directory = files_.MakeDirectory("firmware.d");
  ASSERT_FALSE(directory.empty());
  EXPECT_EQ(LoadProgramFile(directory, kTq520x.checks, &LoadedImages.program), 0);
  // Opening a FIFO without a writer would block; it must be refused first.
  const std::string fifo = files_.MakeFifo("firmware.fifo");
  ASSERT_FALSE(fifo.empty());
  EXPECT_EQ(LoadProgramFile(fifo, kTq520x.checks, &LoadedImages.program), 0);
  EXPECT_EQ(LoadProgramFile("/dev/zero", kTq52xx.checks, &LoadedImages.program), 0);
  EXPECT_EQ(ProgramImage.data, nullptr);
}

TEST_F(ProgramLoaderTest, FilesOfTwoGibibytesOrMoreAreRefused) {
  // A valid image at the start of a sparse 2 GiB file: the lengths of the
  // image are signed 32-bit, so it must be refused, not truncated.
  const std::string path = files_.Write("huge.bin", fwbuild::BuildOnePartFile(image_));
  ASSERT_FALSE(path.empty());
  ASSERT_EQ(truncate(path.c_str(), int64_t{1} << 31), 0);
  EXPECT_EQ(LoadProgramFile(path, kTq520x.checks, &LoadedImages.program), 0);
  for (const LoadFlags& flags : {kTq3410, kTq520x, kTq52xx}) {
    SCOPED_TRACE(flags.name);
    ProgramLoadFailure failure;
    EXPECT_EQ(LoadProgramFile(path, flags.checks, &LoadedImages.program, &failure), 0);
    EXPECT_TRUE(failure.tooLarge);
    EXPECT_EQ(failure.fileSize, int64_t{1} << 31);
  }
  EXPECT_EQ(ProgramImage.data, nullptr);
  EXPECT_EQ(ProgramImage.length, 0);
}

TEST_F(ProgramLoaderTest, OneByteUnderTwoGibibytesIsNotTooLarge) {
  // Junk at the start, so that no image is found and nothing large is kept.
  const std::string path = files_.Write("limit.bin", fwbuild::PseudoRandomBytes(64, 5));
  ASSERT_FALSE(path.empty());
  ASSERT_EQ(truncate(path.c_str(), kProgramMaxSize), 0);
  ProgramLoadFailure failure;
  EXPECT_EQ(LoadProgramFile(path, kTq520x.checks, &LoadedImages.program, &failure), 0);
  EXPECT_FALSE(failure.tooLarge);
}

// The loader's answer for a file as the search over the whole file in
// memory gives it: ParseImage at 0, then (searching) at every multiple of
// 4096, and the bytes from the image (or its Controller part) kept.
int LoadInMemory(const std::vector<uint8_t>& file, const ProgramFileChecks& checks,
                 LoadedProgram* program) {
  const int64_t size = static_cast<int64_t>(file.size());
  for (int64_t start = 0; start < size; start += 4096) {
    ImageLayout layout;
    if (ParseImage(file.data() + start, size - start, checks, &layout) == 1) {
      program->header = layout.programHeader;
      program->appHeader = layout.appHeader;
      program->twoPart = layout.twoPart;
      const int64_t kept = start + (layout.twoPart ? 0x10000 : 0);
      return StoreProgramImage(file.data() + kept, size - kept, program);
    }
    if (!checks.search)
      break;
  }
  return 0;
}

void ExpectSameImage(const FirmwareImage& loaded, const FirmwareImage& expected) {
  EXPECT_EQ(loaded.length, expected.length);
  EXPECT_EQ(loaded.crc32, expected.crc32);
  if (loaded.data != nullptr && expected.data != nullptr && loaded.length == expected.length) {
    EXPECT_EQ(std::memcmp(loaded.data, expected.data, static_cast<size_t>(loaded.length)), 0);
  }
  EXPECT_EQ(loaded.data == nullptr, expected.data == nullptr);
}

TEST_F(ProgramLoaderTest, ReadingOnlyTheHeaderWindowsFindsWhatTheWholeFileSearchFinds) {
  fwbuild::ImageOptions corrupt = image_;
  corrupt.corruptDigest = true;
  std::vector<uint8_t> twoFound = fwbuild::BuildOffsetImageFile(image_, 4096);
  twoFound.resize(8192, 0x00);
  const std::vector<uint8_t> second = fwbuild::BuildImage(image_);
  twoFound.insert(twoFound.end(), second.begin(), second.end());
  std::vector<uint8_t> lateTwoPart = fwbuild::PseudoRandomBytes(3 * 4096, 9);
  const std::vector<uint8_t> parts = fwbuild::BuildTwoPartFile(TwoParts());
  lateTwoPart.insert(lateTwoPart.end(), parts.begin(), parts.end());
  // An image that would run past the end, then one that fits.
  std::vector<uint8_t> tooLongFirst = fwbuild::BuildOnePartFile(image_);
  tooLongFirst.resize(200);
  tooLongFirst.resize(4096, 0xFF);
  const std::vector<uint8_t> fits = fwbuild::BuildOnePartFile(image_);
  tooLongFirst.insert(tooLongFirst.end(), fits.begin(), fits.end());
  const std::vector<std::vector<uint8_t>> table = {
      fwbuild::BuildOnePartFile(image_),
      fwbuild::BuildOnePartFile(image_, 300),
      fwbuild::BuildOnePartFile(corrupt),
      parts,
      lateTwoPart,
      twoFound,
      tooLongFirst,
      fwbuild::BuildOffsetImageFile(image_, 8192, 64),
      fwbuild::BuildOffsetImageFile(image_, 100, 64),
      // The image in the file's last window, nothing after its trailer.
      fwbuild::BuildOffsetImageFile(image_, 20 * 4096, 0),
      fwbuild::PseudoRandomBytes(5000, 4),
  };
  for (size_t row = 0; row < table.size(); ++row) {
    for (const LoadFlags& flags : {kTq3410, kTq520x, kTq52xx}) {
      SCOPED_TRACE(std::to_string(row) + " " + flags.name);
      LoadedProgram expected;
      const int expectedResult = LoadInMemory(table[row], flags.checks, &expected);
      ResetImages();
      ASSERT_EQ(Load(table[row], flags), expectedResult);
      if (expectedResult == 0)
        continue;
      EXPECT_EQ(TwoPartImage, expected.twoPart);
      EXPECT_EQ(ImageVersionText(LoadedImages.program, ImagePart::kWhole),
                ImageVersionText(expected, ImagePart::kWhole));
      EXPECT_EQ(ProgramHeader.headerWord, expected.header.headerWord);
      ExpectSameImage(ProgramImage, expected.image);
      ExpectSameImage(ControllerPart, expected.controllerPart);
      ExpectSameImage(AppPart, expected.appPart);
    }
  }
}

// A field of /proc/self/status in KiB: VmRSS now, VmHWM the peak since the
// last reset.
int64_t StatusKiB(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const std::string prefix = std::string(field) + ":";
  while (std::getline(status, line)) {
    if (line.compare(0, prefix.size(), prefix) == 0)
      return std::atoll(line.c_str() + prefix.size());
  }
  return -1;
}

bool ResetPeakMemory() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
  return static_cast<bool>(clear.flush());
}

TEST_F(ProgramLoaderTest, AnImageBehindALargePaddingIsFoundWithoutHoldingThePadding) {
  // 128 MiB of padding before the header; only the image is kept.
  constexpr int64_t kPadding = (int64_t{128} << 20) - 2 * 4096;
  const std::vector<uint8_t> image = fwbuild::BuildOnePartFile(image_, 5000);
  const std::string path = files_.Path("padded.bin");
  ASSERT_TRUE(e2e::WriteSparse(path, kPadding, image));
  ASSERT_TRUE(ResetPeakMemory());
  const int64_t before = StatusKiB("VmRSS");
  ASSERT_EQ(LoadProgramFile(path, kTq52xx.checks, &LoadedImages.program), 1);
  const int64_t grown = StatusKiB("VmHWM") - before;
  EXPECT_LT(grown, 2 * static_cast<int64_t>(image.size()) / 1024 + 16 * 1024);
  EXPECT_EQ(Stored(ProgramImage), image);
  EXPECT_EQ(ProgramImage.crc32, CrcOf(image));
  EXPECT_EQ(ImageVersionText(LoadedImages.program, ImagePart::kWhole), "01-02-0003-00000004");
  // Where no search is made the padding is no image.
  EXPECT_EQ(LoadProgramFile(path, kTq520x.checks, &LoadedImages.program), 0);
}

}  // namespace
