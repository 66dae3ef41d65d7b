// Requests to the device and their fixed-length replies: the command set,
// the reply windows and the one exchange every device procedure uses.
#ifndef QUORVEL_DFU_COMMAND_EXCHANGE_H_
#define QUORVEL_DFU_COMMAND_EXCHANGE_H_

#include <cstdint>

constexpr uint8_t kLeadByte = 0x0A;

enum Command : uint8_t {
  kCmdVersion = 0x00,
  kCmdFirmwareInfo = 0x01,
  kCmdStartUpgrade = 0x02,
  kCmdVerify = 0x03,
  kCmdRestart = 0x04,
  kCmdForcedMode = 0x06,
  kCmdPassthrough = 0x07,
  kCmdData = 0x10,
  kCmdUpgradeMode = 0x20,
  kCmdHandshake = 0x55,
  kCmdDeviceName = 0x56,
};

// Reply windows, measured from just after the request was written.
constexpr int32_t kFirstReplyWindowMs = 200;
constexpr int32_t kStartCompletionWindowMs = 3000;
constexpr int32_t kVerifyCompletionWindowMs = 1000;
constexpr int32_t kBlockAckWindowMs = 1000;

constexpr int kMaxFrameLength = 64;
constexpr int kMaxFramePayload = 62;

// A request: lead byte, command byte, parameters; at most 64 bytes, so it
// always travels as one output report.
struct CommandFrame {
  uint8_t bytes[kMaxFrameLength] = {};
  int32_t length = 0;
};

CommandFrame MakeFrame(uint8_t command);
CommandFrame MakeFrame(uint8_t command, uint8_t parameter);
void AppendLe32(CommandFrame* frame, uint32_t value);
void AppendBytes(CommandFrame* frame, const uint8_t* bytes, int32_t count);

// Bytes 0x55 0xAA value check, with check = 0x55 + 0xAA + value (mod 256),
// inside replies to the handshake and to entering the forced upgrade mode.
struct StatusRecord {
  bool valid = false;
  uint8_t value = 0;
};
StatusRecord ReadStatusRecord(const uint8_t* fourBytes);

// Writes the request and reads its reply within the window: 1 complete,
// -1 not complete within the window, 0 the request was not written.
int ExchangeCommand(const uint8_t* request, int32_t requestLength, uint8_t* reply,
                    int32_t replyLength, int32_t windowMs);
int ExchangeFrame(const CommandFrame& frame, uint8_t* reply, int32_t replyLength, int32_t windowMs);

// Lead byte and echoed command byte of a reply.
bool ReplyEchoes(const uint8_t* reply, uint8_t command);

#endif  // QUORVEL_DFU_COMMAND_EXCHANGE_H_
