// The shared bus process: one set of emulated devices, served to every
// preloaded process that connects to its Unix socket. Each connection gets
// its own thread, which makes the very hidapi calls a process would make
// in-process; a read waits without holding the bus, so processes run side by
// side and see each other's effects: device locks on the same paths,
// restarts, devices coming back elsewhere. When a process goes, its handles
// are closed, as the kernel closes hidraw nodes of a process that dies.
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <thread>

#include "bus_wire.h"
#include "device_model.h"
#include "emulator.h"

namespace emu {
namespace {

using internal::TheWorld;
using internal::World;
using nlohmann::json;
using Lock = std::lock_guard<std::recursive_mutex>;

json ErrorReply(const wchar_t* text) {
  return {{"errno", errno}, {"error", wire::Utf8(text).value_or("")}};
}

class Session {
 public:
  explicit Session(int fd) : fd_(fd) {}

  void Serve() {
    json request;
    while (wire::Receive(fd_, &request)) {
      if (!wire::Send(fd_, Handle(request)))
        break;
    }
    Lock lock(TheWorld().mutex);
    for (auto& [id, handle] : handles_)
      hid_close(handle);
    handles_.clear();
    close(fd_);
  }

 private:
  hid_device* Find(const json& request) {
    auto it = handles_.find(request.value("handle", -1));
    return it == handles_.end() ? nullptr : it->second;
  }

  json Opened(hid_device* handle) {
    if (!handle)
      return ErrorReply(hid_error(nullptr));
    handles_[nextId_] = handle;
    return {{"handle", nextId_++}};
  }

  json Handle(const json& request) {
    std::string call = request.value("call", "");
    World& w = TheWorld();
    if (call == "hello") {
      internal::SetCallerPid(request.value("pid", 0));
      Lock lock(w.mutex);
      return {{"sysfsRoot", w.sysfsRoot}};
    }
    if (call == "init" || call == "exit")
      return json::object();
    if (call == "enumerate") {
      // Under the lock, so that no other process's call changes the error text.
      Lock lock(w.mutex);
      hid_device_info* list =
          hid_enumerate(request.value("vendorId", 0), request.value("productId", 0));
      json reply = {{"devices", wire::InfoListToJson(list)}};
      hid_free_enumeration(list);
      return reply;
    }
    if (call == "open") {
      Lock lock(w.mutex);
      return Opened(hid_open_path(request.value("path", "").c_str()));
    }
    if (call == "openIds") {
      Lock lock(w.mutex);
      return Opened(hid_open(request.value("vendorId", 0), request.value("productId", 0), nullptr));
    }
    hid_device* handle = Find(request);
    if (!handle) {
      errno = EINVAL;
      return {{"result", -1}, {"errno", EINVAL}, {"error", "Invalid handle"}};
    }
    if (call == "write") {
      internal::Bytes bytes;
      std::string hex = request.value("hex", "");
      for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
      int result = hid_write(handle, bytes.data(), bytes.size());
      json reply = result < 0 ? ErrorReply(hid_error(handle)) : json::object();
      reply["result"] = result;
      return reply;
    }
    if (call == "read") {
      size_t length = std::min<size_t>(request.value("length", 0), 4096);
      internal::Bytes buffer(std::max<size_t>(length, 1));
      int result =
          hid_read_timeout(handle, buffer.data(), length, request.value("milliseconds", 0));
      json reply = result < 0 ? ErrorReply(hid_error(handle)) : json::object();
      reply["result"] = result;
      if (result > 0)
        reply["hex"] = internal::HexText(buffer.data(), static_cast<size_t>(result));
      return reply;
    }
    if (call == "close") {
      hid_close(handle);
      handles_.erase(request.value("handle", -1));
      return json::object();
    }
    if (call == "string") {
      wchar_t text[256] = {};
      std::string which = request.value("which", "");
      int result = which == "manufacturer" ? hid_get_manufacturer_string(handle, text, 256)
                   : which == "product"    ? hid_get_product_string(handle, text, 256)
                                           : hid_get_serial_number_string(handle, text, 256);
      return {{"result", result}, {"text", wire::Utf8(text).value_or("")}};
    }
    if (call == "deviceInfo") {
      Lock lock(w.mutex);
      hid_device_info* info = hid_get_device_info(handle);
      if (!info)
        return {{"devices", json::array()}};
      hid_device_info* next = info->next;
      info->next = nullptr;  // just this one
      json reply = {{"devices", wire::InfoListToJson(info)}};
      info->next = next;
      return reply;
    }
    return {{"result", -1}, {"errno", ENOSYS}, {"error", "Unknown call " + call}};
  }

  int fd_;
  int nextId_ = 1;
  std::map<int, hid_device*> handles_;
};

int Listen(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::string temporary = path + ".tmp";
  if (temporary.size() >= sizeof address.sun_path) {
    std::fprintf(stderr, "quorvel-emulator-bus: socket path too long: %s\n", path.c_str());
    return -1;
  }
  std::strcpy(address.sun_path, temporary.c_str());
  unlink(temporary.c_str());
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  // Bound and listening under a temporary name, then renamed: a process that
  // finds the socket can connect at once.
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(fd, 64) != 0 || rename(temporary.c_str(), path.c_str()) != 0) {
    std::fprintf(stderr, "quorvel-emulator-bus: cannot listen on %s: %s\n", path.c_str(),
                 std::strerror(errno));
    if (fd >= 0)
      close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

int RunSharedBus(const SharedBusOptions& options) {
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGTERM);
  sigaddset(&stop, SIGINT);
  sigaddset(&stop, SIGHUP);
  // Blocked before any thread starts, so only the signalfd sees them.
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);
  signal(SIGPIPE, SIG_IGN);
  int signals = signalfd(-1, &stop, SFD_CLOEXEC);

  World& w = TheWorld();
  std::string error;
  {
    Lock lock(w.mutex);
    w.shared = true;
    w.recordPath = options.recordPath;
    w.statePath = options.statePath;
  }
  if (!LoadScenarioFile(options.scenarioPath, &error)) {
    std::fprintf(stderr, "quorvel-emulator-bus: %s\n", error.c_str());
    return 1;
  }
  struct stat info {};
  if (!options.statePath.empty() && stat(options.statePath.c_str(), &info) == 0 &&
      !LoadState(options.statePath, &error)) {
    std::fprintf(stderr, "quorvel-emulator-bus: %s\n", error.c_str());
    return 1;
  }
  int listener = Listen(options.socketPath);
  if (listener < 0 || signals < 0)
    return 1;
  for (;;) {
    pollfd fds[2] = {{listener, POLLIN, 0}, {signals, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR)
        continue;
      break;
    }
    if (fds[1].revents)
      break;
    if (fds[0].revents & POLLIN) {
      int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd >= 0)
        std::thread([fd] { Session(fd).Serve(); }).detach();
    }
  }
  close(listener);
  unlink(options.socketPath.c_str());
  {
    // Processes still connected are left as they are: the outputs show the
    // bus as it is now, with restarts in progress completed.
    Lock lock(w.mutex);
    internal::WriteProcessOutputs();
    internal::RemoveSysfsTree();
  }
  std::fflush(nullptr);
  _exit(0);
}

}  // namespace emu
