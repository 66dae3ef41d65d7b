// What the device procedures of one command found and did, for the
// command's result: the procedures fill the record they are handed, and the
// console builds the --json result line from it.
#ifndef QUORVEL_DFU_RUN_RECORD_H_
#define QUORVEL_DFU_RUN_RECORD_H_

#include <cstdint>
#include <optional>
#include <string>

#include "transport/device_list.h"

// Version texts (MM-mm-RRRR-BBBBBBBB) by selector; none when not read.
struct VersionTexts {
  std::optional<std::string> controller;
  std::optional<std::string> app;
};

struct RunRecord {
  // The interface the last connection or wait accepted.
  DeviceEntry connected;
  // What the version queries read on the interface the last connection or
  // wait opened last: cleared as each candidate is opened, so it is the
  // accepted interface's after a success.
  VersionTexts versionsRead;
  // Firmware bytes the device took in data frames (passthrough programs
  // included).
  int64_t bytesSent = 0;
};

#endif  // QUORVEL_DFU_RUN_RECORD_H_
