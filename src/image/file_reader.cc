#include "image/file_reader.h"

FileReadResult ProbeReadableFile(const std::string& path) {
  return g_platform.readRegularFile(path, 0, nullptr);
}

FileReadResult ReadWholeFile(const std::string& path, int64_t maxSize,
                             std::vector<uint8_t>* bytes) {
  return g_platform.readRegularFile(path, maxSize, bytes);
}
