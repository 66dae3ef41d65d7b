#include "console/recovery_advice.h"

#include <cstdio>

#include "dfu/device_modes.h"
#include "transport/device_list.h"

namespace {

const char kThenRestart[] = " and then, unless it restarts by itself, ";

bool IsPlainShellChar(char c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
    return true;
  static const char kPlain[] = "-_.,:/@%+=";
  for (const char* p = kPlain; *p != '\0'; ++p) {
    if (c == *p)
      return true;
  }
  return false;
}

// The last scan's view of the bus (every interface, after a restart's
// snapshot) shows an interface at the port that reports no serial number.
bool SerialLostAt(const std::string& port) {
  if (port.empty())
    return false;
  for (const DeviceEntry& entry : KnownDevices.entries) {
    if (entry.port == port && !entry.hasSerial)
      return true;
  }
  return false;
}

// The last scan shows, at the port, a device that reports a serial number
// other than the command's device did: a dongle plugged in after that one
// was pulled.
bool AnotherDeviceAt(const std::string& port, const std::string& deviceSerial) {
  if (port.empty() || deviceSerial.empty())
    return false;
  for (const DeviceEntry& entry : KnownDevices.entries) {
    if (entry.port == port && entry.hasSerial && !entry.serial.empty() &&
        entry.serial != deviceSerial) {
      return true;
    }
  }
  return false;
}

// The selection options of the recovery line, each with its value.
std::string SelectionOptions(const DeviceSelection& selection) {
  std::string port = selection.port;
  std::string serial = selection.serial;
  const std::string& seenAt = DeviceModes.lastSeenPort;
  if (!serial.empty() && SerialLostAt(seenAt)) {
    serial.clear();
    port = seenAt;
  }
  // A line that named only the port would reach the other device.
  if (serial.empty() && AnotherDeviceAt(seenAt, DeviceModes.deviceSerial))
    serial = DeviceModes.deviceSerial;
  std::string options;
  if (!port.empty())
    options += " --port " + ShellWord(port);
  if (!serial.empty())
    options += " --serial " + ShellWord(serial);
  return options;
}

}  // namespace

std::string ShellWord(const std::string& word) {
  bool plain = !word.empty();
  for (char c : word)
    plain = plain && IsPlainShellChar(c);
  if (plain)
    return word;
  std::string quoted = "'";
  for (char c : word)
    quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string RecoveryCommand(const Command& command, const char* option) {
  const DfuSettingsRecord& settings = command.settings;
  char text[96];
  std::snprintf(text, sizeof(text), "quorvel-dfu %04x %04x", settings.vid, settings.pid);
  std::string line = text;
  if (settings.inum >= 0)
    line += " -n " + std::to_string(settings.inum);
  line += SelectionOptions(command.selection);
  return line + " " + option + " 1";
}

std::string FirstRecoveryCommand(const Command& command) {
  if (DeviceModes.forcedUpgrade.load())
    return RecoveryCommand(command, "-f");
  if (DeviceModes.upgrade.load() || DeviceModes.passthrough.load())
    return RecoveryCommand(command, "-r");
  return "";
}

std::string DeviceStateNote(const Command& command) {
  const bool forced = DeviceModes.forcedUpgrade.load();
  const bool upgrade = DeviceModes.upgrade.load() || DeviceModes.passthrough.load();
  // Some chips restart as they leave the forced mode, others stay in the
  // upgrade mode until restarted: one control command with both options
  // would fail on the first kind, so the restart comes second.
  if (forced && upgrade) {
    return "the device may be left in its forced upgrade mode and in its firmware upgrade mode "
           "without a complete image; run the update again, or recover it with: " +
           RecoveryCommand(command, "-f") + kThenRestart + RecoveryCommand(command, "-r");
  }
  if (forced) {
    return "the device may be left in its forced upgrade mode; to recover it run: " +
           RecoveryCommand(command, "-f");
  }
  if (upgrade) {
    return "the device may be left in its firmware upgrade mode without a complete image; run "
           "the update again, or restart it with: " +
           RecoveryCommand(command, "-r");
  }
  return "";
}
