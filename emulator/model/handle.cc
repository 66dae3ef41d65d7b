#include "model/handle.h"

#include <cerrno>
#include <vector>

#include "model/clock.h"
#include "model/device_info.h"
#include "model/world.h"

namespace emu {
namespace internal {

bool Known(hid_device* h) {
  return h && TheWorld().handles.count(h) != 0;
}

bool Alive(hid_device* h) {
  World& w = TheWorld();
  if (!Known(h) || h->dead || h->device < 0 || h->device >= static_cast<int>(w.devices.size())) {
    return false;
  }
  const DeviceState& d = w.devices[h->device];
  return d.present && d.incarnation == h->incarnation;
}

int Gone(hid_device* h) {
  if (Known(h))
    h->error = L"Device disconnected";
  errno = ENODEV;
  return -1;
}

hid_device* NewHandle(int index) {
  World& w = TheWorld();
  hid_device* h = new hid_device_();
  h->device = index;
  h->incarnation = w.devices[index].incarnation;
  w.handles.insert(h);
  return h;
}

void CloseHandle(hid_device* h) {
  World& w = TheWorld();
  if (!Known(h))
    return;
  w.handles.erase(h);
  if (!h->dead && h->device >= 0 && h->device < static_cast<int>(w.devices.size()) &&
      h->openRecord >= 0) {
    std::vector<OpenRecord>& opens = w.devices[h->device].opens;
    if (h->openRecord < static_cast<int>(opens.size()))
      opens[h->openRecord].closedAtUs = NowUs();
  }
  FreeInfoList(h->info);
  delete h;
}

}  // namespace internal
}  // namespace emu
