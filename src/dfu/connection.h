// Finding the device: the first connection to the command's device, and the
// waits for a restarted device to come back onto the bus.
#ifndef QUORVEL_DFU_CONNECTION_H_
#define QUORVEL_DFU_CONNECTION_H_

#include <cstdint>

enum WaitKind { kWaitBootloader = 0, kWaitForcedMode = 1, kWaitRestart = 2 };

constexpr int32_t kConnectCycleSleepMs = 400;
constexpr int32_t kWaitCycleSleepMs = 200;

// 1 when a device matching the filter of CurrentDevices was opened and
// answered the handshake (either form), 0 when not. Without waitUntilFound
// it makes one scan.
int ConnectDevice(bool waitUntilFound);
// Waits for an interface that newly comes onto the bus and answers; with
// checkVersion it must report the version text of the image just sent.
bool WaitForDevice(int waitKind, bool singlePart, int32_t timeoutMs, bool checkVersion,
                   bool appSelected);
// The time from the start of a wait before the first scan.
int32_t ScanDelay(int waitKind, int32_t timeoutMs);

#endif  // QUORVEL_DFU_CONNECTION_H_
