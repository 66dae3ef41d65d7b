// Firmware information, start, the data frames with their block
// acknowledgements, and verification, judged from the device's record.
#include "dfu/firmware_transfer.h"

#include <zlib.h>

#include <regex>

#include "console/arguments.h"
#include "console/loaded_images.h"
#include "dfu/mode_control.h"
#include "firmware_builder.h"
#include "image/image_store.h"
#include "output/console_encoding.h"
#include "output/event_stream.h"
#include "output/log_printers.h"
#include "support/dfu_fixture.h"

namespace {

using Strings = std::vector<std::string>;

// One download: the image length and block size, the payload sizes of the
// frames the device must receive and its number of acknowledgements.
struct DownloadCase {
  int32_t length;
  int bsize;
  std::vector<int> payloads;
  int acks;
};

// The device fixture; the download-frame cases take a DownloadCase as their
// parameter.
class FirmwareTransferTest : public DfuTest, public ::testing::WithParamInterface<DownloadCase> {};

// Payload sizes of the data frames the device received.
std::vector<int> FramePayloads(const Strings& requests) {
  std::vector<int> sizes;
  for (const std::string& hex : requests) {
    if (hex.compare(0, 4, "0A10") == 0)
      sizes.push_back(static_cast<int>(hex.size() / 2) - 2);
  }
  return sizes;
}

// The transfer of that part of the loaded program, paced as DfuSettings say.
bool RunTransfer(RunRecord* record, ImagePart part = ImagePart::kWhole) {
  const TransferImage transfer = SelectTransferImage(LoadedImages.program, part);
  return EnterUpgradeMode() && SendFirmwareInfo(transfer) && StartUpgrade() &&
         DownloadFirmware(*transfer.image, PacingOf(CurrentCommand()), record) && VerifyFirmware();
}

TransferImage WholeImage() {
  return SelectTransferImage(LoadedImages.program, ImagePart::kWhole);
}

TEST_F(FirmwareTransferTest, InformationRequestExample) {
  LoadDevice();
  Open();
  ProgramHeader.headerWord = 1;
  const uint8_t version[8] = {1, 2, 3, 0, 4, 0, 0, 0};
  memcpy(ProgramHeader.version, version, 8);
  static const uint8_t kByte = 0;
  ProgramImage.data = &kByte;
  ProgramImage.length = 4660;
  ProgramImage.crc32 = 0xAABBCCDD;
  SendFirmwareInfo(WholeImage());
  EXPECT_EQ(Requests(), Strings{"0A0101000000010203000400000034120000DDCCBBAA"});
}

TEST_F(FirmwareTransferTest, FirmwareKindFromReplyForOnePartImages) {
  for (int kind : {0, 1}) {
    LoadDevice({{"firmwareKind", kind}});
    Open();
    UseOnePartImage(300);
    EXPECT_TRUE(EnterUpgradeMode());
    TakeOutput();
    EXPECT_TRUE(SendFirmwareInfo(WholeImage()));
    std::string out = TakeOutput();
    EXPECT_NE(
        out.find(std::string(">> : Firmware information:") + (kind ? "App\n" : "Controller\n")),
        std::string::npos);
  }
  LoadDevice({{"faults", {{{"command", "0x01"}, {"action", "status"}, {"value", 1}}}}});
  Open();
  UseOnePartImage(300);
  TakeOutput();
  EXPECT_FALSE(SendFirmwareInfo(WholeImage()));
  EXPECT_EQ(TakeOutput().find("Firmware information"), std::string::npos);
}

TEST_P(FirmwareTransferTest, DownloadFramesAndAcknowledgementsFollowTheBlockSize) {
  const DownloadCase& c = GetParam();
  LoadDevice({{"blockSize", c.bsize}});
  Open();
  UseOnePartImage(c.length);
  DfuSettings.bsize = static_cast<uint16_t>(c.bsize);
  EXPECT_TRUE(RunTransfer(&record));
  EXPECT_EQ(FramePayloads(Requests()), c.payloads);
  const nlohmann::json& transfer = Transfer(0);
  EXPECT_EQ(transfer["acks"], c.acks);
  EXPECT_EQ(transfer["receivedLength"], c.length);
  EXPECT_EQ(transfer["verified"], true);
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, FirmwareTransferTest,
    ::testing::Values(
        DownloadCase{300, 256, {62, 62, 62, 62, 52}, 1},
        DownloadCase{200, 256, {62, 62, 62, 14}, 1},
        DownloadCase{512, 256, {62, 62, 62, 62, 62, 62, 62, 62, 16}, 2},
        DownloadCase{300, 128, {62, 62, 62, 62, 52}, 2},
        DownloadCase{
            1000, 384, {62, 62, 62, 62, 62, 62, 62, 62, 62, 62, 62, 62, 62, 62, 62, 62, 8}, 3},
        DownloadCase{124, 62, {62, 62}, 2}));

TEST_F(FirmwareTransferTest, EchoedFramesAcceptedOnlyWithBlockSize62) {
  LoadDevice({{"blockSize", 62}, {"echo", true}});
  Open();
  UseOnePartImage(124);
  DfuSettings.bsize = 62;
  EXPECT_TRUE(RunTransfer(&record));

  LoadDevice({{"blockSize", 62}, {"echo", true}});
  Open();
  UseOnePartImage(124);
  DfuSettings.bsize = 128;
  EXPECT_FALSE(RunTransfer(&record));
}

TEST_F(FirmwareTransferTest, HostWithAnotherBlockSizeFails) {
  LoadDevice({{"blockSize", 256}});
  Open();
  UseOnePartImage(600);
  DfuSettings.bsize = 128;
  EXPECT_FALSE(RunTransfer(&record));
}

TEST_F(FirmwareTransferTest, IntervalPausesOnlyBetweenUnacknowledgedFrames) {
  LoadDevice({{"blockSize", 256}});
  Open();
  UseOnePartImage(300);
  DfuSettings.intv = 5;
  EXPECT_TRUE(EnterUpgradeMode() && SendFirmwareInfo(WholeImage()) && StartUpgrade());
  size_t first = Requests().size();
  int32_t start = g_virtual.now;
  EXPECT_TRUE(DownloadFirmware(ProgramImage, PacingOf(Current()), &record));
  for (size_t i = first + 1; i < first + 5; ++i) {
    EXPECT_GE(RequestTime(i) - RequestTime(i - 1), 5.0) << i;
  }
  // Four pauses, then the acknowledgement of the last frame: nothing after it.
  EXPECT_LT(g_virtual.now - start, 5 * 4 + 10);
}

TEST_F(FirmwareTransferTest, AcknowledgementWindowIsOneSecond) {
  LoadDevice({{"faults", {{{"block", 0}, {"action", "ackDelay"}, {"ms", 900}}}}});
  Open();
  UseOnePartImage(300);
  EXPECT_TRUE(RunTransfer(&record));
  LoadDevice({{"faults", {{{"block", 0}, {"action", "ackDelay"}, {"ms", 1100}}}}});
  Open();
  UseOnePartImage(300);
  EXPECT_FALSE(RunTransfer(&record));
}

TEST_F(FirmwareTransferTest, FailureLineReportsSizeAndLocation) {
  LoadDevice({{"blockSize", 128}, {"faults", {{{"block", 0}, {"action", "ackWrong"}}}}});
  Open();
  UseOnePartImage(300);
  DfuSettings.bsize = 128;
  EXPECT_TRUE(EnterUpgradeMode() && SendFirmwareInfo(WholeImage()) && StartUpgrade());
  TakeOutput();
  EXPECT_FALSE(DownloadFirmware(ProgramImage, PacingOf(Current()), &record));
  std::string out = TakeOutput();
  EXPECT_NE(out.find(">> : Execution failed!"), std::string::npos);
  EXPECT_NE(out.find(">> : Program file size:0x0000012C Download failed Location:0x000000BA ("),
            std::string::npos);
  EXPECT_NE(out.find("\r>> : Download progress:  62%\n"), std::string::npos);
}

TEST_F(FirmwareTransferTest, ProgressTotalsInBothModes) {
  LoadDevice();
  Open();
  UseOnePartImage(512);
  EXPECT_TRUE(EnterUpgradeMode() && SendFirmwareInfo(WholeImage()) && StartUpgrade());
  TakeOutput();
  EXPECT_TRUE(DownloadFirmware(ProgramImage, PacingOf(Current()), &record));
  // Acknowledgements after 310 and 512 bytes; the final line repeats 100 %.
  const std::string expected =
      ">> Download firmware program\n"
      "\r>> : Download progress:   0%\r>> : Download progress:  60%"
      "\r>> : Download progress: 100%\r>> : Download progress: 100%\n"
      ">> : Successful execution! (0.002s, ";
  EXPECT_EQ(TakeOutput().substr(0, expected.size()), expected);

  LoadDevice();
  Open();
  UseOnePartImage(512);
  LogEnabled = 0;
  LastDownloadPercent = 0;
  EXPECT_TRUE(EnterUpgradeMode() && SendFirmwareInfo(WholeImage()) && StartUpgrade());
  EXPECT_TRUE(DownloadFirmware(ProgramImage, PacingOf(Current()), &record));
  // 512 of 563: the download fills about 90 % of the compact bar.
  EXPECT_EQ(TakeOutput(),
            "\r>> : Download progress:   0%\r>> : Download progress:  55%"
            "\r>> : Download progress:  90%");
}

TEST_F(FirmwareTransferTest, MissingImageFailsAtLocationZero) {
  LoadDevice();
  Open();
  EXPECT_FALSE(DownloadFirmware(ProgramImage, PacingOf(Current()), &record));
  std::string out = TakeOutput();
  EXPECT_NE(out.find("Program file size:0x00000000 Download failed Location:0x00000000"),
            std::string::npos);
  EXPECT_TRUE(Requests().empty());
}

TEST_F(FirmwareTransferTest, StartAndVerifyCompletionWindows) {
  LoadDevice(
      {{"faults", {{{"command", "0x02"}, {"stage", 2}, {"action", "delay"}, {"ms", 2900}}}}});
  Open();
  UseOnePartImage(300);
  EXPECT_TRUE(EnterUpgradeMode() && SendFirmwareInfo(WholeImage()));
  EXPECT_TRUE(StartUpgrade());

  LoadDevice(
      {{"faults", {{{"command", "0x03"}, {"stage", 2}, {"action", "delay"}, {"ms", 2900}}}}});
  Open();
  UseOnePartImage(300);
  EXPECT_TRUE(EnterUpgradeMode() && SendFirmwareInfo(WholeImage()) && StartUpgrade() &&
              DownloadFirmware(ProgramImage, PacingOf(Current()), &record));
  EXPECT_FALSE(VerifyFirmware());

  LoadDevice(
      {{"faults", {{{"command", "0x03"}, {"stage", 2}, {"action", "status"}, {"value", 1}}}}});
  Open();
  UseOnePartImage(300);
  EXPECT_FALSE(RunTransfer(&record));
}

TEST_F(FirmwareTransferTest, DeviceRejectsACorruptedCrc) {
  LoadDevice();
  Open();
  UseOnePartImage(700);
  ProgramImage.crc32 ^= 1;
  EXPECT_FALSE(RunTransfer(&record));
  EXPECT_EQ(Transfer(0)["verified"], false);
}

TEST_F(FirmwareTransferTest, TwoPartSelectionsSendTheRightBytes) {
  // A two-part image whose parts the test cuts by hand.
  std::vector<uint8_t> bytes = fwbuild::PseudoRandomBytes(0x20000 + 0x300, 9);
  TwoPartImage = true;
  ProgramImage.storage = bytes;
  ProgramImage.data = ProgramImage.storage.data();
  ProgramImage.length = static_cast<int32_t>(bytes.size());
  ProgramImage.crc32 =
      static_cast<uint32_t>(crc32(0, bytes.data(), static_cast<uInt>(bytes.size())));
  ControllerPart.data = ProgramImage.data;
  ControllerPart.length = 0x400;
  ControllerPart.crc32 = static_cast<uint32_t>(crc32(0, bytes.data(), 0x400));
  AppPart.data = ProgramImage.data + 0x20000;
  AppPart.length = 0x300;
  AppPart.crc32 = static_cast<uint32_t>(crc32(0, bytes.data() + 0x20000, 0x300));
  ProgramHeader.headerWord = 0;
  AppHeader.headerWord = 1;
  AppHeader.version[0] = 7;

  LoadDevice();
  Open();
  EXPECT_TRUE(RunTransfer(&record, ImagePart::kApp));
  EXPECT_EQ(Transfer(0)["receivedLength"], 0x300);
  EXPECT_EQ(Transfer(0)["headerWord"], 1);
  EXPECT_EQ(Transfer(0)["verified"], true);
  TakeOutput();

  LoadDevice();
  Open();
  EXPECT_TRUE(RunTransfer(&record, ImagePart::kController));
  EXPECT_EQ(Transfer(0)["receivedLength"], 0x400);
  EXPECT_NE(TakeOutput().find("Firmware information:Controller\n"), std::string::npos);

  LoadDevice();
  Open();
  EXPECT_TRUE(RunTransfer(&record, ImagePart::kWhole));
  EXPECT_EQ(Transfer(0)["receivedLength"], 0x20300);
  EXPECT_NE(TakeOutput().find("Firmware information:Controller + App\n"), std::string::npos);
}

}  // namespace

// --events lines of a download without their times.
std::string EventsWithoutTimes(const std::string& out) {
  return std::regex_replace(out, std::regex(",\"ms\":[0-9]+"), "");
}

// The stream shows what the device acknowledged: 0 % before the first
// frame, then at each acknowledged block; a failed block shows nothing more.
TEST_F(FirmwareTransferTest, EventsShowTheAcknowledgedPercentages) {
  struct Row {
    nlohmann::json device;
    bool success;
    std::string events;
  } rows[] = {
      {nlohmann::json::object(), true,
       "{\"event\":\"phase\",\"phase\":\"downloading\"}\n"
       "{\"event\":\"progress\",\"phase\":\"downloading\",\"percent\":0}\n"
       "{\"event\":\"progress\",\"phase\":\"downloading\",\"percent\":60}\n"
       "{\"event\":\"progress\",\"phase\":\"downloading\",\"percent\":100}\n"},
      {{{"faults", {{{"block", 1}, {"action", "ackWrong"}}}}},
       false,
       "{\"event\":\"phase\",\"phase\":\"downloading\"}\n"
       "{\"event\":\"progress\",\"phase\":\"downloading\",\"percent\":0}\n"
       "{\"event\":\"progress\",\"phase\":\"downloading\",\"percent\":60}\n"},
  };
  for (const Row& row : rows) {
    LoadDevice(row.device);
    Open();
    UseOnePartImage(512);
    EXPECT_TRUE(EnterUpgradeMode() && SendFirmwareInfo(WholeImage()) && StartUpgrade());
    TextOutputSuppressed = true;
    BeginEventStream(true);
    TakeOutput();
    EXPECT_EQ(DownloadFirmware(ProgramImage, PacingOf(Current()), &record), row.success);
    EXPECT_EQ(EventsWithoutTimes(TakeOutput()), row.events);
    EndEventStream();
    TextOutputSuppressed = false;
  }
}
