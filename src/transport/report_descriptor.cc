#include "transport/report_descriptor.h"

namespace {

constexpr uint8_t kLongItemPrefix = 0xFE;
// Global item (type 1), tag 8.
constexpr uint8_t kReportIdTag = 0x84;

}  // namespace

bool DescriptorNumbersReports(const uint8_t* descriptor, size_t size) {
  if (descriptor == nullptr)
    return false;
  size_t at = 0;
  while (at < size) {
    uint8_t prefix = descriptor[at];
    size_t dataBytes;
    size_t headerBytes = 1;
    if (prefix == kLongItemPrefix) {
      // Long item: its data size and tag follow the prefix.
      if (at + 2 >= size)
        return false;
      dataBytes = descriptor[at + 1];
      headerBytes = 3;
    } else {
      // Short item: the size code 3 stands for four bytes.
      dataBytes = (prefix & 0x03) == 3 ? 4 : (prefix & 0x03);
      if ((prefix & 0xFC) == kReportIdTag && at + 1 + dataBytes <= size)
        return true;
    }
    at += headerBytes + dataBytes;
  }
  return false;
}
