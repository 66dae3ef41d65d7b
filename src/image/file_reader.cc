#include "image/file_reader.h"

FileReadResult ProbeReadableFile(const std::string& path) {
  return g_platform.readRegularFile(path, 0, nullptr);
}

FileReadResult ReadWholeFile(const std::string& path, int64_t maxSize,
                             std::vector<uint8_t>* bytes) {
  return g_platform.readRegularFile(path, maxSize, bytes);
}

OpenedFile::~OpenedFile() {
  if (open)
    g_platform.closeFile(handle);
}

FileReadResult OpenFileForRanges(const std::string& path, OpenedFile* file) {
  if (file->open) {
    g_platform.closeFile(file->handle);
    file->open = false;
  }
  FileReadResult result = g_platform.openRegularFile(path, &file->handle, &file->size);
  file->open = result == FileReadResult::kOk;
  return result;
}

bool ReadFileRange(const OpenedFile& file, int64_t offset, size_t length, uint8_t* bytes) {
  if (!file.open || offset < 0 || offset > file.size ||
      static_cast<uint64_t>(file.size - offset) < length)
    return false;
  return length == 0 || g_platform.readFileAt(file.handle, offset, length, bytes);
}
