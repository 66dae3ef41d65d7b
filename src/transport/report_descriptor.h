// Reading a HID report descriptor for what the link's framing depends on.
#ifndef QUORVEL_TRANSPORT_REPORT_DESCRIPTOR_H_
#define QUORVEL_TRANSPORT_REPORT_DESCRIPTOR_H_

#include <cstddef>
#include <cstdint>

// True when the descriptor declares a report ID: the interface's reports
// then start with their ID byte, and a leading 0 is not a placeholder the
// system drops but a report ID the device does not have. A truncated item
// ends the walk; what was read before it counts.
bool DescriptorNumbersReports(const uint8_t* descriptor, size_t size);

#endif  // QUORVEL_TRANSPORT_REPORT_DESCRIPTOR_H_
