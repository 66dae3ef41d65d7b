// --json: one line of JSON on standard output per result, in place of the
// text output, for production lines and scripts that run many updates at
// once and must know which device got which firmware.
#ifndef QUORVEL_OUTPUT_JSON_RESULT_H_
#define QUORVEL_OUTPUT_JSON_RESULT_H_

#include <cstdint>
#include <optional>
#include <string>

struct JsonDevice {
  uint16_t vendorId = 0;
  uint16_t productId = 0;
  std::optional<std::string> serial;  // none: the device reports none
  std::optional<std::string> port;    // none: not known (not on USB, or not found)
  std::string path;
};

struct JsonVersions {
  std::optional<std::string> controller;  // MM-mm-RRRR-BBBBBBBB; none: not read
  std::optional<std::string> app;
};

struct JsonCommandResult {
  std::string command;    // "dfu" or "ctrl"
  JsonDevice device;      // the device the command connected to
  int chipPlatform = -1;  // dfu only
  JsonVersions before;
  JsonVersions after;
  int64_t bytesSent = 0;  // firmware bytes in data frames, passthrough included
  int32_t durationMs = 0;
  bool success = false;
  std::string failedStep;  // the step that failed, in English; empty on success
};

// The line without its line end.
std::string FormatJsonCommandResult(const JsonCommandResult& result);

#endif  // QUORVEL_OUTPUT_JSON_RESULT_H_
