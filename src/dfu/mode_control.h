// Procedures that change what the connected device is doing without moving
// firmware: handshake, restarts, firmware upgrade mode, forced upgrade mode.
#ifndef QUORVEL_DFU_MODE_CONTROL_H_
#define QUORVEL_DFU_MODE_CONTROL_H_

#include <cstdint>

// -1 no complete reply, 0 not written or not 0A 55, 1 plain reply, 2 reply
// with a valid status record.
int Handshake();
// Each of these prints its heading and step result while logging is on, and
// returns true when the device answered as required.
bool EnterUpgradeMode();
// Restarts the device into its application; the link is closed once the
// device answered (it leaves the bus), and the bus is snapshot first.
bool RestartDevice();
// Stores the device's forced-upgrade state through state (kNoForcedState
// when its reply carries no valid record); state may be null.
bool EnterForcedUpgradeMode(uint8_t* state);
bool LeaveForcedUpgradeMode();

// Lists every interface present but the open one in KnownDevices, so the
// device counts as new when it comes back.
void SnapshotBusWithoutOpenDevice();

#endif  // QUORVEL_DFU_MODE_CONTROL_H_
