#include "console/device_listing.h"

#include <cstdint>

#include "console/arguments.h"
#include "output/console_encoding.h"
#include "output/log_printers.h"
#include "transport/device_discovery.h"
#include "transport/device_list.h"

namespace {

bool ParseId(const std::vector<std::string>& arguments, size_t index, uint16_t* id) {
  if (arguments.size() <= index)
    return true;
  int32_t value = 0;
  if (!ConvertInt32(arguments[index], 16, &value) || value < 0 || value > 0xFFFF)
    return false;
  *id = static_cast<uint16_t>(value);
  return true;
}

// The serial number and the USB port follow only when the interface has
// them: they tell identical devices apart for --serial and --port.
std::string DescribeEntry(const DeviceEntry& entry) {
  std::string text = "\"" + entry.displayName + "\"  " + Text(Msg::kListPath) + entry.path +
                     Text(Msg::kListVendorId) + FormatHex(entry.vendorId, 4, HexStyle::kPrefixed) +
                     Text(Msg::kListProductId) +
                     FormatHex(entry.productId, 4, HexStyle::kPrefixed) + "  " +
                     Text(Msg::kListInterface) + std::to_string(entry.interfaceNumber);
  if (entry.hasSerial)
    text += "  " + Text(Msg::kListSerial) + entry.serial;
  if (!entry.port.empty())
    text += "  " + Text(Msg::kListPort) + entry.port;
  return text;
}

}  // namespace

void ListDevices(const std::vector<std::string>& arguments) {
  DeviceList list;
  if (!ParseId(arguments, 0, &list.vendorId) || !ParseId(arguments, 1, &list.productId)) {
    PrintParameterError();
    return;
  }
  RefreshDevices(&list, DeviceFilter::kListFilter);
  if (list.entries.empty()) {
    PrintLogLine(Text(Msg::kListNone));
    return;
  }
  PrintLogLine(Text(Msg::kListHeading));
  for (const DeviceEntry& entry : list.entries)
    PrintLogLine(DescribeEntry(entry));
  ClearDevices(&list);
}
