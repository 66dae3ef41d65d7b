#include "preload/lock_namespace.h"

#include <dlfcn.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

constexpr char kProgramPrefix[] = "quorvel-dfu/";
constexpr size_t kPrefixLength = sizeof(kProgramPrefix) - 1;

bool IsProgramLock(const sockaddr* address, socklen_t length) {
  if (!address || address->sa_family != AF_UNIX)
    return false;
  const size_t nameStart = offsetof(sockaddr_un, sun_path) + 1;
  if (length < nameStart + kPrefixLength)
    return false;
  if (length > sizeof(sockaddr_un))
    return false;
  const sockaddr_un* local = reinterpret_cast<const sockaddr_un*>(address);
  return local->sun_path[0] == '\0' &&
         std::memcmp(local->sun_path + 1, kProgramPrefix, kPrefixLength) == 0;
}

uint32_t Fnv1a32(const std::string& text) {
  uint32_t hash = 2166136261u;
  for (unsigned char c : text) {
    hash ^= c;
    hash *= 16777619u;
  }
  return hash;
}

}  // namespace

extern "C" int bind(int fd, const sockaddr* address, socklen_t length) {
  using Bind = int (*)(int, const sockaddr*, socklen_t);
  static Bind next = reinterpret_cast<Bind>(dlsym(RTLD_NEXT, "bind"));
  if (!next)
    return -1;
  if (!IsProgramLock(address, length))
    return next(fd, address, length);
  sockaddr_un moved;
  std::memcpy(&moved, address, length);
  char prefix[kPrefixLength + 1];
  std::snprintf(prefix, sizeof prefix, "qve%08x/", Fnv1a32(emu::internal::LockNamespace()));
  std::memcpy(moved.sun_path + 1, prefix, kPrefixLength);
  return next(fd, reinterpret_cast<const sockaddr*>(&moved), length);
}
