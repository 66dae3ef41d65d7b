// A device's live state: its configuration from the scenario, its identity
// and presence on the bus, modes and firmware, transfers, queued input
// reports and scheduled presence changes, fault counters, and what it has
// recorded.
#ifndef QUORVEL_EMULATOR_MODEL_DEVICE_STATE_H_
#define QUORVEL_EMULATOR_MODEL_DEVICE_STATE_H_

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "model/bytes.h"
#include "model/device_config.h"
#include "model/transfer.h"

namespace emu {
namespace internal {

struct PendingReport {
  int64_t atUs = 0;
  uint64_t seq = 0;
  Bytes bytes;
  bool unsolicited = false;
};

// kPlug and kPull are the hotplug keys' plug and pull of the device into and
// out of its port; the others are appearAtMs, restarts and faults, and
// vanishAtMs.
enum class PresenceEventKind { kAppear, kLeave, kReturn, kVanish, kPlug, kPull };

struct PresenceEvent {
  int64_t atUs = 0;
  PresenceEventKind kind = PresenceEventKind::kLeave;
  int restart = -1;  // index into DeviceState::restarts, or -1
  int fault = -1;    // index into DeviceConfig::faults, or -1
};

struct RestartRecord {
  int64_t atUs = 0;
  std::string cause;  // "restart", "forcedEntry", "forcedExit"
  std::optional<int> mode;
  bool appliedImage = false;
  bool unverifiedImageDiscarded = false;
  std::optional<Version> newController;
  std::optional<Version> newApp;
  bool toBootloader = false;
  std::optional<int64_t> leftAtUs;
  std::optional<int64_t> cameBackAtUs;
};

struct RequestRecord {
  int64_t atUs = 0;
  Bytes bytes;
  bool ignored = false;
};

struct WriteRecord {
  int64_t atUs = 0;
  size_t length = 0;
  Bytes bytes;
  int result = 0;
};

struct PresenceRecord {
  int64_t atUs = 0;
  std::string event;
};

// A successful hid_open_path: which process opened which path, and when it
// closed it again.
struct OpenRecord {
  int64_t atUs = 0;
  std::optional<int64_t> closedAtUs;
  int pid = 0;
  std::string path;
};

struct DeviceState {
  DeviceConfig cfg;
  // Identity on the bus (changes when a restart brings it back elsewhere).
  std::string path;
  uint16_t vendorId = 0;
  uint16_t productId = 0;
  std::optional<std::string> serial;
  bool collection = false;
  bool present = false;
  int incarnation = 0;  // grows each time the device leaves the bus
  // Left the bus with nothing to bring it back: the devices plugged after it
  // have been scheduled.
  bool goneForGood = false;
  bool restarting = false;
  int64_t bootUntilUs = 0;
  // Firmware and modes.
  Version controller{};
  Version app{};
  bool upgradeMode = false;
  bool forcedMode = false;
  bool passthroughOn = false;
  bool bootloader = false;
  std::string passthroughImageSha256;
  // Transfers: every one in order; the current one of each target.
  std::vector<Transfer> transfers;
  int mainTransfer = -1;
  int passTransfer = -1;
  // Input reports not yet readable, and the presence schedule.
  std::vector<PendingReport> pending;
  std::vector<PresenceEvent> presenceEvents;
  int64_t lastReplyUs = 0;
  int64_t lastInSlotUs = -1;
  int64_t lastOutSlotUs = -1;
  // Counters for faults.
  int writes = 0;
  int64_t dataBytes = 0;
  std::map<int, int> commandCounts;
  std::map<int, int> blockAckCounts;
  uint32_t noise = 0x2545F491u;
  // What the device recorded.
  std::vector<RequestRecord> requests;
  int dataFrames = 0;
  std::vector<WriteRecord> writeLog;
  std::vector<RestartRecord> restarts;
  std::vector<PresenceRecord> presence;
  std::vector<OpenRecord> opens;
  std::vector<std::string> protocolErrors;
};

}  // namespace internal
}  // namespace emu

#endif  // QUORVEL_EMULATOR_MODEL_DEVICE_STATE_H_
