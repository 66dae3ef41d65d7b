// What a Windows program sees of the machine's HID devices, asked three
// ways, one line each, for the Windows checks to compare:
//   setupdi:  the HID device interfaces through SetupDi and HidD_* (what
//             Windows itself offers any program), with attributes, serial,
//             product, usage page and report lengths;
//   cfgmgr32: which configuration manager functions the DLL has that
//             hidapi resolves when it starts, the device interface list
//             hidapi reads, and the device-tree re-scan the program asks for;
//   hidapi:   hid_init and hid_enumerate of the hidapi.dll beside this
//             program (the shipped one), with hidapi's own error text.
// Each line is "<source>: <what>"; "setupdi: end N" closes the first part.
// The exit status is 0 whatever was found: the judge reads the lines.

// windows.h comes first: the other Windows headers build on its types.
// clang-format off
#include <windows.h>
#include <cfgmgr32.h>
#include <setupapi.h>
// MinGW's HID headers declare C functions without saying so.
extern "C" {
#include <hidsdi.h>
#include <hidpi.h>
}
// clang-format on

#include <hidapi.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string Utf8(const wchar_t* text) {
  if (text == nullptr || *text == L'\0')
    return "";
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string bytes(size > 0 ? size : 1, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, &bytes[0], size, nullptr, nullptr);
  bytes.resize(bytes.find('\0'));
  return bytes;
}

// One of HidD's string getters, or "-" when it fails.
template <typename Getter>
std::string HidString(HANDLE device, Getter getter) {
  wchar_t text[256] = {};
  if (!getter(device, text, sizeof(text)))
    return "-";
  return Utf8(text);
}

// Opened without access rights, as hidapi does for its listing, so that
// keyboards and mice that Windows holds answer too.
void PrintSetupDiInterface(const wchar_t* path) {
  HANDLE device = CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED, nullptr);
  if (device == INVALID_HANDLE_VALUE) {
    std::printf("setupdi: %s open-error=%lu\n", Utf8(path).c_str(), GetLastError());
    return;
  }
  HIDD_ATTRIBUTES attributes = {};
  attributes.Size = sizeof(attributes);
  HidD_GetAttributes(device, &attributes);
  HIDP_CAPS caps = {};
  PHIDP_PREPARSED_DATA preparsed = nullptr;
  if (HidD_GetPreparsedData(device, &preparsed)) {
    HidP_GetCaps(preparsed, &caps);
    HidD_FreePreparsedData(preparsed);
  }
  std::printf(
      "setupdi: %s vid=%04X pid=%04X serial=%s product=%s usage-page=%04X usage=%04X "
      "input=%u output=%u\n",
      Utf8(path).c_str(), attributes.VendorID, attributes.ProductID,
      HidString(device, HidD_GetSerialNumberString).c_str(),
      HidString(device, HidD_GetProductString).c_str(), caps.UsagePage, caps.Usage,
      caps.InputReportByteLength, caps.OutputReportByteLength);
  CloseHandle(device);
}

void PrintSetupDiInterfaces() {
  GUID hid;
  HidD_GetHidGuid(&hid);
  HDEVINFO set =
      SetupDiGetClassDevsW(&hid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  int count = 0;
  SP_DEVICE_INTERFACE_DATA interface = {};
  interface.cbSize = sizeof(interface);
  for (DWORD i = 0; set != INVALID_HANDLE_VALUE &&
                    SetupDiEnumDeviceInterfaces(set, nullptr, &hid, i, &interface);
       ++i) {
    DWORD size = 0;
    SetupDiGetDeviceInterfaceDetailW(set, &interface, nullptr, 0, &size, nullptr);
    std::vector<BYTE> buffer(size + sizeof(wchar_t));
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
    detail->cbSize = sizeof(*detail);
    if (!SetupDiGetDeviceInterfaceDetailW(set, &interface, detail, size, nullptr, nullptr))
      continue;
    PrintSetupDiInterface(detail->DevicePath);
    ++count;
  }
  if (set != INVALID_HANDLE_VALUE)
    SetupDiDestroyDeviceInfoList(set);
  std::printf("setupdi: end %d\n", count);
}

// The configuration manager functions hidapi 0.13.1 looks up by name when it
// starts; it refuses to start when one is missing.
void PrintCfgmgr32Functions() {
  const char* const kNames[] = {"CM_Locate_DevNodeW",
                                "CM_Get_Parent",
                                "CM_Get_DevNode_PropertyW",
                                "CM_Get_Device_Interface_PropertyW",
                                "CM_Get_Device_Interface_List_SizeW",
                                "CM_Get_Device_Interface_ListW"};
  HMODULE cfgmgr32 = LoadLibraryW(L"cfgmgr32.dll");
  for (const char* name : kNames) {
    const bool present = cfgmgr32 != nullptr && GetProcAddress(cfgmgr32, name) != nullptr;
    std::printf("cfgmgr32: %s %s\n", name, present ? "present" : "missing");
  }
}

// The device interface list hidapi reads, and the re-scan request that the
// program makes before each scan, called directly with their results.
void PrintCfgmgr32Lists() {
  GUID hid;
  HidD_GetHidGuid(&hid);
  ULONG length = 0;
  CONFIGRET result = CM_Get_Device_Interface_List_SizeW(&length, &hid, nullptr,
                                                        CM_GET_DEVICE_INTERFACE_LIST_PRESENT);
  std::vector<wchar_t> list(length + 2, L'\0');
  if (result == CR_SUCCESS)
    result = CM_Get_Device_Interface_ListW(&hid, nullptr, list.data(), length,
                                           CM_GET_DEVICE_INTERFACE_LIST_PRESENT);
  int count = 0;
  for (size_t i = 0; result == CR_SUCCESS && list[i] != L'\0'; i += wcslen(&list[i]) + 1)
    ++count;
  std::printf("cfgmgr32: interface-list result=%lu interfaces=%d\n", result, count);
  DEVINST root = 0;
  result = CM_Locate_DevNodeA(&root, nullptr, CM_LOCATE_DEVNODE_NORMAL);
  std::printf("cfgmgr32: locate-root result=%lu\n", result);
  if (result == CR_SUCCESS) {
    result = CM_Reenumerate_DevNode(root, CM_REENUMERATE_ASYNCHRONOUS);
    std::printf("cfgmgr32: reenumerate result=%lu\n", result);
  }
}

void PrintHidapi() {
  const int started = hid_init();
  std::printf("hidapi: init %d %s\n", started,
              started == 0 ? "" : Utf8(hid_error(nullptr)).c_str());
  hid_device_info* devices = hid_enumerate(0, 0);
  int count = 0;
  for (const hid_device_info* d = devices; d != nullptr; d = d->next, ++count) {
    std::printf("hidapi: %s vid=%04X pid=%04X serial=%s usage-page=%04X interface=%d\n", d->path,
                d->vendor_id, d->product_id, Utf8(d->serial_number).c_str(), d->usage_page,
                d->interface_number);
  }
  std::printf("hidapi: enumerate %d %s\n", count,
              devices != nullptr ? "" : Utf8(hid_error(nullptr)).c_str());
  hid_free_enumeration(devices);
}

}  // namespace

int main() {
  PrintSetupDiInterfaces();
  PrintCfgmgr32Functions();
  PrintCfgmgr32Lists();
  PrintHidapi();
  std::fflush(stdout);
  return 0;
}
