#include "preload/sysfs_view.h"

#include <dlfcn.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

extern "C" char* realpath(const char* path, char* resolved) {
  using RealPath = char* (*)(const char*, char*);
  static RealPath next = reinterpret_cast<RealPath>(dlsym(RTLD_NEXT, "realpath"));
  if (!next)
    return nullptr;
  if (!path || std::strncmp(path, "/sys/", 5) != 0)
    return next(path, resolved);
  std::string root = emu::internal::SysfsViewRoot();
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
