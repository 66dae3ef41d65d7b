#include "image/file_reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "firmware_builder.h"
#include "image/temp_files.h"

namespace {

TEST(FileReaderTest, ReadsTheWholeFileInBinary) {
  TempFiles files;
  ASSERT_TRUE(files.ok());
  // Line ends and zero bytes must pass through untranslated.
  const std::vector<uint8_t> bytes = {'\r', '\n', 0x00, 0x1A, '\n', 0xFF, '\r'};
  const std::string path = files.Write("binary.bin", bytes);
  std::vector<uint8_t> read;
  ASSERT_EQ(ReadWholeFile(path, 1000, &read), FileReadResult::kOk);
  EXPECT_EQ(read, bytes);
  EXPECT_EQ(ProbeReadableFile(path), FileReadResult::kOk);
}

TEST(FileReaderTest, SizeLimitIsInclusive) {
  TempFiles files;
  ASSERT_TRUE(files.ok());
  const std::string path = files.Write("hundred.bin", fwbuild::PseudoRandomBytes(100, 1));
  std::vector<uint8_t> read;
  EXPECT_EQ(ReadWholeFile(path, 100, &read), FileReadResult::kOk);
  EXPECT_EQ(read.size(), 100u);
  EXPECT_EQ(ReadWholeFile(path, 99, &read), FileReadResult::kTooLarge);
  EXPECT_TRUE(read.empty());
}

TEST(FileReaderTest, EmptyFileReadsAsNoBytes) {
  TempFiles files;
  ASSERT_TRUE(files.ok());
  std::vector<uint8_t> read = {1, 2, 3};
  EXPECT_EQ(ReadWholeFile(files.Write("empty.bin", {}), 10, &read), FileReadResult::kOk);
  EXPECT_TRUE(read.empty());
}

TEST(FileReaderTest, OnlyRegularFilesAreOpened) {
  TempFiles files;
  ASSERT_TRUE(files.ok());
  std::vector<uint8_t> read;
  const std::string directory = files.MakeDirectory("dir");
  const std::string fifo = files.MakeFifo("fifo");
  ASSERT_FALSE(directory.empty());
  ASSERT_FALSE(fifo.empty());
  for (const std::string& path : {directory, fifo, std::string("/dev/null")}) {
    SCOPED_TRACE(path);
    EXPECT_EQ(ProbeReadableFile(path), FileReadResult::kNotRegular);
    EXPECT_EQ(ReadWholeFile(path, 1000, &read), FileReadResult::kNotRegular);
  }
  EXPECT_EQ(ProbeReadableFile(files.Path("missing")), FileReadResult::kNotFound);
  EXPECT_EQ(ReadWholeFile(files.Path("missing"), 1000, &read), FileReadResult::kNotFound);
  EXPECT_EQ(ProbeReadableFile(""), FileReadResult::kNotFound);
}

}  // namespace
