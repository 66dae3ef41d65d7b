// The HID report descriptors of the devices the uhid and USB gadget front
// ends present to a real host: vendor usage page 0xFF00, one application
// collection, 64-byte input and output reports; with a report ID (0x0A), 63
// data bytes behind it, so that the 64-byte report is led by the protocol's
// lead byte.
#ifndef QUORVEL_EMULATOR_FRONT_END_REPORT_DESCRIPTOR_H_
#define QUORVEL_EMULATOR_FRONT_END_REPORT_DESCRIPTOR_H_

#include <cstdint>
#include <vector>

namespace emu {

// The descriptor with report ID 0x0A when numbered, else without report IDs.
const std::vector<uint8_t>& ReportDescriptor(bool numbered);

}  // namespace emu

#endif  // QUORVEL_EMULATOR_FRONT_END_REPORT_DESCRIPTOR_H_
