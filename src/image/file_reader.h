// Whole-file binary reads for firmware program files. Only regular files are
// opened: a FIFO or a device node named by mistake would block the open or
// stream without end, so such paths are refused before any open.
#ifndef QUORVEL_IMAGE_FILE_READER_H_
#define QUORVEL_IMAGE_FILE_READER_H_

#include <cstdint>
#include <string>
#include <vector>

enum class FileReadResult {
  kOk,
  kNotFound,    // missing, or it cannot be opened for reading
  kNotRegular,  // a directory, FIFO, device node or socket
  kTooLarge,    // larger than the caller's limit; nothing was read
  kReadError,   // the size could not be found, no memory, or the read failed
};

// Checks that the path names a regular file that opens for reading; the file
// is closed again at once.
FileReadResult ProbeReadableFile(const std::string& path);

// Reads the whole file, its size found by seeking to the end. Files larger
// than maxSize bytes are refused before anything is allocated.
FileReadResult ReadWholeFile(const std::string& path, int64_t maxSize, std::vector<uint8_t>* bytes);

#endif  // QUORVEL_IMAGE_FILE_READER_H_
