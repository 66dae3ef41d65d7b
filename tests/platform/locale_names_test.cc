// Reading the language and the console encoding from POSIX locale names,
// and a hidraw node's USB port chain from its sysfs path.
#include "platform/locale_names.h"

#include <gtest/gtest.h>

#include "platform/usb_port.h"

namespace {

TEST(LocaleNames, LanguagePart) {
  EXPECT_EQ(LocaleLanguagePart("zh_CN.UTF-8"), "zh");
  EXPECT_EQ(LocaleLanguagePart("ZH.GBK"), "zh");
  EXPECT_EQ(LocaleLanguagePart("zh@latin"), "zh");
  EXPECT_EQ(LocaleLanguagePart("C"), "c");
  EXPECT_EQ(LocaleLanguagePart("POSIX"), "posix");
  EXPECT_EQ(LocaleLanguagePart("en_US"), "en");
  EXPECT_EQ(LocaleLanguagePart(""), "");
}

TEST(LocaleNames, GbkFamilyCodesetsGiveGbk) {
  for (const char* name : {"zh_CN.GBK", "zh_CN.gb2312", "zh_CN.GB-18030", "zh_CN.cp936",
                           "zh_CN.EUC-CN", "zh_CN.euc_cn@x"}) {
    EXPECT_EQ(LocaleEncoding(name), ConsoleEncoding::kGbk) << name;
  }
  for (const char* name :
       {"zh_CN.UTF-8", "zh_CN", "C", "", "en_US.ISO-8859-1", "zh_TW.BIG5", "gbk"}) {
    EXPECT_EQ(LocaleEncoding(name), ConsoleEncoding::kUtf8) << name;
  }
}

TEST(UsbPort, HidrawNodeOnlyForHidrawPaths) {
  EXPECT_EQ(HidrawNodeOfPath("/dev/hidraw0"), "hidraw0");
  EXPECT_EQ(HidrawNodeOfPath("/dev/hidraw123"), "hidraw123");
  for (const char* path :
       {"/dev/hidraw", "/dev/hidraw1/", "/dev/hidraw-e2e-1", "/dev/hidraw1a", "hidraw1",
        "/dev/usb/hiddev0", "/tmp/../dev/hidraw1", "\\\\?\\hid#vid_248a&pid_8266#x", ""}) {
    EXPECT_EQ(HidrawNodeOfPath(path), "") << path;
  }
}

TEST(UsbPort, PortChains) {
  for (const char* port : {"1-2", "1-2.3", "3-10.4.1", "12-1"})
    EXPECT_TRUE(IsPortChain(port)) << port;
  for (const char* text : {"", "1", "1-", "-2", "usb1", "1-2.", "1-.2", "1-2..3", "1-2:1.0", "a-2",
                           "1-2.x", "0003:248A"}) {
    EXPECT_FALSE(IsPortChain(text)) << text;
  }
}

TEST(UsbPort, DeepestUsbDeviceOfTheSysfsPath) {
  // A dongle on port 3 of a hub on port 2 of bus 1.
  EXPECT_EQ(PortFromSysfsPath("/sys/devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2.3/1-2.3:1.1/"
                              "0003:248A:8266.0004/hidraw/hidraw7"),
            "1-2.3");
  // The HID device above the node ("hidrawN/device").
  EXPECT_EQ(PortFromSysfsPath("/sys/devices/pci0000:00/0000:00:14.0/usb3/3-1/3-1:1.0/"
                              "0003:046D:C52B.0001"),
            "3-1");
  // Bluetooth, I2C and uhid devices have no USB device above them.
  EXPECT_EQ(PortFromSysfsPath("/sys/devices/virtual/misc/uhid/0005:046D:B019.0005/hidraw/hidraw2"),
            "");
  EXPECT_EQ(PortFromSysfsPath("/sys/devices/platform/AMDI0010:00/i2c-0/i2c-ELAN0001:00/"
                              "0018:04F3:3195.0003/hidraw/hidraw1"),
            "");
  EXPECT_EQ(PortFromSysfsPath(""), "");
}

}  // namespace
