// The port rules of the station, apart from every scan and child so that
// each rule can be checked on a virtual clock.
#include "console/station_ports.h"

#include <algorithm>

namespace {

bool Watched(const StationRules& rules, const std::string& port) {
  return !port.empty() &&
         (rules.watched.empty() ||
          std::find(rules.watched.begin(), rules.watched.end(), port) != rules.watched.end());
}

const SeenDevice* SeenOn(const std::vector<SeenDevice>& seen, const std::string& port) {
  for (const SeenDevice& device : seen) {
    if (device.port == port)
      return &device;
  }
  return nullptr;
}

PortWatch* WatchOf(StationWatch* watch, const std::string& port) {
  return const_cast<PortWatch*>(FindPortWatch(*watch, port));
}

void AddNewPorts(const StationRules& rules, const std::vector<SeenDevice>& seen,
                 StationBoard* board, StationWatch* watch) {
  for (const SeenDevice& device : seen) {
    if (!Watched(rules, device.port) || FindStationPort(board, device.port) != nullptr)
      continue;
    StationPort port;
    port.port = device.port;
    board->ports.push_back(port);
    PortWatch entry;
    entry.port = device.port;
    watch->ports.push_back(entry);
  }
}

// The port starts afresh, with nothing of its previous device.
void Reset(StationPort* port, StationPortState state, const std::string& serial) {
  StationPort fresh;
  fresh.port = port->port;
  fresh.serial = serial;
  fresh.state = state;
  *port = fresh;
}

void Queue(StationPort* port, const std::string& serial) {
  Reset(port, StationPortState::kQueued, serial);
}

void Empty(StationPort* port) {
  Reset(port, StationPortState::kEmpty, std::string());
}

// A port whose update is over (done, current, failed) keeps its state until
// its device leaves; another serial on it is another device.
void MoveEndedPort(const SeenDevice* device, int32_t nowMs, bool ending, StationPort* port,
                   PortWatch* entry) {
  if (device != nullptr && device->serial != port->serial) {
    if (!ending)
      Queue(port, device->serial);
    return;
  }
  if (port->state == StationPortState::kFailed) {
    if (device == nullptr)
      entry->awaySinceEnd = true;
    else if (entry->awaySinceEnd && !ending)
      Queue(port, device->serial);
    return;
  }
  if (device == nullptr && nowMs - entry->lastSeenMs > kGoneAfterMs)
    Empty(port);
}

void MovePort(const SeenDevice* device, int32_t nowMs, bool ending, StationPort* port,
              PortWatch* entry) {
  switch (port->state) {
    case StationPortState::kEmpty:
      if (device != nullptr && !ending)
        Queue(port, device->serial);
      break;
    case StationPortState::kQueued:
      if (device == nullptr)
        Empty(port);
      else
        port->serial = device->serial;
      break;
    case StationPortState::kRunning:
      break;
    default:
      MoveEndedPort(device, nowMs, ending, port, entry);
      break;
  }
  if (device != nullptr)
    entry->lastSeenMs = nowMs;
}

int CountState(const StationBoard& board, StationPortState state) {
  return static_cast<int>(
      std::count_if(board.ports.begin(), board.ports.end(),
                    [state](const StationPort& p) { return p.state == state; }));
}

void CountCurrent(StationBoard* board) {
  board->totals.running = CountState(*board, StationPortState::kRunning);
  board->totals.queued = CountState(*board, StationPortState::kQueued);
}

bool CountReached(const StationRules& rules, const StationBoard& board) {
  return rules.count > 0 && FinishedUpdates(board.totals) >= rules.count;
}

// Whether one more update may start beside those running.
bool MayStart(const StationRules& rules, const StationBoard& board) {
  const int running = board.totals.running;
  if (board.ending || (rules.jobs > 0 && running >= rules.jobs))
    return false;
  return rules.count == 0 || FinishedUpdates(board.totals) + running < rules.count;
}

std::vector<std::string> StartQueued(const StationRules& rules, int32_t nowMs,
                                     StationBoard* board) {
  std::vector<std::string> started;
  for (StationPort& port : board->ports) {
    if (port.state != StationPortState::kQueued || !MayStart(rules, *board))
      continue;
    port.state = StationPortState::kRunning;
    port.startedMs = nowMs;
    started.push_back(port.port);
    CountCurrent(board);
  }
  return started;
}

}  // namespace

std::vector<std::string> UpdateStationPorts(const StationRules& rules,
                                            const std::vector<SeenDevice>& seen, int32_t nowMs,
                                            StationBoard* board, StationWatch* watch) {
  AddNewPorts(rules, seen, board, watch);
  if (CountReached(rules, *board))
    board->ending = true;
  for (StationPort& port : board->ports) {
    PortWatch* entry = WatchOf(watch, port.port);
    if (entry != nullptr)
      MovePort(SeenOn(seen, port.port), nowMs, board->ending, &port, entry);
  }
  CountCurrent(board);
  return StartQueued(rules, nowMs, board);
}

void EndStationPort(const StationRules& rules, const std::string& name, StationPortState state,
                    int32_t nowMs, StationBoard* board, StationWatch* watch) {
  StationPort* port = FindStationPort(board, name);
  if (port == nullptr)
    return;
  port->state = state;
  port->endedMs = nowMs;
  port->percent = -1;
  if (state == StationPortState::kDone)
    ++board->totals.done;
  else if (state == StationPortState::kCurrent)
    ++board->totals.current;
  else
    ++board->totals.failed;
  PortWatch* entry = WatchOf(watch, name);
  if (entry != nullptr) {
    entry->lastSeenMs = nowMs;
    entry->awaySinceEnd = false;
    entry->startsAgain = 0;
  }
  CountCurrent(board);
  if (CountReached(rules, *board))
    board->ending = true;
}

void RequeueStationPort(const std::string& name, StationBoard* board, StationWatch* watch) {
  StationPort* port = FindStationPort(board, name);
  if (port == nullptr)
    return;
  port->state = StationPortState::kQueued;
  port->phase.clear();
  port->percent = -1;
  PortWatch* entry = WatchOf(watch, name);
  if (entry != nullptr)
    ++entry->startsAgain;
  CountCurrent(board);
}

const PortWatch* FindPortWatch(const StationWatch& watch, const std::string& port) {
  for (const PortWatch& entry : watch.ports) {
    if (entry.port == port)
      return &entry;
  }
  return nullptr;
}

int FinishedUpdates(const StationTotals& totals) {
  return totals.done + totals.current + totals.failed;
}

bool StationOver(const StationRules& rules, const StationBoard& board) {
  return CountReached(rules, board) || (board.ending && board.totals.running == 0);
}

StationPort* FindStationPort(StationBoard* board, const std::string& port) {
  for (StationPort& entry : board->ports) {
    if (entry.port == port)
      return &entry;
  }
  return nullptr;
}
