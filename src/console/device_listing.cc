#include "console/device_listing.h"

#include <cstdint>

#include "console/argument_diagnostics.h"
#include "console/arguments.h"
#include "console/program.h"
#include "output/console_encoding.h"
#include "output/json_listing.h"
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

void PrintListing(const DeviceList& list) {
  if (list.entries.empty()) {
    PrintLogLine(Text(Msg::kListNone));
    return;
  }
  PrintLogLine(Text(Msg::kListHeading));
  for (const DeviceEntry& entry : list.entries)
    PrintLogLine(DescribeEntry(entry));
}

bool RejectListArgument(ArgumentError error, const std::string& token,
                        ArgumentRejection* rejection) {
  rejection->error = error;
  rejection->argument = token;
  return false;
}

// The command line's list: up to two ids (0 allowed, meaning any) and
// --json anywhere. Fills the list's filter and *json.
bool ParseListArguments(const std::vector<std::string>& arguments, DeviceList* list, bool* json,
                        ArgumentRejection* rejection) {
  std::vector<std::string> ids;
  for (const std::string& token : arguments) {
    if (token == kJsonOption) {
      *json = true;
    } else if (ids.size() == 2 || token.empty() || token[0] == '-') {
      return RejectListArgument(ArgumentError::kNotForList, token, rejection);
    } else {
      ids.push_back(token);
    }
  }
  for (size_t i = 0; i < ids.size(); ++i) {
    int32_t value = 0;
    if (!ConvertInt32(ids[i], 16, &value))
      return RejectListArgument(ArgumentError::kNotANumber, ids[i], rejection);
    if (value < 0 || value > 0xFFFF)
      return RejectListArgument(ArgumentError::kOutOfRange, ids[i], rejection);
    (i == 0 ? list->vendorId : list->productId) = static_cast<uint16_t>(value);
  }
  return true;
}

}  // namespace

void ListDevices(const std::vector<std::string>& arguments) {
  DeviceList list;
  if (!ParseId(arguments, 0, &list.vendorId) || !ParseId(arguments, 1, &list.productId)) {
    PrintParameterError();
    return;
  }
  RefreshDevices(&list, DeviceFilter::kListFilter);
  PrintListing(list);
  ClearDevices(&list);
}

int RunListCommand(const std::vector<std::string>& arguments) {
  DeviceList list;
  bool json = false;
  ArgumentRejection rejection;
  if (!ParseListArguments(arguments, &list, &json, &rejection)) {
    ReportRefusedArguments(rejection);
    return kUsageErrorStatus;
  }
  RefreshDevices(&list, DeviceFilter::kListFilter);
  if (json)
    WriteResultLine(FormatJsonListing(list.entries));
  else
    PrintListing(list);
  const int status = list.entries.empty() ? 1 : 0;
  ClearDevices(&list);
  return status;
}
