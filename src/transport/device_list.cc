// The two process-wide device lists, compared by path so that an interface
// that has just attached stands out from those already seen.
#include "transport/device_list.h"

DeviceList CurrentDevices;
DeviceList KnownDevices;

namespace {

bool SamePath(const DeviceEntry& entry, const char* path) {
  return entry.hasPath && entry.path == path;
}

bool PathListed(const DeviceList& list, const DeviceEntry& wanted) {
  if (!wanted.hasPath)
    return false;
  for (const DeviceEntry& entry : list.entries) {
    if (SamePath(entry, wanted.path.c_str()))
      return true;
  }
  return false;
}

}  // namespace

void ClearDevices(DeviceList* list) {
  if (list == nullptr)
    return;
  list->entries.clear();
}

int AppendDevice(DeviceList* list, const DeviceEntry& entry) {
  list->entries.push_back(entry);
  return 1;
}

void RemoveDeviceByPath(DeviceList* list, const char* path) {
  if (list == nullptr || path == nullptr || list->entries.empty())
    return;
  for (auto it = list->entries.begin(); it != list->entries.end(); ++it) {
    if (SamePath(*it, path)) {
      list->entries.erase(it);
      return;
    }
  }
}

void MergeCurrentIntoKnown() {
  for (const DeviceEntry& entry : CurrentDevices.entries)
    AppendDevice(&KnownDevices, entry);
}

void DropKnownFromCurrent() {
  for (const DeviceEntry& known : KnownDevices.entries) {
    RemoveDeviceByPath(&CurrentDevices, known.hasPath ? known.path.c_str() : nullptr);
  }
}

void PruneVanishedKnown() {
  // One entry per call: a pass of the connection wait forgets at most one
  // vanished interface.
  for (auto it = KnownDevices.entries.begin(); it != KnownDevices.entries.end(); ++it) {
    if (!PathListed(CurrentDevices, *it)) {
      KnownDevices.entries.erase(it);
      return;
    }
  }
}
