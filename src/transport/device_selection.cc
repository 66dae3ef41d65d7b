#include "transport/device_selection.h"

#include "platform/ascii.h"

bool SelectionAccepts(const DeviceSelection& selection, const DeviceEntry& entry) {
  if (!selection.port.empty() && entry.port != selection.port)
    return false;
  if (selection.serial.empty())
    return true;
  if (!entry.hasSerial)
    return false;
  if (selection.serialIgnoresCase)
    return LowerAscii(entry.serial) == LowerAscii(selection.serial);
  return entry.serial == selection.serial;
}
