// Procedures that change what the connected device is doing without moving
// firmware: handshake, restarts, firmware upgrade mode, forced upgrade mode.
#ifndef QUORVEL_DFU_MODE_CONTROL_H_
#define QUORVEL_DFU_MODE_CONTROL_H_

#include <cstdint>

// -1 no complete reply, 0 not written or not 0A 55, 1 plain reply, 2 reply
// with a valid status record.
int Handshake();
bool ResetToBootloader();
bool EnterUpgradeMode();
bool RestartDevice();
// Entering stores the device's forced-upgrade state through state (0xFF when
// its reply carries no valid record); state may be null.
bool SetForcedUpgradeMode(bool enter, uint8_t* state);

// Lists every interface present but the open one in KnownDevices, so the
// device counts as new when it comes back.
void SnapshotBusWithoutOpenDevice();

#endif  // QUORVEL_DFU_MODE_CONTROL_H_
