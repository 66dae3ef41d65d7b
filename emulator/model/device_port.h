// The bus side of the emulated devices, for front ends that put them in front
// of a real host stack (the Linux kernel through uhid) instead of behind the
// hidapi functions. The devices are the same ones: a port write is what the
// host wrote to the device, with the same framing rules and faults as
// hid_write, and port input is what the device sent.
//
// A front end calls PortAdvance, takes each device's input, then looks at
// the devices' presence, in that order: a reply sent just before a restart
// still reaches the host before the device leaves.
#ifndef QUORVEL_EMULATOR_MODEL_DEVICE_PORT_H_
#define QUORVEL_EMULATOR_MODEL_DEVICE_PORT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace emu {

struct PortDevice {
  std::string name;
  bool present = false;
  int incarnation = 0;  // grows each time the device leaves the bus
  uint16_t vendorId = 0;
  uint16_t productId = 0;
  uint16_t release = 0;
  std::string manufacturer;  // empty when the scenario gives none
  std::string product;
  std::string serial;  // empty when the device reports none
  std::string port;    // the scenario's USB port chain; empty when it gives none
  // Reports carry report ID 0x0A as their first byte (64 bytes in all);
  // otherwise they are 64 bytes without a report ID.
  bool collection = false;
};

// Does once, ahead of time, the set-up the devices' first checksum would
// otherwise cost inside a reply window (loading the digest providers takes
// a noticeable time on a slow machine).
void PortWarmUp();
// Brings every device up to the current time.
void PortAdvance();
// The devices in scenario order. A device present on the bus has a listener
// for its current stay from this call on.
std::vector<PortDevice> PortDevices();
// The report the host wrote, exactly as the host stack handed it over;
// the result hid_write would give (-1 when refused or the device is gone).
int PortWrite(size_t device, const uint8_t* data, size_t length);
// The input reports the device sent since the last call, in order.
std::vector<std::vector<uint8_t>> PortTakeInput(size_t device);
// True while a device is in the middle of a restart (left, or about to leave,
// and due back).
bool PortRestarting();
// The clock time (microseconds) of the next scheduled event of any device;
// INT64_MAX when nothing is scheduled.
int64_t PortNextEventMicros();
int64_t PortNowMicros();

}  // namespace emu

#endif  // QUORVEL_EMULATOR_MODEL_DEVICE_PORT_H_
