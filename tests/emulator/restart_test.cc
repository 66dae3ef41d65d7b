// Restarts from the device's side: it answers, leaves the bus, comes back
// (perhaps elsewhere), applies a verified image and only a verified one, and
// ignores requests while it is still booting.
#include "raw_host.h"
#include "support/emulated_device_fixture.h"

namespace {

using namespace rawhost;
using nlohmann::json;

const Bytes kNewVersion = {1, 2, 3, 0, 4, 0, 0, 0};

class RestartTest : public RawDeviceTest {
 protected:
  void Open(const json& extra) { OpenDevice(Device(extra)); }
  // A whole transfer; verify answered as the device decides.
  Bytes Flash(const Bytes& image, uint32_t crc, uint32_t headerWord = 0,
              const Bytes& version = kNewVersion) {
    Ask({0x0A, 0x20, 0x00});
    Ask(Info(headerWord, version, static_cast<uint32_t>(image.size()), crc));
    Ask({0x0A, 0x02});
    Read(dev_, 3000);
    for (size_t sent = 0; sent < image.size(); sent += 62) {
      Send(dev_, Frame(image, sent));
      Read(dev_, 0);
    }
    while (!Read(dev_, 100).empty()) {
    }
    Ask({0x0A, 0x03});
    return Read(dev_, 1000);
  }
  std::vector<std::string> Present() {
    std::vector<std::string> paths;
    hid_device_info* list = hid_enumerate(0, 0);
    for (hid_device_info* i = list; i; i = i->next)
      paths.push_back(i->path);
    hid_free_enumeration(list);
    return paths;
  }
  void Reopen(const std::string& path) {
    hid_close(dev_);
    dev_ = hid_open_path(path.c_str());
    ASSERT_NE(dev_, nullptr) << path;
  }
};

TEST_F(RestartTest, DeviceIsAwayForItsAwayTimeAndReturnsElsewhereWithNewFirmware) {
  Open({{"timing", {{"replyMs", 1}}},
        {"reboot",
         {{"leaveMs", 20}, {"awayMs", 1500}, {"path", "/dev/hidraw7"}, {"productId", "0x8267"}}}});
  Bytes image = Pattern(500);
  ASSERT_EQ(Flash(image, Crc(image)), Padded({0x0A, 0x03, 0x00}));
  int32_t t = Now();
  EXPECT_EQ(Ask({0x0A, 0x04, 0x00}), Padded({0x0A, 0x04, 0x00}));
  g_virtual.now = t + 20;
  EXPECT_EQ(Present(), std::vector<std::string>{"/dev/hidraw0"});
  g_virtual.now = t + 21;
  EXPECT_TRUE(Present().empty());
  EXPECT_EQ(Read(dev_, 0), Bytes{0xEE});
  g_virtual.now = t + 1520;
  EXPECT_TRUE(Present().empty());
  g_virtual.now = t + 1521;
  EXPECT_EQ(Present(), std::vector<std::string>{"/dev/hidraw7"});
  hid_device_info* info = hid_enumerate(0x248A, 0x8267);
  ASSERT_NE(info, nullptr);
  hid_free_enumeration(info);
  EXPECT_EQ(Send(dev_, {0x0A, 0x55}), -1);  // the old handle stays dead
  Reopen("/dev/hidraw7");
  EXPECT_EQ(Ask({0x0A, 0x00, 0x00}), Padded({0x0A, 0x00, 0x00, 1, 2, 3, 0, 4, 0, 0, 0}));
  EXPECT_EQ(Ask({0x0A, 0x00, 0x01}), Padded({0x0A, 0x00, 0x01}));  // App untouched
  json r = Device0()["restarts"][0];
  EXPECT_EQ(r["atMs"], static_cast<double>(t));
  EXPECT_EQ(r["mode"], 0);
  EXPECT_EQ(r["cause"], "restart");
  EXPECT_EQ(r["appliedImage"], true);
  EXPECT_EQ(r["unverifiedImageDiscarded"], false);
  EXPECT_EQ(r["leftAtMs"], static_cast<double>(t + 21));
  EXPECT_EQ(r["cameBackAtMs"], static_cast<double>(t + 1521));
  EXPECT_EQ(Device0()["final"]["path"], "/dev/hidraw7");
  EXPECT_EQ(Device0()["final"]["productId"], 0x8267);
  EXPECT_EQ(Device0()["final"]["upgradeMode"], false);
}

TEST_F(RestartTest, UnverifiedImageIsDiscarded) {
  Open({{"reboot", {{"awayMs", 100}}}});
  Bytes image = Pattern(200);
  ASSERT_EQ(Flash(image, Crc(image) + 1), Padded({0x0A, 0x03, 0x01}));
  Ask({0x0A, 0x04, 0x00});
  g_virtual.now += 200;
  Reopen("/dev/hidraw0");
  EXPECT_EQ(Ask({0x0A, 0x00, 0x00}), Padded({0x0A, 0x00, 0x00}));
  json r = Device0()["restarts"][0];
  EXPECT_EQ(r["appliedImage"], false);
  EXPECT_EQ(r["unverifiedImageDiscarded"], true);
  EXPECT_EQ(Device0()["final"]["controllerVersion"], "00-00-0000-00000000");
}

TEST_F(RestartTest, PartIsChosenByHeaderWordOrWholeImageLayout) {
  Open({{"appHeaderWords", {7}}, {"reboot", {{"awayMs", 50}}}});
  Bytes image = Pattern(300);
  ASSERT_EQ(Flash(image, Crc(image), 7)[2], 0x00);
  Ask({0x0A, 0x04, 0x00});
  g_virtual.now += 100;
  Reopen("/dev/hidraw0");
  EXPECT_EQ(Device0()["final"]["appVersion"], "01-02-0003-00000004");
  EXPECT_EQ(Device0()["final"]["controllerVersion"], "00-00-0000-00000000");
  EXPECT_EQ(Device0()["transfers"][0]["part"], "app");

  // Controller part followed by an App image header at 0x20000.
  Bytes whole = Pattern(0x20000 + 100);
  const Bytes header = {0x3D, 0xB8, 0xF3, 0x96};
  std::copy(header.begin(), header.end(), whole.begin() + 0x20000);
  const Bytes appVersion = {9, 8, 0x34, 0x12, 0x78, 0x56, 0x34, 0x12};
  std::copy(appVersion.begin(), appVersion.end(), whole.begin() + 0x20000 + 20);
  ASSERT_EQ(Flash(whole, Crc(whole), 7, {5, 6, 0, 1, 2, 0, 0, 0})[2], 0x00);
  Ask({0x0A, 0x04, 0x00});
  g_virtual.now += 100;
  Reopen("/dev/hidraw0");
  EXPECT_EQ(Device0()["transfers"][1]["part"], "whole");
  EXPECT_EQ(Device0()["final"]["controllerVersion"], "05-06-0100-00000002");
  EXPECT_EQ(Device0()["final"]["appVersion"], "09-08-1234-12345678");
}

TEST_F(RestartTest, BootloaderRestartIsRecordedWithItsMode) {
  Open({{"reboot", {{"awayMs", 30}}}});
  EXPECT_EQ(Ask({0x0A, 0x04, 0x02}), Padded({0x0A, 0x04, 0x00}));
  g_virtual.now += 100;
  EXPECT_EQ(Device0()["restarts"][0]["mode"], 2);
  EXPECT_EQ(Device0()["final"]["bootloader"], true);
  EXPECT_EQ(Device0()["final"]["onBus"], true);
}

TEST_F(RestartTest, BootingDeviceIgnoresRequests) {
  Open({{"bootMs", 300}, {"reboot", {{"leaveMs", 0}, {"awayMs", 100}}}});
  int32_t t = Now();
  Ask({0x0A, 0x04, 0x00});
  g_virtual.now = t + 1 + 100;  // back now, booting until +300
  Reopen("/dev/hidraw0");
  EXPECT_TRUE(Ask({0x0A, 0x55}).empty());
  g_virtual.now = t + 1 + 100 + 300;
  EXPECT_EQ(Ask({0x0A, 0x55}), Padded({0x0A, 0x55}));
  const json& requests = Device0()["requests"];
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[1]["ignored"], true);
  EXPECT_FALSE(requests[2].contains("ignored"));
}

TEST_F(RestartTest, ForcedModeEntryAndExitCanRestartTheDevice) {
  Open({{"forcedState", nullptr},
        {"forcedEntryRestarts", true},
        {"exitForcedRestarts", true},
        {"reboot", {{"leaveMs", 10}, {"awayMs", 200}}}});
  EXPECT_EQ(Ask({0x0A, 0x06, 0x00}), Padded({0x0A, 0x06}));
  g_virtual.now += 300;
  EXPECT_EQ(Read(dev_, 0), Bytes{0xEE});
  Reopen("/dev/hidraw0");
  EXPECT_EQ(Device0()["final"]["forcedUpgradeMode"], true);  // back in forced mode
  Bytes image = Pattern(100);
  ASSERT_EQ(Flash(image, Crc(image))[2], 0x00);
  EXPECT_EQ(Ask({0x0A, 0x06, 0x01}), Padded({0x0A, 0x06}));
  g_virtual.now += 300;
  Reopen("/dev/hidraw0");
  const json& d = Device0();
  ASSERT_EQ(d["restarts"].size(), 2u);
  EXPECT_EQ(d["restarts"][0]["cause"], "forcedEntry");
  EXPECT_EQ(d["restarts"][1]["cause"], "forcedExit");
  EXPECT_EQ(d["restarts"][1]["appliedImage"], true);
  EXPECT_EQ(d["final"]["forcedUpgradeMode"], false);
  EXPECT_EQ(d["final"]["controllerVersion"], "01-02-0003-00000004");
}

// The events of the device's presence list, in order.
std::vector<std::string> Events(const json& device) {
  std::vector<std::string> events;
  for (const json& p : device["presence"])
    events.push_back(p["event"]);
  return events;
}

// The operator pulls a dongle pullAfterUpdateMs after it came back with new
// firmware, and plugs the next one into its port leftMs after that; a dongle
// whose image was not applied stays, and so nothing follows it.
TEST_F(RestartTest, ADoneDeviceIsPulledAndTheNextOnePluggedInItsPlace) {
  for (const bool verified : {true, false}) {
    SCOPED_TRACE(verified);
    if (dev_)
      hid_close(dev_);
    LoadScenario({{"devices",
                   {Device({{"port", "1-3.1"},
                            {"pullAfterUpdateMs", 300},
                            {"reboot", {{"leaveMs", 20}, {"awayMs", 200}}}}),
                    Device({{"name", "next"},
                            {"path", "/dev/hidraw1"},
                            {"port", "1-3.1"},
                            {"plugAfter", {{"device", "d"}, {"leftMs", 100}}}})}}});
    dev_ = hid_open_path("/dev/hidraw0");
    ASSERT_NE(dev_, nullptr);
    Bytes image = Pattern(300);
    Flash(image, verified ? Crc(image) : Crc(image) + 1);
    int32_t t = Now();
    EXPECT_EQ(Ask({0x0A, 0x04, 0x00}), Padded({0x0A, 0x04, 0x00}));
    const int32_t back = t + 1 + 20 + 200;
    g_virtual.now = back + 299;
    EXPECT_EQ(Present(), std::vector<std::string>{"/dev/hidraw0"});
    g_virtual.now = back + 300;
    EXPECT_EQ(Present(),
              verified ? std::vector<std::string>{} : std::vector<std::string>{"/dev/hidraw0"});
    g_virtual.now = back + 400;
    EXPECT_EQ(Present(), std::vector<std::string>{verified ? "/dev/hidraw1" : "/dev/hidraw0"});
    const json& rec = Record()["devices"];
    std::vector<std::string> events = {"leave", "return"};
    if (verified)
      events.push_back("pull");
    EXPECT_EQ(Events(rec["d"]), events);
    EXPECT_EQ(Events(rec["next"]),
              verified ? std::vector<std::string>{"plug"} : std::vector<std::string>{});
    if (verified) {
      EXPECT_EQ(rec["d"]["presence"][2]["atMs"].get<double>() -
                    rec["d"]["restarts"][0]["cameBackAtMs"].get<double>(),
                300.0);
      EXPECT_EQ(rec["next"]["presence"][0]["atMs"].get<double>() -
                    rec["d"]["presence"][2]["atMs"].get<double>(),
                100.0);
    }
  }
}

// A dongle pulled in the middle of its restart keeps the firmware it had
// taken: it boots it when it is plugged in again, freshly powered (upgrade
// mode off), and the restart never came back.
TEST_F(RestartTest, APullDuringARestartKeepsTheNewFirmwareForTheNextPlug) {
  Open({{"plugs", {{{"atMs", 0}, {"pullAtMs", 2000}}, {{"atMs", 3000}}}},
        {"reboot", {{"leaveMs", 20}, {"awayMs", 5000}}}});
  const int32_t t0 = Now();
  Bytes image = Pattern(300);
  ASSERT_EQ(Flash(image, Crc(image)), Padded({0x0A, 0x03, 0x00}));
  EXPECT_EQ(Ask({0x0A, 0x04, 0x00}), Padded({0x0A, 0x04, 0x00}));
  g_virtual.now = t0 + 2999;
  EXPECT_TRUE(Present().empty());
  g_virtual.now = t0 + 3000;
  Reopen("/dev/hidraw0");
  EXPECT_EQ(Ask({0x0A, 0x00, 0x00}), Padded({0x0A, 0x00, 0x00, 1, 2, 3, 0, 4, 0, 0, 0}));
  g_virtual.now = t0 + 9000;  // long after the restart would have ended
  EXPECT_EQ(Present(), std::vector<std::string>{"/dev/hidraw0"});
  const json& d = Device0();
  EXPECT_EQ(Events(d), (std::vector<std::string>{"plug", "leave", "pull", "plug"}));
  EXPECT_EQ(d["presence"][2]["atMs"], 2000.0);
  EXPECT_EQ(d["presence"][3]["atMs"], 3000.0);
  ASSERT_EQ(d["restarts"].size(), 1u);
  EXPECT_TRUE(d["restarts"][0]["leftAtMs"].is_number());
  EXPECT_TRUE(d["restarts"][0]["cameBackAtMs"].is_null());
  EXPECT_EQ(d["final"]["upgradeMode"], false);
  EXPECT_EQ(d["final"]["controllerVersion"], "01-02-0003-00000004");
}

// With lowestFreeNodes, a device that comes back takes the lowest hidraw node
// no present device holds, as Linux hands them out: two devices restarted
// together swap nodes when the second to leave returns first, even when the
// clock jumps past both returns at once. A device that stays holds its node,
// one with a reboot path of its own keeps to it, and without the key each
// device comes back where it was.
TEST_F(RestartTest, ReturningDevicesTakeTheLowestFreeNodeWhenAsked) {
  for (const bool lowestFree : {true, false}) {
    SCOPED_TRACE(lowestFree);
    json scenario = {{"lowestFreeNodes", lowestFree}, {"devices", json::array()}};
    const int awayMs[] = {900, 400, 0, 200};
    for (int k = 0; k < 4; ++k) {
      json device = Device({{"name", "d" + std::to_string(k)},
                            {"path", "/dev/hidraw" + std::to_string(k)},
                            {"timing", {{"replyMs", 1}}},
                            {"reboot", {{"leaveMs", 20}, {"awayMs", awayMs[k]}}}});
      if (k == 3)
        device["reboot"]["path"] = "/dev/hidraw3";
      scenario["devices"].push_back(device);
    }
    LoadScenario(scenario);
    for (int k : {0, 1, 3}) {
      hid_device* dev = hid_open_path(("/dev/hidraw" + std::to_string(k)).c_str());
      ASSERT_NE(dev, nullptr);
      EXPECT_EQ(Send(dev, {0x0A, 0x04, 0x00}), 65);
      EXPECT_EQ(Read(dev, 100), Padded({0x0A, 0x04, 0x00}));
      hid_close(dev);
    }
    g_virtual.now += 1000;
    std::vector<std::string> expected = {"/dev/hidraw0", "/dev/hidraw1", "/dev/hidraw2",
                                         "/dev/hidraw3"};
    if (lowestFree)
      expected = {"/dev/hidraw1", "/dev/hidraw0", "/dev/hidraw2", "/dev/hidraw3"};
    for (int k = 0; k < 4; ++k)
      EXPECT_EQ(Record()["devices"]["d" + std::to_string(k)]["final"]["path"], expected[k]) << k;
  }
}

}  // namespace
