#include "shared_bus/wire.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string>

namespace emu {
namespace wire {
namespace {

using nlohmann::json;

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool ReadAll(int fd, char* data, size_t size) {
  while (size > 0) {
    ssize_t n = recv(fd, data, size, 0);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

bool Send(int fd, const json& message) {
  std::string body = message.dump();
  uint32_t size = static_cast<uint32_t>(body.size());
  char head[4] = {static_cast<char>(size & 0xFF), static_cast<char>((size >> 8) & 0xFF),
                  static_cast<char>((size >> 16) & 0xFF), static_cast<char>(size >> 24)};
  std::string frame(head, 4);
  frame += body;
  return WriteAll(fd, frame.data(), frame.size());
}

bool Receive(int fd, json* message) {
  unsigned char head[4];
  if (!ReadAll(fd, reinterpret_cast<char*>(head), 4))
    return false;
  uint32_t size = head[0] | (head[1] << 8) | (head[2] << 16) | (uint32_t{head[3]} << 24);
  if (size > kMaxMessage)
    return false;
  std::string body(size, '\0');
  if (!ReadAll(fd, body.data(), size))
    return false;
  *message = json::parse(body, nullptr, false);
  return !message->is_discarded();
}

}  // namespace wire
}  // namespace emu
