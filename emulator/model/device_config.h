// A device as its scenario describes it: identity, firmware, timing, what a
// restart does, the passthrough device behind it, its unsolicited reports
// and its faults. Read once when the scenario loads; the faults' spent marks
// are the only part that changes afterwards.
#ifndef QUORVEL_EMULATOR_MODEL_DEVICE_CONFIG_H_
#define QUORVEL_EMULATOR_MODEL_DEVICE_CONFIG_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/bytes.h"
#include "model/faults.h"

namespace emu {
namespace internal {

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

struct UnsolicitedReport {
  int64_t atUs = 0;  // scenario time
  Bytes bytes;
};

// One stay of a device in its port: plugged at atUs, pulled at pullAtUs
// (none: it stays), both in scenario time.
struct PlugWindow {
  int64_t atUs = 0;
  std::optional<int64_t> pullAtUs;
};

// Plugged leftUs after another device left the bus for good: the operator
// who pulls a done dongle and plugs the next one into the same port.
struct PlugAfter {
  std::string device;
  int64_t leftUs = 0;
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
  // Hotplug: several plug windows of the one device (firmware kept between
  // them), a plug after another device's pull, and a pull that long after
  // the device came back from a restart that applied new firmware.
  std::vector<PlugWindow> plugs;
  std::optional<PlugAfter> plugAfter;
  std::optional<int64_t> pullAfterUpdateUs;
  std::string openError;  // "", "permission" or "busy"
  std::vector<UnsolicitedReport> reports;
  PassthroughConfig passthrough;
  std::vector<Fault> faults;
};

}  // namespace internal
}  // namespace emu

#endif  // QUORVEL_EMULATOR_MODEL_DEVICE_CONFIG_H_
