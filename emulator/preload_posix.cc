// The program learns a hidraw node's USB port from sysfs. When the emulator
// has a sysfs tree of its own (see sysfs_tree_posix.cc), realpath() of a
// path under /sys is answered from that tree and handed back as a /sys
// path, so the program reads exactly what it would read on a real machine.
#include <dlfcn.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "bus_client.h"
#include "device_model.h"

#if defined(QUORVEL_EMULATOR_PRELOAD)

namespace {

std::string SysfsRootInUse() {
  if (emu::client::Active())
    return emu::client::SysfsRoot();
  std::lock_guard<std::recursive_mutex> lock(emu::internal::TheWorld().mutex);
  return emu::internal::TheWorld().sysfsRoot;
}

}  // namespace

extern "C" char* realpath(const char* path, char* resolved) {
  using RealPath = char* (*)(const char*, char*);
  static RealPath next = reinterpret_cast<RealPath>(dlsym(RTLD_NEXT, "realpath"));
  if (!next)
    return nullptr;
  if (!path || std::strncmp(path, "/sys/", 5) != 0)
    return next(path, resolved);
  std::string root = SysfsRootInUse();
  if (root.empty())
    return next(path, resolved);
  char* inTree = next((root + (path + 4)).c_str(), nullptr);
  if (!inTree)
    return nullptr;
  std::string shown = inTree;
  std::free(inTree);
  // The tree's own location may itself pass through links (a TMPDIR, say).
  char* realRoot = next(root.c_str(), nullptr);
  if (realRoot) {
    root = realRoot;
    std::free(realRoot);
  }
  if (shown.compare(0, root.size(), root) == 0)
    shown = "/sys" + shown.substr(root.size());
  if (resolved) {
    if (shown.size() >= PATH_MAX) {
      errno = ENAMETOOLONG;
      return nullptr;
    }
    std::strcpy(resolved, shown.c_str());
    return resolved;
  }
  return strdup(shown.c_str());
}

#endif
