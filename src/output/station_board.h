// The station's board: what the station knows of every USB port it watches
// and the totals, as the station (console/station*) fills it and the live
// view (output/station_view.h) draws it. A plain record; nothing here acts.
#ifndef QUORVEL_OUTPUT_STATION_BOARD_H_
#define QUORVEL_OUTPUT_STATION_BOARD_H_

#include <cstdint>
#include <string>
#include <vector>

enum class StationPortState {
  kEmpty,    // nothing matching is plugged in
  kQueued,   // a new device waits for a free job
  kRunning,  // its update runs in a child process
  kDone,     // updated; stays so until the device leaves the bus
  kCurrent,  // already ran the image's version, not flashed; stays so until it leaves
  kFailed,   // the update failed; retried only after a replug
};

struct StationPort {
  std::string port;    // USB port chain, "1-3.2"
  std::string serial;  // empty: the device reports none
  StationPortState state = StationPortState::kEmpty;
  std::string phase;       // kRunning: the child's last phase ("connecting", "downloading", ...)
  int percent = -1;        // kRunning while downloading: 0 to 100; else -1
  int32_t startedMs = 0;   // NowMs() when its update started
  int32_t endedMs = 0;     // NowMs() when it ended (kDone, kCurrent, kFailed)
  std::string newVersion;  // kDone: the version it came back with (MM-mm-RRRR-BBBBBBBB)
  std::string failedStep;  // kFailed: the step that failed, in English; empty: not known
};

struct StationTotals {
  int done = 0;
  int current = 0;
  int failed = 0;
  int running = 0;
  int queued = 0;
};

struct StationBoard {
  std::vector<StationPort> ports;  // in the order first seen
  StationTotals totals;
  bool ending = false;  // no new devices are taken (--count reached, or Ctrl-C/SIGTERM)
};

#endif  // QUORVEL_OUTPUT_STATION_BOARD_H_
