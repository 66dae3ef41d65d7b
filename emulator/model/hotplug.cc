#include "model/hotplug.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "model/clock.h"
#include "model/host_view.h"
#include "model/presence.h"
#include "model/world.h"

namespace emu {
namespace internal {
namespace {

bool Pending(const DeviceState& d, PresenceEventKind kind) {
  return std::any_of(d.presenceEvents.begin(), d.presenceEvents.end(),
                     [kind](const PresenceEvent& e) { return e.kind == kind; });
}

// In its port: on the bus, or away for a while with its return scheduled
// (a restart, a drop-off that comes back).
bool Plugged(const DeviceState& d) {
  return d.present || Pending(d, PresenceEventKind::kReturn);
}

void RemovePending(DeviceState& d, bool (*which)(const PresenceEvent&)) {
  auto& events = d.presenceEvents;
  events.erase(std::remove_if(events.begin(), events.end(), which), events.end());
}

// A restart cut short by the pull: the image it took is in the flash by now
// and boots on the next plug.
void EndRestartAtPull(DeviceState& d, int64_t atUs) {
  for (const PresenceEvent& e : d.presenceEvents) {
    if (e.restart < 0 || e.kind != PresenceEventKind::kReturn)
      continue;
    RestartRecord& r = d.restarts[e.restart];
    if (!r.leftAtUs)
      r.leftAtUs = atUs;
    ApplyRestart(d, e.restart);
  }
  d.restarting = false;
}

}  // namespace

void InitHotplug(DeviceState& d) {
  if (d.cfg.plugAfter)
    d.present = false;
  if (d.cfg.plugs.empty())
    return;
  int64_t t0 = TheWorld().t0;
  d.present = d.cfg.plugs.front().atUs <= 0;
  if (d.present)
    d.presence.push_back({t0, "plug"});
  for (size_t i = 0; i < d.cfg.plugs.size(); ++i) {
    const PlugWindow& w = d.cfg.plugs[i];
    if (i > 0 || !d.present)
      d.presenceEvents.push_back({t0 + w.atUs, PresenceEventKind::kPlug});
    if (w.pullAtUs)
      d.presenceEvents.push_back({t0 + *w.pullAtUs, PresenceEventKind::kPull});
  }
}

void PlugIn(DeviceState& d, const PresenceEvent& e) {
  NotePortArrival(d, e.atUs);
  TakeNode(d);
  ResetOnArrival(d, e.atUs);
  d.presence.push_back({e.atUs, "plug"});
  PublishHostNode(d);
}

void PullOut(DeviceState& d, const PresenceEvent& e) {
  WithdrawHostNode(d);
  EndRestartAtPull(d, e.atUs);
  // Unplugged, it neither comes back from a restart nor drops off the bus.
  RemovePending(d, [](const PresenceEvent& p) {
    return p.kind == PresenceEventKind::kLeave || p.kind == PresenceEventKind::kReturn;
  });
  Depart(d, e.atUs, "pull");
}

void AfterDeparture(int index, int64_t atUs) {
  World& w = TheWorld();
  DeviceState& d = w.devices[index];
  if (d.present || d.goneForGood || Pending(d, PresenceEventKind::kReturn) ||
      Pending(d, PresenceEventKind::kPlug) || Pending(d, PresenceEventKind::kAppear)) {
    return;
  }
  d.goneForGood = true;
  WithdrawHostNode(d);  // a drop-off for good, or vanishAtMs
  for (DeviceState& next : w.devices) {
    if (next.cfg.plugAfter && next.cfg.plugAfter->device == d.cfg.name) {
      next.presenceEvents.push_back({atUs + next.cfg.plugAfter->leftUs, PresenceEventKind::kPlug});
    }
  }
}

void NoteUpdateReturn(DeviceState& d, const PresenceEvent& e) {
  if (!d.cfg.pullAfterUpdateUs || !d.restarts[e.restart].appliedImage)
    return;
  RemovePending(d, [](const PresenceEvent& p) { return p.kind == PresenceEventKind::kPull; });
  d.presenceEvents.push_back({e.atUs + *d.cfg.pullAfterUpdateUs, PresenceEventKind::kPull});
}

void NotePortArrival(const DeviceState& d, int64_t atUs) {
  World& w = TheWorld();
  if (d.cfg.port.empty())
    return;
  for (const DeviceState& other : w.devices) {
    if (&other == &d || other.cfg.port != d.cfg.port || !Plugged(other))
      continue;
    char at[32];
    std::snprintf(at, sizeof at, "%.1f ms", ScenarioMs(atUs));
    w.scenarioErrors.push_back(std::string(at) + ": \"" + d.cfg.name + "\" plugged into port " +
                               d.cfg.port + " while \"" + other.cfg.name + "\" is in it");
  }
}

}  // namespace internal
}  // namespace emu
