#include "platform/usb_port.h"

#include <algorithm>
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

// One element of a location path, "USB(3)": its name and argument.
bool SplitLocationElement(const std::string& element, std::string* name, std::string* argument) {
  size_t open = element.find('(');
  if (open == std::string::npos || open == 0 || element.back() != ')')
    return false;
  *name = element.substr(0, open);
  *argument = element.substr(open + 1, element.size() - open - 2);
  return argument->find_first_of("()") == std::string::npos;
}

std::vector<std::string> SplitLocationPath(const std::string& path) {
  std::vector<std::string> elements;
  size_t begin = 0;
  while (true) {
    size_t hash = path.find('#', begin);
    elements.push_back(
        path.substr(begin, hash == std::string::npos ? std::string::npos : hash - begin));
    if (hash == std::string::npos)
      return elements;
    begin = hash + 1;
  }
}

// Arguments are decimal (USBROOT, PCIROOT) or fixed-width upper-case hex
// (PCI): padded on the left, plain text order is their numeric order, so
// that PCIROOT(2) comes before PCIROOT(10).
std::string RootHubSortKey(const std::string& hub) {
  std::string key;
  for (const std::string& element : SplitLocationPath(hub)) {
    std::string name, argument;
    SplitLocationElement(element, &name, &argument);
    const size_t width = 16;
    if (argument.size() < width)
      argument.insert(0, width - argument.size(), '0');
    key += name + "(" + argument + ")#";
  }
  return key;
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

std::string RootHubOfLocationPath(const std::string& path) {
  size_t end = 0;
  for (const std::string& element : SplitLocationPath(path)) {
    end += element.size();
    std::string name, argument;
    if (!SplitLocationElement(element, &name, &argument))
      return "";
    if (name == "USBROOT")
      return AllDigits(argument, 0, argument.size()) ? path.substr(0, end) : "";
    ++end;  // the '#'
  }
  return "";
}

std::string PortFromLocationPath(const std::string& path,
                                 const std::vector<std::string>& rootHubs) {
  const std::string hub = RootHubOfLocationPath(path);
  if (hub.empty() || hub.size() == path.size())
    return "";
  std::string ports;
  for (const std::string& element : SplitLocationPath(path.substr(hub.size() + 1))) {
    std::string name, argument;
    if (!SplitLocationElement(element, &name, &argument) || name != "USB")
      break;
    if (!AllDigits(argument, 0, argument.size()))
      return "";
    // Written as sysfs writes port numbers, without leading zeros.
    size_t first = std::min(argument.find_first_not_of('0'), argument.size() - 1);
    ports += (ports.empty() ? "" : ".") + argument.substr(first);
  }
  if (ports.empty())
    return "";
  std::vector<std::string> keys{RootHubSortKey(hub)};
  for (const std::string& other : rootHubs) {
    std::string otherHub = RootHubOfLocationPath(other);
    if (!otherHub.empty())
      keys.push_back(RootHubSortKey(otherHub));
  }
  std::sort(keys.begin(), keys.end());
  keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
  const size_t bus =
      std::lower_bound(keys.begin(), keys.end(), RootHubSortKey(hub)) - keys.begin() + 1;
  return std::to_string(bus) + "-" + ports;
}
