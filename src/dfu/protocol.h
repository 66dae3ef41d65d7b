// The device protocol in one place: every command code, the parameter bytes
// each command takes, the status bytes of its replies, the reply windows and
// the frame sizes. Requests are 0x0A, a command byte and its parameters;
// replies echo 0x0A and the command byte first.
#ifndef QUORVEL_DFU_PROTOCOL_H_
#define QUORVEL_DFU_PROTOCOL_H_

#include <cstdint>

constexpr uint8_t kLeadByte = 0x0A;

enum CommandCode : uint8_t {
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

// Version query (0x00): which firmware's version record is asked for.
constexpr uint8_t kControllerSelector = 0x00;
constexpr uint8_t kAppSelector = 0x01;

// Restart (0x04): where the device restarts to.
constexpr uint8_t kRestartToApplication = 0x00;
constexpr uint8_t kRestartToBootloader = 0x02;

// Firmware upgrade mode (0x20) takes one parameter byte, always 0.
constexpr uint8_t kUpgradeModeEnter = 0x00;

// Forced upgrade mode (0x06): enter or leave.
constexpr uint8_t kForcedModeEnter = 0x00;
constexpr uint8_t kForcedModeLeave = 0x01;

// Passthrough (0x07): forward what follows to the device behind, or stop.
constexpr uint8_t kPassthroughOn = 0x00;
constexpr uint8_t kPassthroughOff = 0x01;

// Byte 2 of a reply that reports a status: 0 is success.
constexpr uint8_t kStatusOk = 0x00;

// The status record 0x55 0xAA value check inside the replies to the
// handshake and to entering the forced upgrade mode.
constexpr uint8_t kStatusRecordFirst = 0x55;
constexpr uint8_t kStatusRecordSecond = 0xAA;
// The forced-upgrade state a chip reports on entering that mode tells what
// it needs after the download: a restart, leaving the mode, or both.
constexpr uint8_t kForcedStateRestart = 0x00;
constexpr uint8_t kForcedStateLeave = 0x01;
constexpr uint8_t kForcedStateLeaveAndRestart = 0x02;
// The state of a reply without a valid status record: the chip restarts into
// the forced upgrade mode by itself.
constexpr uint8_t kNoForcedState = 0xFF;

// Reply windows, measured from just after the request was written.
constexpr int32_t kFirstReplyWindowMs = 200;
constexpr int32_t kStartCompletionWindowMs = 3000;
constexpr int32_t kVerifyCompletionWindowMs = 1000;
constexpr int32_t kBlockAckWindowMs = 1000;

// A request always fits one 64-byte output report; a data frame carries up
// to 62 bytes of image behind its lead and command bytes.
constexpr int kMaxFrameLength = 64;
constexpr int kMaxFramePayload = 62;

#endif  // QUORVEL_DFU_PROTOCOL_H_
