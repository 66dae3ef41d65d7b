// The device's side of the command exchange: every request it receives is
// recorded, checked and answered with 64-byte input reports at the times its
// timing says. Firmware transfer commands are in transfer.h.
#ifndef QUORVEL_EMULATOR_MODEL_REQUESTS_H_
#define QUORVEL_EMULATOR_MODEL_REQUESTS_H_

#include <cstdint>
#include <string>

#include "model/bytes.h"
#include "model/device_state.h"

namespace emu {
namespace internal {

// The device handles the 64-byte request received at atUs.
void HandleRequest(DeviceState& d, const uint8_t* request, int64_t atUs);
// How much of the report the request is: its command's length, what is left
// of a transfer in a data frame, else the report without trailing zeros.
size_t RequestLength(const DeviceState& d, const uint8_t* request);
// A 64-byte reply led by the lead byte and the command, zeros after.
Bytes NewReply(uint8_t command);
// Queues the reply delayUs after baseUs, as the command's faults for this
// stage shape, delay or drop it; *sentAtUs is when it is (or would have
// been) readable.
void SendReply(DeviceState& d, uint8_t command, int stage, Bytes reply, int64_t baseUs,
               int64_t delayUs, int64_t* sentAtUs);
// Notes something the device would not take, for the record.
void ProtocolError(DeviceState& d, const std::string& text);

}  // namespace internal
}  // namespace emu

#endif  // QUORVEL_EMULATOR_MODEL_REQUESTS_H_
