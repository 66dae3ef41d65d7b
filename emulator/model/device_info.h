// hidapi's enumeration records of the emulated devices.
#ifndef QUORVEL_EMULATOR_MODEL_DEVICE_INFO_H_
#define QUORVEL_EMULATOR_MODEL_DEVICE_INFO_H_

#include <hidapi/hidapi.h>

#include "model/device_state.h"

namespace emu {
namespace internal {

// A calloc'd record of the device as it is on the bus now (next is null);
// null when memory runs out.
hid_device_info* NewInfo(const DeviceState& d);
// Frees the list from `list` on, strings included (hid_free_enumeration).
void FreeInfoList(hid_device_info* list);

}  // namespace internal
}  // namespace emu

#endif  // QUORVEL_EMULATOR_MODEL_DEVICE_INFO_H_
