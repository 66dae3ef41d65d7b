// Which one of several identical devices a command is for: the one with a
// serial number, or the one at a USB port. Production lines update many
// dongles with the same vendor and product ID at once; without this, the
// first connection and every wait for a restarted device would take any of
// them, and two instances could each finish the other's device.
#ifndef QUORVEL_TRANSPORT_DEVICE_SELECTION_H_
#define QUORVEL_TRANSPORT_DEVICE_SELECTION_H_

#include <string>

#include "transport/device_list.h"

struct DeviceSelection {
  std::string serial;  // empty: any
  std::string port;    // empty: any
};

// Set by the command executor from --serial and --port; empty otherwise.
extern DeviceSelection SelectedDevice;

bool SelectionActive();
// Whether the interface is the selected device (always, with no selection).
// A device that reports no serial number never matches a serial; the port
// is compared as written, the serial number exactly, or without regard to
// case where the prompt lowercases whole lines.
bool SelectionAccepts(const DeviceEntry& entry);

#endif  // QUORVEL_TRANSPORT_DEVICE_SELECTION_H_
