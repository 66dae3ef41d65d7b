// The station's log: one JSON line per finished device, the child's --json
// result record with what the station knows beside it, so that a line on
// its own says which device at which port got which image, when, and how
// it ended.
#ifndef QUORVEL_OUTPUT_STATION_LOG_H_
#define QUORVEL_OUTPUT_STATION_LOG_H_

#include <string>

struct StationLogExtras {
  std::string port;
  std::string serial;  // empty: the device reports none (null in the line)
  std::string imageSha256;
  std::string imageVersion;
  std::string toolVersion;
  std::string startTime;  // ISO 8601 with the zone (Platform::localTimeIso8601)
  std::string endTime;
};

// The log line, ending in "\n" (ready for AppendAndSync): the child's --json
// result record with every member as it came, in its order, and then the
// extras as members "port", "serial", "imageSha256", "imageVersion",
// "toolVersion", "startTime" and "endTime". A record that is not a JSON
// object with a "result" member (a child that crashed, or wrote something
// else) is kept as text
// under "childOutput", with "result" "failure". Bytes that are not UTF-8
// are replaced, so the line is always valid JSON.
std::string FormatStationLogLine(const std::string& resultLine, const StationLogExtras& extras);

#endif  // QUORVEL_OUTPUT_STATION_LOG_H_
