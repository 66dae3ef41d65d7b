#include "transport/device_selection.h"

#include "platform/ascii.h"
#include "platform/platform.h"

DeviceSelection SelectedDevice;

bool SelectionActive() {
  return !SelectedDevice.serial.empty() || !SelectedDevice.port.empty();
}

bool SelectionAccepts(const DeviceEntry& entry) {
  if (!SelectedDevice.port.empty() && entry.port != SelectedDevice.port)
    return false;
  if (SelectedDevice.serial.empty())
    return true;
  if (!entry.hasSerial)
    return false;
  if (g_platform.promptLowercasesAll)
    return LowerAscii(entry.serial) == LowerAscii(SelectedDevice.serial);
  return entry.serial == SelectedDevice.serial;
}
