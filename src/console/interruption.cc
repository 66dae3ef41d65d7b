#include "console/interruption.h"

#include <atomic>
#include <cstring>

#include "console/json_report.h"
#include "dfu/device_modes.h"
#include "output/log_printers.h"
#include "platform/platform.h"

namespace {

// Shared with the signal handler: atomics, and texts that are complete
// before the flag that publishes them is set.
std::atomic<bool> g_commandRunning{false};
std::atomic<int> g_interrupts{0};
// The interrupt the running command goes on after (0: none), and the one
// that stops it.
std::atomic<int> g_deferredSignal{0};
std::atomic<int> g_stopSignal{kSignalInterrupt};
// The station counts interrupts and never stops in the handler.
std::atomic<bool> g_stationRunning{false};
std::atomic<int> g_stationInterrupts{0};

// The running command, for the stop routine: it runs at whatever wait the
// interrupt meets, where no argument reaches it. Never read by the handler.
const Command* g_command = nullptr;

const char* SignalName(int signal) {
  switch (signal) {
    case kSignalHangUp:
      return "SIGHUP";
    case kSignalTerminate:
      return "SIGTERM";
    default:
      return "SIGINT";
  }
}

void WriteErrText(const char* text) {
  g_platform.writeErr(text, strlen(text));
}

// "quorvel-dfu: interrupted" for Ctrl-C, "quorvel-dfu: stopped by SIGTERM"
// for the others; safe in the handler.
void WriteStopLead(int signal) {
  if (signal == kSignalInterrupt) {
    WriteErrText("quorvel-dfu: interrupted");
    return;
  }
  WriteErrText("quorvel-dfu: stopped by ");
  WriteErrText(SignalName(signal));
}

// Standard error's text starts on a line of its own at a terminal, where
// both streams share the screen.
void EndProgressLine() {
  EndOpenProgressLine();
  g_platform.flushOut();
}

void WriteFirstNotice(int signal) {
  EndProgressLine();
  if (signal == kSignalInterrupt) {
    WriteErrText(
        "quorvel-dfu: stopping now would leave the device in its upgrade mode; the command goes "
        "on. Press Ctrl-C again to stop anyway.\n");
    return;
  }
  std::string text = std::string("quorvel-dfu: ") + SignalName(signal) +
                     ": stopping now would leave the device in its upgrade mode; the command "
                     "goes on, and the program ends after it. Send the signal again (or press "
                     "Ctrl-C) to stop anyway.\n";
  WriteErrText(text.c_str());
}

// Ends the process for an interrupt that stops the running command, with
// the state the device may be left in and the command that recovers it.
// Every interrupted command ends here, outside the signal handler.
void StopCommand() {
  StopRequest.pending.store(false);
  const int signal = g_stopSignal.load();
  std::string state = g_command != nullptr ? DeviceStateNote(*g_command) : std::string();
  EndProgressLine();
  // The JSON line first, whole, so that at a terminal it never splits the
  // line for people on standard error.
  WriteJsonReport(JsonResultKind::kInterrupted,
                  signal == kSignalInterrupt ? std::string("interrupted")
                                             : std::string("stopped by ") + SignalName(signal));
  g_platform.flushOut();
  WriteStopLead(signal);
  std::string note = "; ";
  note += state.empty() ? "the device was not left in an upgrade mode" : state;
  note += "\n";
  g_platform.writeErr(note.data(), note.size());
  g_platform.exitProcess(128 + signal);
}

// The stop routine of StopRequest: what a first interrupt has to say, then
// the stop when one is wanted.
void ServeInterrupt() {
  if (StopRequest.notice.exchange(false))
    WriteFirstNotice(g_deferredSignal.load());
  if (StopRequest.pending.load())
    StopCommand();
}

}  // namespace

void InstallInterruptHandling() {
  g_deferredSignal.store(0);
  StopRequest.stop = ServeInterrupt;
  g_platform.setUpProcess(OnInterrupt);
}

void OnInterrupt(int signal) {
  if (g_stationRunning.load()) {
    ++g_stationInterrupts;
    return;
  }
  if (!g_commandRunning.load()) {
    // At the prompt or while parsing nothing is under way.
    WriteStopLead(signal);
    WriteErrText("\n");
    g_platform.exitNow(128 + signal);
    return;
  }
  int count = ++g_interrupts;
  if (count == 1 && DeviceModesAtStake()) {
    g_deferredSignal.store(signal);
    StopRequest.notice.store(true);
    return;
  }
  g_stopSignal.store(signal);
  StopRequest.pending.store(true);
}

void BeginDeviceCommand(const Command& command) {
  g_command = &command;
  g_interrupts.store(0);
  g_deferredSignal.store(0);
  g_commandRunning.store(true);
}

void EndDeviceCommand() {
  g_commandRunning.store(false);
  g_command = nullptr;
  // A command that ended before its next wait still owes its warning, which
  // explains the exit status.
  if (StopRequest.notice.exchange(false))
    WriteFirstNotice(g_deferredSignal.load());
}

int StatusAfterCommand(int status) {
  const int deferred = g_deferredSignal.load();
  return deferred != 0 ? 128 + deferred : status;
}

void BeginStationInterrupts() {
  g_stationInterrupts.store(0);
  g_stationRunning.store(true);
}

int StationInterrupts() {
  return g_stationInterrupts.load();
}

void ResetInterruption() {
  g_stationRunning.store(false);
  g_stationInterrupts.store(0);
  g_commandRunning.store(false);
  g_interrupts.store(0);
  g_deferredSignal.store(0);
  g_stopSignal.store(kSignalInterrupt);
  ClearDeviceModes();
  StopRequest.pending.store(false);
  StopRequest.notice.store(false);
  g_command = nullptr;
}
