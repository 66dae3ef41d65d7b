// The image headers a program file offers at multiples of 4096, learned by
// reading the file in order, a chunk at a time, only as far as a question
// reaches: a search for an image behind a large padding keeps one chunk in
// memory instead of the whole file.
#ifndef QUORVEL_IMAGE_HEADER_WINDOWS_H_
#define QUORVEL_IMAGE_HEADER_WINDOWS_H_

#include <cstdint>
#include <vector>

#include "image/file_reader.h"
#include "image/image_layout.h"

constexpr int64_t kHeaderWindowStep = 4096;

struct HeaderWindows {
  const OpenedFile* file = nullptr;
  std::vector<bool> valid;  // per window read so far: a valid header starts there
  int64_t scannedEnd = 0;   // bytes of the file read so far
  bool readFailed = false;  // a read of the file failed; every answer after is false
  std::vector<uint8_t> chunk;
};

// Decodes the header that starts at offset of the file into *header: true
// when a valid one (DecodeImageHeader) starts there with its 32 bytes
// inside the file. Offsets that are multiples of kHeaderWindowStep are
// answered from the scan, others by reading their 32 bytes. False, with
// readFailed set, when the file could not be read; *header then holds
// nothing to use.
bool WindowHeader(HeaderWindows* windows, int64_t offset, ImageHeader* header);

#endif  // QUORVEL_IMAGE_HEADER_WINDOWS_H_
