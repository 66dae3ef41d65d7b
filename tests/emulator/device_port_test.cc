// The devices' bus side, as the uhid front end drives it: a listener per stay
// on the bus hears every reply, writes take hidraw's framing, and a restart
// shows as the device leaving and coming back as a new stay, after the reply
// that caused it has gone out.
#include "model/device_port.h"

#include "raw_host.h"
#include "support/emulated_device_fixture.h"

namespace {

using namespace rawhost;
using nlohmann::json;

class DevicePortTest : public EmulatedDeviceTest {
 protected:
  // Every report of the device sent up to virtual time ms.
  std::vector<Bytes> InputAt(int32_t ms, size_t device = 0) {
    g_virtual.now = ms;
    emu::PortAdvance();
    return emu::PortTakeInput(device);
  }
  int Write(size_t device, const Bytes& report) {
    return emu::PortWrite(device, report.data(), report.size());
  }
};

TEST_F(DevicePortTest, RepliesReachTheListenerWithHidrawFraming) {
  LoadScenario({{"devices",
                 {Device({{"timing", {{"replyMs", 5}}},
                          {"product", "Receiver"},
                          {"serial", "QV1"},
                          {"port", "1-2"}}),
                  Device({{"name", "n"}, {"path", "/dev/hidraw1"}, {"collection", true}})}}});
  // Nothing can be written before the front end has looked at the bus.
  EXPECT_EQ(Write(0, Padded({0x00, 0x0A, 0x55}, 65)), -1);
  std::vector<emu::PortDevice> devices = emu::PortDevices();
  ASSERT_EQ(devices.size(), 2u);
  EXPECT_EQ(devices[0].name, "d");
  EXPECT_TRUE(devices[0].present);
  EXPECT_EQ(devices[0].product, "Receiver");
  EXPECT_EQ(devices[0].manufacturer, "");
  EXPECT_EQ(devices[0].serial, "QV1");
  EXPECT_EQ(devices[0].port, "1-2");
  EXPECT_EQ(devices[1].serial, "");  // none given: the device reports none
  EXPECT_EQ(devices[1].port, "");
  EXPECT_FALSE(devices[0].collection);
  EXPECT_TRUE(devices[1].collection);

  EXPECT_EQ(Write(0, Padded({0x00, 0x0A, 0x55}, 65)), 65);
  EXPECT_EQ(emu::PortNextEventMicros(), 5000);
  EXPECT_TRUE(InputAt(4).empty());
  EXPECT_EQ(InputAt(5), std::vector<Bytes>({Padded({0x0A, 0x55})}));
  // Report ID 0 in front of the numbered device's report: written, not taken.
  EXPECT_EQ(Write(1, Padded({0x00, 0x0A, 0x56}, 65)), 65);
  EXPECT_EQ(Write(1, Padded({0x0A, 0x56})), 64);
  EXPECT_EQ(InputAt(10, 1), std::vector<Bytes>({Padded({0x0A, 0x56})}));
  EXPECT_EQ(Record()["devices"]["n"]["protocolErrors"].size(), 1u);
  EXPECT_EQ(Write(0, Bytes{0x00}), -1);  // too short for hidraw
}

TEST_F(DevicePortTest, RestartIsANewStayAfterTheReplyWentOut) {
  // A boot loader: back under another product ID and without a serial number.
  json reboot = {{"leaveMs", 20}, {"awayMs", 100}, {"productId", "0x8267"}, {"serial", nullptr}};
  LoadScenario(Scenario(Device({{"serial", "QV1"}, {"reboot", reboot}})));
  ASSERT_EQ(emu::PortDevices()[0].incarnation, 0);
  ASSERT_EQ(emu::PortDevices()[0].serial, "QV1");
  ASSERT_EQ(Write(0, Padded({0x00, 0x0A, 0x04, 0x00}, 65)), 65);
  EXPECT_TRUE(emu::PortRestarting());
  // The reply at 1 ms and the departure at 21 ms come in one step: the reply
  // is still there to take before the bus shows the device gone.
  EXPECT_EQ(InputAt(30), std::vector<Bytes>({Padded({0x0A, 0x04, 0x00})}));
  emu::PortDevice away = emu::PortDevices()[0];
  EXPECT_FALSE(away.present);
  EXPECT_TRUE(emu::PortRestarting());
  EXPECT_EQ(Write(0, Padded({0x00, 0x0A, 0x55}, 65)), -1);
  EXPECT_EQ(emu::PortNextEventMicros(), 121000);
  EXPECT_TRUE(InputAt(121).empty());
  emu::PortDevice back = emu::PortDevices()[0];
  EXPECT_TRUE(back.present);
  EXPECT_EQ(back.incarnation, 1);
  EXPECT_EQ(back.productId, 0x8267);
  EXPECT_EQ(back.serial, "");
  EXPECT_FALSE(emu::PortRestarting());
  EXPECT_EQ(Write(0, Padded({0x00, 0x0A, 0x55}, 65)), 65);
  EXPECT_EQ(InputAt(122), std::vector<Bytes>({Padded({0x0A, 0x55})}));
}

// What the uhid front end follows to destroy and create its devices: a pull
// ends the stay (and a restart under way, so that nothing waits for its
// return), the next plug is a new stay at its scheduled time, and a device
// plugged after the pulled one is scheduled from the pull on.
TEST_F(DevicePortTest, PlugsAndPullsAreStaysOfTheirOwn) {
  LoadScenario({{"devices",
                 {Device({{"plugs", {{{"atMs", 0}, {"pullAtMs", 50}}, {{"atMs", 200}}}},
                          {"reboot", {{"leaveMs", 20}, {"awayMs", 1000}}}}),
                  Device({{"name", "next"},
                          {"path", "/dev/hidraw1"},
                          {"plugAfter", {{"device", "d"}, {"leftMs", 10}}},
                          {"pullAfterUpdateMs", 5}})}}});
  std::vector<emu::PortDevice> first = emu::PortDevices();
  ASSERT_FALSE(first[1].present);
  ASSERT_EQ(Write(0, Padded({0x00, 0x0A, 0x04, 0x00}, 65)), 65);
  EXPECT_TRUE(emu::PortRestarting());
  EXPECT_EQ(InputAt(50), std::vector<Bytes>({Padded({0x0A, 0x04, 0x00})}));
  std::vector<emu::PortDevice> pulled = emu::PortDevices();
  EXPECT_FALSE(pulled[0].present);
  EXPECT_FALSE(emu::PortRestarting());
  EXPECT_EQ(emu::PortNextEventMicros(), 200000);  // the next plug; "next" waits for good
  EXPECT_TRUE(InputAt(200).empty());
  std::vector<emu::PortDevice> plugged = emu::PortDevices();
  EXPECT_TRUE(plugged[0].present);
  EXPECT_GT(plugged[0].incarnation, first[0].incarnation);
  EXPECT_FALSE(plugged[1].present);
  EXPECT_EQ(Write(0, Padded({0x00, 0x0A, 0x55}, 65)), 65);
  EXPECT_EQ(InputAt(201), std::vector<Bytes>({Padded({0x0A, 0x55})}));
}

TEST_F(DevicePortTest, UnsolicitedReportsNeedNoProgramAndANewScenarioDropsListeners) {
  LoadScenario(Scenario(Device({{"reports", {{{"atMs", 3}, {"hex", "0A99"}}}}})));
  emu::PortDevices();
  EXPECT_EQ(InputAt(3), std::vector<Bytes>({Padded({0x0A, 0x99})}));
  LoadScenario(Scenario(Device({{"name", "other"}})));
  EXPECT_EQ(Write(0, Padded({0x00, 0x0A, 0x55}, 65)), -1);  // the old listener is dead
  ASSERT_EQ(emu::PortDevices()[0].name, "other");
  EXPECT_EQ(Write(0, Padded({0x00, 0x0A, 0x55}, 65)), 65);
}

}  // namespace
