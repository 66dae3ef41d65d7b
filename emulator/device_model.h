// Internal model of the emulated bus: each device's configuration (from the
// scenario), its live state (identity, modes, firmware, transfers, queued
// input reports, presence on the bus) and what it has recorded. Shared by
// the emulator's source files only; users go through emulator.h and hidapi.
#ifndef QUORVEL_EMULATOR_DEVICE_MODEL_H_
#define QUORVEL_EMULATOR_DEVICE_MODEL_H_

#include <hidapi/hidapi.h>

#include <array>
#include <climits>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace emu {
namespace internal {

using Bytes = std::vector<uint8_t>;
using Version = std::array<uint8_t, 8>;

constexpr int64_t kNever = INT64_MAX;
constexpr size_t kReportSize = 64;

struct Timing {
  int64_t replyUs = 1000;
  int64_t eraseUs = 20000;
  int64_t blockWriteUs = 1000;
  int64_t verifyUs = 5000;
  int64_t usbFrameUs = 0;
};

struct RebootConfig {
  int64_t leaveUs = 20000;
  int64_t awayUs = 500000;
  std::optional<std::string> path;
  std::optional<uint16_t> vendorId;
  std::optional<uint16_t> productId;
  // Serial number after the restart: unset keeps the device's own; a boot
  // loader that reports none has it set to no value.
  bool serialChanges = false;
  std::optional<std::string> serial;
};

struct PassthroughConfig {
  bool present = false;
  int blockSize = 256;
  bool echo = false;
  Version version{};
};

enum class FaultAction {
  kNoReply,
  kDelay,
  kStatus,
  kGarbage,
  kWrongCommand,
  kWrongLead,
  kWrongSelector,
  kStray,
  kAckMissing,
  kAckWrong,
  kAckDelay,
  kVanish,
  kVanishAtMs,
  kWriteFails,
  kReplace,
};

struct Fault {
  FaultAction action = FaultAction::kNoReply;
  int command = -1;  // command faults: the request's command byte
  int stage = 1;     // 1 first reply, 2 completion
  int block = -1;    // acknowledgement faults: block index
  int occurrence = 1;
  int64_t delayUs = 0;
  int value = 0;
  Bytes report;                   // stray report, or the reply that replaces the real one
  int64_t afterDataBytes = 0;     // vanish
  int afterWrites = 0;            // writeFails
  std::optional<int64_t> awayUs;  // vanish: comes back after this long
  bool spent = false;
};

struct UnsolicitedReport {
  int64_t atUs = 0;  // scenario time
  Bytes bytes;
};

struct DeviceConfig {
  std::string name;
  std::string path;
  uint16_t vendorId = 0;
  uint16_t productId = 0;
  uint16_t release = 0;
  int interfaceNumber = -1;
  std::optional<std::string> manufacturer;
  std::optional<std::string> product;
  std::optional<std::string> serial;  // USB serial number string
  // USB port chain of the device, as Linux names it ("1-2.3": bus 1, port 2
  // of the root hub, port 3 of the hub behind it); empty: not on USB.
  std::string port;
  bool protocol = true;
  std::optional<bool> collection;  // none: derived from the path
  uint8_t typeCode = 0;
  Version controllerVersion{};
  Version appVersion{};
  std::optional<int> handshakeStatus;
  std::optional<int> forcedState = 0;
  bool forcedEntryRestarts = false;
  bool exitForcedRestarts = false;
  int firmwareKind = 0;
  std::vector<uint32_t> appHeaderWords{1};
  int blockSize = 256;
  bool echo = false;
  Timing timing;
  RebootConfig reboot;
  int64_t bootUs = 0;
  int64_t appearAtUs = 0;
  std::optional<int64_t> vanishAtUs;
  std::string openError;  // "", "permission" or "busy"
  std::vector<UnsolicitedReport> reports;
  PassthroughConfig passthrough;
  std::vector<Fault> faults;
};

// One firmware transfer as the receiving side sees it, from the firmware
// information request on.
struct Transfer {
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

struct PendingReport {
  int64_t atUs = 0;
  uint64_t seq = 0;
  Bytes bytes;
  bool unsolicited = false;
};

enum class BusEventKind { kAppear, kLeave, kReturn, kVanish };

struct BusEvent {
  int64_t atUs = 0;
  BusEventKind kind = BusEventKind::kLeave;
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
  // Input reports not yet readable, and the bus schedule.
  std::vector<PendingReport> pending;
  std::vector<BusEvent> busEvents;
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

struct World {
  std::recursive_mutex mutex;
  bool loaded = false;
  int64_t t0 = 0;
  bool recordWrites = false;
  bool recordFrames = true;
  std::vector<DeviceState> devices;
  std::set<hid_device*> handles;
  uint64_t nextSeq = 1;
  nlohmann::json record;
  std::wstring globalError;
  // The sysfs tree that tells a hidraw node's USB port ("" when no device
  // has a port and the scenario names no tree); sysfsOwned when the emulator
  // made it in a scratch directory and removes it at the end.
  std::string sysfsRoot;
  bool sysfsOwned = false;
  // Shared bus: several processes' calls run on their own threads, and a
  // read waits for any change of the bus instead of sleeping blind, because
  // another process may make its device answer earlier than scheduled.
  bool shared = false;
  std::mutex changeMutex;
  std::condition_variable changed;
  uint64_t generation = 0;
  // Where the outputs go when the emulator is not preloaded (the bus
  // process); empty: nowhere.
  std::string recordPath;
  std::string statePath;
};

World& TheWorld();

// The process the current call comes from: the bus serves several.
int CallerPid();
void SetCallerPid(int pid);

// Shared bus (bus.cc): wakes reads waiting for a change; waits until the
// deadline or the next change after `seen`, without holding the bus lock.
void NoteChange();
uint64_t ChangeGeneration();
void WaitForChangeUntilUs(int64_t deadline, uint64_t seen);

// The sysfs tree (sysfs_tree.cc): made at load for the devices with a port,
// brought up to date when a device appears on the bus under a hidraw node.
void PrepareSysfsTree();
void PublishSysfsNode(const DeviceState& d);
void RemoveSysfsTree();

// Clock (clock.cc).
int64_t NowUs();
void SleepUntilUs(int64_t deadline);
double ScenarioMs(int64_t us);

// Scenario (scenario.cc).
bool ParseScenario(const nlohmann::json& scenario, World* world, std::string* error);
bool ParseVersion(const std::string& text, Version* out);
// A path whose part from its first "hid" (any case) holds a lower-case "col"
// names one top-level collection: its reports carry their own report ID.
bool PathIsCollection(const std::string& path);

// Bus: presence, restarts, input report queues (bus.cc).
void InitBus(DeviceState& d);
void AdvanceAll();
void AdvanceDevice(int index, int64_t now);
// The next scheduled event of the device after now (report or bus change).
int64_t NextEventUs(const DeviceState& d, int64_t now);
void QueueReply(DeviceState& d, int64_t atUs, Bytes bytes);
void ScheduleRestart(DeviceState& d, int64_t requestUs, int64_t replyAtUs, const std::string& cause,
                     std::optional<int> mode);
void ScheduleLeave(DeviceState& d, int64_t atUs, std::optional<int64_t> awayUs);
void SettleRestarts();
int64_t NextOutSlot(DeviceState& d, int64_t now);

// A report the host wrote to an open handle: the host stack's framing rules
// (hidraw when set, else Windows), write faults, the record, and the request
// handed to the device. The result of hid_write (hid_api.cc).
int HostWrite(hid_device* dev, const unsigned char* data, size_t length, bool hidraw);

// Requests as the device handles them (requests.cc, transfer.cc).
void HandleRequest(DeviceState& d, const uint8_t* request, int64_t atUs);
size_t RequestLength(const DeviceState& d, const uint8_t* request);
Bytes NewReply(uint8_t command);
void SendReply(DeviceState& d, uint8_t command, int stage, Bytes reply, int64_t baseUs,
               int64_t delayUs, int64_t* sentAtUs);
void HandleFirmwareInfo(DeviceState& d, const uint8_t* request, int64_t atUs);
void HandleStart(DeviceState& d, int64_t atUs);
void HandleDataFrame(DeviceState& d, const uint8_t* request, int64_t atUs);
void HandleVerify(DeviceState& d, int64_t atUs);
void CommitPendingImage(DeviceState& d, RestartRecord* restart);
std::string TransferPart(const DeviceState& d, const Transfer& t);
void ProtocolError(DeviceState& d, const std::string& text);

// Faults (faults.cc).
std::vector<Fault*> CommandFaults(DeviceState& d, int command, int stage, int occurrence);
std::vector<Fault*> AckFaults(DeviceState& d, int block, int occurrence);
bool WriteFails(DeviceState& d);
void CheckDataVanish(DeviceState& d, int64_t atUs);
void ShapeReply(DeviceState& d, const Fault& f, uint8_t command, Bytes* reply);

// Record (record.cc).
nlohmann::json BuildRecord();
std::string VersionText(const Version& v);
std::string HexText(const uint8_t* data, size_t size);
uint32_t Crc32(const Bytes& bytes);

// SHA-256 from the system's cryptography (digest_openssl.cc on Linux,
// digest_win32.cc on Windows): lower-case hex, empty when it failed.
std::string Sha256Hex(const Bytes& bytes);
// Makes sure hashing still works from the process's exit handlers.
void PrepareDigestForExit();

// Process use (preload.cc): loads the scenario named in the environment on
// first use when built for preloading; nothing otherwise.
void EnsureLoaded();
// Writes the record and saves the state where the environment says; for
// hid_exit and process exit. Nothing unless built for preloading.
void WriteProcessOutputs();
// Preload front end: arranges for WriteProcessOutputs to run when a signal
// that the program leaves at its default action ends the process.
void WriteOutputsOnFatalSignals();
// Brings the record file up to date, so that a program that is killed still
// leaves one; called when the program closes a device.
void WriteRecordSoFar();

}  // namespace internal
}  // namespace emu

// An open handle. It stays bound to one stay of its device on the bus: once
// the device leaves, the handle is dead even if the device comes back.
struct hid_device_ {
  int device = -1;
  int incarnation = 0;
  int openRecord = -1;  // index into the device's opens
  bool dead = false;
  bool nonblocking = false;
  std::deque<emu::internal::Bytes> readable;
  std::wstring error;
  hid_device_info* info = nullptr;
};

#endif  // QUORVEL_EMULATOR_DEVICE_MODEL_H_
