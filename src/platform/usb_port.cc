#include "platform/usb_port.h"

#include <cctype>

namespace {

bool AllDigits(const std::string& text, size_t begin, size_t end) {
  if (begin >= end)
    return false;
  for (size_t i = begin; i < end; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(text[i])))
      return false;
  }
  return true;
}

}  // namespace

std::string HidrawNodeOfPath(const std::string& path) {
  const std::string prefix = "/dev/hidraw";
  if (path.compare(0, prefix.size(), prefix) != 0 || !AllDigits(path, prefix.size(), path.size())) {
    return "";
  }
  return path.substr(5);
}

bool IsPortChain(const std::string& text) {
  size_t dash = text.find('-');
  if (dash == std::string::npos || !AllDigits(text, 0, dash))
    return false;
  size_t begin = dash + 1;
  while (true) {
    size_t dot = text.find('.', begin);
    size_t end = dot == std::string::npos ? text.size() : dot;
    if (!AllDigits(text, begin, end))
      return false;
    if (dot == std::string::npos)
      return true;
    begin = dot + 1;
  }
}

std::string PortFromSysfsPath(const std::string& resolved) {
  std::string port;
  size_t begin = 0;
  while (begin <= resolved.size()) {
    size_t slash = resolved.find('/', begin);
    size_t end = slash == std::string::npos ? resolved.size() : slash;
    std::string component = resolved.substr(begin, end - begin);
    // The deepest USB device wins: hubs come before the device on the way.
    if (IsPortChain(component))
      port = component;
    if (slash == std::string::npos)
      break;
    begin = slash + 1;
  }
  return port;
}
