// quorvel-uhid-device: the emulated devices of a scenario as real HID devices
// of the Linux kernel, through /dev/uhid. Each device present on the emulated
// bus is one uhid device (a /dev/hidrawN node the kernel makes for it); what
// the host writes to it arrives as UHID_OUTPUT and goes to the device, what
// the device sends goes to the kernel as UHID_INPUT2. A device that restarts
// is destroyed when it leaves the bus and created again, with the identity of
// its scenario, when it comes back, as a USB device would be unplugged and
// plugged in.
//
//   quorvel-uhid-device [--record FILE] [--trace] SCENARIO.json
//
// --trace logs every output report the kernel hands over (the first three
// data frames only) to standard error.
// Runs until SIGTERM or SIGINT. A device in the middle of a restart then
// still comes back (for at most kSettleMicros), as a real one would whether
// or not anyone waits for it; then the record (the same JSON as every other
// front end of the emulator) is written and the devices are removed.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/input.h>
#include <linux/uhid.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "emulator.h"
#include "front_end/device_clock.h"
#include "front_end/front_end_options.h"
#include "front_end/report_descriptor.h"
#include "model/device_port.h"

namespace {

struct Node {
  int fd = -1;
  int incarnation = -1;
  std::string uniq;    // tells this stay's hidraw node apart in sysfs
  std::string hidraw;  // found after the kernel made it
  int outputsTraced = 0;
};

bool g_trace = false;

constexpr int64_t kSettleMicros = 10000000;

bool Send(int fd, const uhid_event& ev) {
  ssize_t n;
  do {
    n = write(fd, &ev, sizeof ev);
  } while (n < 0 && errno == EINTR);
  return n == static_cast<ssize_t>(sizeof ev);
}

void CopyText(const std::string& text, __u8* out, size_t size) {
  size_t n = std::min(text.size(), size - 1);
  std::memcpy(out, text.data(), n);
  out[n] = 0;
}

bool Create(Node& node, const emu::PortDevice& d) {
  node.fd = open("/dev/uhid", O_RDWR | O_CLOEXEC | O_NONBLOCK);
  if (node.fd < 0) {
    std::fprintf(stderr, "uhid: cannot open /dev/uhid: %s\n", std::strerror(errno));
    return false;
  }
  uhid_event ev;
  std::memset(&ev, 0, sizeof ev);
  ev.type = UHID_CREATE2;
  uhid_create2_req& req = ev.u.create2;
  // With no USB device above it, hidapi shows the HID name as the product.
  CopyText(d.product.empty() ? d.name : d.product, req.name, sizeof req.name);
  CopyText("quorvel-uhid/" + d.name, req.phys, sizeof req.phys);
  node.uniq = d.name + "#" + std::to_string(d.incarnation);
  CopyText(node.uniq, req.uniq, sizeof req.uniq);
  const std::vector<uint8_t>& rd = emu::ReportDescriptor(d.collection);
  std::memcpy(req.rd_data, rd.data(), rd.size());
  req.rd_size = static_cast<__u16>(rd.size());
  req.bus = BUS_USB;
  req.vendor = d.vendorId;
  req.product = d.productId;
  req.version = d.release;
  if (!Send(node.fd, ev)) {
    std::fprintf(stderr, "uhid: %s: UHID_CREATE2 failed: %s\n", d.name.c_str(),
                 std::strerror(errno));
    close(node.fd);
    node.fd = -1;
    return false;
  }
  node.incarnation = d.incarnation;
  node.hidraw.clear();
  node.outputsTraced = 0;
  std::fprintf(stderr, "uhid: %s: created %04x:%04x (%s report ID)\n", d.name.c_str(), d.vendorId,
               d.productId, d.collection ? "with" : "without");
  return true;
}

void Destroy(Node& node, const std::string& name) {
  if (node.fd < 0)
    return;
  uhid_event ev;
  std::memset(&ev, 0, sizeof ev);
  ev.type = UHID_DESTROY;
  Send(node.fd, ev);
  close(node.fd);
  node.fd = -1;
  std::fprintf(stderr, "uhid: %s: destroyed%s%s\n", name.c_str(), node.hidraw.empty() ? "" : " ",
               node.hidraw.c_str());
}

// The hidraw node the kernel made for this stay of the device, found by the
// unique string of its HID device.
void FindHidraw(Node& node, const std::string& name) {
  if (node.fd < 0 || !node.hidraw.empty())
    return;
  DIR* dir = opendir("/sys/class/hidraw");
  if (dir == nullptr)
    return;
  while (dirent* entry = readdir(dir)) {
    if (entry->d_name[0] == '.')
      continue;
    std::ifstream uevent(std::string("/sys/class/hidraw/") + entry->d_name + "/device/uevent");
    std::string line;
    while (std::getline(uevent, line)) {
      if (line == "HID_UNIQ=" + node.uniq) {
        node.hidraw = std::string("/dev/") + entry->d_name;
        std::fprintf(stderr, "uhid: %s: on %s\n", name.c_str(), node.hidraw.c_str());
      }
    }
  }
  closedir(dir);
}

void Reply(int fd, __u32 type, __u32 id) {
  uhid_event ev;
  std::memset(&ev, 0, sizeof ev);
  ev.type = type;
  // Feature and input report requests fail, as they do on the emulator's
  // hidapi side: the device's protocol runs on interrupt reports only.
  if (type == UHID_GET_REPORT_REPLY) {
    ev.u.get_report_reply.id = id;
    ev.u.get_report_reply.err = EIO;
  } else {
    ev.u.set_report_reply.id = id;
    ev.u.set_report_reply.err = EIO;
  }
  Send(fd, ev);
}

void Receive(Node& node, size_t index, const std::string& name) {
  for (;;) {
    uhid_event ev;
    ssize_t n = read(node.fd, &ev, sizeof ev);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return;
    switch (ev.type) {
      case UHID_OUTPUT: {
        const uhid_output_req& out = ev.u.output;
        // Every report but the data frames after the first few: enough to
        // see the framing and to follow the requests.
        bool frame = emu::DataFrameReport(out.data, out.size);
        if (g_trace && (!frame || node.outputsTraced < 3)) {
          node.outputsTraced += frame ? 1 : 0;
          std::fprintf(stderr, "uhid: %s: UHID_OUTPUT %u bytes, type %u: %s ...\n", name.c_str(),
                       out.size, out.rtype,
                       emu::Hex(out.data, std::min<size_t>(out.size, 4)).c_str());
        }
        emu::PortWrite(index, out.data, out.size);
        break;
      }
      case UHID_GET_REPORT:
        Reply(node.fd, UHID_GET_REPORT_REPLY, ev.u.get_report.id);
        break;
      case UHID_SET_REPORT:
        Reply(node.fd, UHID_SET_REPORT_REPLY, ev.u.set_report.id);
        break;
      default:  // start, stop, open, close: nothing to do
        break;
    }
  }
}

void SendInput(Node& node, const std::vector<uint8_t>& report) {
  uhid_event ev;
  std::memset(&ev, 0, sizeof ev);
  ev.type = UHID_INPUT2;
  size_t n = std::min(report.size(), sizeof ev.u.input2.data);
  std::memcpy(ev.u.input2.data, report.data(), n);
  ev.u.input2.size = static_cast<__u16>(n);
  Send(node.fd, ev);
}

struct Run {
  int stopFd = -1;
  std::vector<Node> nodes;
  std::vector<emu::PortDevice> devices;
  bool stopping = false;
  int64_t settleDeadline = 0;
};

// Hands the kernel what the devices sent, then makes the uhid devices follow
// the emulated ones onto and off the bus; false when one could not be made.
bool FollowDevices(Run& run) {
  emu::PortAdvance();
  for (size_t i = 0; i < run.nodes.size(); ++i) {
    for (const std::vector<uint8_t>& report : emu::PortTakeInput(i)) {
      if (run.nodes[i].fd >= 0)
        SendInput(run.nodes[i], report);
    }
  }
  run.devices = emu::PortDevices();
  run.nodes.resize(run.devices.size());
  bool ok = true;
  for (size_t i = 0; i < run.devices.size(); ++i) {
    const emu::PortDevice& d = run.devices[i];
    Node& node = run.nodes[i];
    if (node.fd >= 0 && (!d.present || d.incarnation != node.incarnation))
      Destroy(node, d.name);
    if (d.present && node.fd < 0 && !Create(node, d))
      ok = false;
    FindHidraw(node, d.name);
  }
  return ok;
}

// Waits for the kernel, a stop signal or the next device event, and takes
// what came; false when waiting failed.
bool WaitAndReceive(Run& run) {
  std::vector<pollfd> fds;
  fds.push_back({run.stopFd, POLLIN, 0});
  std::vector<size_t> owners;
  for (size_t i = 0; i < run.nodes.size(); ++i) {
    if (run.nodes[i].fd >= 0) {
      fds.push_back({run.nodes[i].fd, POLLIN, 0});
      owners.push_back(i);
    }
  }
  // Wake for the next scheduled device event; at least every 50 ms so that
  // hidraw nodes made in the meantime are noticed.
  int64_t next = emu::PortNextEventMicros();
  int64_t wait = next - emu::PortNowMicros();
  wait = std::max<int64_t>(0, std::min<int64_t>(wait, 50000));
  timespec timeout{0, static_cast<long>(wait * 1000)};
  if (ppoll(fds.data(), fds.size(), &timeout, nullptr) < 0 && errno != EINTR) {
    std::perror("uhid: ppoll");
    return false;
  }
  emu::DeviceClockCatchUp(next);
  if ((fds[0].revents & POLLIN) && !run.stopping) {
    emu::TakeStopSignal(run.stopFd);
    run.stopping = true;
    run.settleDeadline = emu::PortNowMicros() + kSettleMicros;
  }
  for (size_t k = 1; k < fds.size(); ++k) {
    if (fds[k].revents & POLLIN)
      Receive(run.nodes[owners[k - 1]], owners[k - 1], run.devices[owners[k - 1]].name);
  }
  return true;
}

// Runs the devices until a stop signal and the end of any restart then under
// way; the exit status so far.
int Serve(Run& run) {
  bool stop = false;
  int status = 0;
  while (!stop) {
    if (run.stopping && (!emu::PortRestarting() || emu::PortNowMicros() >= run.settleDeadline))
      break;
    if (!FollowDevices(run)) {
      stop = true;
      status = 1;
    }
    if (!WaitAndReceive(run))
      return 1;
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  emu::FrontEndOptions options;
  if (!emu::ParseFrontEndArguments(argc, argv, &options))
    return emu::FrontEndUsage("quorvel-uhid-device");
  g_trace = options.trace;
  const std::string& record = options.record;
  emu::PortWarmUp();
  emu::UseDeviceClock();
  std::string error;
  if (!emu::LoadScenarioFile(options.scenario, &error)) {
    std::fprintf(stderr, "uhid: %s\n", error.c_str());
    return 2;
  }
  Run run;
  run.stopFd = emu::StopSignals("uhid");
  if (run.stopFd < 0)
    return 2;
  int status = Serve(run);
  emu::PortAdvance();
  for (size_t i = 0; i < run.nodes.size(); ++i)
    Destroy(run.nodes[i], run.devices[i].name);
  if (!record.empty() && !emu::WriteRecordFile(record)) {
    std::fprintf(stderr, "uhid: cannot write %s\n", record.c_str());
    status = 1;
  }
  return status;
}
