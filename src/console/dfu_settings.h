// The settings of the one dfu or ctrl command being run: device filter,
// transfer pacing, chip platform, checks, program file paths, and the
// control flags. Filled by the console's argument parser; the console copies
// them into the Command it hands down (console/command.h), so the device
// procedures never read them. Plain records, no behaviour.
#ifndef QUORVEL_CONSOLE_DFU_SETTINGS_H_
#define QUORVEL_CONSOLE_DFU_SETTINGS_H_

#include <cstdint>
#include <string>

// The value of chip_p: which upgrade sequence the device's chip needs.
enum ChipPlatform : uint8_t {
  kTq3410 = 0,
  kTq520xHskV102 = 1,
  kTq520xHskV110 = 2,
  kTq52xxMsk = 3,
  kTq520xHskV120 = 4,
};

struct DfuSettingsRecord {
  uint16_t vid = 0;
  uint16_t pid = 0;
  int8_t inum = -1;
  uint16_t bsize = 256;
  uint16_t intv = 0;
  uint8_t chip_p = kTq520xHskV120;
  uint8_t sort = 0;
  uint8_t check = 1;
  bool has_pg = false;
  bool has_trans_pg = false;
  std::string pg_path;
  std::string trans_pg_path;
  // --serial and --port: only the device with this serial number or at this
  // USB port is connected and waited for (empty: any).
  std::string serial;
  std::string port;
  // --json: one line of JSON per result instead of the text output.
  bool json = false;
  // --events: JSON lines of the run's phases and percentages before the
  // --json line (implies it).
  bool events = false;
  // --skip-current: a device that already runs the image's version is not
  // updated.
  bool skipCurrent = false;
};

struct ControlFlagsRecord {
  bool reset = false;
  bool force = false;
};

extern DfuSettingsRecord DfuSettings;
extern ControlFlagsRecord ControlFlags;

#endif  // QUORVEL_CONSOLE_DFU_SETTINGS_H_
