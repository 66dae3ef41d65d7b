// Listing the attached interfaces through the emulator: the settle pause,
// the vendor, product and interface filters, and the entries built from
// hidapi's records.
#include <hidapi.h>

#include <string>
#include <vector>

#include "transport/transport_fixture.h"

namespace {

nlohmann::json Device(const std::string& name, const std::string& path, const char* vendorId,
                      const char* productId, int interfaceNumber) {
  nlohmann::json device = DeviceJson(name, path);
  device["vendorId"] = vendorId;
  device["productId"] = productId;
  device["interface"] = interfaceNumber;
  return device;
}

std::vector<std::string> Paths(const DeviceList& list) {
  std::vector<std::string> paths;
  for (const DeviceEntry& entry : list.entries)
    paths.push_back(entry.path);
  return paths;
}

using PathList = std::vector<std::string>;

class DeviceDiscoveryTest : public TransportTest {
 protected:
  // Two interfaces of the device, one of its paths without an interface,
  // and an unrelated device, in this order on the bus.
  void LoadMixedBus() {
    LoadDevices({Device("if0", "/dev/hidraw0", "0x248A", "0x8266", 0),
                 Device("if1", "/dev/hidraw1", "0x248A", "0x8266", 1),
                 Device("noIf", "/dev/hidraw2", "0x248A", "0x8266", -1),
                 Device("other", "/dev/hidraw3", "0x1234", "0x5678", 1)});
  }

  void SetFilter(uint16_t vendorId, uint16_t productId, int32_t interfaceNumber) {
    CurrentDevices.vendorId = vendorId;
    CurrentDevices.productId = productId;
    CurrentDevices.interfaceNumber = interfaceNumber;
  }
};

TEST_F(DeviceDiscoveryTest, EveryRefreshRequestsARescanThenWaitsTheSettleTime) {
  LoadMixedBus();
  g_virtual.now = 1000;
  EXPECT_EQ(RefreshDevices(&KnownDevices, DeviceFilter::kEveryInterface), 4);
  EXPECT_EQ(g_virtual.sleeps, std::vector<int32_t>({200}));
  EXPECT_EQ(g_virtual.rescans, std::vector<int32_t>({1000}));
  EXPECT_EQ(g_virtual.now, 1200);
  EXPECT_EQ(RefreshDevices(&CurrentDevices, DeviceFilter::kListFilter), 4);
  EXPECT_EQ(g_virtual.sleeps, std::vector<int32_t>({200, 200}));
  EXPECT_EQ(g_virtual.rescans, std::vector<int32_t>({1000, 1200}));
}

TEST_F(DeviceDiscoveryTest, EnumerationSleepsOnlyForAPositiveSettleTime) {
  LoadMixedBus();
  for (int32_t settle : {0, -5}) {
    hid_device_info* records = EnumerateHidDevices(0x248A, 0x8266, settle);
    int count = 0;
    for (hid_device_info* r = records; r != nullptr; r = r->next)
      ++count;
    hid_free_enumeration(records);
    EXPECT_EQ(count, 3) << settle;
  }
  EXPECT_TRUE(g_virtual.sleeps.empty());
  EXPECT_TRUE(g_virtual.rescans.empty());
  EXPECT_EQ(g_virtual.now, 0);
  hid_free_enumeration(EnumerateHidDevices(0, 0, 30));
  EXPECT_EQ(g_virtual.sleeps, std::vector<int32_t>({30}));
  EXPECT_EQ(g_virtual.rescans, std::vector<int32_t>({0}));
}

TEST_F(DeviceDiscoveryTest, FilterSelectsVendorProductAndInterface) {
  LoadMixedBus();
  SetFilter(0x248A, 0x8266, -1);
  EXPECT_EQ(RefreshDevices(&CurrentDevices, DeviceFilter::kListFilter), 3);
  EXPECT_EQ(Paths(CurrentDevices), PathList({"/dev/hidraw0", "/dev/hidraw1", "/dev/hidraw2"}));
  EXPECT_EQ(CurrentDevices.entries.size(), 3u);

  SetFilter(0x248A, 0x8266, 1);
  EXPECT_EQ(RefreshDevices(&CurrentDevices, DeviceFilter::kListFilter), 1);
  EXPECT_EQ(Paths(CurrentDevices), PathList({"/dev/hidraw1"}));
  EXPECT_EQ(CurrentDevices.entries.size(), 1u);

  SetFilter(0x248A, 0x8266, 0);
  EXPECT_EQ(RefreshDevices(&CurrentDevices, DeviceFilter::kListFilter), 1);
  EXPECT_EQ(Paths(CurrentDevices), PathList({"/dev/hidraw0"}));

  SetFilter(0, 0, 1);
  EXPECT_EQ(RefreshDevices(&CurrentDevices, DeviceFilter::kListFilter), 2);
  EXPECT_EQ(Paths(CurrentDevices), PathList({"/dev/hidraw1", "/dev/hidraw3"}));

  SetFilter(0x1234, 0, -1);
  EXPECT_EQ(RefreshDevices(&CurrentDevices, DeviceFilter::kListFilter), 1);
  EXPECT_EQ(Paths(CurrentDevices), PathList({"/dev/hidraw3"}));

  // Without the filter every interface is listed, in bus order.
  SetFilter(0x248A, 0x8266, 1);
  EXPECT_EQ(RefreshDevices(&CurrentDevices, DeviceFilter::kEveryInterface), 4);
  EXPECT_EQ(Paths(CurrentDevices),
            PathList({"/dev/hidraw0", "/dev/hidraw1", "/dev/hidraw2", "/dev/hidraw3"}));
  EXPECT_EQ(CurrentDevices.entries.size(), 4u);
  EXPECT_EQ(CurrentDevices.interfaceNumber, 1);
}

TEST_F(DeviceDiscoveryTest, RefreshReplacesWhatTheListHeld) {
  LoadDevices({Device("a", "/dev/hidraw0", "0x248A", "0x8266", 0)});
  AppendDevice(&KnownDevices, DeviceEntry());
  AppendDevice(&KnownDevices, DeviceEntry());
  EXPECT_EQ(RefreshDevices(&KnownDevices, DeviceFilter::kEveryInterface), 1);
  EXPECT_EQ(Paths(KnownDevices), PathList({"/dev/hidraw0"}));
  EXPECT_EQ(KnownDevices.entries.size(), 1u);

  SetFilter(0x9999, 0, -1);
  AppendDevice(&CurrentDevices, DeviceEntry());
  EXPECT_EQ(RefreshDevices(&CurrentDevices, DeviceFilter::kListFilter), 0);
  EXPECT_TRUE(CurrentDevices.entries.empty());
  EXPECT_EQ(CurrentDevices.entries.size(), 0u);
}

TEST_F(DeviceDiscoveryTest, EntryCarriesTheRecordsFields) {
  nlohmann::json device =
      Device("mouse",
             "\\\\?\\hid#vid_248a&pid_8266&mi_01&col02#7&1b2c3d&0&0001#{4d1e55b2-f16f-11cf-88cb-"
             "001111000030}",
             "0x248A", "0x8266", 1);
  device["release"] = "0x0102";
  device["manufacturer"] = "Quorvel";
  device["product"] = "Mouse";
  LoadDevices({device, Device("bare", "/dev/hidraw5", "0x0001", "0x00AB", -1)});
  ASSERT_EQ(RefreshDevices(&KnownDevices, DeviceFilter::kEveryInterface), 2);

  const DeviceEntry& mouse = KnownDevices.entries.front();
  EXPECT_EQ(mouse.displayName, "Quorvel Mouse(HID\\VID_248A&PID_8266&REV_0102&MI_01&Col02)");
  EXPECT_TRUE(mouse.hasDisplayName);
  EXPECT_EQ(mouse.path, device["path"].get<std::string>());
  EXPECT_TRUE(mouse.hasPath);
  EXPECT_EQ(mouse.vendorId, 0x248A);
  EXPECT_EQ(mouse.productId, 0x8266);
  EXPECT_EQ(mouse.interfaceNumber, 1);
  EXPECT_TRUE(mouse.hasManufacturer);
  EXPECT_EQ(mouse.manufacturer, "Quorvel");
  EXPECT_TRUE(mouse.hasProduct);
  EXPECT_EQ(mouse.product, "Mouse");

  const DeviceEntry& bare = KnownDevices.entries.back();
  EXPECT_EQ(bare.displayName, "(HID\\VID_0001&PID_00AB&REV_0102)");
  EXPECT_EQ(bare.interfaceNumber, -1);
  EXPECT_FALSE(bare.hasManufacturer);
  EXPECT_FALSE(bare.hasProduct);
}

TEST_F(DeviceDiscoveryTest, DeviceStringsAreKeptOnlyWhenTheyFit) {
  nlohmann::json longest = Device("longest", "/dev/hidraw0", "0x248A", "0x8266", 0);
  longest["manufacturer"] = std::string(254, 'm');
  longest["product"] = "";
  nlohmann::json tooLong = Device("tooLong", "/dev/hidraw1", "0x248A", "0x8266", 1);
  tooLong["manufacturer"] = std::string(255, 'm');
  tooLong["product"] = "\xE9\xBC\xA0\xE6\xA0\x87";  // "mouse" in Chinese
  LoadDevices({longest, tooLong});
  g_virtual.encoding = ConsoleEncoding::kGbk;
  ASSERT_EQ(RefreshDevices(&KnownDevices, DeviceFilter::kEveryInterface), 2);

  const DeviceEntry& first = KnownDevices.entries.front();
  EXPECT_TRUE(first.hasManufacturer);
  EXPECT_EQ(first.manufacturer, std::string(254, 'm'));
  EXPECT_FALSE(first.hasProduct);

  const DeviceEntry& second = KnownDevices.entries.back();
  EXPECT_FALSE(second.hasManufacturer);
  EXPECT_TRUE(second.hasProduct);
  EXPECT_EQ(second.product, "\xCA\xF3\xB1\xEA");
  EXPECT_EQ(second.displayName, "\xCA\xF3\xB1\xEA(HID\\VID_248A&PID_8266&REV_0102)");
}

TEST_F(DeviceDiscoveryTest, StringWithoutANarrowFormIsLeftOut) {
  nlohmann::json device = Device("a", "/dev/hidraw0", "0x248A", "0x8266", 0);
  device["manufacturer"] = "Quorvel \xF0\x9F\x96\xB1";  // no GBK form
  device["product"] = "Mouse";
  LoadDevices({device});
  g_virtual.encoding = ConsoleEncoding::kGbk;
  ASSERT_EQ(RefreshDevices(&KnownDevices, DeviceFilter::kEveryInterface), 1);
  const DeviceEntry& entry = KnownDevices.entries.front();
  EXPECT_FALSE(entry.hasManufacturer);
  EXPECT_EQ(entry.product, "Mouse");
  EXPECT_EQ(entry.displayName, "Mouse(HID\\VID_248A&PID_8266&REV_0102)");
}

}  // namespace
