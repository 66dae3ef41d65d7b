#include "image/header_windows.h"

#include <algorithm>

namespace {

// Large enough that the scan costs few reads, small against the 16 MiB a
// load may use beside the image it keeps.
constexpr int64_t kScanChunk = 1 << 20;

// Reads the next chunk and notes which of its windows start a valid header.
bool ScanNextChunk(HeaderWindows* windows) {
  const OpenedFile& file = *windows->file;
  const int64_t length = std::min(kScanChunk, file.size - windows->scannedEnd);
  windows->chunk.resize(static_cast<size_t>(length));
  if (length <= 0 ||
      !ReadFileRange(file, windows->scannedEnd, windows->chunk.size(), windows->chunk.data())) {
    windows->readFailed = true;
    return false;
  }
  ImageHeader header;
  for (int64_t at = 0; at < length; at += kHeaderWindowStep) {
    windows->valid.push_back(length - at >= kImageHeaderSize &&
                             DecodeImageHeader(windows->chunk.data() + at, &header));
  }
  windows->scannedEnd += length;
  return true;
}

bool ReadHeader(HeaderWindows* windows, int64_t offset, ImageHeader* header) {
  uint8_t bytes[kImageHeaderSize];
  if (!ReadFileRange(*windows->file, offset, sizeof(bytes), bytes)) {
    windows->readFailed = true;
    return false;
  }
  return DecodeImageHeader(bytes, header);
}

}  // namespace

bool WindowHeader(HeaderWindows* windows, int64_t offset, ImageHeader* header) {
  if (windows->readFailed || offset < 0 || windows->file->size - offset < kImageHeaderSize) {
    return false;
  }
  if (offset % kHeaderWindowStep != 0) {
    return ReadHeader(windows, offset, header);
  }
  while (windows->scannedEnd <= offset) {
    if (!ScanNextChunk(windows))
      return false;
  }
  // Valid windows are rare: their header is read again rather than kept.
  const size_t window = static_cast<size_t>(offset / kHeaderWindowStep);
  return windows->valid[window] && ReadHeader(windows, offset, header);
}
