// Which one of several identical devices a command is for: the one with a
// serial number, or the one at a USB port. Production lines update many
// dongles with the same vendor and product ID at once; without this, the
// first connection and every wait for a restarted device would take any of
// them, and two instances could each finish the other's device.
#ifndef QUORVEL_TRANSPORT_DEVICE_SELECTION_H_
#define QUORVEL_TRANSPORT_DEVICE_SELECTION_H_

#include <string>

#include "transport/device_list.h"

// Built by the console from --serial and --port and handed to the
// connection and the waits.
struct DeviceSelection {
  std::string serial;  // empty: any
  std::string port;    // empty: any
  // The serial number is compared without regard to case: the console sets
  // this where its prompt lowercases whole lines, so that a serial typed
  // there lost its case.
  bool serialIgnoresCase = false;
};

// Whether the interface is the selected device (always, with no selection).
// A device that reports no serial number never matches a serial; the port
// is compared as written, the serial number exactly or, with
// serialIgnoresCase, without regard to ASCII case.
bool SelectionAccepts(const DeviceSelection& selection, const DeviceEntry& entry);

#endif  // QUORVEL_TRANSPORT_DEVICE_SELECTION_H_
