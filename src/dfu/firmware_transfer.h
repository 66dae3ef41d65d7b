// A firmware transfer: the information request, the start, the data frames
// with their block acknowledgements, and the device's verdict. Each
// procedure prints its heading and step result while logging is on.
#ifndef QUORVEL_DFU_FIRMWARE_TRANSFER_H_
#define QUORVEL_DFU_FIRMWARE_TRANSFER_H_

#include <cstdint>

#include "image/image_store.h"
#include "output/message_table.h"

// singlePart: send one part of a two-part image; appSelected: that part is
// the App, else the Controller. The same pair selects the information sent
// and the bytes downloaded. Each returns true when the device answered as
// required.
// Firmware bytes the device took in data frames since the command began
// (passthrough programs included); the command executor resets it.
extern int64_t FirmwareBytesSent;

bool SendFirmwareInfo(bool singlePart, bool appSelected);
bool StartUpgrade();
// Streams the selected image with the pacing of DfuSettings (bsize, intv).
bool DownloadFirmware(bool singlePart, bool appSelected);
bool VerifyFirmware();

// The bytes a transfer with these selectors sends: the part of a two-part
// image, else the whole ProgramImage.
const FirmwareImage& SelectedImage(bool singlePart, bool appSelected);

// The download progress line's total for an image of that length: the
// length, and in command-line mode a tenth more that the waits after the
// restart fill. In 64 bits: length + length / 10 passes 32 bits above about
// 1.95 GB.
int64_t DownloadProgressTotal(int32_t length);

// How data frames are paced: the device acknowledges every blockSize bytes
// (and the last, short block); intervalMs of busy wait separates the frames
// within a block.
struct TransferPacing {
  int32_t blockSize = 256;
  int32_t intervalMs = 0;
};
// The pacing the command's settings ask for.
TransferPacing SettingsPacing();

// Streams length bytes in data frames of up to 62 bytes, each block
// acknowledged within its window; prints the heading, the progress line, the
// step result and, on failure, how far it got. True when every block was
// acknowledged; false for absent or empty data, a failed write, or a missing
// or wrong acknowledgement.
bool StreamFirmware(Msg heading, const uint8_t* data, int32_t length, const TransferPacing& pacing);

#endif  // QUORVEL_DFU_FIRMWARE_TRANSFER_H_
