// A firmware transfer: the information request, the start, the data frames
// with their block acknowledgements, and the device's verdict.
#ifndef QUORVEL_DFU_FIRMWARE_TRANSFER_H_
#define QUORVEL_DFU_FIRMWARE_TRANSFER_H_

#include <cstdint>

#include "image/firmware_image.h"
#include "output/messages.h"

// singlePart: send one part of a two-part image; appSelected: that part is
// the App, else the Controller. The same pair selects the information sent
// and the bytes downloaded.
bool SendFirmwareInfo(bool singlePart, bool appSelected);
bool StartUpgrade();
bool DownloadFirmware(bool singlePart, bool appSelected);
bool VerifyFirmware();

// The bytes a transfer with these selectors sends.
const FirmwareImage& SelectedImage(bool singlePart, bool appSelected);

// Streams the bytes in data frames, paced by block acknowledgements of
// bsize bytes and the intv pause; prints the heading, progress, step result
// and failure line.
bool StreamFirmware(Msg heading, const uint8_t* data, int32_t length);
// The download progress line's total for an image of that length: the
// length, and in command-line mode a tenth more that the waits after the
// restart fill. In 64 bits: length + length / 10 passes 32 bits above about
// 1.95 GB.
int64_t DownloadProgressTotal(int32_t length);

#endif  // QUORVEL_DFU_FIRMWARE_TRANSFER_H_
