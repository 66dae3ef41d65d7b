// The two process-wide device lists, compared by device so that an interface
// that has just attached stands out from those already seen.
#include "transport/device_list.h"

DeviceList CurrentDevices;
DeviceList KnownDevices;

namespace {

bool SamePath(const DeviceEntry& entry, const char* path) {
  return entry.hasPath && entry.path == path;
}

bool DeviceListed(const DeviceList& list, const DeviceEntry& wanted) {
  for (const DeviceEntry& entry : list.entries) {
    if (SameDevice(entry, wanted))
      return true;
  }
  return false;
}

// Removes the first entry that is the same device as wanted.
void RemoveSameDevice(DeviceList* list, const DeviceEntry& wanted) {
  for (auto it = list->entries.begin(); it != list->entries.end(); ++it) {
    if (SameDevice(*it, wanted)) {
      list->entries.erase(it);
      return;
    }
  }
}

}  // namespace

bool SameDevice(const DeviceEntry& a, const DeviceEntry& b) {
  // Linux hands a freed hidraw node to whichever device attaches next: when
  // several devices restart at once, each may come back under a node another
  // one had. The path names the device only together with what the system
  // says about it.
  return a.hasPath && b.hasPath && a.path == b.path && a.port == b.port &&
         a.hasSerial == b.hasSerial && a.serial == b.serial;
}

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
  for (const DeviceEntry& known : KnownDevices.entries)
    RemoveSameDevice(&CurrentDevices, known);
}

void PruneVanishedKnown() {
  // One entry per call: a pass of the connection wait forgets at most one
  // vanished interface. A known path that now leads to another device counts
  // as vanished.
  for (auto it = KnownDevices.entries.begin(); it != KnownDevices.entries.end(); ++it) {
    if (!DeviceListed(CurrentDevices, *it)) {
      KnownDevices.entries.erase(it);
      return;
    }
  }
}
