#include "gadget/host_opens.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/fanotify.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <iterator>

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

}  // namespace

int WatchOpens(const std::string& node, std::string* error) {
  // With FAN_REPORT_FID an event names the file by handle; without it the
  // kernel would open the node for every event, and that open is a hidraw
  // open like any other.
  int fd = fanotify_init(FAN_CLASS_NOTIF | FAN_REPORT_FID | FAN_CLOEXEC | FAN_NONBLOCK, O_RDONLY);
  if (fd < 0) {
    *error = std::string("fanotify_init: ") + std::strerror(errno);
    return -1;
  }
  if (fanotify_mark(fd, FAN_MARK_ADD, FAN_OPEN, AT_FDCWD, node.c_str()) != 0) {
    *error = "fanotify_mark " + node + ": " + std::strerror(errno);
    close(fd);
    return -1;
  }
  return fd;
}

std::vector<HostOpen> TakeOpens(int watch) {
  std::vector<HostOpen> opens;
  alignas(fanotify_event_metadata) char buffer[4096];
  for (;;) {
    ssize_t n = read(watch, buffer, sizeof buffer);
    if (n <= 0)
      return opens;
    auto* event = reinterpret_cast<fanotify_event_metadata*>(buffer);
    while (FAN_EVENT_OK(event, n)) {
      if (event->mask & FAN_OPEN)
        opens.push_back({event->pid, CommandOf(event->pid)});
      if (event->fd >= 0)
        close(event->fd);
      event = FAN_EVENT_NEXT(event, n);
    }
  }
}

}  // namespace emu
