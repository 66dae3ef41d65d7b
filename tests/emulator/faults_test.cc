// Injected faults: each fires once, on its occurrence, and shapes exactly the
// reply, acknowledgement, write or presence it names.
#include "raw_host.h"
#include "support/emulated_device_fixture.h"

namespace {

using namespace rawhost;
using nlohmann::json;

class FaultsTest : public RawDeviceTest {
 protected:
  void Open(const json& faults, const json& extra = json::object()) {
    json device = Device(extra);
    device["faults"] = faults;
    OpenDevice(device);
  }
  void Begin(const Bytes& image) {
    Ask({0x0A, 0x20, 0x00});
    Ask(Info(0, Bytes(8, 0), static_cast<uint32_t>(image.size()), Crc(image)));
    Ask({0x0A, 0x02});
    Read(dev_, 3000);
  }
};

TEST_F(FaultsTest, NoReplyHitsTheNamedStageAndOccurrenceOnly) {
  Open({{{"command", "0x02"}, {"stage", 1}, {"action", "noReply"}},
        {{"command", "0x06"}, {"occurrence", 2}, {"action", "noReply"}}},
       {{"timing", {{"eraseMs", 500}}}});
  Ask(Info(0, Bytes(8, 0), 10, 0));
  EXPECT_TRUE(Ask({0x0A, 0x02}).empty());                   // the acknowledgement is lost
  EXPECT_EQ(Read(dev_, 3000), Padded({0x0A, 0x02, 0x00}));  // the completion still comes
  EXPECT_EQ(Ask({0x0A, 0x02}), Padded({0x0A, 0x02}));       // spent
  Read(dev_, 3000);
  EXPECT_EQ(Ask({0x0A, 0x06, 0x00}).size(), 64u);
  EXPECT_TRUE(Ask({0x0A, 0x06, 0x01}).empty());
  EXPECT_EQ(Ask({0x0A, 0x06, 0x01}).size(), 64u);
}

TEST_F(FaultsTest, DelayedCompletionCountsFromTheAcknowledgement) {
  Open({{{"command", "0x02"}, {"stage", 2}, {"action", "delay"}, {"ms", 2900}},
        {{"command", "0x03"}, {"stage", 2}, {"action", "delay"}, {"ms", 1100}}},
       {{"timing", {{"replyMs", 1}}}});
  Ask(Info(0, Bytes(8, 0), 10, 0));
  EXPECT_EQ(Ask({0x0A, 0x02}).size(), 64u);
  int32_t acked = Now();
  EXPECT_EQ(Read(dev_, 3000), Padded({0x0A, 0x02, 0x00}));
  EXPECT_EQ(Now(), acked + 2900);
  EXPECT_EQ(Ask({0x0A, 0x03}).size(), 64u);
  EXPECT_TRUE(Read(dev_, 1000).empty());
  EXPECT_EQ(Read(dev_, 200)[1], 0x03);  // arrives late, still queued
}

TEST_F(FaultsTest, ReplyBytesAreBentAsNamed) {
  Open({{{"command", "0x20"}, {"action", "status"}, {"value", 1}},
        {{"command", "0x01"}, {"action", "wrongCommand"}},
        {{"command", "0x56"}, {"action", "wrongLead"}},
        {{"command", "0x00"}, {"action", "wrongSelector"}},
        {{"command", "0x03"}, {"action", "status"}, {"value", 2}}},
       {{"typeCode", "0x11"}});
  EXPECT_EQ(Ask({0x0A, 0x20, 0x00}), Padded({0x0A, 0x20, 0x01}));
  EXPECT_EQ(Ask(Info(0, Bytes(8, 0), 10, 0)), Padded({0x0A, 0x00, 0x00, 0x00}));
  EXPECT_EQ(Ask({0x0A, 0x56}), Padded({0x0B, 0x56, 0x11}));
  EXPECT_EQ(Ask({0x0A, 0x00, 0x01}), Padded({0x0A, 0x00, 0x00}));
  // A status fault on verify bends the completion, not the acknowledgement.
  Bytes image(10, 0);
  Ask({0x0A, 0x02});
  Read(dev_, 3000);
  Send(dev_, Frame(image, 0));
  Read(dev_, 100);
  EXPECT_EQ(Ask({0x0A, 0x03}), Padded({0x0A, 0x03}));
  EXPECT_EQ(Read(dev_, 1000), Padded({0x0A, 0x03, 0x02}));
}

TEST_F(FaultsTest, GarbageNeverCarriesTheLeadByte) {
  Open({{{"command", "0x55"}, {"action", "garbage"}}});
  Bytes reply = Ask({0x0A, 0x55});
  ASSERT_EQ(reply.size(), 64u);
  EXPECT_NE(reply[0], 0x0A);
  EXPECT_NE(reply, Padded({reply[0]}));  // not just zeros behind it
  EXPECT_EQ(Ask({0x0A, 0x55}), Padded({0x0A, 0x55}));
}

TEST_F(FaultsTest, StrayReportComesRightBeforeTheReply) {
  Open({{{"command", "0x20"}, {"action", "stray"}, {"hex", "0A9900"}}});
  EXPECT_EQ(Ask({0x0A, 0x20, 0x00}), Padded({0x0A, 0x99}));
  EXPECT_EQ(Read(dev_, 200), Padded({0x0A, 0x20, 0x00}));
}

TEST_F(FaultsTest, AcknowledgementFaultsHitTheirBlock) {
  Open({{{"block", 0}, {"action", "ackWrong"}},
        {{"block", 1}, {"action", "ackDelay"}, {"ms", 1100}},
        {{"block", 3}, {"action", "ackMissing"}}},
       {{"blockSize", 62}});
  Bytes image = Pattern(62 * 5);
  Begin(image);
  std::vector<Bytes> replies;
  std::vector<int32_t> times;
  for (size_t sent = 0; sent < image.size(); sent += 62) {
    int32_t t = Now();
    Send(dev_, Frame(image, sent));
    replies.push_back(Read(dev_, 1000));
    times.push_back(Now() - t);
  }
  EXPECT_EQ(replies[0], Padded({0x0A, 0x10, 0x01, 0x00}));
  EXPECT_TRUE(replies[1].empty());                          // 1100 ms: too late for this read
  EXPECT_EQ(replies[2], Padded({0x0A, 0x10, 0x01, 0x00}));  // the late one, queued
  EXPECT_EQ(times[2], 100);
  EXPECT_EQ(replies[3], Padded({0x0A, 0x10, 0x02, 0x00}));
  EXPECT_EQ(replies[4], Padded({0x0A, 0x10, 0x04, 0x00}));  // block 3 never acknowledged
  EXPECT_EQ(Record()["devices"]["d"]["transfers"][0]["acks"], 4);
}

TEST_F(FaultsTest, DeviceVanishesAfterSomeDataBytes) {
  Open({{{"action", "vanish"}, {"afterDataBytes", 124}}});
  Bytes image = Pattern(400);
  Begin(image);
  EXPECT_EQ(Send(dev_, Frame(image, 0)), 65);
  EXPECT_EQ(Send(dev_, Frame(image, 62)), 65);
  EXPECT_EQ(Send(dev_, Frame(image, 124)), -1);
  EXPECT_EQ(hid_enumerate(0, 0), nullptr);
  const json& d = Record()["devices"]["d"];
  EXPECT_EQ(d["transfers"][0]["receivedLength"], 124);
  EXPECT_EQ(d["final"]["onBus"], false);
  EXPECT_EQ(d["presence"][0]["event"], "leave");
}

TEST_F(FaultsTest, DeviceVanishesAtATimeAndMayComeBack) {
  Open({{{"action", "vanishAtMs"}, {"ms", 5000}, {"awayMs", 1000}}});
  g_virtual.now = 4900;
  EXPECT_EQ(Ask({0x0A, 0x55}).size(), 64u);
  g_virtual.now = 5000;
  EXPECT_EQ(Send(dev_, {0x0A, 0x55}), -1);
  g_virtual.now = 6000;
  hid_close(dev_);
  dev_ = hid_open_path("/dev/hidraw0");
  ASSERT_NE(dev_, nullptr);
  EXPECT_EQ(Ask({0x0A, 0x55}).size(), 64u);
}

TEST_F(FaultsTest, WriteFailsOnceAfterTheGivenNumberOfWrites) {
  Open({{{"action", "writeFails"}, {"afterWrites", 2}}});
  EXPECT_EQ(Send(dev_, {0x0A, 0x55}), 65);
  EXPECT_EQ(Send(dev_, {0x0A, 0x55}), 65);
  EXPECT_EQ(Send(dev_, {0x0A, 0x55}), -1);
  EXPECT_EQ(Send(dev_, {0x0A, 0x55}), 65);
  EXPECT_EQ(Record()["devices"]["d"]["requests"].size(), 3u);
}

TEST_F(FaultsTest, MalformedFaultsAreRejected) {
  std::string error;
  json device = Device({{"faults", {{{"command", "0x02"}, {"action", "delay"}}}}});
  EXPECT_FALSE(emu::LoadScenario(Scenario(device), &error));
  EXPECT_NE(error.find("needs \"ms\""), std::string::npos) << error;
  device["faults"] = {{{"action", "explode"}}};
  EXPECT_FALSE(emu::LoadScenario(Scenario(device), &error));
  EXPECT_NE(error.find("explode"), std::string::npos) << error;
}

}  // namespace
