#include "model/presence.h"

#include <algorithm>
#include <vector>

#include "model/clock.h"
#include "model/handle.h"
#include "model/host_view.h"
#include "model/hotplug.h"
#include "model/scenario.h"
#include "model/transfer.h"
#include "model/world.h"

namespace emu {
namespace internal {
namespace {

std::vector<hid_device*> OpenHandles(int index, const DeviceState& d) {
  std::vector<hid_device*> open;
  for (hid_device* h : TheWorld().handles) {
    if (!h->dead && h->device == index && h->incarnation == d.incarnation)
      open.push_back(h);
  }
  return open;
}

// Full-speed USB moves one interrupt report per frame in each direction;
// slots sit on frame boundaries counted from scenario time zero.
int64_t FrameSlot(int64_t t, int64_t frameUs, int64_t* lastSlot) {
  int64_t t0 = TheWorld().t0;
  int64_t slot = t0 + ((t - t0 + frameUs - 1) / frameUs) * frameUs;
  if (*lastSlot >= 0 && slot <= *lastSlot)
    slot = *lastSlot + frameUs;
  *lastSlot = slot;
  return slot;
}

void DropReplies(DeviceState& d) {
  d.pending.erase(std::remove_if(d.pending.begin(), d.pending.end(),
                                 [](const PendingReport& r) { return !r.unsolicited; }),
                  d.pending.end());
  d.lastReplyUs = 0;
}

// "/dev/hidraw12" -> true; any other path, false.
bool IsHidrawNode(const std::string& path) {
  const std::string prefix = "/dev/hidraw";
  if (path.compare(0, prefix.size(), prefix) != 0 || path.size() == prefix.size())
    return false;
  return std::all_of(path.begin() + static_cast<long>(prefix.size()), path.end(),
                     [](char c) { return c >= '0' && c <= '9'; });
}

// The lowest-numbered hidraw node no device on the bus holds: the one Linux
// gives the next interface that attaches.
std::string LowestFreeNode() {
  const std::vector<DeviceState>& devices = TheWorld().devices;
  for (int n = 0;; ++n) {
    std::string node = "/dev/hidraw" + std::to_string(n);
    bool held = std::any_of(devices.begin(), devices.end(), [&node](const DeviceState& other) {
      return other.present && other.path == node;
    });
    if (!held)
      return node;
  }
}

void ComeBack(DeviceState& d, const PresenceEvent& e) {
  if (!(e.restart >= 0 && d.cfg.reboot.path))
    TakeNode(d);
  ResetOnArrival(d, e.atUs);
  d.presence.push_back({e.atUs, "return"});
  if (e.restart < 0)
    return;
  d.restarts[e.restart].cameBackAtUs = e.atUs;
  ApplyRestart(d, e.restart);
  NoteUpdateReturn(d, e);
}

void ProcessPresenceEvent(int index, DeviceState& d, const PresenceEvent& e) {
  switch (e.kind) {
    case PresenceEventKind::kAppear:
      NotePortArrival(d, e.atUs);
      TakeNode(d);
      d.present = true;
      d.presence.push_back({e.atUs, "appear"});
      PublishHostNode(d);
      break;
    case PresenceEventKind::kLeave:
      Depart(d, e.atUs, "leave");
      if (e.restart >= 0)
        d.restarts[e.restart].leftAtUs = e.atUs;
      if (e.fault >= 0)
        d.cfg.faults[e.fault].spent = true;
      break;
    case PresenceEventKind::kReturn:
      ComeBack(d, e);
      PublishHostNode(d);
      break;
    case PresenceEventKind::kVanish:
      Depart(d, e.atUs, "vanish");
      d.presenceEvents.clear();  // gone for good
      WithdrawHostNode(d);
      break;
    case PresenceEventKind::kPlug:
      PlugIn(d, e);
      break;
    case PresenceEventKind::kPull:
      PullOut(d, e);
      break;
  }
  AfterDeparture(index, e.atUs);
}

// Delivers one due report; false when it must wait (an unsolicited report
// with nobody listening stays until a handle is opened).
bool DeliverReport(int index, DeviceState& d, size_t at) {
  std::vector<hid_device*> open = d.present ? OpenHandles(index, d) : std::vector<hid_device*>();
  if (open.empty() && d.pending[at].unsolicited)
    return false;
  for (hid_device* h : open)
    h->readable.push_back(d.pending[at].bytes);
  d.pending.erase(d.pending.begin() + static_cast<long>(at));
  return true;
}

}  // namespace

void Depart(DeviceState& d, int64_t at, const char* event) {
  d.present = false;
  ++d.incarnation;
  DropReplies(d);
  d.presence.push_back({at, event});
}

void TakeNode(DeviceState& d) {
  if (TheWorld().lowestFreeNodes && IsHidrawNode(d.path))
    d.path = LowestFreeNode();
}

void ResetOnArrival(DeviceState& d, int64_t atUs) {
  d.present = true;
  d.upgradeMode = false;
  d.passthroughOn = false;
  d.mainTransfer = -1;
  d.passTransfer = -1;
  d.bootUntilUs = atUs + d.cfg.bootUs;
  d.restarting = false;
}

void ApplyRestart(DeviceState& d, int restart) {
  const RestartRecord& r = d.restarts[restart];
  if (r.newController)
    d.controller = *r.newController;
  if (r.newApp)
    d.app = *r.newApp;
  d.bootloader = r.toBootloader;
  const RebootConfig& reboot = d.cfg.reboot;
  if (reboot.path)
    d.path = *reboot.path;
  if (reboot.vendorId)
    d.vendorId = *reboot.vendorId;
  if (reboot.productId)
    d.productId = *reboot.productId;
  if (reboot.serialChanges)
    d.serial = reboot.serial;
  if (!d.cfg.collection)
    d.collection = PathIsCollection(d.path);
}

void InitPresence(DeviceState& d) {
  int64_t t0 = TheWorld().t0;
  d.present = d.cfg.appearAtUs <= 0;
  if (!d.present)
    d.presenceEvents.push_back({t0 + d.cfg.appearAtUs, PresenceEventKind::kAppear});
  if (d.cfg.vanishAtUs)
    d.presenceEvents.push_back({t0 + *d.cfg.vanishAtUs, PresenceEventKind::kVanish});
  for (size_t i = 0; i < d.cfg.faults.size(); ++i) {
    const Fault& f = d.cfg.faults[i];
    if (f.action != FaultAction::kVanishAtMs || f.spent)
      continue;
    PresenceEvent leave{t0 + f.delayUs, PresenceEventKind::kLeave, -1, static_cast<int>(i)};
    d.presenceEvents.push_back(leave);
    if (f.awayUs) {
      d.presenceEvents.push_back(
          {leave.atUs + *f.awayUs, PresenceEventKind::kReturn, -1, static_cast<int>(i)});
    }
  }
  for (const UnsolicitedReport& r : d.cfg.reports) {
    int64_t at = t0 + r.atUs;
    if (d.cfg.timing.usbFrameUs > 0) {
      int64_t unused = -1;
      at = FrameSlot(at, d.cfg.timing.usbFrameUs, &unused);
    }
    Bytes bytes = r.bytes;
    bytes.resize(kReportSize, 0);
    d.pending.push_back({at, TheWorld().nextSeq++, bytes, true});
  }
  InitHotplug(d);
}

void AdvanceDevice(int index, int64_t now) {
  DeviceState& d = TheWorld().devices[index];
  for (;;) {
    int change = -1;
    for (size_t i = 0; i < d.presenceEvents.size(); ++i) {
      if (d.presenceEvents[i].atUs > now)
        continue;
      if (change < 0 || d.presenceEvents[i].atUs < d.presenceEvents[change].atUs)
        change = static_cast<int>(i);
    }
    int report = -1;
    for (size_t i = 0; i < d.pending.size(); ++i) {
      const PendingReport& p = d.pending[i];
      if (p.atUs > now || (p.unsolicited && (!d.present || OpenHandles(index, d).empty()))) {
        continue;
      }
      if (report < 0 || p.atUs < d.pending[report].atUs ||
          (p.atUs == d.pending[report].atUs && p.seq < d.pending[report].seq)) {
        report = static_cast<int>(i);
      }
    }
    if (change < 0 && report < 0)
      return;
    if (report >= 0 && (change < 0 || d.pending[report].atUs <= d.presenceEvents[change].atUs)) {
      DeliverReport(index, d, static_cast<size_t>(report));
      continue;
    }
    PresenceEvent e = d.presenceEvents[change];
    d.presenceEvents.erase(d.presenceEvents.begin() + change);
    ProcessPresenceEvent(index, d, e);
  }
}

// The time of the earliest presence change of any device up to now; kNever
// when none is due.
int64_t EarliestDuePresenceUs(int64_t now) {
  int64_t earliest = kNever;
  for (const DeviceState& d : TheWorld().devices) {
    for (const PresenceEvent& e : d.presenceEvents) {
      if (e.atUs <= now)
        earliest = std::min(earliest, e.atUs);
    }
  }
  return earliest;
}

void AdvanceAll() {
  World& w = TheWorld();
  int64_t now = NowUs();
  // Presence changes take effect in time order across the devices: a device
  // that comes back sees the nodes that the others had freed by then.
  for (int64_t at = EarliestDuePresenceUs(now); at != kNever; at = EarliestDuePresenceUs(now)) {
    for (size_t i = 0; i < w.devices.size(); ++i)
      AdvanceDevice(static_cast<int>(i), at);
  }
  for (size_t i = 0; i < w.devices.size(); ++i)
    AdvanceDevice(static_cast<int>(i), now);
}

int64_t NextEventUs(const DeviceState& d, int64_t now) {
  int64_t next = kNever;
  for (const PendingReport& p : d.pending) {
    if (p.atUs > now)
      next = std::min(next, p.atUs);
  }
  for (const PresenceEvent& e : d.presenceEvents) {
    if (e.atUs > now)
      next = std::min(next, e.atUs);
  }
  return next;
}

void QueueReply(DeviceState& d, int64_t atUs, Bytes bytes) {
  // The device answers its requests in order: a late reply holds up the next.
  int64_t at = std::max(atUs, d.lastReplyUs);
  if (d.cfg.timing.usbFrameUs > 0)
    at = FrameSlot(at, d.cfg.timing.usbFrameUs, &d.lastInSlotUs);
  d.lastReplyUs = at;
  bytes.resize(kReportSize, 0);
  d.pending.push_back({at, TheWorld().nextSeq++, std::move(bytes), false});
}

int64_t NextOutSlot(DeviceState& d, int64_t now) {
  if (d.cfg.timing.usbFrameUs <= 0)
    return now;
  return FrameSlot(now, d.cfg.timing.usbFrameUs, &d.lastOutSlotUs);
}

void ScheduleRestart(DeviceState& d, int64_t requestUs, int64_t replyAtUs, const std::string& cause,
                     std::optional<int> mode) {
  if (d.restarting)
    return;
  d.restarting = true;
  RestartRecord r;
  r.atUs = requestUs;
  r.cause = cause;
  r.mode = mode;
  r.toBootloader = mode && *mode == 2;
  CommitPendingImage(d, &r);
  d.restarts.push_back(r);
  int index = static_cast<int>(d.restarts.size()) - 1;
  int64_t leave = std::max(replyAtUs, d.lastReplyUs) + d.cfg.reboot.leaveUs;
  d.presenceEvents.push_back({leave, PresenceEventKind::kLeave, index});
  d.presenceEvents.push_back({leave + d.cfg.reboot.awayUs, PresenceEventKind::kReturn, index});
}

void ScheduleLeave(DeviceState& d, int64_t atUs, std::optional<int64_t> awayUs) {
  d.presenceEvents.push_back({atUs, PresenceEventKind::kLeave});
  if (awayUs)
    d.presenceEvents.push_back({atUs + *awayUs, PresenceEventKind::kReturn});
}

void SettleRestarts() {
  World& w = TheWorld();
  for (size_t i = 0; i < w.devices.size(); ++i) {
    int64_t last = -1;
    for (const PresenceEvent& e : w.devices[i].presenceEvents) {
      if (e.restart >= 0)
        last = std::max(last, e.atUs);
    }
    if (last >= 0)
      AdvanceDevice(static_cast<int>(i), last);
  }
}

}  // namespace internal
}  // namespace emu
