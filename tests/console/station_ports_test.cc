#include "console/station_ports.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Ports = std::vector<std::string>;

// One step of a case: at atMs, either a scan that sees these devices
// ("port=serial") or, with ended set, the end of the update on that port.
struct Step {
  int32_t atMs;
  std::vector<std::string> seen;
  Ports started;      // the ports the scan must start
  std::string board;  // the board after the step: "port:state,..."
  std::string ended = "";
  StationPortState endState = StationPortState::kDone;
};

struct Case {
  const char* name;
  StationRules rules;
  std::vector<Step> steps;
  bool overAtEnd = false;
};

const char* StateLetter(StationPortState state) {
  switch (state) {
    case StationPortState::kEmpty:
      return "empty";
    case StationPortState::kQueued:
      return "queued";
    case StationPortState::kRunning:
      return "running";
    case StationPortState::kDone:
      return "done";
    case StationPortState::kCurrent:
      return "current";
    case StationPortState::kFailed:
      return "failed";
  }
  return "?";
}

std::string BoardText(const StationBoard& board) {
  std::string text;
  for (const StationPort& port : board.ports)
    text += (text.empty() ? "" : ",") + port.port + ":" + StateLetter(port.state) +
            (port.serial.empty() ? "" : "/" + port.serial);
  return text;
}

std::vector<SeenDevice> Seen(const std::vector<std::string>& devices) {
  std::vector<SeenDevice> seen;
  for (const std::string& device : devices) {
    const size_t equals = device.find('=');
    seen.push_back(SeenDevice{device.substr(0, equals),
                              equals == std::string::npos ? "" : device.substr(equals + 1)});
  }
  return seen;
}

void RunCase(const Case& c) {
  SCOPED_TRACE(c.name);
  StationBoard board;
  StationWatch watch;
  for (const Step& step : c.steps) {
    SCOPED_TRACE("at " + std::to_string(step.atMs) + " ms");
    if (!step.ended.empty() && step.endState == StationPortState::kQueued) {
      RequeueStationPort(step.ended, &board, &watch);
    } else if (!step.ended.empty()) {
      EndStationPort(c.rules, step.ended, step.endState, step.atMs, &board, &watch);
    } else {
      EXPECT_EQ(UpdateStationPorts(c.rules, Seen(step.seen), step.atMs, &board, &watch),
                step.started);
    }
    EXPECT_EQ(BoardText(board), step.board);
  }
  EXPECT_EQ(StationOver(c.rules, board), c.overAtEnd);
}

const StationPortState kFailed = StationPortState::kFailed;
const StationPortState kCurrent = StationPortState::kCurrent;

TEST(StationPorts, NewDevicesQueueAndStartWithinTheJobs) {
  const Case cases[] = {
      {"a new device starts at once",
       {},
       {{0, {}, {}, ""}, {250, {"1-1=A"}, {"1-1"}, "1-1:running/A"}}},
      {"--jobs 2 keeps the third queued until one ends",
       {2, 0, {}},
       {{0,
         {"1-1=A", "1-2=B", "1-3=C"},
         {"1-1", "1-2"},
         "1-1:running/A,1-2:running/B,1-3:queued/C"},
        {100, {}, {}, "1-1:done/A,1-2:running/B,1-3:queued/C", "1-1"},
        {250, {"1-1=A", "1-2=B", "1-3=C"}, {"1-3"}, "1-1:done/A,1-2:running/B,1-3:running/C"}}},
      {"a queued device that leaves before its start is gone",
       {1, 0, {}},
       {{0, {"1-1=A", "1-2=B"}, {"1-1"}, "1-1:running/A,1-2:queued/B"},
        {250, {"1-1=A"}, {}, "1-1:running/A,1-2:empty"}}},
      {"a running update is not disturbed by its device's restart",
       {},
       {{0, {"1-1=A"}, {"1-1"}, "1-1:running/A"},
        {250, {}, {}, "1-1:running/A"},
        {5000, {"1-1=B"}, {}, "1-1:running/A"}}},
  };
  for (const Case& c : cases)
    RunCase(c);
}

// Done and current stay so while the device is there and while it is only
// away for a restart; a longer absence, or another serial, makes the port
// take a new device.
TEST(StationPorts, FinishedDevicesAreTakenOncePerPlug) {
  const Case cases[] = {
      {"done stays done while present and through a short absence",
       {},
       {{0, {"1-1=A"}, {"1-1"}, "1-1:running/A"},
        {100, {}, {}, "1-1:done/A", "1-1"},
        {350, {"1-1=A"}, {}, "1-1:done/A"},
        {600, {}, {}, "1-1:done/A"},
        {3350, {}, {}, "1-1:done/A"},
        {3400, {"1-1=A"}, {}, "1-1:done/A"}}},
      {"done gives way after kGoneAfterMs away, to the millisecond",
       {},
       {{0, {"1-1=A"}, {"1-1"}, "1-1:running/A"},
        {100, {}, {}, "1-1:done/A", "1-1"},
        {350, {"1-1=A"}, {}, "1-1:done/A"},
        {3350, {}, {}, "1-1:done/A"},
        {3351, {}, {}, "1-1:empty"},
        {3600, {"1-1=A"}, {"1-1"}, "1-1:running/A"}}},
      {"another serial on a done port is a new device at once",
       {},
       {{0, {"1-1=A"}, {"1-1"}, "1-1:running/A"},
        {100, {}, {}, "1-1:done/A", "1-1"},
        {250, {"1-1=B"}, {"1-1"}, "1-1:running/B"}}},
      {"current is kept as done is",
       {},
       {{0, {"1-1=A"}, {"1-1"}, "1-1:running/A"},
        {100, {}, {}, "1-1:current/A", "1-1", kCurrent},
        {250, {"1-1=A"}, {}, "1-1:current/A"},
        {3200, {}, {}, "1-1:current/A"},
        {3251, {}, {}, "1-1:empty"}}},
  };
  for (const Case& c : cases)
    RunCase(c);
}

TEST(StationPorts, AFailedDeviceIsRetriedOnlyAfterAReplug) {
  const Case cases[] = {
      {"present all along: never retried",
       {},
       {{0, {"1-1=A"}, {"1-1"}, "1-1:running/A"},
        {100, {}, {}, "1-1:failed/A", "1-1", kFailed},
        {250, {"1-1=A"}, {}, "1-1:failed/A"},
        {90000, {"1-1=A"}, {}, "1-1:failed/A"}}},
      {"away, then back: retried",
       {},
       {{0, {"1-1=A"}, {"1-1"}, "1-1:running/A"},
        {100, {}, {}, "1-1:failed/A", "1-1", kFailed},
        {250, {}, {}, "1-1:failed/A"},
        {90000, {}, {}, "1-1:failed/A"},
        {90250, {"1-1=A"}, {"1-1"}, "1-1:running/A"}}},
      {"away before the update ended counts for nothing",
       {},
       {{0, {"1-1=A"}, {"1-1"}, "1-1:running/A"},
        {250, {}, {}, "1-1:running/A"},
        {300, {}, {}, "1-1:failed/A", "1-1", kFailed},
        {500, {"1-1=A"}, {}, "1-1:failed/A"}}},
      {"a child that never reached its device starts again, nothing counted",
       {0, 1, {}},
       {{0, {"1-1=A"}, {"1-1"}, "1-1:running/A"},
        {2500, {}, {}, "1-1:queued/A", "1-1", StationPortState::kQueued},
        {2750, {"1-1=A"}, {"1-1"}, "1-1:running/A"},
        {5000, {}, {}, "1-1:failed/A", "1-1", kFailed}},
       true},
      {"another serial replaces a failed device at once",
       {},
       {{0, {"1-1=A"}, {"1-1"}, "1-1:running/A"},
        {100, {}, {}, "1-1:failed/A", "1-1", kFailed},
        {250, {"1-1=B"}, {"1-1"}, "1-1:running/B"}}},
  };
  for (const Case& c : cases)
    RunCase(c);
}

TEST(StationPorts, CountAndThePortListBoundTheStation) {
  const Case cases[] = {
      {"--count 2: never more started than count minus finished",
       {0, 2, {}},
       {{0,
         {"1-1=A", "1-2=B", "1-3=C"},
         {"1-1", "1-2"},
         "1-1:running/A,1-2:running/B,1-3:queued/C"},
        {100, {}, {}, "1-1:failed/A,1-2:running/B,1-3:queued/C", "1-1", kFailed},
        {250, {"1-1=A", "1-2=B", "1-3=C"}, {}, "1-1:failed/A,1-2:running/B,1-3:queued/C"},
        {300, {}, {}, "1-1:failed/A,1-2:done/B,1-3:queued/C", "1-2"}},
       true},
      {"--count 3 with two devices is not over",
       {0, 3, {}},
       {{0, {"1-1=A", "1-2=B"}, {"1-1", "1-2"}, "1-1:running/A,1-2:running/B"},
        {100, {}, {}, "1-1:done/A,1-2:running/B", "1-1"},
        {200, {}, {}, "1-1:done/A,1-2:done/B", "1-2"}}},
      {"ports outside --port never appear",
       {0, 0, {"1-2", "1-3"}},
       {{0, {"1-1=A", "1-2=B", "2-1=C"}, {"1-2"}, "1-2:running/B"},
        {250, {"1-1=A", "1-3"}, {"1-3"}, "1-2:running/B,1-3:running"}}},
      {"a device without a port is never taken", {}, {{0, {"=A"}, {}, ""}}},
  };
  for (const Case& c : cases)
    RunCase(c);
}

TEST(StationPorts, EndingTakesNoNewDevice) {
  StationRules rules;
  StationBoard board;
  StationWatch watch;
  UpdateStationPorts(rules, {{"1-1", "A"}}, 0, &board, &watch);
  board.ending = true;
  EXPECT_FALSE(StationOver(rules, board));  // 1-1 still runs
  EXPECT_TRUE(UpdateStationPorts(rules, {{"1-1", "A"}, {"1-2", "B"}}, 250, &board, &watch).empty());
  EXPECT_EQ(BoardText(board), "1-1:running/A,1-2:empty");
  EndStationPort(rules, "1-1", StationPortState::kDone, 300, &board, &watch);
  EXPECT_TRUE(StationOver(rules, board));
  EXPECT_EQ(board.totals.done, 1);
  EXPECT_EQ(board.totals.running, 0);
}

}  // namespace
