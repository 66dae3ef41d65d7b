// Status lines that carry values from the device procedures into the log:
// the connected device's name, a wait's reason and time-out, the kind of
// firmware announced, and where a download failed. All print only while
// logging is on.
#ifndef QUORVEL_OUTPUT_STATUS_PRINTERS_H_
#define QUORVEL_OUTPUT_STATUS_PRINTERS_H_

#include <cstdint>
#include <string>

#include "image/image_store.h"
#include "output/message_table.h"

// The first line of a device step: no times, restarts the step clock.
void PrintStepHeading(Msg heading);
// What a connection wait waits for: the bootloader after a reset, the chip
// in its forced upgrade mode, or the device after a restart.
enum WaitKind { kWaitBootloader = 0, kWaitForcedMode = 1, kWaitRestart = 2 };
// The line naming the device a connection found: the first connection of a
// command queries the device; a restarted device is waited for.
enum class DeviceWaitLine { kQueryConnected = 0, kWaitToConnect = 1 };

void PrintDeviceWait(DeviceWaitLine line, const std::string& displayName);
// The wait's reason and its time-out in whole seconds; restarts the step
// clock.
void PrintWaitReason(WaitKind waitKind, bool checkVersion, int32_t timeoutMs);
// Which firmware the information announced: for a two-part image the part
// sent (both with kWhole), else what the device's reply kind says.
void PrintFirmwareKind(ImagePart part, uint8_t replyKind, bool twoPart);
void PrintDownloadFailure(uint32_t size, uint32_t location);

#endif  // QUORVEL_OUTPUT_STATUS_PRINTERS_H_
