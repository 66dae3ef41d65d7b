#include "gadget/host_opens.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/fanotify.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <map>

namespace emu {
namespace {

// The command line of a process, read while it still runs (it has just
// opened the node); empty when it is gone already.
std::string CommandOf(int pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/cmdline", std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  while (!text.empty() && text.back() == '\0')
    text.pop_back();
  for (char& c : text) {
    if (c == '\0')
      c = ' ';
  }
  return text;
}

// A file handle as bytes: its type, then the handle itself.
std::string HandleKey(const file_handle& handle) {
  std::string key(reinterpret_cast<const char*>(&handle.handle_type), sizeof handle.handle_type);
  key.append(reinterpret_cast<const char*>(handle.f_handle), handle.handle_bytes);
  return key;
}

// The hidraw nodes under /dev now, by file handle.
std::map<std::string, std::string> HidrawNodes() {
  std::map<std::string, std::string> nodes;
  DIR* dir = opendir("/dev");
  if (dir == nullptr)
    return nodes;
  while (dirent* entry = readdir(dir)) {
    if (std::strncmp(entry->d_name, "hidraw", 6) != 0)
      continue;
    std::string path = std::string("/dev/") + entry->d_name;
    alignas(file_handle) char buffer[sizeof(file_handle) + MAX_HANDLE_SZ];
    auto* handle = reinterpret_cast<file_handle*>(buffer);
    handle->handle_bytes = MAX_HANDLE_SZ;
    int mount = 0;
    if (name_to_handle_at(AT_FDCWD, path.c_str(), handle, &mount, 0) == 0)
      nodes[HandleKey(*handle)] = path;
  }
  closedir(dir);
  return nodes;
}

// The node an event names, among the hidraw nodes (looked up once per batch
// of events, when the first one needs it); empty for any other file.
std::string NodeOf(const fanotify_event_metadata* event, std::map<std::string, std::string>* nodes,
                   bool* looked) {
  auto* info = reinterpret_cast<const fanotify_event_info_fid*>(event + 1);
  if (event->event_len < sizeof *event + sizeof *info ||
      info->hdr.info_type != FAN_EVENT_INFO_TYPE_FID)
    return "";
  if (!*looked) {
    *nodes = HidrawNodes();
    *looked = true;
  }
  auto* handle = reinterpret_cast<const file_handle*>(info->handle);
  auto found = nodes->find(HandleKey(*handle));
  return found == nodes->end() ? "" : found->second;
}

}  // namespace

int WatchDeviceOpens(std::string* error) {
  // With FAN_REPORT_FID an event names the file by handle; without it the
  // kernel would open the file for every event, and for a hidraw node that
  // open is one like any other.
  int fd = fanotify_init(FAN_CLASS_NOTIF | FAN_REPORT_FID | FAN_CLOEXEC | FAN_NONBLOCK, O_RDONLY);
  if (fd < 0) {
    *error = std::string("fanotify_init: ") + std::strerror(errno);
    return -1;
  }
  if (fanotify_mark(fd, FAN_MARK_ADD | FAN_MARK_FILESYSTEM, FAN_OPEN, AT_FDCWD, "/dev") != 0 &&
      fanotify_mark(fd, FAN_MARK_ADD | FAN_MARK_MOUNT, FAN_OPEN, AT_FDCWD, "/dev") != 0) {
    *error = std::string("fanotify_mark /dev: ") + std::strerror(errno);
    close(fd);
    return -1;
  }
  return fd;
}

std::vector<HostOpen> TakeOpens(int watch) {
  std::vector<HostOpen> opens;
  std::map<std::string, std::string> nodes;
  bool looked = false;
  alignas(fanotify_event_metadata) char buffer[8192];
  for (;;) {
    ssize_t n = read(watch, buffer, sizeof buffer);
    if (n <= 0)
      return opens;
    auto* event = reinterpret_cast<fanotify_event_metadata*>(buffer);
    while (FAN_EVENT_OK(event, n)) {
      std::string node = (event->mask & FAN_OPEN) ? NodeOf(event, &nodes, &looked) : "";
      if (!node.empty())
        opens.push_back({event->pid, CommandOf(event->pid), node});
      if (event->fd >= 0)
        close(event->fd);
      event = FAN_EVENT_NEXT(event, n);
    }
  }
}

}  // namespace emu
