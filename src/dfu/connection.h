// Finding the device: the first connection to the command's device, and the
// waits for a restarted device to come back onto the bus.
#ifndef QUORVEL_DFU_CONNECTION_H_
#define QUORVEL_DFU_CONNECTION_H_

#include <cstdint>
#include <optional>
#include <string>

#include "output/status_printers.h"
#include "transport/device_list.h"

constexpr int32_t kConnectCycleSleepMs = 400;
constexpr int32_t kWaitCycleSleepMs = 200;

// 1 when a device matching the filter of CurrentDevices was opened and
// answered the handshake (either form), 0 when not. Without waitUntilFound
// it makes one scan.
int ConnectDevice(bool waitUntilFound);
// Waits up to timeoutMs for an interface that newly comes onto the bus and
// answers; with checkVersion it must report the version text of the image
// just sent (singlePart and appSelected say which part, as for
// SendFirmwareInfo). True with the link open on it; false at the time-out.
// Prints the wait's reason, progress and outcome while logging is on.
bool WaitForDevice(WaitKind waitKind, bool singlePart, int32_t timeoutMs, bool checkVersion,
                   bool appSelected);
// The time from the start of a wait before the first scan.
int32_t ScanDelay(WaitKind waitKind, int32_t timeoutMs);

// The interface the last connection or wait accepted.
extern DeviceEntry ConnectedDevice;
// The version texts the last version queries of a probe or a report read
// (MM-mm-RRRR-BBBBBBBB), by selector; none when not read since reset.
struct VersionTexts {
  std::optional<std::string> controller;
  std::optional<std::string> app;
};
extern VersionTexts LastVersionsRead;
// Queries both versions of the connected device (a version that does not
// come is left out) and drains its input.
VersionTexts ReadCurrentVersions();

// The two kinds of WaitForDevice calls, by name.
// Any newly attached interface that answers the handshake will do.
bool WaitForReturn(WaitKind waitKind, int32_t timeoutMs);
// After a restart: the device must report the version of what was sent.
bool WaitForVersion(bool singlePart, bool appSelected, int32_t timeoutMs);

#endif  // QUORVEL_DFU_CONNECTION_H_
