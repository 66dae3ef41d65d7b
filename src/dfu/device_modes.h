// What the connected device may be doing as the command changes its modes:
// the firmware upgrade mode, the forced upgrade mode and passthrough. A
// request that may have taken effect counts even when its reply was lost, so
// that an interrupted or failed command can say what to recover. Read from
// the interrupt handler too, hence atomics.
#ifndef QUORVEL_DFU_DEVICE_MODES_H_
#define QUORVEL_DFU_DEVICE_MODES_H_

#include <atomic>
#include <string>

struct DeviceModesRecord {
  std::atomic<bool> forcedUpgrade{false};
  std::atomic<bool> upgrade{false};
  std::atomic<bool> passthrough{false};
  // The USB port of the interface the last connection or wait accepted
  // (empty: not known), where a recovery command can still find a device
  // that came back without its serial number. Never read by the handler.
  std::string lastSeenPort;
  // The serial number the command's device reported first, once a wait has
  // met another dongle at its port (empty: none met): a recovery command
  // adds it while that dongle sits there.
  std::string deviceSerial;
};

extern DeviceModesRecord DeviceModes;

// True while stopping would leave the device in one of those modes.
bool DeviceModesAtStake();
// Forgets the modes and the port.
void ClearDeviceModes();
// The connection accepted an interface at that USB port.
void NoteDeviceSeenAt(const std::string& port);
// A wait left another dongle alone; the command's device first reported
// that serial number.
void NoteAnotherDeviceMet(const std::string& deviceSerial);

#endif  // QUORVEL_DFU_DEVICE_MODES_H_
