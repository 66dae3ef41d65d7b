// --json: one line of JSON on standard output per command, in place of the
// text output, for production lines and scripts that run many updates at
// once and must know which device got which firmware, and how every run
// ended: finished, failed, interrupted or refused before it began.
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

// How the run ended: the "result" member. kCurrent: the device already ran
// the image's version and was left alone (--skip-current).
enum class JsonResultKind { kSuccess, kFailure, kInterrupted, kRefused, kCurrent };

// The device behind a platform 4 dongle, updated through it (-t).
struct JsonPassthrough {
  std::string program;    // the -t file as given
  int64_t bytesSent = 0;  // bytes of that program the device took
  bool success = false;   // the program was sent and verified
};

struct JsonCommandResult {
  std::string command;  // "dfu" or "ctrl"; empty: not known (refused)
  JsonResultKind kind = JsonResultKind::kFailure;
  std::optional<JsonDevice> device;  // the device the command connected to; none: none yet
  int chipPlatform = -1;             // dfu only
  JsonVersions before;
  JsonVersions after;
  int64_t bytesSent = 0;  // firmware bytes in data frames, passthrough included
  int32_t durationMs = 0;
  std::string failedStep;   // the step that failed, in English; empty: none known
  std::string reason;       // why it was refused or stopped; empty: none
  std::string deviceState;  // what state the device may be left in; empty: nothing at stake
  std::string recovery;     // the command that recovers the device; empty: none needed
  std::optional<JsonPassthrough> passthrough;  // none: no passthrough device was updated
};

// The line without its line end: members in a fixed order, every one
// present (null when not known), a success, a current device or nothing
// known never with a failed step.
std::string FormatJsonCommandResult(const JsonCommandResult& result);
// The "result" member's text: "success", "failure", "interrupted",
// "refused" or "current".
const char* JsonResultName(JsonResultKind kind);

#endif  // QUORVEL_OUTPUT_JSON_RESULT_H_
