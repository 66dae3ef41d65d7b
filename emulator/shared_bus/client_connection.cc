#include "shared_bus/client_connection.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>

#include "model/device_info.h"
#include "model/wide_text.h"
#include "preload/lock_namespace.h"
#include "preload/sysfs_view.h"
#include "shared_bus/wire.h"

namespace emu {
namespace client {
namespace {

using nlohmann::json;

struct Connection {
  std::recursive_mutex mutex;
  bool tried = false;
  int fd = -1;
  std::string sysfsRoot;
  std::set<hid_device*> handles;
  std::wstring globalError;
};

Connection& Bus() {
  static Connection* connection = new Connection();  // usable from exit handlers
  return *connection;
}

// The socket at path, connected; -1 (with a message) when there is none.
int Dial(const char* path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (std::strlen(path) >= sizeof address.sun_path) {
    std::fprintf(stderr, "quorvel emulator: bus socket path too long: %s\n", path);
    return -1;
  }
  std::strcpy(address.sun_path, path);
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    std::fprintf(stderr, "quorvel emulator: cannot reach the bus at %s: %s; no devices\n", path,
                 std::strerror(errno));
    if (fd >= 0)
      close(fd);
    return -1;
  }
  return fd;
}

void Connect(Connection& c) {
  if (c.tried)
    return;
  c.tried = true;
  const char* path = std::getenv("QUORVEL_EMU_BUS");
  if (!path || !*path) {
    std::fprintf(stderr, "quorvel emulator: QUORVEL_EMU_BUS is not set; no devices\n");
    return;
  }
  int fd = Dial(path);
  if (fd < 0)
    return;
  json reply;
  if (!wire::Send(fd, {{"call", "hello"}, {"pid", getpid()}}) || !wire::Receive(fd, &reply)) {
    std::fprintf(stderr, "quorvel emulator: the bus at %s did not answer; no devices\n", path);
    close(fd);
    return;
  }
  c.fd = fd;
  c.sysfsRoot = reply.value("sysfsRoot", "");
}

}  // namespace

std::recursive_mutex& Mutex() {
  return Bus().mutex;
}

json Call(const json& request) {
  Connection& c = Bus();
  std::lock_guard<std::recursive_mutex> lock(c.mutex);
  Connect(c);
  json reply;
  if (c.fd < 0)
    return json::object();
  if (!wire::Send(c.fd, request) || !wire::Receive(c.fd, &reply) || !reply.is_object()) {
    std::fprintf(stderr, "quorvel emulator: lost the bus\n");
    close(c.fd);
    c.fd = -1;
    return json::object();
  }
  return reply;
}

bool Known(hid_device* dev) {
  std::lock_guard<std::recursive_mutex> lock(Bus().mutex);
  return dev && Bus().handles.count(dev) != 0;
}

void TakeError(const json& reply, hid_device* dev) {
  std::wstring text = internal::Wide(reply.value("error", "Device disconnected"));
  if (dev)
    dev->error = text;
  else
    Bus().globalError = text;
  errno = reply.value("errno", ENODEV);
}

hid_device* AdoptHandle(const json& reply) {
  Connection& c = Bus();
  std::lock_guard<std::recursive_mutex> lock(c.mutex);
  int handle = reply.value("handle", -1);
  if (handle < 0) {
    TakeError(reply, nullptr);
    return nullptr;
  }
  hid_device* h = new hid_device_();
  h->busHandle = handle;
  c.handles.insert(h);
  c.globalError.clear();
  return h;
}

void ForgetHandle(hid_device* dev) {
  std::lock_guard<std::recursive_mutex> lock(Bus().mutex);
  Bus().handles.erase(dev);
  internal::FreeInfoList(dev->info);
  delete dev;
}

std::wstring& GlobalError() {
  return Bus().globalError;
}

}  // namespace client

namespace internal {

// The bus's sysfs tree, which it names when the connection is made.
std::string SysfsViewRoot() {
  client::Connection& c = client::Bus();
  std::lock_guard<std::recursive_mutex> lock(c.mutex);
  client::Connect(c);
  return c.sysfsRoot;
}

// Every process on one bus names it by the same socket path.
std::string LockNamespace() {
  const char* path = std::getenv("QUORVEL_EMU_BUS");
  return std::string("bus ") + (path ? path : "");
}

}  // namespace internal
}  // namespace emu
