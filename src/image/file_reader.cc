#include "image/file_reader.h"

#include <filesystem>
#include <fstream>
#include <new>
#include <system_error>

namespace {

FileReadResult CheckRegularFile(const std::string& path) {
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(path, error);
  if (error || !std::filesystem::exists(status)) {
    return FileReadResult::kNotFound;
  }
  if (!std::filesystem::is_regular_file(status)) {
    return FileReadResult::kNotRegular;
  }
  return FileReadResult::kOk;
}

// The stream's size by seeking to its end, then back to the start; -1 when
// either seek fails.
int64_t StreamSize(std::ifstream* stream) {
  stream->seekg(0, std::ios::end);
  const std::streamoff end = stream->tellg();
  if (!*stream || end < 0) {
    return -1;
  }
  stream->seekg(0, std::ios::beg);
  if (!*stream) {
    return -1;
  }
  return static_cast<int64_t>(end);
}

// Opens a regular file for binary reading; anything else is refused before
// an open is tried.
FileReadResult OpenRegularFile(const std::string& path, std::ifstream* stream) {
  if (path.empty()) {
    return FileReadResult::kNotFound;
  }
  const FileReadResult kind = CheckRegularFile(path);
  if (kind != FileReadResult::kOk) {
    return kind;
  }
  stream->open(path, std::ios::in | std::ios::binary);
  return stream->is_open() ? FileReadResult::kOk : FileReadResult::kNotFound;
}

}  // namespace

FileReadResult ProbeReadableFile(const std::string& path) {
  std::ifstream stream;
  return OpenRegularFile(path, &stream);
}

FileReadResult ReadWholeFile(const std::string& path, int64_t maxSize,
                             std::vector<uint8_t>* bytes) {
  bytes->clear();
  std::ifstream stream;
  const FileReadResult opened = OpenRegularFile(path, &stream);
  if (opened != FileReadResult::kOk) {
    return opened;
  }
  const int64_t size = StreamSize(&stream);
  if (size < 0) {
    return FileReadResult::kReadError;
  }
  if (size > maxSize) {
    return FileReadResult::kTooLarge;
  }
  try {
    bytes->resize(static_cast<size_t>(size));
  } catch (const std::bad_alloc&) {
    return FileReadResult::kReadError;
  }
  if (size > 0) {
    stream.read(reinterpret_cast<char*>(bytes->data()), static_cast<std::streamsize>(size));
    if (stream.fail() || stream.bad()) {
      bytes->clear();
      return FileReadResult::kReadError;
    }
  }
  return FileReadResult::kOk;
}
