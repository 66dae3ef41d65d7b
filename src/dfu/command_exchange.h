// Requests to the device and their fixed-length replies: building a request
// frame, the one exchange every device procedure uses, and the checks a
// reply must pass. The codes and windows are in dfu/protocol.h.
#ifndef QUORVEL_DFU_COMMAND_EXCHANGE_H_
#define QUORVEL_DFU_COMMAND_EXCHANGE_H_

#include <cstdint>

#include "dfu/protocol.h"

// A request: lead byte, command byte, parameters; at most 64 bytes, so it
// always travels as one output report.
struct CommandFrame {
  uint8_t bytes[kMaxFrameLength] = {};
  int32_t length = 0;
};

// A frame of the lead byte and the command byte, and optionally one
// parameter byte.
CommandFrame MakeFrame(uint8_t command);
CommandFrame MakeFrame(uint8_t command, uint8_t parameter);
// Appends to the frame; the caller keeps the total within 64 bytes.
void AppendLe32(CommandFrame* frame, uint32_t value);
void AppendBytes(CommandFrame* frame, const uint8_t* bytes, int32_t count);

// Bytes 0x55 0xAA value check, with check = 0x55 + 0xAA + value (mod 256),
// inside replies to the handshake and to entering the forced upgrade mode.
struct StatusRecord {
  bool valid = false;
  uint8_t value = 0;
};
// Reads four bytes; value is set only when the record is valid.
StatusRecord ReadStatusRecord(const uint8_t* fourBytes);

// Writes the request and reads its reply within the window: 1 complete,
// -1 not complete within the window, 0 the request was not written.
int ExchangeCommand(const uint8_t* request, int32_t requestLength, uint8_t* reply,
                    int32_t replyLength, int32_t windowMs);
int ExchangeFrame(const CommandFrame& frame, uint8_t* reply, int32_t replyLength, int32_t windowMs);

// What a reply must show to be accepted: always the lead byte and the echoed
// command byte; with kStatusOk also status 0 in byte 2.
enum class ReplyCheck { kEcho, kStatusOk };

// The outcome of one request: exchange is ExchangeCommand's result, accepted
// says the complete reply passed the check.
struct ExchangeOutcome {
  int exchange = 0;
  bool accepted = false;
};

// Sends the frame and reads replyLength bytes of reply (at most 64) into
// reply within the first-reply window, then checks them against the frame's
// command byte.
ExchangeOutcome ExchangeChecked(const CommandFrame& frame, uint8_t* reply, int32_t replyLength,
                                ReplyCheck check);
// Reads the second reply of a two-stage command (start, verify) within the
// window: true when it arrives complete, echoes command and reports status 0.
bool ReadCompletion(uint8_t command, int32_t windowMs);

// Lead byte and echoed command byte of a reply.
bool ReplyEchoes(const uint8_t* reply, uint8_t command);
// ReplyEchoes, and with kStatusOk byte 2 equal to kStatusOk.
bool ReplyPasses(const uint8_t* reply, uint8_t command, ReplyCheck check);

#endif  // QUORVEL_DFU_COMMAND_EXCHANGE_H_
