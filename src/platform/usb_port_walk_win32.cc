// The USB port of a HID interface on Windows, from the configuration
// manager's device tree: up from the HID collection to the USB device, whose
// location path holds the ports from the root hub down.

// windows.h comes first: the other Windows headers build on its types.
// clang-format off
#include <windows.h>
#include <cfgmgr32.h>
// The device property keys are defined here, not only declared.
#include <initguid.h>
#include <devpkey.h>
// clang-format on

#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "platform/usb_port.h"
#include "platform/usb_port_walk.h"
#include "platform/wide_text_win32.h"

namespace {

// Not declared by MinGW's cfgmgr32.h, and Wine's cfgmgr32.dll does not have
// it: looked up at run time, so that the program starts there and lists no
// ports.
using InterfacePropertyReader = CONFIGRET(WINAPI*)(LPCWSTR, const DEVPROPKEY*, DEVPROPTYPE*, PBYTE,
                                                   PULONG, ULONG);

InterfacePropertyReader InterfacePropertyFunction() {
  static const InterfacePropertyReader function = [] {
    HMODULE cfgmgr32 = GetModuleHandleW(L"cfgmgr32.dll");
    FARPROC address = cfgmgr32 != nullptr
                          ? GetProcAddress(cfgmgr32, "CM_Get_Device_Interface_PropertyW")
                          : nullptr;
    // Through the type that stands for any function, which GCC accepts.
    return reinterpret_cast<InterfacePropertyReader>(reinterpret_cast<void (*)()>(address));
  }();
  return function;
}

// A string (or string list) property, NUL-terminated twice, read by
// read(type, buffer, size): first its size, then itself, again if it grew
// in between. Empty when it is missing or of another type.
template <typename Read>
std::vector<wchar_t> ReadTextProperty(Read read, DEVPROPTYPE wanted) {
  std::vector<BYTE> buffer;
  for (int attempt = 0; attempt < 3; ++attempt) {
    DEVPROPTYPE type = DEVPROP_TYPE_EMPTY;
    ULONG size = static_cast<ULONG>(buffer.size());
    const CONFIGRET result = read(&type, buffer.empty() ? nullptr : buffer.data(), &size);
    if (result == CR_BUFFER_SMALL && size > buffer.size()) {
      buffer.resize(size);
      continue;
    }
    if (result != CR_SUCCESS || type != wanted || size > buffer.size())
      return {};
    std::vector<wchar_t> text(size / sizeof(wchar_t) + 2, L'\0');
    if (size > 0)
      std::memcpy(text.data(), buffer.data(), size);
    return text;
  }
  return {};
}

std::vector<wchar_t> DevNodeTextProperty(DEVINST node, const DEVPROPKEY& key, DEVPROPTYPE wanted) {
  return ReadTextProperty(
      [&](DEVPROPTYPE* type, BYTE* buffer, ULONG* size) {
        return CM_Get_DevNode_PropertyW(node, &key, type, buffer, size, 0);
      },
      wanted);
}

// The strings of a list that ends with an empty one.
std::vector<std::string> TextList(const std::vector<wchar_t>& list) {
  std::vector<std::string> texts;
  for (size_t i = 0; i < list.size() && list[i] != L'\0';) {
    const std::wstring text(&list[i]);
    texts.push_back(WideToUtf8(text));
    i += text.size() + 1;
  }
  return texts;
}

std::vector<std::string> LocationPaths(DEVINST node) {
  return TextList(
      DevNodeTextProperty(node, DEVPKEY_Device_LocationPaths, DEVPROP_TYPE_STRING_LIST));
}

bool StartsWith(const std::vector<wchar_t>& text, const wchar_t* prefix) {
  const size_t length = std::wcslen(prefix);
  return text.size() > length && _wcsnicmp(text.data(), prefix, length) == 0;
}

// The location paths of the machine's root hubs (the USB bus driver names
// them USB\ROOT_HUB, USB\ROOT_HUB20, USB\ROOT_HUB30...), which number the
// buses.
std::vector<std::string> RootHubLocationPaths() {
  const wchar_t* enumerator = L"USB";
  // Devices no longer present are listed too; they cannot be located and
  // drop out below.
  const ULONG flags = CM_GETIDLIST_FILTER_ENUMERATOR;
  std::vector<wchar_t> ids;
  for (int attempt = 0; attempt < 3 && ids.empty(); ++attempt) {
    ULONG length = 0;
    if (CM_Get_Device_ID_List_SizeW(&length, enumerator, flags) != CR_SUCCESS || length == 0)
      return {};
    ids.assign(length + 2, L'\0');
    const CONFIGRET result = CM_Get_Device_ID_ListW(enumerator, ids.data(), length, flags);
    if (result == CR_BUFFER_SMALL)
      ids.clear();
    else if (result != CR_SUCCESS)
      return {};
  }
  std::vector<std::string> paths;
  for (size_t i = 0; i < ids.size() && ids[i] != L'\0';) {
    std::vector<wchar_t> id(&ids[i], &ids[i] + std::wcslen(&ids[i]) + 1);
    i += id.size();
    DEVINST hub = 0;
    if (!StartsWith(id, L"USB\\ROOT_HUB") ||
        CM_Locate_DevNodeW(&hub, id.data(), CM_LOCATE_DEVNODE_NORMAL) != CR_SUCCESS) {
      continue;
    }
    for (const std::string& path : LocationPaths(hub))
      paths.push_back(path);
  }
  return paths;
}

// The port of a USB device or interface node: of its location paths
// (PCIROOT and ACPI forms of one place), the one through a root hub.
// rootHubs is read once, when first needed.
std::string PortOfUsbNode(DEVINST node, std::vector<std::string>* rootHubs, bool* rootHubsRead) {
  for (const std::string& location : LocationPaths(node)) {
    if (RootHubOfLocationPath(location).empty())
      continue;
    if (!*rootHubsRead) {
      *rootHubs = RootHubLocationPaths();
      *rootHubsRead = true;
    }
    const std::string port = PortFromLocationPath(location, *rootHubs);
    if (!port.empty())
      return port;
  }
  return "";
}

}  // namespace

// hidapi's path is the HID collection's device interface. Its device node
// sits below the USB interface (composite devices) and the USB device,
// whose location path holds the ports from the root hub down; the walk goes
// up through HID and USB nodes only, so a collection off USB (Bluetooth,
// I2C) has no port, and ends at the root hub at the latest. Under Wine the
// lookup fails at its first step and the port is empty.
std::string WinUsbPort(const std::string& path) {
  const InterfacePropertyReader readInterfaceProperty = InterfacePropertyFunction();
  if (readInterfaceProperty == nullptr)
    return "";
  const std::wstring interfacePath = Utf8ToWide(path);
  if (interfacePath.empty())
    return "";
  std::vector<wchar_t> id = ReadTextProperty(
      [&](DEVPROPTYPE* type, BYTE* buffer, ULONG* size) {
        return readInterfaceProperty(interfacePath.c_str(), &DEVPKEY_Device_InstanceId, type,
                                     buffer, size, 0);
      },
      DEVPROP_TYPE_STRING);
  DEVINST node = 0;
  if (id.empty() || CM_Locate_DevNodeW(&node, id.data(), CM_LOCATE_DEVNODE_NORMAL) != CR_SUCCESS)
    return "";
  std::vector<std::string> rootHubs;
  bool rootHubsRead = false;
  // Collection, interface, device, hubs: a bound keeps any odd tree finite.
  for (int step = 0; step < 8; ++step) {
    if (StartsWith(id, L"USB\\")) {
      const std::string port = PortOfUsbNode(node, &rootHubs, &rootHubsRead);
      if (!port.empty())
        return port;
    } else if (!StartsWith(id, L"HID\\")) {
      return "";
    }
    DEVINST parent = 0;
    if (CM_Get_Parent(&parent, node, 0) != CR_SUCCESS)
      return "";
    node = parent;
    id = DevNodeTextProperty(node, DEVPKEY_Device_InstanceId, DEVPROP_TYPE_STRING);
  }
  return "";
}
