// Updating the passthrough device behind the connected one: the connected
// device forwards an ordinary transfer while passthrough is on.
#ifndef QUORVEL_DFU_PASSTHROUGH_H_
#define QUORVEL_DFU_PASSTHROUGH_H_

#include "dfu/firmware_transfer.h"
#include "dfu/run_record.h"
#include "image/image_store.h"

// Passthrough on and off; true when the device echoed the request. Nothing
// is printed.
bool EnterPassthrough();
bool LeavePassthrough();
// The firmware information of the passthrough program: no header word and
// no version, its length and CRC-32. Nothing is printed.
bool SendPassthroughInfo(const FirmwareImage& image);
// Streams the program as StreamFirmware does, counting the bytes the device
// took in record->bytesSent and record->passthroughBytesSent.
bool DownloadPassthroughFirmware(const FirmwareImage& image, const TransferPacing& pacing,
                                 RunRecord* record);

#endif  // QUORVEL_DFU_PASSTHROUGH_H_
