#include "dfu/device_modes.h"

DeviceModesRecord DeviceModes;

bool DeviceModesAtStake() {
  return DeviceModes.forcedUpgrade.load() || DeviceModes.upgrade.load() ||
         DeviceModes.passthrough.load();
}

void ClearDeviceModes() {
  DeviceModes.forcedUpgrade.store(false);
  DeviceModes.upgrade.store(false);
  DeviceModes.passthrough.store(false);
  DeviceModes.lastSeenPort.clear();
  DeviceModes.deviceSerial.clear();
}

void NoteDeviceSeenAt(const std::string& port) {
  DeviceModes.lastSeenPort = port;
}

void NoteAnotherDeviceMet(const std::string& deviceSerial) {
  DeviceModes.deviceSerial = deviceSerial;
}
