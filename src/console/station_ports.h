// The station's port rules: which ports it watches, when a device on a port
// is a new one, and which queued ports start an update now. A pure function
// of the board, one scan's devices and the time; the station loop
// (console/station.h) does the scanning, the children and the view.
#ifndef QUORVEL_CONSOLE_STATION_PORTS_H_
#define QUORVEL_CONSOLE_STATION_PORTS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "output/station_board.h"

// A done or current device that has been off the bus this long has left;
// shorter, it was only restarting (a dongle's restart takes about a second).
constexpr int32_t kGoneAfterMs = 3000;

// One matching interface of a scan, at a known port.
struct SeenDevice {
  std::string port;
  std::string serial;  // empty: the device reports none
};

// What --jobs, --count and --port ask for.
struct StationRules {
  int32_t jobs = 0;                  // 0: no limit
  int32_t count = 0;                 // 0: never ends by count
  std::vector<std::string> watched;  // empty: every port
};

// What the board does not show of a port: when its device was last seen,
// and whether it was seen away since its update ended.
struct PortWatch {
  std::string port;
  int32_t lastSeenMs = 0;
  bool awaySinceEnd = false;
  int startsAgain = 0;  // new children for the device plugged in now (RequeueStationPort)
};

struct StationWatch {
  std::vector<PortWatch> ports;  // one per board port, in the board's order
};

// One scan at nowMs: adds the watched ports that appear, moves each port's
// state as its device comes and goes (new -> queued; done and current stay
// while present and until away longer than kGoneAfterMs; a failed device
// is queued again only after it was away and came back; another serial on
// the port is a new device at once), sets board->ending when --count is
// reached, then starts queued ports (kRunning, startedMs = nowMs) while the
// rules allow: never more running than jobs, never more started than count
// minus finished, none while ending. Returns the ports started, in board
// order; updates board->totals' running and queued.
std::vector<std::string> UpdateStationPorts(const StationRules& rules,
                                            const std::vector<SeenDevice>& seen, int32_t nowMs,
                                            StationBoard* board, StationWatch* watch);
// The update on that port ended with state (kDone, kCurrent or kFailed) at
// nowMs: the port takes it, the totals count it, and its device's presence
// is judged from here on. Sets board->ending when --count is reached.
void EndStationPort(const StationRules& rules, const std::string& port, StationPortState state,
                    int32_t nowMs, StationBoard* board, StationWatch* watch);
// The child on that port ended without ever reaching its device, which is
// still plugged in: the port is queued again for a new child, and nothing
// is counted. Its PortWatch's startsAgain counts these until an update on
// the port ends (EndStationPort).
void RequeueStationPort(const std::string& port, StationBoard* board, StationWatch* watch);
// The port's watch entry; null when the board has no such port.
const PortWatch* FindPortWatch(const StationWatch& watch, const std::string& port);
// Updates that ended (done, current and failed together).
int FinishedUpdates(const StationTotals& totals);
// Whether the station is over: --count devices finished, or ending with
// nothing running.
bool StationOver(const StationRules& rules, const StationBoard& board);
// The board's port of that name; null when it has none.
StationPort* FindStationPort(StationBoard* board, const std::string& port);

#endif  // QUORVEL_CONSOLE_STATION_PORTS_H_
