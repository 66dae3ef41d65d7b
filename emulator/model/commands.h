// The requests the emulated device understands, as its firmware knows them:
// command codes, the parameter bytes each accepts and the status bytes it
// answers with. Written from the device's side; the program under test has
// its own table, and the two meet only on the wire.
#ifndef QUORVEL_EMULATOR_MODEL_COMMANDS_H_
#define QUORVEL_EMULATOR_MODEL_COMMANDS_H_

#include <cstddef>
#include <cstdint>

namespace emu {
namespace internal {

// First byte of every request and reply.
constexpr uint8_t kLead = 0x0A;

namespace cmd {
enum : uint8_t {
  kVersion = 0x00,
  kFirmwareInfo = 0x01,
  kStart = 0x02,
  kVerify = 0x03,
  kRestart = 0x04,
  kForcedMode = 0x06,
  kPassthrough = 0x07,
  kData = 0x10,
  kUpgradeMode = 0x20,
  kHandshake = 0x55,
  kDeviceName = 0x56,
};
}  // namespace cmd

// Request lengths: lead, command and the parameters each command carries.
constexpr size_t kBareRequestLength = 2;
constexpr size_t kOneParameterRequestLength = 3;
constexpr size_t kFirmwareInfoRequestLength = 22;
constexpr size_t kDataFramePayload = 62;

// Version query selectors.
constexpr uint8_t kSelectController = 0x00;
constexpr uint8_t kSelectApp = 0x01;
// Restart modes.
constexpr uint8_t kRestartApplication = 0x00;
constexpr uint8_t kRestartBootloader = 0x02;
// The one parameter of entering the firmware upgrade mode.
constexpr uint8_t kUpgradeModeEnter = 0x00;
// Forced upgrade mode and passthrough: 0 switches on, 1 off.
constexpr uint8_t kSwitchOn = 0x00;
constexpr uint8_t kSwitchOff = 0x01;
// Status byte of replies that carry one.
constexpr uint8_t kStatusOk = 0x00;
constexpr uint8_t kStatusFailed = 0x01;
// The status record 55 AA value check some replies carry.
constexpr uint8_t kRecordFirst = 0x55;
constexpr uint8_t kRecordSecond = 0xAA;

}  // namespace internal
}  // namespace emu

#endif  // QUORVEL_EMULATOR_MODEL_COMMANDS_H_
