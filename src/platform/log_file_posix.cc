// The append-only log on POSIX: O_APPEND puts every write at the end of the
// file, even when another process appends too, and fsync puts it on the disk.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "platform/platform.h"

bool OpenLogForAppend(const std::string& path, intptr_t* handle, std::string* error) {
  // O_NONBLOCK: a FIFO without a reader would block the open; it is refused
  // below anyway. It changes nothing for a regular file.
  int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0644);
  if (fd < 0) {
    *error = strerror(errno);
    return false;
  }
  struct stat status {};
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    *error = "not a regular file";
    close(fd);
    return false;
  }
  *handle = fd;
  return true;
}

bool AppendAndSync(intptr_t handle, const std::string& line, std::string* error) {
  const int fd = static_cast<int>(handle);
  ssize_t written = write(fd, line.data(), line.size());
  if (written < 0) {
    *error = strerror(errno);
    return false;
  }
  if (static_cast<size_t>(written) != line.size()) {
    *error = "only " + std::to_string(written) + " of " + std::to_string(line.size()) +
             " bytes written (disk full?)";
    return false;
  }
  if (fsync(fd) != 0) {
    *error = std::string("cannot flush to the disk: ") + strerror(errno);
    return false;
  }
  return true;
}

void CloseLog(intptr_t handle) {
  close(static_cast<int>(handle));
}
