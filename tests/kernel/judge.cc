// The judge of a run of the real program on the Linux kernel's HID stack
// (scripts/kernel-test). Before the run it writes the firmware files and the
// device scenarios of every case:
//
//   quorvel_kernel_judge --write-cases DIR
//
// After the run, with QUORVEL_KERNEL_RESULTS naming the directory of what
// the test machine sent back (one directory per case: out, err, rc, the
// device front end's log and the emulator's record), its tests judge each
// case by the record of the device, as the in-process and end-to-end tests
// do, and by what the kernel did with the reports.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>

#include "firmware_builder.h"
#include "support/bytes.h"
#include "support/device_record.h"
#include "support/dongle_line.h"
#include "support/dongle_scenario.h"
#include "support/e2e_upgrade_rows.h"
#include "support/workspace.h"

namespace {

using nlohmann::json;

const char kVariants[][9] = {"plain", "numbered"};
// With no USB device above a uhid device hidapi has no manufacturer and no
// interface number, and reads no release number.
const char kDongleListed[] =
    "\"Quorvel Receiver(HID\\VID_248A&PID_8266&REV_0000)\"  path: /dev/hidraw";
const char kPermissionHint[] =
    ": Permission denied opening the device: copy 70-quorvel-dfu.rules (from "
    "/usr/lib/udev/rules.d/ when installed, udev/ in the source)";
constexpr int kNewProductId = 0x8267;
// A device leaves the bus this long after its reply to a restart request.
// hidapi reports a node that is gone (POLLHUP) before any report still queued
// on it, so a reply not yet read when the device leaves is lost; in a virtual
// machine without KVM on a busy host the program can take longer than a
// real device's 20 ms to read it.
constexpr int kLeaveMs = 200;

json Dongle(bool numbered, const json& overrides = json::object()) {
  e2e::DongleSetup setup;
  setup.path = "/dev/hidraw-dongle";
  setup.version = e2e::kInitialVersion;
  setup.product = "Quorvel Receiver";
  setup.interfaceNumber = -1;
  setup.blockSize = 0;
  setup.timing = {1, 50, 1, 10, -1};
  setup.reboot.leaveMs = kLeaveMs;
  json d = e2e::DongleJson(setup);
  d["collection"] = numbered;
  d["passthrough"] = {{"blockSize", 256}, {"version", e2e::kInitialVersion}};
  d.update(overrides);
  return d;
}

json Keyboard() {
  return {{"name", "keyboard"},    {"path", "/dev/hidraw-keyboard"}, {"vendorId", "0x046D"},
          {"productId", "0xC31C"}, {"product", "Keyboard"},          {"protocol", false}};
}

using e2e::Scenario;

// Dongle k of a line of four identical dongles, one per USB gadget (bus k,
// port k-1), with the line's serial numbers; back from a restart as
// 248A:8267.
json LineDongle(int k, const json& overrides = json::object()) {
  json d = Dongle(false, {{"name", e2e::LineDongleName(k)}});
  if (!e2e::LineDongleSerial(k).empty())
    d["serial"] = e2e::LineDongleSerial(k);
  d["reboot"]["productId"] = "0x8267";
  d.update(overrides);
  return d;
}

// The line with dongle k changed.
json LineWith(int changed, const json& overrides) {
  std::vector<json> devices;
  for (int k = 1; k <= e2e::kLineDongles; ++k)
    devices.push_back(LineDongle(k, k == changed ? overrides : json::object()));
  return Scenario(devices);
}

// Entering the forced upgrade mode restarts this chip; it comes back with
// the given reboot keys (boot loaders report no state record).
json RestartingForcedEntry(const json& reboot) {
  json r = {{"leaveMs", kLeaveMs}, {"awayMs", 400}};
  r.update(reboot);
  return {{"forcedState", nullptr}, {"forcedEntryRestarts", true}, {"reboot", r}};
}

std::string LineImageVersion(int k);

// A station's line: four ports, dongles plugged and pulled by binding and
// unbinding their gadgets. The first is pulled after its update and another
// dongle is plugged where it was; the second is plugged late; the third
// already runs the image's version; every updated dongle is pulled 4 s
// after it came back.
json StationLine() {
  auto dongle = [](int k, const std::string& port, const json& keys) {
    json d = Dongle(false, {{"name", "s" + std::to_string(k)},
                            {"serial", "ST0" + std::to_string(k)},
                            {"path", "/dev/hidraw" + std::to_string(70 + k)},
                            {"port", port},
                            {"pullAfterUpdateMs", 4000}});
    // Away long enough for a child's scans to see the node go: it comes
    // back at the same node, port and serial number.
    d["reboot"]["awayMs"] = 1500;
    d.update(keys);
    return d;
  };
  std::string current = LineImageVersion(1);
  return Scenario({dongle(1, "1-1", json::object()), dongle(2, "2-1", {{"appearAtMs", 1500}}),
                   dongle(3, "3-1", {{"controllerVersion", current}, {"appVersion", current}}),
                   dongle(4, "4-1", json::object()),
                   dongle(5, "1-1", {{"plugAfter", {{"device", "s1"}, {"leftMs", 300}}}})});
}

void AddGadgetScenarios(std::map<std::string, json>* cases) {
  for (const char* variant : kVariants) {
    bool numbered = std::string(variant) == "numbered";
    (*cases)["g-p4-" + std::string(variant)] =
        Scenario({Dongle(numbered, {{"serial", "SN-0001"}}), Keyboard()});
  }
  (*cases)["g-p3"] = Scenario({Dongle(false, RestartingForcedEntry({{"productId", "0x8267"}}))});
  (*cases)["g-line-port"] = LineWith(0, json::object());
  (*cases)["g-line-serial"] = LineWith(0, json::object());
  (*cases)["g-listing"] = LineWith(0, json::object());
  json noSerial = {{"leaveMs", kLeaveMs}, {"awayMs", 400}, {"serial", nullptr}};
  (*cases)["g-noserial"] = LineWith(3, {{"reboot", noSerial}});
  (*cases)["g-recovery"] = LineWith(3, RestartingForcedEntry({{"serial", nullptr}}));
  json vanish = {{{"action", "vanish"}, {"afterDataBytes", 512}}};
  (*cases)["g-unplug"] = LineWith(2, {{"faults", vanish}});
  (*cases)["g-station"] = StationLine();
  // One port, two dongles: the first pulled for good, the second plugged
  // there later.
  json pulled = {{{"action", "vanishAtMs"}, {"ms", 800}}};
  (*cases)["g-replug"] = Scenario({LineDongle(1, {{"port", "1-1"}, {"faults", pulled}}),
                                   LineDongle(2, {{"port", "1-1"}, {"appearAtMs", 1500}})});
}

std::map<std::string, json> Scenarios() {
  std::map<std::string, json> cases;
  for (const char* variant : kVariants) {
    bool numbered = std::string(variant) == "numbered";
    for (const char* name : {"p4-", "p3-", "listing-"})
      cases[name + std::string(variant)] = Scenario({Keyboard(), Dongle(numbered)});
    // The two-part update's restart brings the device back under another
    // product ID, on a hidraw node of its own.
    json newProduct = {{"leaveMs", kLeaveMs}, {"awayMs", 400}, {"productId", kNewProductId}};
    cases["p2-" + std::string(variant)] =
        Scenario({Keyboard(), Dongle(numbered, {{"reboot", newProduct}})});
  }
  json wrongLead = {{{"command", "0x56"}, {"action", "wrongLead"}}};
  cases["raw"] = Scenario({Dongle(false, {{"name", "plain"}, {"faults", wrongLead}}),
                           Dongle(true, {{"name", "numbered"}, {"faults", wrongLead}})});
  // Long enough an erase for a second instance to try the device meanwhile.
  json slowErase = {{"replyMs", 1}, {"eraseMs", 2000}, {"blockWriteMs", 1}, {"verifyMs", 10}};
  cases["lock"] = Scenario({Keyboard(), Dongle(false, {{"timing", slowErase}})});
  cases["permission"] = Scenario({Dongle(false)});
  json vanish = {{{"action", "vanish"}, {"afterDataBytes", 512}}};
  cases["vanish"] = Scenario({Dongle(false, {{"faults", vanish}})});
  AddGadgetScenarios(&cases);
  return cases;
}

// Image k of the line: its own body and version, so that each dongle's
// record tells which image it received.
e2e::Firmware WriteLineImage(const e2e::Workspace& workspace, int k) {
  fwbuild::ImageOptions options;
  options.version = {1, 2, 0, 0, static_cast<uint8_t>(k), 0, 0, 0};
  options.bodySize = 1500 + 100 * k;
  options.seed = 20 + k;
  e2e::Firmware firmware;
  firmware.file = fwbuild::BuildOnePartFile(options);
  firmware.image = firmware.file;
  firmware.path = workspace.Write("line" + std::to_string(k) + ".bin", firmware.file);
  return firmware;
}

std::string LineImageVersion(int k) {
  return fwbuild::VersionText({1, 2, 0, 0, static_cast<uint8_t>(k), 0, 0, 0});
}

struct Files {
  e2e::Workspace workspace;
  e2e::Firmware onePart = e2e::WriteOnePart(workspace, "one.bin");
  e2e::Firmware twoPart = e2e::WriteTwoPart(workspace, "two.bin");
  e2e::Firmware offset = e2e::WriteOffsetImage(workspace, "offset.bin");
  e2e::Firmware passthrough = e2e::WritePassthrough(workspace, "passthrough.bin");
  std::vector<e2e::Firmware> line = {WriteLineImage(workspace, 1), WriteLineImage(workspace, 2),
                                     WriteLineImage(workspace, 3), WriteLineImage(workspace, 4)};
};

const Files& TheFiles() {
  static const Files files;  // its scratch directory goes at exit
  return files;
}

int WriteCases(const std::string& dir) {
  namespace fs = std::filesystem;
  fs::create_directories(dir + "/fw");
  fs::create_directories(dir + "/scenarios");
  const Files& f = TheFiles();
  bool ok = true;
  std::vector<const e2e::Firmware*> files = {&f.onePart, &f.twoPart, &f.offset, &f.passthrough};
  for (const e2e::Firmware& fw : f.line)
    files.push_back(&fw);
  for (const e2e::Firmware* fw : files) {
    std::string name = fs::path(fw->path).filename().string();
    ok = ok && e2e::WriteText(dir + "/fw/" + name, std::string(fw->file.begin(), fw->file.end()));
  }
  for (const auto& [name, scenario] : Scenarios())
    ok = ok && e2e::WriteText(dir + "/scenarios/" + name + ".json", scenario.dump(2) + "\n");
  std::string serials;
  for (int k = 1; k <= e2e::kLineDongles; ++k)
    serials += e2e::LineDongleSerial(k) + "\n";
  ok = ok && e2e::WriteText(dir + "/serials", serials);
  return ok ? 0 : 1;
}

// What the test machine sent back for one case.
struct CaseResult {
  std::string name;
  std::string out, err, deviceLog, nodes;
  int rc = -1;
  json record;
  const json& Device(const std::string& device) const { return e2e::DeviceRecord(record, device); }
  std::string Describe() const {
    return name + ": rc " + std::to_string(rc) + "\n--- out\n" + out + "\n--- err\n" + err +
           "\n--- device log\n" + deviceLog;
  }
};

CaseResult Load(const std::string& name) {
  const char* root = std::getenv("QUORVEL_KERNEL_RESULTS");
  std::string dir = std::string(root ? root : "") + "/" + name;
  CaseResult r;
  r.name = name;
  r.out = e2e::ReadText(dir + "/out");
  r.err = e2e::ReadText(dir + "/err");
  r.deviceLog = e2e::ReadText(dir + "/uhid.log") + e2e::ReadText(dir + "/gadget.log");
  r.nodes = e2e::ReadText(dir + "/nodes");
  std::string rc = e2e::ReadText(dir + "/rc");
  if (!rc.empty())
    r.rc = std::atoi(rc.c_str());
  r.record = e2e::ReadRecordFile(dir + "/record.json").record;
  return r;
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Lines of the device log that show an output report of that device.
std::vector<std::string> Outputs(const CaseResult& r, const std::string& device) {
  std::vector<std::string> lines;
  std::istringstream in(r.deviceLog);
  std::string line;
  while (std::getline(in, line)) {
    if (Contains(line, "uhid: " + device + ": UHID_OUTPUT"))
      lines.push_back(line.substr(line.find("UHID_OUTPUT")));
  }
  return lines;
}

struct Update {
  const char* label;
  std::string trace;
  std::vector<e2e::ExpectedTransfer> transfers;
  std::string controllerAfter;
  std::string appAfter;
  bool forcedAfter;
  int restarts;
};

std::vector<Update> Updates() {
  const Files& f = TheFiles();
  return {
      {"p4",
       "H F+ E I S D V R Q0 F- H P+ I S D V P- R",
       {e2e::DeviceTransfer(f.onePart.image, "controller", e2e::kOnePartVersion),
        e2e::PassthroughTransfer(f.passthrough.image)},
       e2e::kOnePartVersion,
       e2e::kInitialVersion,
       false,
       2},
      {"p2",
       "H F+ E I S D V R Q0 Q1 F-",
       {e2e::DeviceTransfer(f.twoPart.image, "whole", e2e::kControllerVersion)},
       e2e::kControllerVersion,
       e2e::kAppVersion,
       false,
       1},
      {"p3",
       "H F+ E I S D V R",
       {e2e::DeviceTransfer(f.offset.image, "controller", e2e::kOnePartVersion)},
       e2e::kOnePartVersion,
       e2e::kInitialVersion,
       true,
       1},
  };
}

TEST(KernelUpdates, EachPlatformOnBothReportDescriptors) {
  for (const char* variant : kVariants) {
    for (const Update& u : Updates()) {
      CaseResult r = Load(std::string(u.label) + "-" + variant);
      SCOPED_TRACE(r.Describe());
      EXPECT_EQ(r.rc, 0);
      EXPECT_TRUE(Contains(r.out, "DFU success!"));
      const json& dongle = r.Device("dongle");
      EXPECT_EQ(e2e::CommandTrace(dongle), u.trace);
      e2e::ExpectTransfers(dongle, u.transfers);
      EXPECT_EQ(dongle.value("protocolErrors", json::array()), json::array());
      EXPECT_EQ(dongle.value("restarts", json::array()).size(), static_cast<size_t>(u.restarts));
      json final = dongle.value("final", json::object());
      EXPECT_EQ(final.value("controllerVersion", ""), u.controllerAfter);
      EXPECT_EQ(final.value("appVersion", ""), u.appAfter);
      EXPECT_EQ(final.value("forcedUpgradeMode", !u.forcedAfter), u.forcedAfter);
      EXPECT_EQ(final.value("productId", 0), std::string(u.label) == "p2" ? kNewProductId : 0x8266);
      EXPECT_EQ(final.value("onBus", false), true);
      if (std::string(u.label) == "p4") {
        EXPECT_EQ(final.value("passthroughImageSha256", json()),
                  json(e2e::Sha256Hex(TheFiles().passthrough.file)));
      }
      // What the kernel handed the device: the program's report as written,
      // behind report ID 0 without report IDs, led by report ID 0x0A with.
      std::vector<std::string> outputs = Outputs(r, "dongle");
      ASSERT_FALSE(outputs.empty());
      EXPECT_EQ(outputs[0], std::string(variant) == "plain"
                                ? "UHID_OUTPUT 65 bytes, type 1: 00 0A 55 00 ..."
                                : "UHID_OUTPUT 64 bytes, type 1: 0A 55 00 00 ...");
    }
  }
}

TEST(KernelPrompt, ListAndVersionsThroughHidapi) {
  for (const char* variant : kVariants) {
    CaseResult r = Load(std::string("listing-") + variant);
    SCOPED_TRACE(r.Describe());
    EXPECT_EQ(r.rc, 0);
    EXPECT_TRUE(Contains(r.out, "HID interfaces on the bus:"));
    // The listing line of the dongle: hidraw node, IDs and interface -1.
    std::istringstream lines(r.out);
    std::string line;
    int listed = 0;
    while (std::getline(lines, line)) {
      if (!Contains(line, kDongleListed))
        continue;
      ++listed;
      EXPECT_TRUE(Contains(line, "VID: 0x248A  PID: 0x8266  interface: -1")) << line;
    }
    EXPECT_EQ(listed, 1);
    EXPECT_TRUE(
        Contains(r.out, "\"Keyboard(HID\\VID_046D&PID_C31C&REV_0000)\"  path: /dev/hidraw"));
    // cv finds the dongle (the keyboard never answers) and reads both records.
    EXPECT_TRUE(Contains(r.out, "Query connected device: \"Quorvel Receiver(HID\\VID_248A"));
    EXPECT_TRUE(Contains(r.out, "Version: 01-00-0000-00000001"));
    EXPECT_EQ(e2e::CommandTrace(r.Device("dongle")), "H N Q0 Q1");
  }
}

// hidraw passes a report ID 0 on to the device as a leading 0 byte whatever
// the descriptor says; on read it drops a report whose first byte is not a
// declared report ID, and passes any report of a device without report IDs.
TEST(KernelReports, ReportIdsOnWriteAndRead) {
  CaseResult r = Load("raw");
  SCOPED_TRACE(r.Describe());
  std::map<std::string, std::string> nodeOf;
  for (const char* device : {"plain", "numbered"}) {
    std::string marker = std::string("uhid: ") + device + ": on ";
    size_t at = r.deviceLog.find(marker);
    ASSERT_NE(at, std::string::npos) << device;
    size_t end = r.deviceLog.find('\n', at);
    nodeOf[device] = r.deviceLog.substr(at + marker.size(), end - at - marker.size());
  }
  auto answer = [&](const std::string& device, const char* write) {
    std::string key = nodeOf[device] + " " + write + ": ";
    size_t at = r.out.find(key);
    if (at == std::string::npos)
      return std::string("(missing)");
    size_t end = r.out.find('\n', at);
    std::string hex = r.out.substr(at + key.size(), end - at - key.size());
    size_t first = hex.find_first_not_of(' ');
    return first == std::string::npos ? std::string() : hex.substr(first, 5);
  };
  EXPECT_EQ(answer("plain", "65 55"), "0a 55");
  EXPECT_EQ(answer("plain", "64 55"), "0a 55");
  EXPECT_EQ(answer("plain", "65 56"), "0b 56");  // any first byte reaches the host
  EXPECT_EQ(answer("plain", "64 56"), "0a 56");
  EXPECT_EQ(answer("numbered", "65 55"), "");  // report ID 0: the device has no such report
  EXPECT_EQ(answer("numbered", "64 55"), "0a 55");
  EXPECT_EQ(answer("numbered", "65 56"), "");
  EXPECT_EQ(answer("numbered", "64 56"), "");  // 0B 56 sent, dropped by the kernel
  for (const char* device : {"plain", "numbered"}) {
    std::vector<std::string> outputs = Outputs(r, device);
    ASSERT_EQ(outputs.size(), 4u) << device;
    EXPECT_EQ(outputs[0], "UHID_OUTPUT 65 bytes, type 1: 00 0A 55 00 ...");
    EXPECT_EQ(outputs[1], "UHID_OUTPUT 64 bytes, type 1: 0A 55 00 00 ...");
  }
  EXPECT_EQ(r.Device("numbered").value("protocolErrors", json::array()).size(), 2u);
  EXPECT_EQ(e2e::CommandTrace(r.Device("numbered")), "H N");
  EXPECT_EQ(e2e::CommandTrace(r.Device("plain")), "H H N N");
}

TEST(KernelLock, SecondInstanceKeptOffTheHeldDevice) {
  CaseResult first = Load("lock");
  CaseResult second = Load("lock-second");
  SCOPED_TRACE(first.Describe() + "\n" + second.Describe());
  EXPECT_EQ(first.rc, 0);
  EXPECT_TRUE(Contains(first.out, "DFU success!"));
  // The second instance ran its scan (it tried the keyboard) but never
  // wrote to the dongle: the first one's requests are all there is.
  EXPECT_EQ(second.rc, 0);
  EXPECT_FALSE(Contains(second.out, "Version:"));
  EXPECT_FALSE(first.Device("keyboard").value("requests", json::array()).empty());
  EXPECT_EQ(e2e::CommandTrace(first.Device("dongle")), "H F+ E I S D V R Q0 F-");
}

TEST(KernelPermissions, UnprivilegedUserGetsTheHint) {
  CaseResult r = Load("permission");
  SCOPED_TRACE(r.Describe());
  EXPECT_EQ(r.rc, 0);
  EXPECT_TRUE(Contains(r.nodes, "crw-------")) << r.nodes;  // root's alone, as devtmpfs makes it
  EXPECT_TRUE(Contains(r.out, kPermissionHint));
  EXPECT_EQ(r.Device("dongle").value("requests", json::array()), json::array());
}

TEST(KernelVanish, DeviceDestroyedMidDownloadFailsCleanly) {
  CaseResult r = Load("vanish");
  SCOPED_TRACE(r.Describe());
  EXPECT_EQ(r.rc, 1);  // not killed by the time limit
  EXPECT_TRUE(Contains(r.out, "DFU failed!"));
  const json& dongle = r.Device("dongle");
  EXPECT_TRUE(Contains(dongle.value("presence", json::array()).dump(), "leave"));
  json transfers = dongle.value("transfers", json::array());
  ASSERT_EQ(transfers.size(), 1u);
  EXPECT_GE(transfers[0].value("receivedLength", 0), 512);
  EXPECT_LT(transfers[0].value("receivedLength", 0),
            static_cast<int>(TheFiles().onePart.image.size()));
  EXPECT_EQ(transfers[0].value("verified", json("?")), json());
  EXPECT_TRUE(Contains(r.deviceLog, "uhid: dongle: destroyed"));
}

// The USB gadget cases: the same devices as real USB devices on dummy_hcd,
// device k of a scenario on bus k at port "k-1".

std::string GadgetPort(int k) {
  return std::to_string(k) + "-1";
}

// The USB stays of a device: one per bind, with the port the host saw it at.
json Stays(const CaseResult& r, const std::string& device) {
  return r.Device(device).value("usb", json::array());
}

std::set<std::string> StayPorts(const CaseResult& r, const std::string& device) {
  std::set<std::string> ports;
  for (const json& stay : Stays(r, device))
    ports.insert(stay.value("port", "(never enumerated)"));
  return ports;
}

// The command lines of the host processes that opened the device's node.
std::vector<std::string> Openers(const CaseResult& r, const std::string& device) {
  std::vector<std::string> commands;
  for (const json& open : r.Device(device).value("hostOpens", json::array()))
    commands.push_back(open.value("command", ""));
  return commands;
}

// Every open of the device's node was by a program pinned with that pin.
void ExpectOnlyOpenedBy(const CaseResult& r, const std::string& device, const std::string& pin) {
  std::vector<std::string> openers = Openers(r, device);
  EXPECT_FALSE(openers.empty()) << device;
  for (const std::string& command : openers) {
    EXPECT_TRUE(Contains(command, "quorvel-dfu ") && Contains(command + " ", pin + " "))
        << device << " opened by: " << command;
  }
}

// Neither opened by any host process nor sent a single request.
void ExpectUntouched(const CaseResult& r, const std::string& device) {
  EXPECT_EQ(Openers(r, device), std::vector<std::string>()) << device;
  EXPECT_EQ(r.Device(device).value("requests", json::array()), json::array()) << device;
}

// The first output report the gadget received, as the trace shows it.
std::string FirstGadgetOutput(const CaseResult& r, const std::string& device) {
  std::string marker = "gadget: " + device + ": OUT ";
  size_t at = r.deviceLog.find(marker);
  if (at == std::string::npos)
    return "(none)";
  return r.deviceLog.substr(at + marker.size(), r.deviceLog.find('\n', at) - at - marker.size());
}

// Both programs through usbhid: every report reaches the gadget as the
// 64-byte report of its descriptor (a USB host drops report ID 0 before the
// wire), and each restart is a disconnect and a new enumeration at the same
// port, with the device's serial number.
TEST(GadgetUpdates, Platform4OnBothReportDescriptors) {
  const std::vector<Update> updates = Updates();
  const Update& p4 = updates[0];
  for (const char* variant : kVariants) {
    CaseResult r = Load(std::string("g-p4-") + variant);
    SCOPED_TRACE(r.Describe());
    EXPECT_EQ(r.rc, 0);
    EXPECT_TRUE(Contains(r.out, "DFU success!"));
    const json& dongle = r.Device("dongle");
    EXPECT_EQ(e2e::CommandTrace(dongle), p4.trace);
    e2e::ExpectTransfers(dongle, p4.transfers);
    EXPECT_EQ(dongle.value("protocolErrors", json::array()), json::array());
    json final = dongle.value("final", json::object());
    EXPECT_EQ(final.value("controllerVersion", ""), p4.controllerAfter);
    EXPECT_EQ(final.value("passthroughImageSha256", json()),
              json(e2e::Sha256Hex(TheFiles().passthrough.file)));
    EXPECT_EQ(FirstGadgetOutput(r, "dongle"), "64 bytes: 0A 55 00 00 ...");
    EXPECT_EQ(Stays(r, "dongle").size(), 3u);  // plugged, and back from two restarts
    EXPECT_EQ(StayPorts(r, "dongle"), std::set<std::string>{GadgetPort(1)});
    for (const json& stay : Stays(r, "dongle"))
      EXPECT_EQ(stay.value("serial", ""), "SN-0001");
    ExpectOnlyOpenedBy(r, "dongle", "-t fw/passthrough.bin");
    ExpectUntouched(r, "keyboard");  // another vendor's: never opened
  }
}

// Platform 3's chip restarts on entering the forced upgrade mode and comes
// back under another product ID: the program finds it at its port.
TEST(GadgetUpdates, Platform3BackUnderANewProductIdAtTheSamePort) {
  CaseResult r = Load("g-p3");
  SCOPED_TRACE(r.Describe());
  EXPECT_EQ(r.rc, 0);
  EXPECT_TRUE(Contains(r.out, "DFU success!"));
  const json& dongle = r.Device("dongle");
  e2e::ExpectTransfers(dongle, Updates()[2].transfers);
  json stays = Stays(r, "dongle");
  ASSERT_GE(stays.size(), 2u);
  EXPECT_EQ(stays[0].value("productId", 0), 0x8266);
  EXPECT_EQ(stays[1].value("productId", 0), kNewProductId);
  EXPECT_EQ(StayPorts(r, "dongle"), std::set<std::string>{GadgetPort(1)});
  ExpectOnlyOpenedBy(r, "dongle", "--port 1-1");
}

// Dongle k of a line case received image k, whole and verified, and runs it.
void ExpectLineImage(const CaseResult& r, int k) {
  const std::string name = e2e::LineDongleName(k);
  SCOPED_TRACE(name);
  const json& dongle = r.Device(name);
  e2e::ExpectTransfers(dongle, {e2e::DeviceTransfer(TheFiles().line[k - 1].image, "controller",
                                                    LineImageVersion(k))});
  EXPECT_EQ(dongle.value("final", json::object()).value("controllerVersion", ""),
            LineImageVersion(k));
  EXPECT_EQ(StayPorts(r, name), std::set<std::string>{GadgetPort(k)});
}

// Four identical dongles on four buses, four programs at once, each pinned
// to its own by port, or by serial number (the fourth has none): each
// dongle got exactly its own image and was opened by its own program only.
TEST(GadgetLine, FourIdenticalDonglesUpdatedAtOnceEachByItsPin) {
  for (const char* pinKind : {"port", "serial"}) {
    CaseResult r = Load(std::string("g-line-") + pinKind);
    SCOPED_TRACE(r.Describe());
    for (int k = 1; k <= e2e::kLineDongles; ++k) {
      CaseResult program = Load(r.name + "-" + std::to_string(k));
      EXPECT_EQ(program.rc, 0) << program.Describe();
      EXPECT_TRUE(Contains(program.out, "DFU success!")) << program.Describe();
      ExpectLineImage(r, k);
      bool bySerial = std::string(pinKind) == "serial" && k < e2e::kLineDongles;
      std::string pin =
          bySerial ? "--serial " + e2e::LineDongleSerial(k) : "--port " + GadgetPort(k);
      ExpectOnlyOpenedBy(r, e2e::LineDongleName(k), pin);
      // Its program opened it in each stay: before the restart and after.
      EXPECT_EQ(Openers(r, e2e::LineDongleName(k)).size(), 2u);
    }
  }
}

// The restart brings the third dongle back without its serial number (a
// boot loader without one): the port still finds it, and no other dongle is
// touched.
TEST(GadgetLine, BackWithoutItsSerialFollowedByPort) {
  CaseResult r = Load("g-noserial");
  SCOPED_TRACE(r.Describe());
  EXPECT_EQ(r.rc, 0);
  EXPECT_TRUE(Contains(r.out, "DFU success!"));
  json stays = Stays(r, "dongle3");
  ASSERT_GE(stays.size(), 2u);
  EXPECT_EQ(stays[0].value("serial", "?"), "qv24a03x");
  EXPECT_EQ(stays[1].value("serial", "?"), "");
  EXPECT_EQ(StayPorts(r, "dongle3"), std::set<std::string>{GadgetPort(3)});
  e2e::ExpectTransfers(r.Device("dongle3"), {Updates()[0].transfers[0]});
  ExpectOnlyOpenedBy(r, "dongle3", "--port 3-1");
  for (int k : {1, 2, 4})
    ExpectUntouched(r, e2e::LineDongleName(k));
}

// list through hidapi on real USB devices: each dongle's serial number
// string and the port chain sysfs shows for it; the fourth has no serial.
TEST(GadgetLine, ListShowsTheRealPortsAndSerials) {
  CaseResult r = Load("g-listing");
  SCOPED_TRACE(r.Describe());
  EXPECT_EQ(r.rc, 0);
  std::vector<std::string> lines;
  std::istringstream in(r.out);
  for (std::string line; std::getline(in, line);) {
    if (Contains(line, "VID: 0x248A  PID: 0x8266"))
      lines.push_back(line);
  }
  ASSERT_EQ(lines.size(), 4u);
  for (int k = 1; k <= e2e::kLineDongles; ++k) {
    std::string tail = "  port: " + GadgetPort(k);
    std::string serial = e2e::LineDongleSerial(k);
    if (!serial.empty())
      tail = "  serial: " + serial + tail;
    int matching = 0;
    for (const std::string& line : lines)
      matching += line.size() > tail.size() && line.substr(line.size() - tail.size()) == tail &&
                  Contains(line, "interface: 0");
    EXPECT_EQ(matching, 1) << tail;
    ExpectUntouched(r, e2e::LineDongleName(k));  // listing opens nothing
  }
}

// A failure leaves the third dongle in its forced upgrade mode; it came back
// from entering it without its serial number, so the printed command names
// its port. Run as printed, it recovers that dongle, and no program opened
// another one.
TEST(GadgetLine, ThePrintedRecoveryCommandRecoversTheFailedDongleOnly) {
  CaseResult failed = Load("g-recovery");
  CaseResult printed = Load("g-recovery-printed");
  SCOPED_TRACE(failed.Describe() + "\n" + printed.Describe());
  EXPECT_EQ(failed.rc, 1);
  EXPECT_EQ(
      e2e::ReadText(std::string(std::getenv("QUORVEL_KERNEL_RESULTS")) + "/g-recovery/printed"),
      "quorvel-dfu 248a 8266 --port 3-1 -f 1\n");
  EXPECT_EQ(printed.rc, 0);
  const json& dongle = failed.Device("dongle3");
  EXPECT_EQ(dongle.value("final", json::object()).value("forcedUpgradeMode", true), false);
  std::string trace = e2e::CommandTrace(dongle);
  EXPECT_EQ(trace.substr(trace.size() - std::min<size_t>(trace.size(), 5)), " H F-") << trace;
  for (const std::string& command : Openers(failed, "dongle3"))
    EXPECT_TRUE(Contains(command, "--serial qv24a03x") || Contains(command, "--port 3-1"))
        << command;
  for (int k : {1, 2, 4})
    ExpectUntouched(failed, e2e::LineDongleName(k));
}

// Unplugged mid-download (its gadget unbound for good): the program fails
// cleanly, and nothing else on the line is touched.
TEST(GadgetLine, UnpluggedMidDownloadFailsCleanly) {
  CaseResult r = Load("g-unplug");
  SCOPED_TRACE(r.Describe());
  EXPECT_EQ(r.rc, 1);  // not killed by the time limit
  EXPECT_TRUE(Contains(r.out, "DFU failed!"));
  const json& dongle = r.Device("dongle2");
  json transfers = dongle.value("transfers", json::array());
  ASSERT_EQ(transfers.size(), 1u);
  EXPECT_GE(transfers[0].value("receivedLength", 0), 512);
  EXPECT_LT(transfers[0].value("receivedLength", 0),
            static_cast<int>(TheFiles().onePart.image.size()));
  json stays = Stays(r, "dongle2");
  ASSERT_EQ(stays.size(), 1u);
  EXPECT_TRUE(stays[0].contains("unboundAtMs"));
  EXPECT_TRUE(Contains(r.deviceLog, "gadget: dongle2: unbound"));
  for (int k : {1, 3, 4})
    ExpectUntouched(r, e2e::LineDongleName(k));
}

// A dongle pulled and another plugged into the same port: one USB port,
// two devices one after the other. The program waits for the second by its
// serial number and updates it; the first is never opened.
TEST(GadgetLine, AnotherDonglePluggedWhereOneWasPulled) {
  CaseResult r = Load("g-replug");
  SCOPED_TRACE(r.Describe());
  EXPECT_EQ(r.rc, 0);
  EXPECT_TRUE(Contains(r.out, "DFU success!"));
  ExpectUntouched(r, "dongle1");
  ExpectOnlyOpenedBy(r, "dongle2", "--serial QV24A02X");
  e2e::ExpectTransfers(
      r.Device("dongle2"),
      {e2e::DeviceTransfer(TheFiles().line[1].image, "controller", LineImageVersion(2))});
  json first = Stays(r, "dongle1");
  json second = Stays(r, "dongle2");
  ASSERT_EQ(first.size(), 1u);
  ASSERT_FALSE(second.empty());
  EXPECT_EQ(first[0].value("port", ""), GadgetPort(1));
  EXPECT_EQ(StayPorts(r, "dongle2"), std::set<std::string>{GadgetPort(1)});
  EXPECT_LE(first[0].value("unboundAtMs", 1e9), second[0].value("boundAtMs", 0.0));
}

// The station on real USB devices: each dongle plugged (its gadget bound)
// is updated once by a child pinned to its port, the one already at the
// image's version is left alone, the dongle plugged where a done one was
// pulled is a new device, and the log holds one line per dongle. Neither
// the station nor any child opened a dongle at another port.
TEST(GadgetStation, DonglesPluggedAndPulledByBindingTheirGadgets) {
  CaseResult r = Load("g-station");
  SCOPED_TRACE(r.Describe());
  EXPECT_EQ(r.rc, 0);
  std::map<std::string, std::string> results;  // serial -> port and result
  std::istringstream log(
      e2e::ReadText(std::string(std::getenv("QUORVEL_KERNEL_RESULTS")) + "/g-station/station.log"));
  for (std::string line; std::getline(log, line);) {
    json entry = json::parse(line, nullptr, false);
    results[entry.value("serial", "?")] =
        entry.value("port", "?") + " " + entry.value("result", "?");
  }
  std::map<std::string, std::string> expected = {{"ST01", "1-1 success"},
                                                 {"ST02", "2-1 success"},
                                                 {"ST03", "3-1 current"},
                                                 {"ST04", "4-1 success"},
                                                 {"ST05", "1-1 success"}};
  EXPECT_EQ(results, expected);
  for (int k = 1; k <= 5; ++k) {
    std::string name = "s" + std::to_string(k);
    SCOPED_TRACE(name);
    std::string port = expected["ST0" + std::to_string(k)].substr(0, 3);
    EXPECT_EQ(StayPorts(r, name), std::set<std::string>{port});
    for (const std::string& command : Openers(r, name)) {
      EXPECT_TRUE(Contains(command + " ", "--port " + port + " ")) << command;
      EXPECT_FALSE(Contains(command, "--station")) << command;  // the station itself opens nothing
    }
    std::string trace = e2e::CommandTrace(r.Device(name));
    if (k == 3) {
      EXPECT_FALSE(Contains(trace, "F+")) << trace;  // never put into an upgrade mode
      continue;
    }
    e2e::ExpectTransfers(r.Device(name), {e2e::DeviceTransfer(TheFiles().line[0].image,
                                                              "controller", LineImageVersion(1))});
    // Pulled after its update: unbound for good.
    json stays = Stays(r, name);
    ASSERT_FALSE(stays.empty());
    EXPECT_TRUE(stays.back().contains("unboundAtMs"));
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--write-cases")
    return WriteCases(argv[2]);
  const char* results = std::getenv("QUORVEL_KERNEL_RESULTS");
  if (results == nullptr || !std::filesystem::is_directory(results)) {
    std::fprintf(stderr, "quorvel_kernel_judge: QUORVEL_KERNEL_RESULTS names no directory\n");
    return 2;
  }
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
