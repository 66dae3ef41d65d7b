// Calls into the shared bus. Each hidapi call is one request and one reply
// on a socket opened at the first call; the bus does the waiting of a read,
// so a read blocks here exactly as long as it would in-process. Handles are
// local records carrying the bus's handle number and the last error text,
// which must stay valid after hid_error returns.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>

#include "bus_client.h"
#include "bus_wire.h"
#include "device_model.h"

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

const char* SocketPath() {
  const char* path = std::getenv("QUORVEL_EMU_BUS");
  return path && *path ? path : nullptr;
}

void Connect(Connection& c) {
  if (c.tried)
    return;
  c.tried = true;
  const char* path = SocketPath();
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (std::strlen(path) >= sizeof address.sun_path) {
    std::fprintf(stderr, "quorvel emulator: bus socket path too long: %s\n", path);
    return;
  }
  std::strcpy(address.sun_path, path);
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    std::fprintf(stderr, "quorvel emulator: cannot reach the bus at %s: %s; no devices\n", path,
                 std::strerror(errno));
    if (fd >= 0)
      close(fd);
    return;
  }
  json reply;
  if (!wire::Send(fd, {{"call", "hello"}, {"pid", getpid()}}) || !wire::Receive(fd, &reply)) {
    std::fprintf(stderr, "quorvel emulator: the bus at %s did not answer; no devices\n", path);
    close(fd);
    return;
  }
  c.fd = fd;
  c.sysfsRoot = reply.value("sysfsRoot", "");
}

// One call; an empty object when the bus is unreachable or has gone.
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

int Handle(hid_device* dev) {
  return dev->device;
}

// Takes errno and the error text of a reply.
void TakeError(const json& reply, hid_device* dev) {
  Connection& c = Bus();
  std::wstring text = wire::Wide(reply.value("error", "Device disconnected"));
  if (dev)
    dev->error = text;
  else
    c.globalError = text;
  errno = reply.value("errno", ENODEV);
}

hid_device* NewHandle(const json& reply) {
  Connection& c = Bus();
  int handle = reply.value("handle", -1);
  if (handle < 0) {
    TakeError(reply, nullptr);
    return nullptr;
  }
  hid_device* h = new hid_device_();
  h->device = handle;
  c.handles.insert(h);
  c.globalError.clear();
  return h;
}

}  // namespace

bool Active() {
#if defined(QUORVEL_EMULATOR_PRELOAD)
  static const bool active = SocketPath() != nullptr;
  return active;
#else
  // The in-process emulator of the unit tests always holds its own devices,
  // even when the tests themselves run on a shared bus.
  return false;
#endif
}

int Init() {
  Call({{"call", "init"}});
  return 0;
}

int Exit() {
  Call({{"call", "exit"}});
  return 0;
}

hid_device_info* Enumerate(unsigned short vendorId, unsigned short productId) {
  json reply = Call({{"call", "enumerate"}, {"vendorId", vendorId}, {"productId", productId}});
  hid_device_info* list = wire::InfoListFromJson(reply.value("devices", json::array()));
  std::lock_guard<std::recursive_mutex> lock(Bus().mutex);
  if (!list)
    Bus().globalError = L"No HID devices found in the system.";
  return list;
}

hid_device* OpenPath(const char* path) {
  if (!path) {
    errno = EINVAL;
    return nullptr;
  }
  json reply = Call({{"call", "open"}, {"path", path}});
  std::lock_guard<std::recursive_mutex> lock(Bus().mutex);
  return NewHandle(reply);
}

hid_device* Open(unsigned short vendorId, unsigned short productId) {
  json reply = Call({{"call", "openIds"}, {"vendorId", vendorId}, {"productId", productId}});
  std::lock_guard<std::recursive_mutex> lock(Bus().mutex);
  return NewHandle(reply);
}

bool Known(hid_device* dev) {
  std::lock_guard<std::recursive_mutex> lock(Bus().mutex);
  return dev && Bus().handles.count(dev) != 0;
}

int Write(hid_device* dev, const unsigned char* data, size_t length) {
  if (!Known(dev) || !data) {
    errno = EINVAL;
    return -1;
  }
  std::string hex = internal::HexText(data, length);
  json reply = Call({{"call", "write"}, {"handle", Handle(dev)}, {"hex", hex}});
  int result = reply.value("result", -1);
  if (result < 0)
    TakeError(reply, dev);
  return result;
}

int Read(hid_device* dev, unsigned char* data, size_t length, int milliseconds) {
  if (!Known(dev) || !data)
    return -1;
  json reply = Call({{"call", "read"},
                     {"handle", Handle(dev)},
                     {"length", length},
                     {"milliseconds", milliseconds}});
  int result = reply.value("result", -1);
  if (result < 0) {
    TakeError(reply, dev);
    return -1;
  }
  internal::Bytes bytes;
  std::string hex = reply.value("hex", "");
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes.push_back(static_cast<uint8_t>(std::strtoul(hex.substr(i, 2).c_str(), nullptr, 16)));
  size_t n = std::min({bytes.size(), length, static_cast<size_t>(result)});
  if (n > 0)  // an empty read (time-out) has no bytes to copy from
    std::memcpy(data, bytes.data(), n);
  return static_cast<int>(n);
}

bool Nonblocking(hid_device* dev) {
  return Known(dev) && dev->nonblocking;
}

int SetNonblocking(hid_device* dev, int nonblock) {
  if (!Known(dev))
    return -1;
  dev->nonblocking = nonblock != 0;
  return 0;
}

void Close(hid_device* dev) {
  if (!Known(dev))
    return;
  Call({{"call", "close"}, {"handle", Handle(dev)}});
  std::lock_guard<std::recursive_mutex> lock(Bus().mutex);
  Bus().handles.erase(dev);
  hid_free_enumeration(dev->info);
  delete dev;
}

const wchar_t* Error(hid_device* dev) {
  std::lock_guard<std::recursive_mutex> lock(Bus().mutex);
  if (Known(dev))
    return dev->error.empty() ? L"Success" : dev->error.c_str();
  return Bus().globalError.empty() ? L"Success" : Bus().globalError.c_str();
}

int String(hid_device* dev, StringKind kind, wchar_t* out, size_t maxlen) {
  if (!Known(dev) || !out || maxlen == 0)
    return -1;
  const char* which = kind == StringKind::kManufacturer ? "manufacturer"
                      : kind == StringKind::kProduct    ? "product"
                                                        : "serial";
  json reply = Call({{"call", "string"}, {"handle", Handle(dev)}, {"which", which}});
  if (reply.value("result", -1) < 0)
    return -1;
  std::wstring text = wire::Wide(reply.value("text", ""));
  size_t n = std::min(text.size(), maxlen - 1);
  std::wmemcpy(out, text.c_str(), n);
  out[n] = L'\0';
  return 0;
}

hid_device_info* DeviceInfo(hid_device* dev) {
  if (!Known(dev))
    return nullptr;
  if (!dev->info) {
    json reply = Call({{"call", "deviceInfo"}, {"handle", Handle(dev)}});
    dev->info = wire::InfoListFromJson(reply.value("devices", json::array()));
  }
  return dev->info;
}

std::string SysfsRoot() {
  Connection& c = Bus();
  std::lock_guard<std::recursive_mutex> lock(c.mutex);
  Connect(c);
  return c.sysfsRoot;
}

}  // namespace client
}  // namespace emu
