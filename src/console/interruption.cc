#include "console/interruption.h"

#include <atomic>
#include <cstdio>
#include <cstring>

#include "console/json_report.h"
#include "dfu/device_modes.h"
#include "platform/platform.h"

namespace {

// Shared with the signal handler: atomics, and texts that are complete
// before the flag that publishes them is set.
std::atomic<bool> g_commandRunning{false};
std::atomic<int> g_interrupts{0};

// The running command, for the stop routine: it runs at whatever wait the
// interrupt meets, where no argument reaches it. Never read by the handler.
const Command* g_command = nullptr;

const char kIdleNotice[] = "quorvel-dfu: interrupted\n";
const char kFirstNotice[] =
    "quorvel-dfu: stopping now would leave the device in its upgrade mode; the command goes on. "
    "Press Ctrl-C again to stop anyway.\n";

void WriteErrText(const char* text) {
  g_platform.writeErr(text, strlen(text));
}

// Runs at the command's next wait, outside the signal handler.
void StopCommand() {
  StopRequest.pending.store(false);
  std::string note = "quorvel-dfu: interrupted; ";
  std::string state = g_command != nullptr ? DeviceStateNote(*g_command) : std::string();
  note += state.empty() ? "the device was not left in an upgrade mode" : state;
  note += "\n";
  WriteJsonReport(JsonResultKind::kInterrupted, "interrupted");
  g_platform.flushOut();
  g_platform.writeErr(note.data(), note.size());
  g_platform.exitProcess(kInterruptedStatus);
}

}  // namespace

void InstallInterruptHandling() {
  StopRequest.stop = StopCommand;
  g_platform.setUpProcess(OnInterrupt);
}

void OnInterrupt() {
  if (!g_commandRunning.load()) {
    // At the prompt or while parsing nothing is under way.
    WriteErrText(kIdleNotice);
    g_platform.exitNow(kInterruptedStatus);
    return;
  }
  int count = ++g_interrupts;
  if (count == 1 && DeviceModesAtStake()) {
    WriteErrText(kFirstNotice);
    return;
  }
  StopRequest.pending.store(true);
}

void BeginDeviceCommand(const Command& command) {
  g_command = &command;
  g_interrupts.store(0);
  g_commandRunning.store(true);
}

void EndDeviceCommand() {
  g_commandRunning.store(false);
  g_command = nullptr;
}

std::string RecoveryCommand(const Command& command, const char* option) {
  const DfuSettingsRecord& settings = command.settings;
  char text[96];
  std::snprintf(text, sizeof(text), "quorvel-dfu %04x %04x", settings.vid, settings.pid);
  std::string line = text;
  if (settings.inum >= 0)
    line += " -n " + std::to_string(settings.inum);
  return line + " " + option + " 1";
}

std::string DeviceStateNote(const Command& command) {
  if (DeviceModes.forcedUpgrade.load()) {
    return "the device may be left in its forced upgrade mode; to recover it run: " +
           RecoveryCommand(command, "-f");
  }
  if (DeviceModes.upgrade.load() || DeviceModes.passthrough.load()) {
    return "the device may be left in its firmware upgrade mode without a complete image; run "
           "the update again, or restart it with: " +
           RecoveryCommand(command, "-r");
  }
  return "";
}

void ResetInterruption() {
  g_commandRunning.store(false);
  g_interrupts.store(0);
  ClearDeviceModes();
  StopRequest.pending.store(false);
  g_command = nullptr;
}
