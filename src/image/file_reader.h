// Whole-file binary reads for firmware program files. Only regular files are
// read: a FIFO or a device node named by mistake would block or stream
// without end. The file is opened without blocking and the opened file is
// checked, so that nothing can be swapped in between a check and the open.
#ifndef QUORVEL_IMAGE_FILE_READER_H_
#define QUORVEL_IMAGE_FILE_READER_H_

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"  // FileReadResult

// Checks that the path names a regular file that opens for reading; the file
// is closed again at once.
FileReadResult ProbeReadableFile(const std::string& path);

// Reads the whole file, its size taken from the opened file's status (fstat,
// or the size Windows reports for the handle). Files larger than maxSize
// bytes are refused before anything is allocated.
FileReadResult ReadWholeFile(const std::string& path, int64_t maxSize, std::vector<uint8_t>* bytes);

// A regular file open for reads at offsets, so that a large file is never
// held whole. Closed by its destructor; not copyable.
struct OpenedFile {
  OpenedFile() = default;
  OpenedFile(const OpenedFile&) = delete;
  OpenedFile& operator=(const OpenedFile&) = delete;
  ~OpenedFile();
  bool open = false;
  intptr_t handle = 0;
  int64_t size = 0;
};

// Opens and judges the file as ReadWholeFile does, whatever its size: kOk
// with *file open and its size set, else *file stays closed.
FileReadResult OpenFileForRanges(const std::string& path, OpenedFile* file);
// Reads exactly length bytes from offset into bytes: true, or false when
// the range is not inside the file or the read failed.
bool ReadFileRange(const OpenedFile& file, int64_t offset, size_t length, uint8_t* bytes);

#endif  // QUORVEL_IMAGE_FILE_READER_H_
