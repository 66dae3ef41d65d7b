// What the host's operating system shows of the devices beyond hidapi. On
// Linux that is sysfs, where the program learns a hidraw node's USB port
// (sysfs_tree.cc); each build of the model links the one of its system.
#ifndef QUORVEL_EMULATOR_MODEL_HOST_VIEW_H_
#define QUORVEL_EMULATOR_MODEL_HOST_VIEW_H_

#include "model/device_state.h"

namespace emu {
namespace internal {

// Made when a scenario has loaded, for the devices present; the world's
// sysfsRoot names it then (failure leaves no view).
void PrepareHostView();
// Brought up to date when a device comes onto the bus under its path.
void PublishHostNode(const DeviceState& d);
// A device pulled out of its port: its node's entry goes, unless another
// device present holds the node by now.
void WithdrawHostNode(const DeviceState& d);
// Removed with the devices; the world's sysfsRoot is empty afterwards.
void RemoveHostView();

}  // namespace internal
}  // namespace emu

#endif  // QUORVEL_EMULATOR_MODEL_HOST_VIEW_H_
