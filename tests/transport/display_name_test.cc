// The name a device is shown under: strings, IDs, interface and collection
// markers, the 256-byte budget, and device strings in the console encoding.
#include "transport/display_name.h"

#include <gtest/gtest.h>
#include <hidapi.h>

#include <string>

#include "support/virtual_platform.h"

namespace {

const char kWindowsPath[] =
    "\\\\?\\hid#vid_248a&pid_8266&mi_01&col02#7&1b2c3d&0&0001#{4d1e55b2-f16f-11cf-88cb-"
    "001111000030}";

class DisplayNameTest : public ::testing::Test {
 protected:
  DisplayNameTest() {
    record_.path = const_cast<char*>(path_.c_str());
    record_.vendor_id = 0x248A;
    record_.product_id = 0x8266;
    record_.release_number = 0x0102;
    record_.interface_number = 1;
  }

  std::string Name() {
    record_.path = const_cast<char*>(path_.c_str());
    record_.manufacturer_string =
        manufacturer_ ? const_cast<wchar_t*>(manufacturer_->c_str()) : nullptr;
    record_.product_string = product_ ? const_cast<wchar_t*>(product_->c_str()) : nullptr;
    return BuildDisplayName(record_);
  }

  void SetManufacturer(const std::wstring& text) {
    manufacturerText_ = text, manufacturer_ = &manufacturerText_;
  }
  void SetProduct(const std::wstring& text) { productText_ = text, product_ = &productText_; }

  ScopedVirtualPlatform platform_;
  hid_device_info record_ = {};
  std::string path_ = kWindowsPath;
  std::wstring manufacturerText_;
  std::wstring productText_;
  const std::wstring* manufacturer_ = nullptr;
  const std::wstring* product_ = nullptr;
};

TEST_F(DisplayNameTest, NamesManufacturerProductIdsAndMarkers) {
  SetManufacturer(L"Quorvel");
  SetProduct(L"Mouse");
  EXPECT_EQ(Name(), "Quorvel Mouse(HID\\VID_248A&PID_8266&REV_0102&MI_01&Col02)");
}

TEST_F(DisplayNameTest, MarkersAreFoundInAnyCaseAndWrittenInOneSpelling) {
  path_ = "\\\\?\\HID#VID_248A&PID_8266&MI_0A&COL0B#7&1B2C3D&0&0001#{x}";
  EXPECT_EQ(Name(), "(HID\\VID_248A&PID_8266&REV_0102&MI_0A&Col0B)");
  path_ = "\\\\?\\hid#vid_248a&pid_8266&Mi_0a&cOL0b#7&1b2c3d&0&0001#{x}";
  EXPECT_EQ(Name(), "(HID\\VID_248A&PID_8266&REV_0102&MI_0a&Col0b)");
  // Only the first occurrence counts.
  path_ = "/x&mi_02/&MI_03&col04&col05";
  EXPECT_EQ(Name(), "(HID\\VID_248A&PID_8266&REV_0102&MI_02&Col04)");
}

TEST_F(DisplayNameTest, PathWithoutMarkersGivesJustTheIds) {
  path_ = "/dev/hidraw0";
  record_.vendor_id = 0x1;
  record_.product_id = 0xAB;
  record_.release_number = 0;
  EXPECT_EQ(Name(), "(HID\\VID_0001&PID_00AB&REV_0000)");
  path_ = "/dev/hidraw0&col";  // nothing follows the marker
  EXPECT_EQ(Name(), "(HID\\VID_0001&PID_00AB&REV_0000&Col)");
}

TEST_F(DisplayNameTest, SpacingDependsOnWhichStringsThereAre) {
  path_ = "/dev/hidraw0";
  SetManufacturer(L"Quorvel");
  EXPECT_EQ(Name(), "Quorvel (HID\\VID_248A&PID_8266&REV_0102)");
  SetManufacturer(L"");
  SetProduct(L"Mouse");
  EXPECT_EQ(Name(), "Mouse(HID\\VID_248A&PID_8266&REV_0102)");
  manufacturer_ = nullptr;
  EXPECT_EQ(Name(), "Mouse(HID\\VID_248A&PID_8266&REV_0102)");
}

TEST_F(DisplayNameTest, ManufacturerMustFitWithItsTerminator) {
  path_ = "/dev/hidraw0";
  SetManufacturer(std::wstring(254, L'm'));
  SetProduct(L"P");
  // The manufacturer and its space use up the budget.
  EXPECT_EQ(Name(), std::string(254, 'm') + " ");
  SetManufacturer(std::wstring(255, L'm'));
  EXPECT_EQ(Name(), "P(HID\\VID_248A&PID_8266&REV_0102)");
}

TEST_F(DisplayNameTest, ProductMustBeShorterThanTheRoomLeft) {
  path_ = "/dev/hidraw0";
  SetManufacturer(L"A");
  // "A " leaves 254 bytes: the product with its terminator must need fewer.
  SetProduct(std::wstring(252, L'p'));
  // 254 bytes used: of the rest only the closing bracket still fits.
  EXPECT_EQ(Name(), "A " + std::string(252, 'p') + ")");
  SetProduct(std::wstring(253, L'p'));
  EXPECT_EQ(Name(), "A (HID\\VID_248A&PID_8266&REV_0102)");
}

TEST_F(DisplayNameTest, PiecesThatDoNotFitAreLeftOutWhole) {
  SetManufacturer(std::wstring(200, L'm'));
  SetProduct(std::wstring(40, L'p'));
  // 241 bytes used: the 31-byte ID piece does not fit, the markers do.
  EXPECT_EQ(Name(), std::string(200, 'm') + " " + std::string(40, 'p') + "&MI_01&Col02)");

  path_ = "/dev/hidraw0";
  product_ = nullptr;
  SetManufacturer(std::wstring(222, L'm'));
  EXPECT_EQ(Name(), std::string(222, 'm') + " (HID\\VID_248A&PID_8266&REV_0102)");
  EXPECT_EQ(Name().size(), 255u);
  SetManufacturer(std::wstring(223, L'm'));
  EXPECT_EQ(Name(), std::string(223, 'm') + " (HID\\VID_248A&PID_8266&REV_0102");
}

TEST_F(DisplayNameTest, StringsAreWrittenInTheConsoleEncoding) {
  path_ = "/dev/hidraw0";
  SetProduct(L"\u9f20\u6807");  // "mouse" in Chinese
  EXPECT_EQ(Name(), "\xE9\xBC\xA0\xE6\xA0\x87(HID\\VID_248A&PID_8266&REV_0102)");
  g_virtual.encoding = ConsoleEncoding::kGbk;
  EXPECT_EQ(Name(), "\xCA\xF3\xB1\xEA(HID\\VID_248A&PID_8266&REV_0102)");
}

TEST_F(DisplayNameTest, StringThatCannotBeConvertedIsLeftOut) {
  path_ = "/dev/hidraw0";
  g_virtual.encoding = ConsoleEncoding::kGbk;
  SetManufacturer(L"Quorvel \U0001F5B1");  // no GBK form
  SetProduct(L"Mouse");
  EXPECT_EQ(Name(), "Mouse(HID\\VID_248A&PID_8266&REV_0102)");
  g_virtual.encoding = ConsoleEncoding::kUtf8;
  EXPECT_EQ(Name(), "Quorvel \xF0\x9F\x96\xB1 Mouse(HID\\VID_248A&PID_8266&REV_0102)");
}

TEST_F(DisplayNameTest, NarrowDeviceTextConvertsOrRefuses) {
  std::string text = "before";
  EXPECT_FALSE(NarrowDeviceText(nullptr, &text));
  EXPECT_EQ(text, "before");
  ASSERT_TRUE(NarrowDeviceText(L"", &text));
  EXPECT_EQ(text, "");
  ASSERT_TRUE(NarrowDeviceText(L"Receiver \u00e9", &text));
  EXPECT_EQ(text, "Receiver \xC3\xA9");
  g_virtual.encoding = ConsoleEncoding::kGbk;
  ASSERT_TRUE(NarrowDeviceText(L"\u63a5\u6536\u5668", &text));  // "receiver"
  EXPECT_EQ(text, "\xBD\xD3\xCA\xD5\xC6\xF7");
  text = "kept";
  EXPECT_FALSE(NarrowDeviceText(L"\U0001F5B1", &text));
  EXPECT_EQ(text, "kept");
}

}  // namespace
