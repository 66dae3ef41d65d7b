// The "cv" report: device name, Controller and App version records.
#include "dfu/version_report.h"

#include "image/image_store.h"
#include "output/log_printers.h"
#include "support/dfu_fixture.h"
#include "transport/hid_link.h"

namespace {

TEST_F(DfuTest, ReportOfAMouse) {
  LoadDevice({{"typeCode", "0x00"},
              {"controllerVersion", "0102030004000000"},
              {"appVersion", "0A00100178563412"}});
  Open();
  EXPECT_TRUE(ReadDeviceVersions());
  EXPECT_EQ(TakeOutput(),
            ">> Read the firmware version of the device\n"
            ">> Device information: 1K 520x Mouse\n"
            ">> Read Controller Firmware version information\n"
            ">> : Version: 01-02-0003-00000004\n"
            ">> : Major: 0x01\n"
            ">> : Minor: 0x02\n"
            ">> : Revision: 0x0003\n"
            ">> : Version Build Num: 0x00000004\n"
            ">> Read App Firmware version information\n"
            ">> : Version: 0A-00-0110-12345678\n"
            ">> : Major: 0x0A\n"
            ">> : Minor: 0x00\n"
            ">> : Revision: 0x0110\n"
            ">> : Version Build Num: 0x12345678\n");
  EXPECT_EQ(Requests(), (std::vector<std::string>{"0A56", "0A0000", "0A0001"}));
  EXPECT_EQ(HidLink.device, nullptr);
}

TEST_F(DfuTest, DeviceNamesByTypeCode) {
  const std::pair<int, const char*> known[] = {
      {0x00, "1K 520x Mouse"},           {0x01, "4K 520x Mouse"},
      {0x02, "8K 520x Mouse"},           {0x03, "520x Keyboard"},
      {0x10, "1K 520x Mouse Dongle"},    {0x11, "4K 520x Mouse Dongle"},
      {0x12, "1K 520x Keyboard Dongle"}, {0x20, "1K 3410 Mouse Dongle"},
      {0x21, "1K 3410 Keyboard Dongle"}};
  for (const auto& entry : known)
    EXPECT_STREQ(DeviceNameForType(entry.first), entry.second);
  for (int code : {0x04, 0x0F, 0x13, 0x1F, 0x22, 0xFF}) {
    EXPECT_STREQ(DeviceNameForType(static_cast<uint8_t>(code)), "Unknown") << code;
  }
  LoadDevice({{"typeCode", "0x7E"}});
  Open();
  char name[24] = {};
  EXPECT_TRUE(QueryDeviceName(name));
  EXPECT_STREQ(name, "Unknown");
}

TEST_F(DfuTest, FailedControllerReadEndsTheReport) {
  LoadDevice({{"faults", {{{"command", "0x00"}, {"action", "wrongSelector"}}}}});
  Open();
  g_virtual.now = 1000;
  EXPECT_FALSE(ReadDeviceVersions());
  EXPECT_EQ(TakeOutput(),
            ">> Read the firmware version of the device\n"
            ">> Device information: 1K 520x Mouse\n"
            ">> Read Controller Firmware version information\n"
            ">> : Execution failed! (0.001s, 1.002s)\n");
  EXPECT_EQ(HidLink.device, nullptr);
}

TEST_F(DfuTest, NameFailureOnlyDropsTheNameLineAndLoggingPlaysNoPart) {
  LoadDevice({{"faults", {{{"command", "0x56"}, {"action", "wrongCommand"}}}},
              {"appVersion", "FFFFFFFFFFFFFFFF"}});
  Open();
  LogEnabled = 0;
  UiLanguage = 0;
  // Without the name both versions are still read.
  EXPECT_TRUE(ReadDeviceVersions());
  std::string out = TakeOutput();
  EXPECT_EQ(out.find("1K 520x"), std::string::npos);
  EXPECT_EQ(out.substr(0, 34), u8">> 读取设备固件版本信息\n");
  EXPECT_NE(out.find(u8">> 读取 App 固件版本信息\n>> : Version: FF-FF-FFFF-FFFFFFFF\n"),
            std::string::npos);
  EXPECT_NE(out.find(">> : Version Build Num: 0xFFFFFFFF\n"), std::string::npos);
}

TEST_F(DfuTest, VersionReadCopiesOnlyIntoRoom) {
  LoadDevice({{"controllerVersion", "0102030004000000"}});
  Open();
  uint8_t out[8] = {};
  int32_t length = 4;
  EXPECT_TRUE(ReadVersionInfo(0, out, &length));
  EXPECT_EQ(length, 4);
  EXPECT_EQ(out[0], 0);
  EXPECT_TRUE(ReadVersionInfo(0, nullptr, &length));
  length = 8;
  EXPECT_TRUE(ReadVersionInfo(0, out, &length));
  EXPECT_EQ(length, 8);
  EXPECT_EQ(FormatVersionText(out), "01-02-0003-00000004");
}

}  // namespace
