// The device emulator: emulated HID devices behind the hidapi functions the
// program calls (hid_init, hid_exit, hid_enumerate, hid_free_enumeration,
// hid_open_path, hid_write, hid_read_timeout, hid_read, hid_close, hid_error).
// Devices are described by a JSON scenario and behave from the device's side
// of the protocol; everything they receive and do is kept in a record.
//
// This is the interface of the in-process emulator (the quorvel_emulator
// library), linked into tests, where the test binds the clock to its virtual
// platform. The same devices stand behind the other front ends, which run in
// real time: the preload library in front of the production binary
// (libquorvel_emulator_preload.so, see tools/emulate), which reads
// QUORVEL_EMU_SCENARIO, QUORVEL_EMU_RECORD and QUORVEL_EMU_STATE from the
// environment; the Windows hidapi.dll; the shared bus (shared_bus/); and the
// kernel's uhid devices (uhid/).
#ifndef QUORVEL_EMULATOR_EMULATOR_H_
#define QUORVEL_EMULATOR_EMULATOR_H_

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>

namespace emu {

// Time source in microseconds. The default is the real monotonic clock with
// real sleeps.
struct Clock {
  int64_t (*nowMicros)();
  // Waits until nowMicros() >= deadline.
  void (*sleepUntilMicros)(int64_t deadline);
};
void SetClock(const Clock& clock);
void UseRealClock();

// Replaces every device with those of the scenario and empties the record;
// the clock position at this call is the scenario's time zero. False (and a
// message) on a malformed scenario.
bool LoadScenario(const nlohmann::json& scenario, std::string* error);
bool LoadScenarioFile(const std::string& path, std::string* error);
// Removes every device and the record.
void Reset();

// The record so far (format in docs/EMULATOR.md).
const nlohmann::json& Record();
bool WriteRecordFile(const std::string& path);
// Saved device state: versions, modes and identity, so that a later run sees
// the firmware an earlier run flashed.
bool SaveState(const std::string& path);
bool LoadState(const std::string& path, std::string* error);

// The directory that stands in for /sys for the devices' USB ports: the
// scenario's "sysfsRoot", or a scratch directory the emulator made because
// a device has a "port"; empty when there is none.
std::string SysfsRoot();

}  // namespace emu

#endif  // QUORVEL_EMULATOR_EMULATOR_H_
