// Receiving firmware: the information request, the start with its erase, the
// data frames with acknowledgements at the device's own block size, the
// verify with the device's own CRC-32, and what a restart does with the
// received image. While passthrough is on, the same commands go to the
// passthrough device with its own block size.
#ifndef QUORVEL_EMULATOR_MODEL_TRANSFER_H_
#define QUORVEL_EMULATOR_MODEL_TRANSFER_H_

#include <cstdint>
#include <optional>
#include <string>

#include "model/bytes.h"

namespace emu {
namespace internal {

struct DeviceState;
struct RestartRecord;

// One firmware transfer as the receiving side sees it, from the firmware
// information request on.
struct Transfer {
  int64_t atUs = 0;  // the information request
  bool passthrough = false;
  uint32_t headerWord = 0;
  Version version{};
  uint32_t declaredLength = 0;
  uint32_t declaredCrc = 0;
  Bytes received;
  int blockSize = 256;
  bool echo = false;
  bool started = false;
  bool faulty = false;  // a protocol error happened inside this transfer
  int acks = 0;
  std::optional<bool> verified;
  bool consumed = false;  // applied or discarded by a restart
};

// The request handlers: each records what the device makes of the request in
// d and queues the replies at their times after atUs.
void HandleFirmwareInfo(DeviceState& d, const uint8_t* request, int64_t atUs);
void HandleStart(DeviceState& d, int64_t atUs);
void HandleDataFrame(DeviceState& d, const uint8_t* request, int64_t atUs);
void HandleVerify(DeviceState& d, int64_t atUs);
// A restart takes the device's pending transfer: a verified image becomes the
// new version(s) in *restart, an unverified one is discarded; either way the
// transfer is consumed.
void CommitPendingImage(DeviceState& d, RestartRecord* restart);
// What the transfer holds: "whole" (passthrough, or an image with the
// application header inside), "app" or "controller".
std::string TransferPart(const DeviceState& d, const Transfer& t);

}  // namespace internal
}  // namespace emu

#endif  // QUORVEL_EMULATOR_MODEL_TRANSFER_H_
