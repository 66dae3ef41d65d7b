// Requests and reply judging of the handshake, restarts, upgrade mode and
// forced upgrade mode, judged from the device's record.
#include "dfu/mode_control.h"

#include "dfu/command_exchange.h"
#include "output/log_printers.h"
#include "platform/platform.h"
#include "support/dfu_fixture.h"
#include "transport/device_list.h"
#include "transport/hid_link.h"

namespace {

using Strings = std::vector<std::string>;

TEST_F(DfuTest, HandshakeForms) {
  LoadDevice();
  Open();
  EXPECT_EQ(Handshake(), 1);
  EXPECT_EQ(Requests(), Strings{"0A55"});

  LoadDevice({{"handshake", {{"status", 0}}}});
  Open();
  EXPECT_EQ(Handshake(), 2);

  LoadDevice({{"faults", {{{"command", "0x55"}, {"action", "wrongCommand"}}}}});
  Open();
  EXPECT_EQ(Handshake(), 0);

  LoadDevice({{"faults", {{{"command", "0x55"}, {"action", "noReply"}}}}});
  Open();
  int32_t before = g_virtual.now;
  EXPECT_EQ(Handshake(), -1);
  EXPECT_EQ(g_virtual.now - before, 200);
}

TEST_F(DfuTest, StatusRecordNeedsTheMarkerAndCheck) {
  const uint8_t valid[] = {0x55, 0xAA, 0x02, 0x01};
  const uint8_t badCheck[] = {0x55, 0xAA, 0x02, 0x02};
  const uint8_t zero[] = {0x55, 0xAA, 0x00, 0xFF};
  const uint8_t badMarker[] = {0x55, 0xAB, 0x00, 0x00};
  EXPECT_TRUE(ReadStatusRecord(valid).valid);
  EXPECT_EQ(ReadStatusRecord(valid).value, 2);
  EXPECT_FALSE(ReadStatusRecord(badCheck).valid);
  EXPECT_TRUE(ReadStatusRecord(zero).valid);
  EXPECT_EQ(ReadStatusRecord(zero).value, 0);
  EXPECT_FALSE(ReadStatusRecord(badMarker).valid);
}

TEST_F(DfuTest, EnterUpgradeModeJudgesEveryByte) {
  LoadDevice();
  Open();
  EXPECT_TRUE(EnterUpgradeMode());
  EXPECT_EQ(Requests(), Strings{"0A2000"});
  EXPECT_EQ(
      TakeOutput(),
      ">> The firmware upgrade mode is displayed\n>> : Successful execution! (0.001s, 0.001s)\n");

  for (const char* action : {"wrongLead", "wrongCommand"}) {
    LoadDevice({{"faults", {{{"command", "0x20"}, {"action", action}}}}});
    Open();
    EXPECT_FALSE(EnterUpgradeMode()) << action;
  }
  LoadDevice({{"faults", {{{"command", "0x20"}, {"action", "status"}, {"value", 1}}}}});
  Open();
  EXPECT_FALSE(EnterUpgradeMode());
  EXPECT_NE(TakeOutput().find(">> : Execution failed!"), std::string::npos);
}

TEST_F(DfuTest, CommandsWithoutStatusByteIgnoreIt) {
  LoadDevice({{"faults",
               {{{"command", "0x06"}, {"action", "status"}, {"value", 1}},
                {{"command", "0x06"}, {"occurrence", 2}, {"action", "status"}, {"value", 1}},
                {{"command", "0x04"}, {"action", "status"}, {"value", 0xFF}}}}});
  Open();
  uint8_t state = 7;
  EXPECT_TRUE(EnterForcedUpgradeMode(&state));
  EXPECT_EQ(state, 0xFF);
  EXPECT_TRUE(LeaveForcedUpgradeMode());
  EXPECT_TRUE(RestartDevice());
  EXPECT_EQ(Requests(), (Strings{"0A0600", "0A0601", "0A0400"}));
  EXPECT_EQ(HidLink.device, nullptr);
}

TEST_F(DfuTest, ForcedUpgradeStates) {
  for (int value : {0, 1, 2}) {
    LoadDevice({{"forcedState", value}});
    Open();
    uint8_t state = 0x55;
    EXPECT_TRUE(EnterForcedUpgradeMode(&state));
    EXPECT_EQ(state, value);
  }
  LoadDevice({{"forcedState", nullptr}});
  Open();
  uint8_t state = 0x55;
  EXPECT_TRUE(EnterForcedUpgradeMode(&state));
  EXPECT_EQ(state, 0xFF);
  LoadDevice({{"faults", {{{"command", "0x06"}, {"action", "wrongCommand"}}}}});
  Open();
  state = 0x55;
  EXPECT_FALSE(EnterForcedUpgradeMode(&state));
  EXPECT_EQ(state, 0x55);
  TakeOutput();
  LeaveForcedUpgradeMode();
  EXPECT_EQ(TakeOutput().substr(0, 32), ">> Exit the forced upgrade mode\n");
}

TEST_F(DfuTest, RestartSnapshotsTheBusAndClosesTheLink) {
  nlohmann::json other = Device({{"name", "other"}, {"path", "/dev/hidraw7"}});
  LoadDevices({Device(), other});
  Open();
  EXPECT_TRUE(RestartDevice());
  EXPECT_EQ(Requests(), Strings{"0A0400"});
  EXPECT_EQ(HidLink.device, nullptr);
  EXPECT_FALSE(HidLink.hasPath);
  ASSERT_EQ(KnownDevices.entries.size(), 1u);
  EXPECT_EQ(KnownDevices.entries.front().path, "/dev/hidraw7");
  // The restarted device leaves the bus and comes back.
  EXPECT_EQ(Record()["devices"]["dev"]["restarts"].size(), 1u);
}

TEST_F(DfuTest, RestartWithoutReplyKeepsTheLinkOpen) {
  // A device that neither answers nor leaves the bus.
  LoadDevice({{"protocol", false}});
  Open();
  EXPECT_FALSE(RestartDevice());
  EXPECT_NE(HidLink.device, nullptr);
  EXPECT_EQ(KnownDevices.entries.size(), 0u);  // refreshed before the request, without the device
  // One that restarts without a word: it leaves the bus within the window,
  // and the restart is taken as done.
  LoadDevice({{"faults", {{{"command", "0x04"}, {"action", "noReply"}}}}});
  Open();
  EXPECT_TRUE(RestartDevice());
  EXPECT_EQ(HidLink.device, nullptr);

  LoadDevice({{"faults", {{{"command", "0x04"}, {"action", "wrongCommand"}}}}});
  Open();
  EXPECT_FALSE(RestartDevice());
  EXPECT_EQ(HidLink.device, nullptr);  // it answered: it is leaving
}

TEST_F(DfuTest, RestartOfADeviceThatLeftBeforeItsReplyWasRead) {
  // The reply comes 1 ms after the request and the device leaves 20 ms after
  // it; this process is run again only 30 ms later, when the host already
  // reports the interface gone. The request was delivered: the restart
  // succeeded, and the link is closed as after a reply.
  LoadDevice({{"timing", {{"replyMs", 1}, {"usbFrameUs", 0}}},
              {"reboot", {{"leaveMs", 20}, {"awayMs", 400}}}});
  Open();
  WakeLateOnce(30);
  EXPECT_TRUE(RestartDevice());
  EXPECT_EQ(HidLink.device, nullptr);
  EXPECT_EQ(Requests(), Strings{"0A0400"});
  EXPECT_EQ(Record()["devices"]["dev"]["restarts"].size(), 1u);
}

TEST_F(DfuTest, LateReplyStaysQueuedForTheNextRequest) {
  LoadDevice({{"faults", {{{"command", "0x20"}, {"action", "delay"}, {"ms", 300}}}}});
  Open();
  EXPECT_FALSE(EnterUpgradeMode());
  SleepMs(200);
  // The late 0A 20 00 is read as the reply to the next request, whose own
  // reply then answers the one after.
  EXPECT_EQ(Handshake(), 0);
  EXPECT_EQ(Handshake(), 1);
}

TEST_F(DfuTest, StrayInputIsTakenAsTheReply) {
  LoadDevice({{"faults", {{{"command", "0x20"}, {"action", "stray"}, {"hex", "0A9900"}}}}});
  Open();
  EXPECT_FALSE(EnterUpgradeMode());
  LoadDevice({{"faults", {{{"command", "0x20"}, {"action", "stray"}, {"hex", "0A2000"}}}}});
  Open();
  EXPECT_TRUE(EnterUpgradeMode());
}

TEST_F(DfuTest, NothingPrintedWithLoggingOff) {
  LoadDevice();
  Open();
  LogEnabled = 0;
  EXPECT_TRUE(EnterUpgradeMode());
  EXPECT_TRUE(EnterForcedUpgradeMode(nullptr));
  EXPECT_TRUE(RestartDevice());
  EXPECT_EQ(TakeOutput(), "");
}

TEST_F(DfuTest, ChineseHeadings) {
  LoadDevice();
  Open();
  UiLanguage = 0;
  EXPECT_TRUE(EnterForcedUpgradeMode(nullptr));
  EXPECT_EQ(TakeOutput(), u8">> 进入强制升级模式\n>> ：执行成功！ (0.001s, 0.001s)\n");
}

}  // namespace
