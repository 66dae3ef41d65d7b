// An open handle on an emulated device, as hidapi hands it to the program
// and as a bus-side listener holds it. It stays bound to one stay of its
// device on the bus: once the device leaves, the handle is dead even if the
// device comes back.
#ifndef QUORVEL_EMULATOR_MODEL_HANDLE_H_
#define QUORVEL_EMULATOR_MODEL_HANDLE_H_

#include <hidapi/hidapi.h>

#include <deque>
#include <string>

#include "model/bytes.h"

struct hid_device_ {
  int device = -1;
  int incarnation = 0;
  int openRecord = -1;  // index into the device's opens
  bool dead = false;
  bool nonblocking = false;
  std::deque<emu::internal::Bytes> readable;
  std::wstring error;
  hid_device_info* info = nullptr;
};

namespace emu {
namespace internal {

// True for a handle the world holds (open, possibly dead); the world's lock
// is held by the caller for all of these.
bool Known(hid_device* h);
// True while the handle's device is still the stay it was opened on.
bool Alive(hid_device* h);
// hidapi's failure for a device that has gone: notes "Device disconnected"
// on a known handle, sets errno to ENODEV, returns -1.
int Gone(hid_device* h);
// A new handle on the current stay of device `index`, held by the world.
hid_device* NewHandle(int index);
// Lets the world forget the handle and frees it; a handle of the program's
// also notes when its device was closed. Nothing for an unknown handle.
void CloseHandle(hid_device* h);

}  // namespace internal
}  // namespace emu

#endif  // QUORVEL_EMULATOR_MODEL_HANDLE_H_
