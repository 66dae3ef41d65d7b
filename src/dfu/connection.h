// Finding the device: the first connection to the command's device, and the
// waits for a restarted device to come back onto the bus. Every one takes
// the command's device selection and fills the command's run record with
// the interface it accepted and the versions its probes read.
#ifndef QUORVEL_DFU_CONNECTION_H_
#define QUORVEL_DFU_CONNECTION_H_

#include <cstdint>

#include "dfu/run_record.h"
#include "image/image_store.h"
#include "output/status_printers.h"
#include "transport/device_selection.h"

constexpr int32_t kConnectCycleSleepMs = 400;
constexpr int32_t kWaitCycleSleepMs = 200;

// Whether the first connection gives up after one scan.
enum class ConnectWait { kOneScan, kUntilFound };

// 1 when a selected device matching the filter of CurrentDevices was opened
// and answered the handshake (either form), 0 when not; only kOneScan
// returns 0. Sets record->connected on success; clears
// record->versionsRead for every interface it opens.
int ConnectDevice(const DeviceSelection& selection, ConnectWait wait, RunRecord* record);
// The time from the start of a wait before the first scan.
int32_t ScanDelay(WaitKind waitKind, int32_t timeoutMs);

// Queries both versions of the connected device (a version that does not
// come is left out) and drains its input.
VersionTexts ReadCurrentVersions();

// The waits for a newly attached selected interface that answers, up to
// timeoutMs. True with the link open on it and record->connected set; false
// at the time-out. Each prints its reason, progress and outcome while
// logging is on, and a time-out notes its step as failed.
// Any interface that answers the handshake will do.
bool WaitForReturn(const DeviceSelection& selection, WaitKind waitKind, int32_t timeoutMs,
                   RunRecord* record);
// After a restart: the device must report the version text of the image
// just sent; record->versionsRead holds what the last probed interface
// reported, and record->versionsAfter too when it reported anything. With
// record->readBothVersionsAfter the accepted device is also asked for the
// version the check did not need.
bool WaitForVersion(const DeviceSelection& selection, const TransferImage& sent, int32_t timeoutMs,
                    RunRecord* record);

#endif  // QUORVEL_DFU_CONNECTION_H_
