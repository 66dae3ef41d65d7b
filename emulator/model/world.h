// The emulated bus as one process-wide record: every device, the open
// handles, the scenario's recording switches, and the lock that every call
// into the emulator takes.
#ifndef QUORVEL_EMULATOR_MODEL_WORLD_H_
#define QUORVEL_EMULATOR_MODEL_WORLD_H_

#include <hidapi/hidapi.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "model/device_state.h"

namespace emu {
namespace internal {

struct World {
  std::recursive_mutex mutex;
  bool loaded = false;
  int64_t t0 = 0;
  bool recordWrites = false;
  bool recordFrames = true;
  // A device on a hidraw node that comes back onto the bus (without a path
  // of its own to come back under) takes the lowest free node, as Linux
  // hands out hidraw minors: devices that restart together swap nodes.
  bool lowestFreeNodes = false;
  std::vector<DeviceState> devices;
  std::set<hid_device*> handles;
  uint64_t nextSeq = 1;
  nlohmann::json record;
  // What the scenario made happen that cannot happen on a real bus (two
  // devices plugged into one port at once), as the record lists it.
  std::vector<std::string> scenarioErrors;
  std::wstring globalError;
  // The sysfs tree that tells a hidraw node's USB port ("" when no device
  // has a port and the scenario names no tree); sysfsOwned when the emulator
  // made it in a scratch directory and removes it at the end.
  std::string sysfsRoot;
  bool sysfsOwned = false;
  // Shared bus: several processes' calls run on their own threads, and a
  // read waits for any change of the devices instead of sleeping blind,
  // because another process may make its device answer earlier than
  // scheduled (see changes.h).
  bool shared = false;
  std::mutex changeMutex;
  std::condition_variable changed;
  uint64_t generation = 0;
};

// The one world of the process; never destroyed, so that exit handlers can
// still use it.
World& TheWorld();
// Drops every device and the record; open handles turn dead (their owners
// still close them), the host's view of the devices goes.
void ClearWorld(World& w);

}  // namespace internal
}  // namespace emu

#endif  // QUORVEL_EMULATOR_MODEL_WORLD_H_
