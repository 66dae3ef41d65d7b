// A firmware transfer: the information request, the start, the data frames
// with their block acknowledgements, and the device's verdict. Each
// procedure prints its heading and step result while logging is on and
// returns true when the device answered as required.
#ifndef QUORVEL_DFU_FIRMWARE_TRANSFER_H_
#define QUORVEL_DFU_FIRMWARE_TRANSFER_H_

#include <cstdint>

#include "dfu/run_record.h"
#include "image/image_store.h"
#include "output/message_table.h"

// Announces the transfer: the header word and version of its header, the
// length and CRC-32 of its bytes; on success also prints which firmware
// kind was announced.
bool SendFirmwareInfo(const TransferImage& transfer);
bool StartUpgrade();
bool VerifyFirmware();

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

// Streams length bytes in data frames of up to 62 bytes, each block
// acknowledged within its window; prints the heading, the progress line, the
// step result and, on failure, how far it got. Adds the bytes each written
// frame carried to record->bytesSent. True when every block was
// acknowledged; false for absent or empty data, a failed write, or a missing
// or wrong acknowledgement.
bool StreamFirmware(Msg heading, const uint8_t* data, int32_t length, const TransferPacing& pacing,
                    RunRecord* record);
// StreamFirmware of the image under the download heading.
bool DownloadFirmware(const FirmwareImage& image, const TransferPacing& pacing, RunRecord* record);

#endif  // QUORVEL_DFU_FIRMWARE_TRANSFER_H_
