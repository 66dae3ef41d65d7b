// Receiving firmware as the device does it: information, start with its
// erase time, data frames acknowledged at the device's own block size, echo
// mode, verify against the device's own CRC-32, and the passthrough device.
#include "raw_host.h"
#include "support/emulated_device_fixture.h"

namespace {

using namespace rawhost;
using nlohmann::json;

struct Ack {
  size_t sent;
  Bytes reply;
};

class TransferTest : public RawDeviceTest {
 protected:
  void Open(const json& extra) { OpenDevice(Device(extra)); }
  // Upgrade mode, information and start, each answered as required.
  void Begin(const Bytes& image, uint32_t crc, uint32_t headerWord = 0) {
    ASSERT_EQ(Ask({0x0A, 0x20, 0x00}), Padded({0x0A, 0x20, 0x00}));
    Bytes version = {1, 2, 3, 0, 4, 0, 0, 0};
    Bytes info = Ask(Info(headerWord, version, static_cast<uint32_t>(image.size()), crc));
    ASSERT_EQ(Bytes(info.begin(), info.begin() + 3), (Bytes{0x0A, 0x01, 0x00}));
    ASSERT_EQ(Ask({0x0A, 0x02}), Padded({0x0A, 0x02}));
    ASSERT_EQ(Read(dev_, 3000), Padded({0x0A, 0x02, 0x00}));
  }
  // Sends every frame and notes each acknowledgement with the bytes sent
  // before it; frames are not held back for acknowledgements.
  std::vector<Ack> Stream(const Bytes& image) {
    std::vector<Ack> acks;
    for (size_t sent = 0; sent < image.size();) {
      EXPECT_EQ(Send(dev_, Frame(image, sent)), 65);
      sent += std::min<size_t>(62, image.size() - sent);
      Bytes reply = Read(dev_, 50);
      if (!reply.empty())
        acks.push_back({sent, reply});
    }
    return acks;
  }
  Bytes Verify() {
    EXPECT_EQ(Ask({0x0A, 0x03}), Padded({0x0A, 0x03}));
    return Read(dev_, 1000);
  }
};

Bytes AckOf(int index) {
  return Padded({0x0A, 0x10, static_cast<uint8_t>(index), static_cast<uint8_t>(index >> 8)});
}

TEST_F(TransferTest, AcknowledgementsFollowTheDeviceBlockSize) {
  struct Case {
    int blockSize;
    size_t length;
    std::vector<std::pair<size_t, int>> acks;  // bytes sent, block index
  };
  const Case cases[] = {
      {256, 300, {{300, 0}}},
      {256, 200, {{200, 0}}},
      {256, 512, {{310, 0}, {512, 1}}},
      {128, 300, {{186, 0}, {300, 1}}},
      {384, 1000, {{434, 0}, {806, 1}, {1000, 2}}},
      {62, 124, {{62, 0}, {124, 1}}},
  };
  for (const Case& c : cases) {
    Open({{"blockSize", c.blockSize}});
    Bytes image = Pattern(c.length);
    Begin(image, Crc(image));
    std::vector<Ack> acks = Stream(image);
    ASSERT_EQ(acks.size(), c.acks.size()) << c.blockSize << "/" << c.length;
    for (size_t i = 0; i < acks.size(); ++i) {
      EXPECT_EQ(acks[i].sent, c.acks[i].first) << c.blockSize << "/" << c.length;
      EXPECT_EQ(acks[i].reply, AckOf(c.acks[i].second)) << c.blockSize << "/" << c.length;
    }
    EXPECT_EQ(Verify(), Padded({0x0A, 0x03, 0x00}));
    EXPECT_EQ(Device0()["transfers"][0]["acks"], c.acks.size());
    hid_close(dev_);
    dev_ = nullptr;
  }
}

TEST_F(TransferTest, StartAndVerifyTakeTheirConfiguredTime) {
  Open({{"timing", {{"replyMs", 2}, {"eraseMs", 700}, {"verifyMs", 90}, {"blockWriteMs", 3}}}});
  Bytes image = Pattern(100);
  ASSERT_EQ(Ask({0x0A, 0x20, 0x00}).size(), 64u);
  ASSERT_EQ(Ask(Info(0, Bytes(8, 0), 100, Crc(image)))[2], 0x00);
  int32_t start = Now();
  EXPECT_EQ(Ask({0x0A, 0x02}), Padded({0x0A, 0x02}));
  EXPECT_EQ(Now(), start + 2);
  EXPECT_EQ(Read(dev_, 3000), Padded({0x0A, 0x02, 0x00}));
  EXPECT_EQ(Now(), start + 702);
  ASSERT_EQ(Send(dev_, Frame(image, 0)), 65);
  ASSERT_EQ(Send(dev_, Frame(image, 62)), 65);
  int32_t last = Now();
  EXPECT_EQ(Read(dev_, 1000), AckOf(0));
  EXPECT_EQ(Now(), last + 3);
  int32_t verify = Now();
  EXPECT_EQ(Verify(), Padded({0x0A, 0x03, 0x00}));
  EXPECT_EQ(Now(), verify + 92);
}

TEST_F(TransferTest, GoodTransferIsVerifiedAndRecorded) {
  Open({{"firmwareKind", 1}});
  Bytes image = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
  ASSERT_EQ(Ask({0x0A, 0x20, 0x00}).size(), 64u);
  EXPECT_EQ(Ask(Info(5, {1, 2, 3, 0, 4, 0, 0, 0}, 9, 0xCBF43926)),
            Padded({0x0A, 0x01, 0x00, 0x01}));  // byte 3: this device's firmware kind
  ASSERT_EQ(Ask({0x0A, 0x02}).size(), 64u);
  ASSERT_EQ(Read(dev_, 3000).size(), 64u);
  EXPECT_EQ(Stream(image).size(), 1u);
  EXPECT_EQ(Verify(), Padded({0x0A, 0x03, 0x00}));
  json t = Device0()["transfers"][0];
  EXPECT_EQ(t["target"], "device");
  EXPECT_EQ(t["headerWord"], 5);
  EXPECT_EQ(t["version"], "01-02-0003-00000004");
  EXPECT_EQ(t["declaredLength"], 9);
  EXPECT_EQ(t["declaredCrc32"], "0xCBF43926");
  EXPECT_EQ(t["receivedLength"], 9);
  EXPECT_EQ(t["receivedCrc32"], "0xCBF43926");
  EXPECT_EQ(t["receivedSha256"],
            "15e2b0d3c33891ebb0f1ef609ec419420c20e320ce94c65fbc8c3312448eb225");
  EXPECT_EQ(t["blockSize"], 256);
  EXPECT_EQ(t["verified"], true);
  EXPECT_EQ(t["part"], "app");
  EXPECT_EQ(Device0()["dataFrames"], 1);
  EXPECT_EQ(Device0()["requests"][3]["hex"], "0A10313233343536373839");
}

TEST_F(TransferTest, WrongCrcOrShortTransferFailsVerification) {
  Open(json::object());
  Bytes image = Pattern(300);
  Begin(image, Crc(image) ^ 1);
  Stream(image);
  EXPECT_EQ(Verify(), Padded({0x0A, 0x03, 0x01}));
  EXPECT_EQ(Device0()["transfers"][0]["verified"], false);

  Begin(image, Crc(image));
  Stream(Bytes(image.begin(), image.begin() + 248));  // one frame short
  EXPECT_EQ(Verify(), Padded({0x0A, 0x03, 0x01}));
  EXPECT_EQ(Device0()["transfers"][1]["receivedLength"], 248);
}

TEST_F(TransferTest, EchoModeReturnsEachFrame) {
  Open({{"blockSize", 62}, {"echo", true}});
  Bytes image = Pattern(100);
  Begin(image, Crc(image));
  std::vector<Ack> acks = Stream(image);
  ASSERT_EQ(acks.size(), 2u);
  EXPECT_EQ(acks[0].reply, Padded(Frame(image, 0)));
  EXPECT_EQ(acks[1].reply, Padded(Frame(image, 62)));
  EXPECT_EQ(Verify(), Padded({0x0A, 0x03, 0x00}));
}

TEST_F(TransferTest, HostWithAnotherBlockSizeWaitsInVain) {
  Open({{"blockSize", 256}});
  Bytes image = Pattern(512);
  Begin(image, Crc(image));
  for (size_t sent = 0; sent < 186; sent += 62)
    ASSERT_EQ(Send(dev_, Frame(image, sent)), 65);
  // A host with block size 128 expects an acknowledgement now; none comes.
  EXPECT_TRUE(Read(dev_, 1000).empty());
}

TEST_F(TransferTest, OutOfOrderRequestsAreProtocolErrors) {
  Open(json::object());
  Bytes image = Pattern(70);
  EXPECT_TRUE(Ask(Frame(image, 0)).empty());
  EXPECT_EQ(Ask({0x0A, 0x02}), Padded({0x0A, 0x02}));
  EXPECT_EQ(Read(dev_, 3000), Padded({0x0A, 0x02, 0x01}));
  EXPECT_EQ(Verify(), Padded({0x0A, 0x03, 0x01}));
  EXPECT_EQ(Device0()["protocolErrors"],
            json({"data frame before start", "start before firmware information",
                  "verify before firmware information"}));
}

TEST_F(TransferTest, FramesOutsideTheTransferSpoilIt) {
  Open(json::object());
  Bytes image = Pattern(70);
  ASSERT_EQ(Ask({0x0A, 0x20, 0x00}).size(), 64u);
  ASSERT_EQ(Ask(Info(0, Bytes(8, 0), 70, Crc(image)))[2], 0);
  EXPECT_TRUE(Ask(Frame(image, 0)).empty());  // before start
  ASSERT_EQ(Ask({0x0A, 0x02}).size(), 64u);
  ASSERT_EQ(Read(dev_, 3000)[2], 0);
  EXPECT_EQ(Stream(image).size(), 1u);
  EXPECT_EQ(Verify(), Padded({0x0A, 0x03, 0x01}));

  Begin(image, Crc(image));
  Stream(image);
  EXPECT_TRUE(Ask(Frame(image, 0)).empty());  // beyond the declared length
  EXPECT_EQ(Verify(), Padded({0x0A, 0x03, 0x01}));
  EXPECT_EQ(Device0()["protocolErrors"],
            json({"data frame before start", "data frame beyond declared length"}));
  EXPECT_EQ(Device0()["transfers"][1]["receivedLength"], 70);
  EXPECT_EQ(Device0()["requests"].back()["hex"], "0A03");
}

TEST_F(TransferTest, PassthroughTransferGoesToTheDeviceBehind) {
  Open({{"blockSize", 256},
        {"controllerVersion", "0102030004000000"},
        {"passthrough", {{"blockSize", 62}, {"echo", true}}}});
  Bytes image = Pattern(130);
  ASSERT_EQ(Ask({0x0A, 0x07, 0x00}), Padded({0x0A, 0x07, 0x00}));
  EXPECT_EQ(Ask(Info(0, Bytes(8, 0), 130, Crc(image))), Padded({0x0A, 0x01, 0x00, 0x00}));
  ASSERT_EQ(Ask({0x0A, 0x02}).size(), 64u);
  ASSERT_EQ(Read(dev_, 3000)[2], 0);
  std::vector<Ack> acks = Stream(image);
  ASSERT_EQ(acks.size(), 3u);  // echoes at the passthrough device's block size
  EXPECT_EQ(acks[2].reply, Padded(Frame(image, 124)));
  EXPECT_EQ(Verify(), Padded({0x0A, 0x03, 0x00}));
  ASSERT_EQ(Ask({0x0A, 0x07, 0x01}).size(), 64u);
  const json& d = Device0();
  EXPECT_EQ(d["transfers"][0]["target"], "passthrough");
  EXPECT_EQ(d["transfers"][0]["blockSize"], 62);
  EXPECT_EQ(d["transfers"][0]["verified"], true);
  EXPECT_EQ(d["final"]["passthroughImageSha256"], d["transfers"][0]["receivedSha256"]);
  EXPECT_EQ(d["final"]["controllerVersion"], "01-02-0003-00000004");
  EXPECT_TRUE(d["protocolErrors"].empty());  // no upgrade mode needed behind
}

}  // namespace
