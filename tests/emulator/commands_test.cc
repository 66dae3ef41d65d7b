// The device's answers to the mode and query commands: handshake, name,
// version records, upgrade mode, forced upgrade mode and passthrough.
#include "raw_host.h"
#include "support/emulated_device_fixture.h"

namespace {

using namespace rawhost;
using nlohmann::json;

class CommandsTest : public RawDeviceTest {
 protected:
  void Open(const json& extra = json::object()) { OpenDevice(Device(extra)); }
  const json& Final() { return Record()["devices"]["d"]["final"]; }
};

TEST_F(CommandsTest, DefaultDeviceAnswersEveryQuery) {
  Open();
  EXPECT_EQ(Ask({0x0A, 0x55}), Padded({0x0A, 0x55}));
  EXPECT_EQ(Ask({0x0A, 0x56}), Padded({0x0A, 0x56, 0x00}));
  EXPECT_EQ(Ask({0x0A, 0x00, 0x00}), Padded({0x0A, 0x00, 0x00}));
  EXPECT_EQ(Ask({0x0A, 0x00, 0x01}), Padded({0x0A, 0x00, 0x01}));
  EXPECT_EQ(Final()["controllerVersion"], "00-00-0000-00000000");
  EXPECT_TRUE(Record()["devices"]["d"]["protocolErrors"].empty());
}

TEST_F(CommandsTest, HandshakeWithStatusRecordCarriesValueAndCheck) {
  Open({{"handshake", {{"status", 0}}}});
  EXPECT_EQ(Ask({0x0A, 0x55}), Padded({0x0A, 0x55, 0x55, 0xAA, 0x00, 0xFF}));
  Open({{"handshake", {{"status", 2}}}});
  EXPECT_EQ(Ask({0x0A, 0x55}), Padded({0x0A, 0x55, 0x55, 0xAA, 0x02, 0x01}));
}

TEST_F(CommandsTest, NameAndVersionsComeFromTheScenario) {
  Open({{"typeCode", "0x21"},
        {"controllerVersion", "0A00100178563412"},
        {"appVersion", "01-02-0003-00000004"}});
  EXPECT_EQ(Ask({0x0A, 0x56})[2], 0x21);
  EXPECT_EQ(Ask({0x0A, 0x00, 0x00}),
            Padded({0x0A, 0x00, 0x00, 0x0A, 0x00, 0x10, 0x01, 0x78, 0x56, 0x34, 0x12}));
  EXPECT_EQ(Ask({0x0A, 0x00, 0x01}), Padded({0x0A, 0x00, 0x01, 1, 2, 3, 0, 4, 0, 0, 0}));
  EXPECT_EQ(Final()["controllerVersion"], "0A-00-0110-12345678");
  EXPECT_EQ(Final()["appVersion"], "01-02-0003-00000004");
}

TEST_F(CommandsTest, UpgradeModeIsEnteredWithParameterZeroOnly) {
  Open();
  EXPECT_EQ(Ask({0x0A, 0x20, 0x01}), Padded({0x0A, 0x20, 0x01}));
  EXPECT_EQ(Final()["upgradeMode"], false);
  EXPECT_EQ(Ask({0x0A, 0x20, 0x00}), Padded({0x0A, 0x20, 0x00}));
  EXPECT_EQ(Final()["upgradeMode"], true);
  EXPECT_EQ(Record()["devices"]["d"]["protocolErrors"].size(), 1u);
}

TEST_F(CommandsTest, ForcedModeReplyCarriesTheConfiguredState) {
  for (int state : {0, 1, 2}) {
    Open({{"forcedState", state}});
    uint8_t v = static_cast<uint8_t>(state);
    EXPECT_EQ(Ask({0x0A, 0x06, 0x00}),
              Padded({0x0A, 0x06, 0x55, 0xAA, v, static_cast<uint8_t>(v - 1)}))
        << state;
    EXPECT_EQ(Final()["forcedUpgradeMode"], true);
    EXPECT_EQ(Ask({0x0A, 0x06, 0x01}), Padded({0x0A, 0x06, 0x00}));
    EXPECT_EQ(Final()["forcedUpgradeMode"], false);
  }
  Open({{"forcedState", nullptr}});
  EXPECT_EQ(Ask({0x0A, 0x06, 0x00}), Padded({0x0A, 0x06}));
  EXPECT_EQ(Final()["forcedUpgradeMode"], true);
}

TEST_F(CommandsTest, PassthroughSwitchesWhenADeviceIsBehind) {
  Open({{"passthrough", {{"blockSize", 128}}}});
  EXPECT_EQ(Ask({0x0A, 0x07, 0x00}), Padded({0x0A, 0x07, 0x00}));
  EXPECT_EQ(Final()["passthrough"], true);
  EXPECT_EQ(Ask({0x0A, 0x07, 0x01}), Padded({0x0A, 0x07, 0x00}));
  EXPECT_EQ(Final()["passthrough"], false);
}

TEST_F(CommandsTest, PassthroughWithoutADeviceBehindIsRefusedBySilence) {
  Open();
  EXPECT_TRUE(Ask({0x0A, 0x07, 0x00}).empty());
  EXPECT_EQ(Final()["passthrough"], false);
  EXPECT_EQ(Ask({0x0A, 0x07, 0x01}), Padded({0x0A, 0x07, 0x00}));
  const json& errors = Record()["devices"]["d"]["protocolErrors"];
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0], "passthrough switched on without a passthrough device");
}

TEST_F(CommandsTest, StrangeRequestsAreRecordedAndUnanswered) {
  Open();
  EXPECT_TRUE(Ask({0x0B, 0x55}).empty());
  EXPECT_TRUE(Ask({0x0A, 0x42, 0x07}).empty());
  const json& d = Record()["devices"]["d"];
  EXPECT_EQ(d["protocolErrors"], json({"request with lead byte 0x0B", "unknown command 0x42"}));
  EXPECT_EQ(d["requests"][0]["hex"], "0B55");
  EXPECT_EQ(d["requests"][1]["hex"], "0A4207");
}

TEST_F(CommandsTest, RequestsAreRecordedWithTheirMeaningfulLength) {
  Open({{"timing", {{"replyMs", 5}}}});
  g_virtual.now = 12;
  Ask({0x0A, 0x55});
  Ask({0x0A, 0x00, 0x01});
  Ask(Info(1, {1, 2, 3, 0, 4, 0, 0, 0}, 0x1234, 0xAABBCCDD));
  const json& requests = Record()["devices"]["d"]["requests"];
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0], json({{"atMs", 12.0}, {"hex", "0A55"}}));
  EXPECT_EQ(requests[1], json({{"atMs", 17.0}, {"hex", "0A0001"}}));
  EXPECT_EQ(requests[2]["hex"], "0A0101000000010203000400000034120000DDCCBBAA");
}

}  // namespace
