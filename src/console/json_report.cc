#include "console/json_report.h"

#include <algorithm>

#include "console/arguments.h"
#include "console/interruption.h"
#include "console/recovery_advice.h"
#include "output/console_encoding.h"
#include "output/log_printers.h"
#include "platform/platform.h"

namespace {

// The running --json command. Read by the stop routine too, which runs at
// whatever wait an interrupt meets, outside the signal handler.
struct JsonReportRecord {
  const Command* command = nullptr;
  const RunRecord* record = nullptr;
  bool connected = false;
  DeviceEntry device;
  VersionTexts before;
  bool written = false;
};

JsonReportRecord g_report;

JsonDevice DeviceForReport(const DeviceEntry& entry) {
  JsonDevice device;
  device.vendorId = entry.vendorId;
  device.productId = entry.productId;
  if (entry.hasSerial)
    device.serial = entry.serial;
  if (!entry.port.empty())
    device.port = entry.port;
  device.path = entry.path;
  return device;
}

void AddPassthrough(const Command& command, const RunRecord& record, JsonCommandResult* report) {
  if (!record.passthroughStarted)
    return;
  JsonPassthrough passthrough;
  passthrough.program = command.settings.trans_pg_path;
  passthrough.bytesSent = record.passthroughBytesSent;
  passthrough.success = record.passthroughVerified;
  report->passthrough = passthrough;
}

JsonCommandResult BuildReport(JsonResultKind kind, const std::string& reason) {
  const Command& command = *g_report.command;
  const RunRecord& record = *g_report.record;
  const bool control = IsControlCommand(command);
  JsonCommandResult report;
  report.command = control ? "ctrl" : "dfu";
  report.kind = kind;
  if (g_report.connected)
    report.device = DeviceForReport(g_report.device);
  report.chipPlatform = control ? -1 : command.settings.chip_p;
  report.before = {g_report.before.controller, g_report.before.app};
  report.after = {record.versionsAfter.controller, record.versionsAfter.app};
  report.bytesSent = record.bytesSent;
  report.durationMs = g_report.connected ? NowMs() - CommandStartTime : 0;
  report.failedStep = FailedStepText();
  report.reason = reason;
  if (kind != JsonResultKind::kSuccess && kind != JsonResultKind::kCurrent) {
    report.deviceState = DeviceStateNote(command);
    report.recovery = FirstRecoveryCommand(command);
  }
  AddPassthrough(command, record, &report);
  return report;
}

void WriteLineOfJson(const JsonCommandResult& report) {
  // Whatever text was under way stays unwritten; the line stands alone.
  TextOutputSuppressed = false;
  WriteResultLine(FormatJsonCommandResult(report));
  TextOutputSuppressed = true;
}

}  // namespace

void BeginJsonReport(const Command& command, const RunRecord* record) {
  g_report = JsonReportRecord();
  if (command.output != OutputMode::kJson)
    return;
  g_report.command = &command;
  g_report.record = record;
}

void NoteJsonConnection(const DeviceEntry& connected, const VersionTexts& before) {
  g_report.connected = true;
  g_report.device = connected;
  g_report.before = before;
}

void WriteJsonReport(JsonResultKind kind, const std::string& reason) {
  if (g_report.command == nullptr || g_report.written)
    return;
  g_report.written = true;
  WriteLineOfJson(BuildReport(kind, reason));
}

void EndJsonReport() {
  g_report = JsonReportRecord();
}

bool ArgumentsAskForJson(const std::vector<std::string>& arguments) {
  // --events ends with the --json line.
  return std::find(arguments.begin(), arguments.end(), kJsonOption) != arguments.end() ||
         std::find(arguments.begin(), arguments.end(), kEventsOption) != arguments.end();
}

void WriteRefusedJsonLine(const std::string& reason) {
  JsonCommandResult report;
  report.kind = JsonResultKind::kRefused;
  report.reason = reason;
  WriteResultLine(FormatJsonCommandResult(report));
}

void ResetJsonReport() {
  g_report = JsonReportRecord();
}
