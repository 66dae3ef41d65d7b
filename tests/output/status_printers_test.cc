// The status lines carried from the device procedures into the log.
#include "output/status_printers.h"

#include <gtest/gtest.h>

#include "image/image_store.h"
#include "output/log_printers.h"
#include "support/output_test.h"
#include "support/virtual_platform.h"

namespace {

using StatusMessagesTest = OutputTest;

TEST_F(StatusMessagesTest, NothingWithLoggingOff) {
  LogEnabled = 0;
  PrintDeviceWait(DeviceWaitLine::kQueryConnected, "x");
  PrintWaitReason(kWaitRestart, true, 20000);
  PrintFirmwareKind(ImagePart::kWhole, 0, false);
  PrintDownloadFailure(1, 2);
  PrintStepHeading(Msg::kRestartDevice);
  EXPECT_EQ(TakeOutput(), "");
}

TEST_F(StatusMessagesTest, DeviceWaitLeadInsAndNameUnchanged) {
  g_virtual.now = 900;
  PrintDeviceWait(DeviceWaitLine::kQueryConnected, "Quorvel \"Mouse\" \\x");
  PrintDeviceWait(static_cast<DeviceWaitLine>(2), "a");
  PrintDeviceWait(DeviceWaitLine::kWaitToConnect, "b");
  EXPECT_EQ(TakeOutput(),
            ">>: Query connected device: \"Quorvel \"Mouse\" \\x\"\n"
            ">>: Query connected device: \"a\"\n"
            ">>: Wait to connect to the device: \"b\"\n");
  EXPECT_EQ(StepStartTime, 0);
  UiLanguage = 0;
  PrintDeviceWait(DeviceWaitLine::kWaitToConnect, "b");
  EXPECT_EQ(TakeOutput(),
            ">>\xEF\xBC\x9A\xE7\xAD\x89\xE5\xBE\x85\xE8\xBF\x9E\xE6\x8E\xA5\xE5\x88\xB0"
            "\xE8\xAE\xBE\xE5\xA4\x87\xEF\xBC\x9A\"b\"\n");
}

TEST_F(StatusMessagesTest, WaitReasonsWithWholeSecondsAndStepRestart) {
  g_virtual.now = 4321;
  PrintWaitReason(kWaitRestart, false, 10000);
  PrintWaitReason(kWaitRestart, true, 20000);
  PrintWaitReason(kWaitForcedMode, true, 2500);
  PrintWaitReason(kWaitBootloader, false, 999);
  PrintWaitReason(static_cast<WaitKind>(7), false, 10000);
  EXPECT_EQ(
      TakeOutput(),
      ">> Wait to restart connection (Timeout: 10 s)\n"
      ">> Wait for the reboot verification to update the version information (Timeout: 20 s)\n"
      ">> Wait until the forced upgrade mode is complete (Timeout: 2 s)\n"
      ">> Wait to restart to the bootloader run (Timeout: 0 s)\n"
      ">> Wait to restart to the bootloader run (Timeout: 10 s)\n");
  EXPECT_EQ(StepStartTime, 4321);
  UiLanguage = 0;
  PrintWaitReason(kWaitRestart, true, 20000);
  EXPECT_EQ(TakeOutput(), u8">> 等待重启校验更新版本信息 (超时时间: 20 s)\n");
}

TEST_F(StatusMessagesTest, FirmwareKindTable) {
  PrintFirmwareKind(ImagePart::kWhole, 0, true);
  PrintFirmwareKind(ImagePart::kApp, 0, true);
  PrintFirmwareKind(ImagePart::kController, 1, true);
  PrintFirmwareKind(ImagePart::kController, 1, false);
  PrintFirmwareKind(ImagePart::kWhole, 0, false);
  EXPECT_EQ(TakeOutput(),
            ">> : Firmware information:Controller + App\n"
            ">> : Firmware information:App\n"
            ">> : Firmware information:Controller\n"
            ">> : Firmware information:App\n"
            ">> : Firmware information:Controller\n");
}

TEST_F(StatusMessagesTest, DownloadFailureHasEightDigitsAndTimes) {
  CommandStartTime = 0;
  StepStartTime = 4781;
  g_virtual.now = 6031;
  PrintDownloadFailure(131072, 4096);
  PrintDownloadFailure(0x1234, 0);
  EXPECT_EQ(
      TakeOutput(),
      ">> : Program file size:0x00020000 Download failed Location:0x00001000 (1.250s, 6.031s)\n"
      ">> : Program file size:0x00001234 Download failed Location:0x00000000 (1.250s, 6.031s)\n");
}

}  // namespace
