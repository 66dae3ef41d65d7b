// The station's settings from the command line: --station and the options
// that only it takes. Filled by the argument parser (console/arguments.h)
// beside DfuSettings, read by the station (console/station.h). A plain
// record, no behaviour.
#ifndef QUORVEL_CONSOLE_STATION_SETTINGS_H_
#define QUORVEL_CONSOLE_STATION_SETTINGS_H_

#include <cstdint>
#include <string>
#include <vector>

struct StationSettingsRecord {
  bool station = false;            // --station: watch the bus and update every device
  int32_t jobs = 0;                // --jobs N: at most N updates at once; 0: no limit
  int32_t count = 0;               // --count N: end after N devices finished; 0: never
  std::vector<std::string> ports;  // --port P1,P2,...: only these ports; empty: every port
  bool reflash = false;            // --reflash: flash devices that already run the image's version
  std::string logPath;             // --log FILE; empty: no log
};

extern StationSettingsRecord StationSettings;

#endif  // QUORVEL_CONSOLE_STATION_SETTINGS_H_
