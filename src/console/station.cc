// The station's loop: every turn (at most 100 ms, sooner when a child wrote
// a line) it acts on interrupts, lists the matching devices every 250 ms
// and starts what the port rules allow, takes the children's lines into the
// board, ends the children that are done, and draws the view. All of it on
// this one thread; the children's pipes have reader threads of their own.
#include "console/station.h"

#include <list>
#include <nlohmann/json.hpp>

#include "console/dfu_settings.h"
#include "console/interruption.h"
#include "console/loaded_images.h"
#include "console/program.h"
#include "console/station_child.h"
#include "console/station_ports.h"
#include "console/station_settings.h"
#include "console/tool_version.h"
#include "image/sha256.h"
#include "output/station_log.h"
#include "output/station_view.h"
#include "platform/platform.h"
#include "platform/station_console.h"
#include "transport/device_discovery.h"

namespace {

using Json = nlohmann::json;

constexpr int32_t kScanEveryMs = 250;
constexpr int32_t kTurnMs = 100;
constexpr int32_t kRedrawAtLeastEveryMs = 1000;  // the elapsed times move on
constexpr size_t kKeptErrorLines = 8;
// A child's first interrupt during its upgrade only warns; the second one
// follows this much later, so that the two are not merged into one signal.
constexpr int32_t kSecondInterruptAfterMs = 200;
// A device seen by one of the last two scans is still plugged in.
constexpr int32_t kSeenLatelyMs = 2 * kScanEveryMs;
// New children for a plugged-in device whose child waited in vain.
constexpr int kStartsAgain = 2;

struct StationRunRecord {
  StationRules rules;
  StationBoard board;
  StationWatch watch;
  std::list<StationChild> children;  // stable addresses for the readers
  int nextChildId = 1;
  std::vector<std::string> arguments;
  std::string executable;
  std::string imageSha256;
  std::string imageVersion;
  intptr_t log = -1;
  bool logFailed = false;
  bool terminal = false;
  int linesDrawn = 0;
  int32_t lastDrawMs = 0;
  bool changed = true;
  int32_t nextScanMs = 0;
  bool portlessNoted = false;
  int interruptsSeen = 0;
};
StationRunRecord Station;

void WriteErr(const std::string& text) {
  g_platform.writeErr(text.data(), text.size());
}

std::string ToolVersion() {
  return std::to_string(kVersionMajor) + "." + std::to_string(kVersionMinor) + "." +
         std::to_string(kVersionPatch);
}

std::string Sha256Hex(const FirmwareImage& image) {
  uint8_t digest[kSha256Size];
  if (image.data == nullptr || !ComputeSha256(image.data, image.length, digest))
    return std::string();
  static const char kHex[] = "0123456789abcdef";
  std::string text;
  for (uint8_t byte : digest) {
    text.push_back(kHex[byte >> 4]);
    text.push_back(kHex[byte & 15]);
  }
  return text;
}

}  // namespace

namespace {

// The view: at a terminal the board redrawn in place, at most every turn;
// elsewhere one plain line per change of a port (PrintPortLine).
void DrawView(bool force) {
  if (!Station.terminal)
    return;
  const int32_t now = NowMs();
  if (!force && !Station.changed && now - Station.lastDrawMs < kRedrawAtLeastEveryMs)
    return;
  WriteErr(DrawStationBoard(Station.board, now, Station.linesDrawn, &Station.linesDrawn));
  Station.lastDrawMs = now;
  Station.changed = false;
}

// Text for people between drawings of the board: the board is erased, the
// text written where it stood, and the next drawing starts below it.
void WriteAboveView(const std::string& text) {
  if (Station.terminal && Station.linesDrawn > 0) {
    WriteErr("\x1b[" + std::to_string(Station.linesDrawn) + "A\r\x1b[J");
    Station.linesDrawn = 0;
    Station.changed = true;
  }
  WriteErr(text);
}

void PrintPortLine(const StationPort& port) {
  Station.changed = true;
  if (!Station.terminal)
    WriteErr(PlainStationLine(g_platform.localTimeIso8601(), port));
}

}  // namespace

namespace {

std::string TextMember(const Json& record, const char* name) {
  return record.contains(name) && record[name].is_string() ? record[name].get<std::string>()
                                                           : std::string();
}

// Ten steps of progress make a plain line; every percent redraws the board.
int ProgressStep(int percent) {
  return percent < 0 ? -1 : percent / 10;
}

// A line of a child's standard output: a phase or progress event moves its
// port on the board, the result line is kept for the log.
void TakeOutputLine(StationChild* child, const std::string& text) {
  const Json line = Json::parse(text, nullptr, false);
  if (!line.is_object() || (!line.contains("event") && !line.contains("result"))) {
    child->otherOutput += text + "\n";
    return;
  }
  if (!line.contains("event")) {
    child->resultLine = text;
    return;
  }
  StationPort* port = FindStationPort(&Station.board, child->port);
  if (port == nullptr || port->state != StationPortState::kRunning)
    return;
  const std::string phase = TextMember(line, "phase");
  const bool progress = TextMember(line, "event") == "progress" && line.contains("percent") &&
                        line["percent"].is_number_integer();
  const int percent = progress ? line["percent"].get<int>() : -1;
  const bool visible = phase != port->phase || ProgressStep(percent) != ProgressStep(port->percent);
  port->phase = phase;
  port->percent = percent;
  Station.changed = true;
  if (visible)
    PrintPortLine(*port);
}

// At a terminal a child's standard error would tear the board: its last
// lines are kept for when it fails. Elsewhere each line goes through with
// the port in front.
void TakeErrorLine(StationChild* child, const std::string& text) {
  if (!Station.terminal) {
    WriteErr("[" + child->port + "] " + text + "\n");
    return;
  }
  child->errTail.push_back(text);
  if (child->errTail.size() > kKeptErrorLines)
    child->errTail.pop_front();
}

struct UpdateEnd {
  StationPortState state = StationPortState::kFailed;
  std::string newVersion;
  std::string failedStep;
};

// The version a done device came back with: the image's when one of its
// versions is that, else its App's or Controller's.
std::string NewVersion(const Json& record) {
  const Json& after = record.contains("versionsAfter") ? record["versionsAfter"] : Json();
  if (!after.is_object())
    return std::string();
  const std::string controller = TextMember(after, "controller");
  const std::string app = TextMember(after, "app");
  if (controller == Station.imageVersion || app == Station.imageVersion)
    return Station.imageVersion;
  return app.empty() ? controller : app;
}

UpdateEnd JudgeUpdate(const std::string& resultLine, int status) {
  UpdateEnd end;
  const Json record = Json::parse(resultLine, nullptr, false);
  const std::string result = record.is_object() ? TextMember(record, "result") : std::string();
  if (result.empty()) {
    end.failedStep =
        "the update ended without a result (exit status " + std::to_string(status) + ")";
  } else if (result == "success") {
    end.state = StationPortState::kDone;
    end.newVersion = NewVersion(record);
  } else if (result == "current") {
    end.state = StationPortState::kCurrent;
  } else {
    end.failedStep = TextMember(record, "failedStep");
    if (end.failedStep.empty())
      end.failedStep = TextMember(record, "reason");
    if (end.failedStep.empty())
      end.failedStep = result;
  }
  return end;
}

// The finished device's log line, written and synced before the board
// shows it finished. A log that fails takes no new devices; the line is not
// lost, it goes to standard error.
void LogUpdate(const StationChild& child, const std::string& record) {
  if (Station.log == -1)
    return;
  const StationLogExtras extras{
      child.port,    child.serial,    Station.imageSha256,          Station.imageVersion,
      ToolVersion(), child.startTime, g_platform.localTimeIso8601()};
  std::string line = FormatStationLogLine(record, extras);
  if (line.empty() || line.back() != '\n')
    line.push_back('\n');
  std::string error;
  if (!Station.logFailed && AppendAndSync(Station.log, line, &error))
    return;
  if (!Station.logFailed)
    WriteAboveView("quorvel-dfu: the log cannot be written (" + error +
                   "); no new devices are taken. Each record not logged follows:\n");
  Station.logFailed = true;
  Station.board.ending = true;
  WriteAboveView(line);
}

}  // namespace

namespace {

void ShowFailedTail(const StationChild& child) {
  if (!Station.terminal || child.errTail.empty())
    return;
  std::string text = "[" + child.port + "] the update failed; its last lines:\n";
  for (const std::string& line : child.errTail)
    text += "[" + child.port + "]   " + line + "\n";
  WriteAboveView(text);
}

// Logs the update's end, then shows it on the board.
void FinishUpdate(const StationChild& child, const std::string& record, const UpdateEnd& end) {
  LogUpdate(child, record);
  EndStationPort(Station.rules, child.port, end.state, NowMs(), &Station.board, &Station.watch);
  StationPort* port = FindStationPort(&Station.board, child.port);
  if (port == nullptr)
    return;
  port->newVersion = end.newVersion;
  port->failedStep = end.failedStep;
  PrintPortLine(*port);
  if (end.state == StationPortState::kFailed)
    ShowFailedTail(child);
}

// A child stopped because its device, still plugged in, never answered it:
// the port gets a new child, and nothing is logged or counted.
void StartAgain(const StationChild& child) {
  WriteAboveView("quorvel-dfu: [" + child.port + "] " +
                 (child.serial.empty() ? std::string("the device") : child.serial) +
                 " did not answer; its update starts again\n");
  RequeueStationPort(child.port, &Station.board, &Station.watch);
  Station.changed = true;
}

void EndChild(std::list<StationChild>::iterator child) {
  const UpdateEnd end = JudgeUpdate(child->resultLine, EndStationChild(&*child));
  if (child->startAgain && end.state == StationPortState::kFailed) {
    StartAgain(*child);
  } else {
    const std::string& record = child->resultLine.empty() ? child->otherOutput : child->resultLine;
    FinishUpdate(*child, record, end);
  }
  Station.children.erase(child);
}

void TakeLine(const ChildLine& line) {
  for (auto child = Station.children.begin(); child != Station.children.end(); ++child) {
    if (child->id != line.child)
      continue;
    if (!line.end)
      line.fromErr ? TakeErrorLine(&*child, line.text) : TakeOutputLine(&*child, line.text);
    else if (--child->openPipes == 0)
      EndChild(child);
    return;
  }
}

void StartUpdate(const std::string& port) {
  StationPort* entry = FindStationPort(&Station.board, port);
  Station.children.emplace_back();
  StationChild& child = Station.children.back();
  child.id = Station.nextChildId++;
  child.port = port;
  child.serial = entry->serial;
  child.startTime = g_platform.localTimeIso8601();
  std::vector<std::string> argv = {Station.executable};
  for (std::string& argument :
       StationChildArguments(Station.arguments, port, StationSettings.reflash))
    argv.push_back(std::move(argument));
  std::string error;
  if (StartStationChild(argv, &child, &error)) {
    entry->phase = "starting";
    return;
  }
  UpdateEnd end;
  end.failedStep = "starting the update: " + error;
  FinishUpdate(child, error, end);
  Station.children.pop_back();
}

}  // namespace

namespace {

DeviceList StationScan;

// The matching interfaces present now, by port. A device the system gives
// no port for is never taken: the child could not be pinned to it.
std::vector<SeenDevice> ScanDevices() {
  ListDevicesNow(&StationScan);
  std::vector<SeenDevice> seen;
  for (const DeviceEntry& entry : StationScan.entries) {
    const std::string serial = entry.hasSerial ? entry.serial : std::string();
    if (!DfuSettings.serial.empty() && serial != DfuSettings.serial)
      continue;
    if (!entry.port.empty()) {
      seen.push_back(SeenDevice{entry.port, serial});
    } else if (!Station.portlessNoted) {
      Station.portlessNoted = true;
      WriteAboveView("quorvel-dfu: a matching device without a known USB port is left alone: " +
                     entry.path + "\n");
    }
  }
  return seen;
}

// What each port showed before a scan, to print the ports the scan moved.
std::vector<std::pair<StationPortState, std::string>> PortStates() {
  std::vector<std::pair<StationPortState, std::string>> states;
  for (const StationPort& port : Station.board.ports)
    states.emplace_back(port.state, port.serial);
  return states;
}

void ScanAndStart(int32_t now) {
  Station.nextScanMs = now + kScanEveryMs;
  const auto before = PortStates();
  const std::vector<std::string> started =
      UpdateStationPorts(Station.rules, ScanDevices(), now, &Station.board, &Station.watch);
  for (const std::string& port : started)
    StartUpdate(port);
  for (size_t i = 0; i < Station.board.ports.size(); ++i) {
    const StationPort& port = Station.board.ports[i];
    if (i >= before.size() || before[i].first != port.state || before[i].second != port.serial)
      PrintPortLine(port);
  }
}

// First interrupt: no new devices, the running updates finish. Second: every
// child gets two interrupts, apart, so that one in its upgrade stops too and
// says how to recover its device.
void ServeInterrupts(int32_t now) {
  const int count = StationInterrupts();
  if (count > Station.interruptsSeen) {
    if (Station.interruptsSeen == 0)
      WriteAboveView(
          "quorvel-dfu: ending: no new devices are taken; the running updates finish (press "
          "Ctrl-C again to interrupt them)\n");
    if (count >= 2 && Station.interruptsSeen < 2)
      WriteAboveView("quorvel-dfu: interrupting the running updates\n");
    Station.interruptsSeen = count;
    Station.board.ending = true;
    Station.changed = true;
  }
  if (count < 2)
    return;
  for (StationChild& child : Station.children) {
    if (child.interruptsSent < 2 && now >= child.nextInterruptMs && child.process.process != -1) {
      InterruptChildProcess(child.process);
      ++child.interruptsSent;
      child.nextInterruptMs = now + kSecondInterruptAfterMs;
    }
  }
}

// A child waits for its device without end: one whose device left before
// it connected would hold its port for good, and so would one whose device
// missed its first handshake (a connection tries a device present from the
// start once, and waits for new ones after). Nothing is at stake while it
// waits, so one interrupt ends it. A device still plugged in gets a new
// child, kStartsAgain times at most; one that is gone, or that never
// answers, counts as failed until a device is plugged in again.
void StopWaitsInVain(int32_t now) {
  for (StationChild& child : Station.children) {
    const StationPort* port = FindStationPort(&Station.board, child.port);
    const PortWatch* entry = FindPortWatch(Station.watch, child.port);
    if (child.interruptsSent > 0 || port == nullptr || entry == nullptr ||
        port->phase != "waiting") {
      continue;
    }
    const int32_t away = now - entry->lastSeenMs;
    const bool present = away <= kSeenLatelyMs;
    if (!present && away <= kGoneAfterMs)
      continue;
    child.startAgain = present && entry->startsAgain < kStartsAgain;
    InterruptChildProcess(child.process);
    child.interruptsSent = 1;
    child.nextInterruptMs = now + kSecondInterruptAfterMs;
  }
}

void RunTurn() {
  const int32_t now = NowMs();
  ServeInterrupts(now);
  if (now >= Station.nextScanMs) {
    ScanAndStart(now);
    StopWaitsInVain(now);
  }
  // Lines first, then their effects: taking an end may remove its child.
  std::vector<ChildLine> lines;
  for (StationChild& child : Station.children)
    TakeChildLines(&child, &lines);
  for (const ChildLine& line : lines)
    TakeLine(line);
  DrawView(false);
  SleepMs(kTurnMs);
}

}  // namespace

namespace {

void Refuse(const std::string& reason) {
  WriteErr("quorvel-dfu: --station: " + reason + "\n");
}

// Everything the station needs before it takes a device; false (with the
// reason on standard error) when it cannot run.
bool PrepareStation(const std::vector<std::string>& arguments) {
  if (!PortsAreKnown()) {
    Refuse(
        "the system does not tell USB ports here (no location paths), so the station cannot "
        "pin devices");
    return false;
  }
  Station.executable = OwnExecutablePath();
  if (Station.executable.empty()) {
    Refuse("the program's own path is not known, so no update can be started");
    return false;
  }
  std::string error;
  const std::string& path = StationSettings.logPath;
  if (!path.empty() && !OpenLogForAppend(path, &Station.log, &error)) {
    Refuse("the log cannot be opened for appending: " + path + ": " + error);
    return false;
  }
  Station.arguments = arguments;
  Station.rules = StationRules{StationSettings.jobs, StationSettings.count, StationSettings.ports};
  Station.imageSha256 = Sha256Hex(ProgramImage);
  Station.imageVersion =
      ProgramImage.data != nullptr ? ImageVersionText(LoadedImages.program, ImagePart::kWhole) : "";
  StationScan.vendorId = DfuSettings.vid;
  StationScan.productId = DfuSettings.pid;
  StationScan.interfaceNumber = DfuSettings.inum;
  return true;
}

std::string WatchedText() {
  if (Station.rules.watched.empty())
    return "every port";
  std::string text = "ports";
  for (size_t i = 0; i < Station.rules.watched.size(); ++i)
    text += (i == 0 ? " " : ", ") + Station.rules.watched[i];
  return text;
}

}  // namespace

int RunStation(const std::vector<std::string>& arguments) {
  Station = StationRunRecord{};
  if (!PrepareStation(arguments))
    return kUsageErrorStatus;
  Station.terminal = PrepareTerminalView();
  BeginStationInterrupts();
  char ids[16];
  snprintf(ids, sizeof ids, "%04X:%04X", DfuSettings.vid, DfuSettings.pid);
  WriteErr(std::string("quorvel-dfu: station: updating every ") + ids + " device on " +
           WatchedText() + "; Ctrl-C ends\n");
  while (!StationOver(Station.rules, Station.board))
    RunTurn();
  DrawView(true);
  WriteErr("quorvel-dfu: station ended: " + StationTotalsLine(Station.board.totals) + "\n");
  if (Station.log != -1)
    CloseLog(Station.log);
  return Station.board.totals.failed > 0 || Station.logFailed ? 1 : 0;
}
