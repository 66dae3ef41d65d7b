#include "support/program_harness.h"

#include "console/arguments.h"
#include "console/command.h"
#include "console/command_execution.h"
#include "console/interruption.h"
#include "console/json_report.h"
#include "console/loaded_images.h"
#include "emulator.h"
#include "output/log_printers.h"
#include "support/virtual_platform.h"
#include "transport/device_list.h"
#include "transport/hid_link.h"

namespace harness {
namespace {

struct Guard {
  bool armed = false;
  int32_t deadline = 0;
  std::function<void(int32_t)> onTick;
  void (*sleep)(int32_t) = nullptr;
  void (*spin)(int32_t) = nullptr;
};

Guard g_guard;

// Called after every move of the clock. The tick hook may change the world
// (free a lock, unplug a device); the deadline ends a run that would
// otherwise go on for ever.
void AfterClockMove() {
  if (!g_guard.armed)
    return;
  if (g_guard.onTick)
    g_guard.onTick(g_virtual.now);
  if (g_virtual.now > g_guard.deadline) {
    g_guard.armed = false;
    throw ProgramHung{g_virtual.now};
  }
}

void GuardedSleep(int32_t ms) {
  g_guard.sleep(ms);
  AfterClockMove();
}

void GuardedSpin(int32_t deadline) {
  g_guard.spin(deadline);
  AfterClockMove();
}

int64_t EmulatorNowMicros() {
  return static_cast<int64_t>(g_virtual.now) * 1000;
}

void EmulatorSleepUntilMicros(int64_t deadline) {
  int64_t ms = (deadline + 999) / 1000;
  if (ms > g_virtual.now)
    g_virtual.now = static_cast<int32_t>(ms);
  AfterClockMove();
}

}  // namespace

void InstallGuardedClock() {
  g_guard = Guard();
  g_guard.sleep = g_platform.sleepMs;
  g_guard.spin = g_platform.spinUntilMs;
  g_platform.sleepMs = GuardedSleep;
  g_platform.spinUntilMs = GuardedSpin;
  emu::Clock clock;
  clock.nowMicros = EmulatorNowMicros;
  clock.sleepUntilMicros = EmulatorSleepUntilMicros;
  emu::SetClock(clock);
}

void ArmHangGuard(int32_t limitMs, std::function<void(int32_t)> onTick) {
  g_guard.armed = true;
  g_guard.deadline = g_virtual.now + limitMs;
  g_guard.onTick = std::move(onTick);
}

void DisarmHangGuard() {
  g_guard.armed = false;
  g_guard.onTick = nullptr;
}

void ResetProgramState() {
  CloseLink();
  // Every record back to its default value, filters included.
  CurrentDevices = DeviceList{};
  KnownDevices = DeviceList{};
  ResetImages();
  DfuSettings = DfuSettingsRecord();
  ControlFlags = ControlFlagsRecord();
  // The output flags, clock readings, progress and step notes.
  ResetOutputState();
  ResetInterruption();
  ResetJsonReport();
}

CommandOutcome RunCommand(const CommandRun& run) {
  CommandOutcome outcome;
  ResetProgramState();
  UiLanguage = run.english ? 1 : 0;
  LogEnabled = run.prompt ? 1 : 0;
  TakeOutput();
  TakeErrors();
  int32_t start = g_virtual.now;
  outcome.parsed = ParseDfuArguments(run.args, run.prompt ? kDfuMode : kCommandLineMode).accepted;
  if (outcome.parsed) {
    ArmHangGuard(run.limitMs, run.onTick);
    try {
      outcome.result = ExecuteCommand(CurrentCommand());
      outcome.executed = true;
      outcome.statusAfter = StatusAfterCommand(outcome.result ? 0 : 1);
    } catch (const ProgramHung&) {
      outcome.hung = true;
    } catch (const VirtualExitRequest& exit) {
      outcome.exitStatus = exit.status;
    }
    DisarmHangGuard();
  }
  outcome.elapsedMs = g_virtual.now - start;
  outcome.out = TakeOutput();
  outcome.err = TakeErrors();
  ResetProgramState();
  return outcome;
}

}  // namespace harness
