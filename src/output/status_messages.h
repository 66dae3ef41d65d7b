// Status lines that carry values from the device procedures into the log:
// the connected device's name, a wait's reason and time-out, the kind of
// firmware announced, and where a download failed. All print only while
// logging is on.
#ifndef QUORVEL_OUTPUT_STATUS_MESSAGES_H_
#define QUORVEL_OUTPUT_STATUS_MESSAGES_H_

#include <cstdint>
#include <string>

#include "output/messages.h"

// The first line of a device step: no times, restarts the step clock.
void PrintStepHeading(Msg heading);
void PrintDeviceWait(int kind, const std::string& displayName);
void PrintWaitReason(int waitKind, bool checkVersion, int32_t timeoutMs);
void PrintFirmwareKind(bool singlePart, uint8_t replyKind, bool twoPart, bool appSelected);
void PrintDownloadFailure(uint32_t size, uint32_t location);

#endif  // QUORVEL_OUTPUT_STATUS_MESSAGES_H_
