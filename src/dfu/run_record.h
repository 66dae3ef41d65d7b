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
  // The serial number the command's device reported when a connection or
  // wait first accepted it with one (empty: none yet). A device that turns
  // up at its port with another one when the new firmware is awaited is
  // another device: one pulled during its restart may be followed by the
  // next dongle on the same port.
  std::string deviceSerial;
  // What the version queries read on the interface the last connection or
  // wait opened last: cleared as each candidate is opened, so it is the
  // accepted interface's after a success.
  VersionTexts versionsRead;
  // What the device reported when it came back from the latest restart that
  // was awaited with a version check; none while no such wait read one.
  VersionTexts versionsAfter;
  // Set by the console for --json: the version wait that accepts the device
  // also reads the version it did not need, so that both are known.
  bool readBothVersionsAfter = false;
  // Firmware bytes the device took in data frames (passthrough programs
  // included).
  int64_t bytesSent = 0;
  // The passthrough device's transfer: whether the command began one, the
  // bytes of it the device took (also counted in bytesSent), and whether
  // its program was sent and verified.
  bool passthroughStarted = false;
  int64_t passthroughBytesSent = 0;
  bool passthroughVerified = false;
};

#endif  // QUORVEL_DFU_RUN_RECORD_H_
