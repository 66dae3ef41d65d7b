// The emulator's "replace" fault, which the reply fuzzing rests on: the
// device answers one chosen request, or one block, with exactly the bytes
// given, and otherwise behaves as before.
#include "dfu/command_exchange.h"
#include "reliability/campaign_fixture.h"
#include "transport/hid_link.h"

namespace {

class ReplaceFault : public CampaignTest {
 protected:
  bool Load(const nlohmann::json& faults, std::string* error = nullptr) {
    nlohmann::json device = campaign::Dongle();
    device["faults"] = faults;
    std::string ignored;
    return emu::LoadScenario({{"devices", {device}}}, error != nullptr ? error : &ignored);
  }
  std::vector<uint8_t> Exchange(std::vector<uint8_t> request, int32_t replyLength = 16) {
    std::vector<uint8_t> reply(static_cast<size_t>(replyLength), 0xEE);
    int result = ExchangeCommand(request.data(), static_cast<int32_t>(request.size()), reply.data(),
                                 replyLength, 200);
    EXPECT_EQ(result, 1);
    return reply;
  }
};

TEST_F(ReplaceFault, AnswersTheChosenOccurrenceWithExactlyTheGivenBytes) {
  ASSERT_TRUE(Load(
      {{{"command", "0x55"}, {"occurrence", 2}, {"action", "replace"}, {"hex", "0A5555AA0201"}}}));
  ASSERT_EQ(OpenLink("/dev/hidraw1"), 1);
  std::vector<uint8_t> plain = {0x0A, 0x55, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(Exchange({0x0A, 0x55}, 8), plain);
  EXPECT_EQ(Exchange({0x0A, 0x55}, 8), (std::vector<uint8_t>{0x0A, 0x55, 0x55, 0xAA, 2, 1, 0, 0}));
  EXPECT_EQ(Exchange({0x0A, 0x55}, 8), plain);  // spent
}

TEST_F(ReplaceFault, ReplacesTheCompletionOfATwoStageCommand) {
  ASSERT_TRUE(
      Load({{{"command", "0x03"}, {"stage", 2}, {"action", "replace"}, {"hex", "0A0300"}}}));
  ASSERT_EQ(OpenLink("/dev/hidraw1"), 1);
  // Verify before any transfer: the device's own completion says 01.
  std::vector<uint8_t> first = Exchange({0x0A, 0x03}, 8);
  EXPECT_EQ(first[1], 0x03);
  std::vector<uint8_t> second(8, 0xEE);
  ASSERT_EQ(ReadReports(second.data(), 8, 1000), 1);
  EXPECT_EQ(second, (std::vector<uint8_t>{0x0A, 0x03, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(emu::Record()["devices"]["dongle"]["protocolErrors"].size(), 1u);
}

TEST_F(ReplaceFault, ReplacesABlockAcknowledgement) {
  ASSERT_TRUE(Load({{{"block", 1}, {"action", "replace"}, {"hex", "0A100700"}}}));
  ASSERT_EQ(OpenLink("/dev/hidraw1"), 1);
  std::vector<uint8_t> info(22, 0);
  info[0] = 0x0A;
  info[1] = 0x01;
  info[14] = 0x00;
  info[15] = 0x02;  // 512 bytes: two blocks of 256
  EXPECT_EQ(Exchange(info, 8)[2], 0x00);
  Exchange({0x0A, 0x02}, 8);
  std::vector<uint8_t> done(8);
  ASSERT_EQ(ReadReports(done.data(), 8, 3000), 1);
  std::vector<uint8_t> acks;
  for (int sent = 0; sent < 512; sent += 62) {
    std::vector<uint8_t> frame(2 + std::min(62, 512 - sent), 0x11);
    frame[0] = 0x0A;
    frame[1] = 0x10;
    ASSERT_EQ(WriteReports(frame.data(), static_cast<int32_t>(frame.size())), 1);
    std::vector<uint8_t> ack(4);
    if (ReadReports(ack.data(), 4, 50) == 1)
      acks.insert(acks.end(), ack.begin(), ack.end());
  }
  EXPECT_EQ(acks, (std::vector<uint8_t>{0x0A, 0x10, 0, 0, 0x0A, 0x10, 7, 0}));
}

TEST_F(ReplaceFault, ScenarioNamesExactlyOneTargetAndTheBytes) {
  std::string error;
  EXPECT_FALSE(Load({{{"command", "0x55"}, {"action", "replace"}}}, &error));
  EXPECT_NE(error.find("\"hex\""), std::string::npos) << error;
  EXPECT_FALSE(
      Load({{{"command", "0x55"}, {"block", 0}, {"action", "replace"}, {"hex", "0A"}}}, &error));
  EXPECT_NE(error.find("either"), std::string::npos) << error;
  EXPECT_FALSE(Load({{{"block", -1}, {"action", "replace"}, {"hex", "0A"}}}, &error));
  EXPECT_FALSE(
      Load({{{"command", "0x55"}, {"action", "replace"}, {"hex", std::string(130, 'A')}}}, &error));
  EXPECT_TRUE(Load({{{"command", "0x55"}, {"action", "replace"}, {"hex", ""}}}, &error)) << error;
}

}  // namespace
