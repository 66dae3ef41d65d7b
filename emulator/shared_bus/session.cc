#include "shared_bus/session.h"

#include <hidapi/hidapi.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>

#include "model/caller.h"
#include "model/hex.h"
#include "model/wide_text.h"
#include "model/world.h"
#include "shared_bus/device_info_json.h"
#include "shared_bus/wire.h"

namespace emu {
namespace shared_bus {
namespace {

using internal::TheWorld;
using nlohmann::json;
using Lock = std::lock_guard<std::recursive_mutex>;

struct Session {
  int fd = -1;
  int nextId = 1;
  std::map<int, hid_device*> handles;
};

// The calls that name no handle, and those on one of the session's handles.
using Call = json (*)(Session& s, const json& request);
using HandleCall = json (*)(Session& s, hid_device* handle, const json& request);

json ErrorReply(const wchar_t* text) {
  return {{"errno", errno}, {"error", internal::Utf8(text).value_or("")}};
}

json ResultReply(hid_device* handle, int result) {
  json reply = result < 0 ? ErrorReply(hid_error(handle)) : json::object();
  reply["result"] = result;
  return reply;
}

json Opened(Session& s, hid_device* handle) {
  if (!handle)
    return ErrorReply(hid_error(nullptr));
  s.handles[s.nextId] = handle;
  return {{"handle", s.nextId++}};
}

json Hello(Session&, const json& request) {
  internal::SetCallerPid(request.value("pid", 0));
  Lock lock(TheWorld().mutex);
  return {{"sysfsRoot", TheWorld().sysfsRoot}};
}

json Nothing(Session&, const json&) {
  return json::object();
}

json Enumerate(Session&, const json& request) {
  // Under the lock, so that no other process's call changes the error text.
  Lock lock(TheWorld().mutex);
  hid_device_info* list =
      hid_enumerate(request.value("vendorId", 0), request.value("productId", 0));
  json reply = {{"devices", wire::InfoListToJson(list)}};
  hid_free_enumeration(list);
  return reply;
}

json Open(Session& s, const json& request) {
  Lock lock(TheWorld().mutex);
  return Opened(s, hid_open_path(request.value("path", "").c_str()));
}

json OpenIds(Session& s, const json& request) {
  Lock lock(TheWorld().mutex);
  return Opened(s, hid_open(request.value("vendorId", 0), request.value("productId", 0), nullptr));
}

json Write(Session&, hid_device* handle, const json& request) {
  internal::Bytes bytes;
  std::string hex = request.value("hex", "");
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
  return ResultReply(handle, hid_write(handle, bytes.data(), bytes.size()));
}

json Read(Session&, hid_device* handle, const json& request) {
  size_t length = std::min<size_t>(request.value("length", 0), 4096);
  internal::Bytes buffer(std::max<size_t>(length, 1));
  int result = hid_read_timeout(handle, buffer.data(), length, request.value("milliseconds", 0));
  json reply = ResultReply(handle, result);
  if (result > 0)
    reply["hex"] = internal::HexText(buffer.data(), static_cast<size_t>(result));
  return reply;
}

json Close(Session& s, hid_device* handle, const json& request) {
  hid_close(handle);
  s.handles.erase(request.value("handle", -1));
  return json::object();
}

json String(Session&, hid_device* handle, const json& request) {
  wchar_t text[256] = {};
  std::string which = request.value("which", "");
  int result = which == "manufacturer" ? hid_get_manufacturer_string(handle, text, 256)
               : which == "product"    ? hid_get_product_string(handle, text, 256)
                                       : hid_get_serial_number_string(handle, text, 256);
  return {{"result", result}, {"text", internal::Utf8(text).value_or("")}};
}

json DeviceInfo(Session&, hid_device* handle, const json&) {
  Lock lock(TheWorld().mutex);
  hid_device_info* info = hid_get_device_info(handle);
  if (!info)
    return {{"devices", json::array()}};
  hid_device_info* next = info->next;
  info->next = nullptr;  // just this one
  json reply = {{"devices", wire::InfoListToJson(info)}};
  info->next = next;
  return reply;
}

// Function-local tables: sessions start on threads at any time.
const std::map<std::string, Call>& Calls() {
  static const std::map<std::string, Call> calls = {{"hello", Hello},  {"init", Nothing},
                                                    {"exit", Nothing}, {"enumerate", Enumerate},
                                                    {"open", Open},    {"openIds", OpenIds}};
  return calls;
}

const std::map<std::string, HandleCall>& HandleCalls() {
  static const std::map<std::string, HandleCall> calls = {{"write", Write},
                                                          {"read", Read},
                                                          {"close", Close},
                                                          {"string", String},
                                                          {"deviceInfo", DeviceInfo}};
  return calls;
}

json Answer(Session& s, const json& request) {
  std::string call = request.value("call", "");
  auto plain = Calls().find(call);
  if (plain != Calls().end())
    return plain->second(s, request);
  auto handle = s.handles.find(request.value("handle", -1));
  if (handle == s.handles.end()) {
    errno = EINVAL;
    return {{"result", -1}, {"errno", EINVAL}, {"error", "Invalid handle"}};
  }
  auto onHandle = HandleCalls().find(call);
  if (onHandle != HandleCalls().end())
    return onHandle->second(s, handle->second, request);
  return {{"result", -1}, {"errno", ENOSYS}, {"error", "Unknown call " + call}};
}

}  // namespace

void ServeSession(int fd) {
  Session s;
  s.fd = fd;
  json request;
  while (wire::Receive(fd, &request)) {
    if (!wire::Send(fd, Answer(s, request)))
      break;
  }
  Lock lock(TheWorld().mutex);
  for (auto& [id, handle] : s.handles)
    hid_close(handle);
  s.handles.clear();
  close(fd);
}

}  // namespace shared_bus
}  // namespace emu
