// A scratch directory for firmware files written by a test, removed with
// everything in it when the test ends.
#ifndef QUORVEL_TESTS_IMAGE_TEMP_FILES_H_
#define QUORVEL_TESTS_IMAGE_TEMP_FILES_H_

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "firmware_builder.h"

class TempFiles {
 public:
  TempFiles() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quorvel-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) {
      dir_ = pattern;
    }
  }
  ~TempFiles() {
    for (int fd : fifoHolds_) {
      close(fd);
    }
    std::error_code ignored;
    if (!dir_.empty()) {
      std::filesystem::remove_all(dir_, ignored);
    }
  }
  TempFiles(const TempFiles&) = delete;
  TempFiles& operator=(const TempFiles&) = delete;

  bool ok() const { return !dir_.empty(); }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  // Writes the bytes and returns the file's path (empty when writing failed).
  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
    const std::string path = Path(name);
    return fwbuild::WriteFile(path, bytes) ? path : std::string();
  }
  // The FIFO is held open for reading and writing, so that code which
  // wrongly opens it fails its test instead of blocking it for ever.
  std::string MakeFifo(const std::string& name) {
    const std::string path = Path(name);
    if (mkfifo(path.c_str(), 0600) != 0) {
      return std::string();
    }
    const int fd = open(path.c_str(), O_RDWR | O_NONBLOCK);
    if (fd < 0) {
      return std::string();
    }
    fifoHolds_.push_back(fd);
    return path;
  }
  std::string MakeDirectory(const std::string& name) const {
    const std::string path = Path(name);
    std::error_code error;
    return std::filesystem::create_directory(path, error) ? path : std::string();
  }

 private:
  std::string dir_;
  std::vector<int> fifoHolds_;
};

#endif  // QUORVEL_TESTS_IMAGE_TEMP_FILES_H_
