// quorvel-gadget-device: the emulated devices of a scenario as real USB HID
// devices. Each scenario device is one configfs HID gadget (libcomposite,
// usb_f_hid) bound to a UDC (dummy_hcd's dummy_udc.N) of its own, or of its
// scenario port's (devices plugged one after the other on one port share
// it), so that the host side of the same machine enumerates it with its USB
// descriptors, strings and serial number at port N+1-1, and usbhid and
// hid-generic give it a /dev/hidrawN node. What the host sends arrives on the gadget's
// /dev/hidgM as output reports and goes to the device; what the device sends
// is written there as input reports. A device that leaves the bus (a
// restart) is a USB disconnect: the gadget is unbound, takes the identity
// the device comes back with (product ID, serial number or none) and is
// bound again when it is back; a device that leaves for good stays unbound,
// one that appears later is bound then.
//
//   quorvel-gadget-device [--record FILE] [--trace] SCENARIO.json
//
// As root, with configfs mounted at /sys/kernel/config and dummy_hcd loaded
// with at least as many buses as the scenario has devices (or ports). --trace logs the
// output reports (the first three data frames only), each bind and the node
// and port of each stay to standard error. Stops on SIGTERM or SIGINT like
// quorvel-uhid-device; the record is the emulator's, with each device's USB
// stays (port, node, identity) and the host processes that opened its node.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <deque>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "emulator.h"
#include "front_end/device_clock.h"
#include "front_end/front_end_options.h"
#include "gadget/configfs_gadget.h"
#include "gadget/host_opens.h"
#include "model/device_port.h"

namespace {

using nlohmann::json;

constexpr int64_t kSettleMicros = 10000000;
constexpr size_t kReportLength = 64;

struct Gadget {
  emu::ConfigfsGadget configfs;
  bool bound = false;
  int incarnation = -1;
  int hidgFd = -1;
  bool enumerated = false;  // the host has made this stay's hidraw node
  // Input reports the gadget's endpoint has not taken yet: it holds one at a
  // time, until the host polls for it.
  std::deque<std::vector<uint8_t>> pending;
  int outputsTraced = 0;
  json stays = json::array();
  json hostOpens = json::array();
};

struct Run {
  emu::FrontEndOptions options;
  int stopFd = -1;
  int opensFd = -1;  // every open of a hidraw node
  int64_t startMicros = 0;
  std::vector<Gadget> gadgets;
  std::vector<emu::PortDevice> devices;
  bool stopping = false;
  int64_t settleDeadline = 0;
};

double RunMs(const Run& run) {
  return static_cast<double>(emu::PortNowMicros() - run.startMicros) / 1000.0;
}

void CloseFd(int& fd) {
  if (fd >= 0)
    close(fd);
  fd = -1;
}

bool Bind(Run& run, Gadget& g, const emu::PortDevice& d) {
  std::string error;
  if (!emu::SetGadgetIdentity(g.configfs, d, &error) || !emu::BindGadget(g.configfs, &error)) {
    std::fprintf(stderr, "gadget: %s: %s\n", d.name.c_str(), error.c_str());
    return false;
  }
  g.bound = true;
  g.enumerated = false;
  g.incarnation = d.incarnation;
  g.outputsTraced = 0;
  g.hidgFd = open(g.configfs.hidg.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (g.hidgFd < 0) {
    std::fprintf(stderr, "gadget: %s: cannot open %s\n", d.name.c_str(), g.configfs.hidg.c_str());
    return false;
  }
  json stay = {{"boundAtMs", RunMs(run)}, {"productId", d.productId}, {"serial", d.serial}};
  g.stays.push_back(stay);
  std::fprintf(stderr, "gadget: %s: bound to %s as %04x:%04x serial \"%s\"\n", d.name.c_str(),
               g.configfs.udc.c_str(), d.vendorId, d.productId, d.serial.c_str());
  return true;
}

void Unbind(Run& run, Gadget& g, const std::string& name) {
  if (!g.bound)
    return;
  CloseFd(g.hidgFd);
  g.pending.clear();
  std::string error;
  if (!emu::UnbindGadget(g.configfs, &error))
    std::fprintf(stderr, "gadget: %s: %s\n", name.c_str(), error.c_str());
  g.bound = false;
  if (!g.stays.empty())
    g.stays.back()["unboundAtMs"] = RunMs(run);
  std::fprintf(stderr, "gadget: %s: unbound\n", name.c_str());
}

// Once the host has enumerated this stay: its port and node into the
// record and the log.
void FindHost(Run& run, Gadget& g, const std::string& name) {
  std::string port, hidraw;
  if (!g.bound || g.enumerated || !emu::FindHostSide(g.configfs, &port, &hidraw))
    return;
  g.enumerated = true;
  json& stay = g.stays.back();
  stay["port"] = port;
  stay["hidraw"] = hidraw;
  stay["enumeratedAtMs"] = RunMs(run);
  std::fprintf(stderr, "gadget: %s: on %s at %s\n", name.c_str(), hidraw.c_str(), port.c_str());
}

// Hands the gadget's endpoint the reports it can take now.
void Flush(Gadget& g) {
  while (g.hidgFd >= 0 && !g.pending.empty()) {
    std::vector<uint8_t>& report = g.pending.front();
    report.resize(kReportLength, 0);
    ssize_t n = write(g.hidgFd, report.data(), report.size());
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0)
      return;  // EAGAIN: the endpoint still holds the last one
    g.pending.pop_front();
  }
}

// Hands the host what the devices sent, then makes the gadgets follow the
// emulated devices onto and off the bus; false when one could not be bound.
bool FollowDevices(Run& run) {
  emu::PortAdvance();
  for (size_t i = 0; i < run.gadgets.size(); ++i) {
    Gadget& g = run.gadgets[i];
    for (std::vector<uint8_t>& report : emu::PortTakeInput(i)) {
      if (g.bound)
        g.pending.push_back(std::move(report));
    }
    Flush(g);
  }
  run.devices = emu::PortDevices();
  // Every unbind first: a device plugged where another was pulled takes the
  // same UDC.
  for (size_t i = 0; i < run.gadgets.size(); ++i) {
    const emu::PortDevice& d = run.devices[i];
    Gadget& g = run.gadgets[i];
    if (g.bound && (!d.present || d.incarnation != g.incarnation))
      Unbind(run, g, d.name);
  }
  bool ok = true;
  for (size_t i = 0; i < run.gadgets.size(); ++i) {
    const emu::PortDevice& d = run.devices[i];
    Gadget& g = run.gadgets[i];
    if (d.present && !g.bound && !Bind(run, g, d))
      ok = false;
    FindHost(run, g, d.name);
  }
  return ok;
}

void TraceOutput(const Run& run, Gadget& g, const std::string& name, const uint8_t* data,
                 size_t size) {
  bool frame = emu::DataFrameReport(data, size);
  if (!run.options.trace || (frame && g.outputsTraced >= 3))
    return;
  g.outputsTraced += frame ? 1 : 0;
  std::fprintf(stderr, "gadget: %s: OUT %zu bytes: %s ...\n", name.c_str(), size,
               emu::Hex(data, std::min<size_t>(size, 4)).c_str());
}

// The output reports the host sent the gadget, to the device.
void Receive(const Run& run, Gadget& g, size_t index) {
  const std::string& name = run.devices[index].name;
  for (;;) {
    uint8_t report[1024];
    ssize_t n = read(g.hidgFd, report, sizeof report);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return;
    TraceOutput(run, g, name, report, static_cast<size_t>(n));
    emu::PortWrite(index, report, static_cast<size_t>(n));
  }
}

// The gadget whose current stay has that node; null when none has.
Gadget* GadgetOnNode(Run& run, const std::string& node) {
  for (Gadget& g : run.gadgets) {
    if (g.bound && g.enumerated && g.stays.back().value("hidraw", "") == node)
      return &g;
  }
  return nullptr;
}

// Each open of a gadget's node into that device's record. A program may
// open a new node before this loop has found it: the host side is looked at
// again first.
void NoteOpens(Run& run) {
  for (const emu::HostOpen& open : emu::TakeOpens(run.opensFd)) {
    Gadget* g = GadgetOnNode(run, open.node);
    for (size_t i = 0; g == nullptr && i < run.gadgets.size(); ++i)
      FindHost(run, run.gadgets[i], run.devices[i].name);
    g = g ? g : GadgetOnNode(run, open.node);
    if (g == nullptr)
      continue;
    g->hostOpens.push_back({{"atMs", RunMs(run)},
                            {"pid", open.pid},
                            {"command", open.command},
                            {"hidraw", open.node},
                            {"port", g->stays.back().value("port", "")}});
  }
}

// The gadgets' report nodes to wait on, and whose each is.
void AddFds(const Run& run, std::vector<pollfd>* fds, std::vector<size_t>* owners) {
  for (size_t i = 0; i < run.gadgets.size(); ++i) {
    const Gadget& g = run.gadgets[i];
    if (g.hidgFd >= 0) {
      short events = static_cast<short>(POLLIN | (g.pending.empty() ? 0 : POLLOUT));
      fds->push_back({g.hidgFd, events, 0});
      owners->push_back(i);
    }
  }
}

void NoteStop(Run& run) {
  if (run.stopping)
    return;
  emu::TakeStopSignal(run.stopFd);
  run.stopping = true;
  run.settleDeadline = emu::PortNowMicros() + kSettleMicros;
}

// Waits for the host, a stop signal or the next device event, and takes
// what came; false when waiting failed.
bool WaitAndReceive(Run& run) {
  std::vector<pollfd> fds = {{run.stopFd, POLLIN, 0}, {run.opensFd, POLLIN, 0}};
  std::vector<size_t> owners;
  AddFds(run, &fds, &owners);
  // At least every 20 ms, so that the host's enumeration is noticed soon.
  int64_t next = emu::PortNextEventMicros();
  int64_t wait = std::max<int64_t>(0, std::min<int64_t>(next - emu::PortNowMicros(), 20000));
  timespec timeout{0, static_cast<long>(wait * 1000)};
  if (ppoll(fds.data(), fds.size(), &timeout, nullptr) < 0 && errno != EINTR) {
    std::perror("gadget: ppoll");
    return false;
  }
  emu::DeviceClockCatchUp(next);
  if (fds[0].revents & POLLIN)
    NoteStop(run);
  if (fds[1].revents & POLLIN)
    NoteOpens(run);
  for (size_t k = 2; k < fds.size(); ++k) {
    if (fds[k].revents & POLLIN)
      Receive(run, run.gadgets[owners[k - 2]], owners[k - 2]);
  }
  return true;
}

// True once every bound gadget has been enumerated by the host: a device
// back from a restart when the stop came is seen at its port before it goes.
bool AllEnumerated(const Run& run) {
  return std::all_of(run.gadgets.begin(), run.gadgets.end(),
                     [](const Gadget& g) { return !g.bound || g.enumerated; });
}

// Runs the devices until a stop signal and the end of any restart then under
// way; the exit status.
int Serve(Run& run) {
  int status = 0;
  for (;;) {
    bool settled = !emu::PortRestarting() && AllEnumerated(run);
    if (run.stopping && (settled || emu::PortNowMicros() >= run.settleDeadline))
      return status;
    if (!FollowDevices(run))
      return 1;
    if (!WaitAndReceive(run))
      return 1;
  }
}

// Devices the scenario puts on the same port (one plugged after the other
// left) share that port's UDC; every other device has one of its own.
std::vector<size_t> UdcNumbers(const std::vector<emu::PortDevice>& devices) {
  std::vector<size_t> udcs;
  std::vector<std::string> ports;
  for (const emu::PortDevice& d : devices) {
    auto known = std::find(ports.begin(), ports.end(), d.port);
    if (d.port.empty() || known == ports.end()) {
      udcs.push_back(ports.size());
      ports.push_back(d.port);
    } else {
      udcs.push_back(static_cast<size_t>(known - ports.begin()));
    }
  }
  return udcs;
}

// One gadget per UDC (usb_f_hid has only four functions): devices that
// share a UDC share its gadget, which takes the identity of whichever is
// plugged; they must share the report descriptor too, which cannot change
// while the function is in a configuration.
bool MakeGadgets(Run& run) {
  run.devices = emu::PortDevices();
  run.gadgets.resize(run.devices.size());
  std::vector<size_t> udcs = UdcNumbers(run.devices);
  for (size_t i = 0; i < run.devices.size(); ++i) {
    const emu::PortDevice& d = run.devices[i];
    size_t first = static_cast<size_t>(std::find(udcs.begin(), udcs.end(), udcs[i]) - udcs.begin());
    std::string error;
    if (first < i && run.devices[first].collection != d.collection)
      error = "shares its port with " + run.devices[first].name + " but not its report descriptor";
    else if (first < i)
      run.gadgets[i].configfs = run.gadgets[first].configfs;
    else
      emu::MakeGadget(udcs[i], udcs[i], d, &run.gadgets[i].configfs, &error);
    if (!error.empty()) {
      std::fprintf(stderr, "gadget: %s: %s\n", d.name.c_str(), error.c_str());
      return false;
    }
  }
  return true;
}

// The emulator's record with each device's USB stays and host opens.
bool WriteRecord(const Run& run) {
  json record = emu::Record();
  for (size_t i = 0; i < run.gadgets.size(); ++i) {
    json& device = record["devices"][run.devices[i].name];
    device["usb"] = run.gadgets[i].stays;
    device["hostOpens"] = run.gadgets[i].hostOpens;
  }
  std::ofstream out(run.options.record);
  out << record.dump(2) << "\n";
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  Run run;
  if (!emu::ParseFrontEndArguments(argc, argv, &run.options))
    return emu::FrontEndUsage("quorvel-gadget-device");
  emu::PortWarmUp();
  emu::UseDeviceClock();
  std::string error;
  if (!emu::LoadScenarioFile(run.options.scenario, &error)) {
    std::fprintf(stderr, "gadget: %s\n", error.c_str());
    return 2;
  }
  run.startMicros = emu::PortNowMicros();
  run.stopFd = emu::StopSignals("gadget");
  if (run.stopFd < 0)
    return 2;
  run.opensFd = emu::WatchDeviceOpens(&error);
  if (run.opensFd < 0)
    std::fprintf(stderr, "gadget: host opens not watched: %s\n", error.c_str());
  int status = MakeGadgets(run) ? Serve(run) : 1;
  emu::PortAdvance();
  for (size_t i = 0; i < run.gadgets.size(); ++i) {
    Unbind(run, run.gadgets[i], run.devices[i].name);
    emu::RemoveGadget(run.gadgets[i].configfs);
  }
  if (!run.options.record.empty() && !WriteRecord(run)) {
    std::fprintf(stderr, "gadget: cannot write %s\n", run.options.record.c_str());
    status = 1;
  }
  return status;
}
