// An output report on its way from the host to a device: the host stack's
// framing rules (hidraw, or the Windows HID class driver), write faults, the
// record, and the request handed to the device. Shared by every front end,
// so that each sees the same faults and the same record.
#ifndef QUORVEL_EMULATOR_MODEL_HOST_WRITE_H_
#define QUORVEL_EMULATOR_MODEL_HOST_WRITE_H_

#include <hidapi/hidapi.h>

#include <cstddef>
#include <string>

#include "model/device_state.h"

namespace emu {
namespace internal {

// A path of the Linux hidraw kind ("/dev/hidraw3"), as opposed to a Windows
// device path. The two host stacks treat reports differently.
bool HidrawPath(const std::string& path);
// The result of hid_write for the report on the handle (hidraw's framing
// when set, else Windows'): its length, or -1 with errno and the handle's
// error set. Takes the world's lock itself, and lets go of it while the
// report waits for the device's next USB frame.
int HostWrite(hid_device* dev, const unsigned char* data, size_t length, bool hidraw);
// Drops from the handle's queue the input reports hidraw would not show: on
// a hidraw device with report ID 0x0A, those led by another byte.
void DropUndeclaredReports(hid_device* h, const DeviceState& d);

}  // namespace internal
}  // namespace emu

#endif  // QUORVEL_EMULATOR_MODEL_HOST_WRITE_H_
