#include "model/world.h"

#include "model/handle.h"
#include "model/host_view.h"

namespace emu {
namespace internal {

World& TheWorld() {
  static World* world = new World();  // never destroyed: usable from exit handlers
  return *world;
}

void ClearWorld(World& w) {
  for (hid_device* h : w.handles)
    h->dead = true;  // the program still owns and closes them
  w.devices.clear();
  RemoveHostView();
  w.record = nlohmann::json::object();
  w.scenarioErrors.clear();
  w.recordWrites = false;
  w.recordFrames = true;
  w.lowestFreeNodes = false;
  w.loaded = false;
}

}  // namespace internal
}  // namespace emu
