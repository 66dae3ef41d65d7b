// What the program sees of the emulated bus through hid_enumerate and
// hid_open_path: filters, the fields of each record, both path styles,
// presence over time and devices that refuse to open.
#include <limits.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cwchar>

#include "raw_host.h"
#include "support/emulated_device_fixture.h"

namespace {

using namespace rawhost;
using nlohmann::json;

const char* kWindowsPath =
    "\\\\?\\hid#vid_248a&pid_8266&mi_01&col02#7&1b2c3d&0&0001#{4d1e55b2-f16f-11cf-88cb-"
    "001111000030}";

std::vector<std::string> Paths(hid_device_info* list) {
  std::vector<std::string> paths;
  for (hid_device_info* i = list; i; i = i->next)
    paths.push_back(i->path);
  return paths;
}

std::string Resolved(const std::string& path) {
  char* real = realpath(path.c_str(), nullptr);
  std::string out = real ? real : "";
  std::free(real);
  return out;
}

class EnumerationTest : public EmulatedDeviceTest {};

TEST_F(EnumerationTest, FilterMatchesVendorAndProductWithZeroAsAny) {
  LoadScenario({{"devices",
                 {Device({{"name", "a"}, {"path", "/dev/hidraw0"}}),
                  Device({{"name", "b"}, {"path", "/dev/hidraw1"}, {"productId", "0x8267"}}),
                  Device({{"name", "c"}, {"path", "/dev/hidraw2"}, {"vendorId", 0x1234}})}}});
  hid_device_info* all = hid_enumerate(0, 0);
  EXPECT_EQ(Paths(all), (std::vector<std::string>{"/dev/hidraw0", "/dev/hidraw1", "/dev/hidraw2"}));
  hid_free_enumeration(all);
  hid_device_info* vendor = hid_enumerate(0x248A, 0);
  EXPECT_EQ(Paths(vendor), (std::vector<std::string>{"/dev/hidraw0", "/dev/hidraw1"}));
  hid_free_enumeration(vendor);
  hid_device_info* exact = hid_enumerate(0x248A, 0x8267);
  EXPECT_EQ(Paths(exact), (std::vector<std::string>{"/dev/hidraw1"}));
  hid_free_enumeration(exact);
  hid_device_info* product = hid_enumerate(0, 0x8266);
  EXPECT_EQ(Paths(product), (std::vector<std::string>{"/dev/hidraw0", "/dev/hidraw2"}));
  hid_free_enumeration(product);
  EXPECT_EQ(hid_enumerate(0x9999, 0), nullptr);
}

TEST_F(EnumerationTest, RecordCarriesIdentityAndStrings) {
  LoadScenario(Scenario(Device({{"release", "0x0102"},
                                {"interface", 1},
                                {"manufacturer", "Quorvel"},
                                {"product", "Mäuschen"}})));
  hid_device_info* info = hid_enumerate(0, 0);
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info->vendor_id, 0x248A);
  EXPECT_EQ(info->product_id, 0x8266);
  EXPECT_EQ(info->release_number, 0x0102);
  EXPECT_EQ(info->interface_number, 1);
  EXPECT_EQ(info->usage_page, 0);
  EXPECT_EQ(info->usage, 0);
  EXPECT_EQ(info->bus_type, HID_API_BUS_USB);
  ASSERT_NE(info->manufacturer_string, nullptr);
  EXPECT_EQ(std::wstring(info->manufacturer_string), L"Quorvel");
  ASSERT_NE(info->product_string, nullptr);
  EXPECT_EQ(std::wstring(info->product_string), L"M\u00E4uschen");
  EXPECT_EQ(info->next, nullptr);
  hid_free_enumeration(info);
}

TEST_F(EnumerationTest, AbsentStringsAreNullAndInterfaceFollowsThePath) {
  LoadScenario({{"devices",
                 {Device({{"name", "linux"}, {"path", "/dev/hidraw5"}}),
                  Device({{"name", "win"}, {"path", kWindowsPath}}),
                  Device({{"name", "plain"}, {"path", "\\\\?\\hid#vid_1&pid_2#x"}})}}});
  hid_device_info* list = hid_enumerate(0, 0);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->manufacturer_string, nullptr);
  EXPECT_EQ(list->product_string, nullptr);
  EXPECT_EQ(list->interface_number, 0);
  ASSERT_NE(list->next, nullptr);
  EXPECT_STREQ(list->next->path, kWindowsPath);
  EXPECT_EQ(list->next->interface_number, 1);  // from "&mi_01"
  ASSERT_NE(list->next->next, nullptr);
  EXPECT_EQ(list->next->next->interface_number, -1);
  hid_free_enumeration(list);
}

TEST_F(EnumerationTest, OpenNeedsTheExactPathOfAPresentDevice) {
  LoadScenario(Scenario(Device({{"path", kWindowsPath}})));
  std::string upper = kWindowsPath;
  upper[4] = 'H';
  EXPECT_EQ(hid_open_path(upper.c_str()), nullptr);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(hid_open_path("/dev/hidraw9"), nullptr);
  hid_device* dev = hid_open_path(kWindowsPath);
  ASSERT_NE(dev, nullptr);
  hid_device* second = hid_open_path(kWindowsPath);  // hidapi opens for shared use
  ASSERT_NE(second, nullptr);
  hid_close(second);
  hid_close(dev);
}

TEST_F(EnumerationTest, OpenErrorsSetErrnoAndErrorText) {
  LoadScenario({{"devices",
                 {Device({{"name", "p"}, {"path", "/dev/hidraw0"}, {"openError", "permission"}}),
                  Device({{"name", "b"}, {"path", "/dev/hidraw1"}, {"openError", "busy"}})}}});
  errno = 0;
  EXPECT_EQ(hid_open_path("/dev/hidraw0"), nullptr);
  EXPECT_EQ(errno, EACCES);
  EXPECT_NE(std::wstring(hid_error(nullptr)).find(L"Permission denied"), std::wstring::npos);
  errno = 0;
  EXPECT_EQ(hid_open_path("/dev/hidraw1"), nullptr);
  EXPECT_EQ(errno, EBUSY);
  EXPECT_NE(std::wstring(hid_error(nullptr)).find(L"busy"), std::wstring::npos);
  hid_device_info* list = hid_enumerate(0, 0);  // both are still listed
  EXPECT_EQ(Paths(list).size(), 2u);
  hid_free_enumeration(list);
}

TEST_F(EnumerationTest, PresenceFollowsScenarioTime) {
  LoadScenario(Scenario(Device({{"appearAtMs", 300}, {"vanishAtMs", 900}})));
  EXPECT_EQ(hid_enumerate(0, 0), nullptr);
  g_virtual.now = 299;
  EXPECT_EQ(hid_enumerate(0, 0), nullptr);
  EXPECT_EQ(hid_open_path("/dev/hidraw0"), nullptr);
  g_virtual.now = 300;
  hid_device_info* list = hid_enumerate(0, 0);
  EXPECT_EQ(Paths(list), std::vector<std::string>{"/dev/hidraw0"});
  hid_free_enumeration(list);
  hid_device* dev = hid_open_path("/dev/hidraw0");
  ASSERT_NE(dev, nullptr);
  g_virtual.now = 900;
  EXPECT_EQ(hid_enumerate(0, 0), nullptr);
  EXPECT_EQ(Read(dev, 0), Bytes{0xEE});  // the handle died with the device
  EXPECT_EQ(Send(dev, {0x0A, 0x55}), -1);
  hid_close(dev);
  EXPECT_EQ(Record()["devices"]["d"]["final"]["onBus"], false);
}

// The presence list of a device in the record: "event@ms" in order.
std::vector<std::string> PresenceOf(const json& device) {
  std::vector<std::string> events;
  for (const json& p : device["presence"])
    events.push_back(p["event"].get<std::string>() + "@" + std::to_string(p["atMs"].get<int>()));
  return events;
}

// A dongle plugged, pulled and plugged again: off the bus between its plug
// windows, its handles dead at each pull, every plug and pull in the record.
TEST_F(EnumerationTest, PlugWindowsFollowScenarioTime) {
  LoadScenario(
      Scenario(Device({{"plugs", {{{"atMs", 100}, {"pullAtMs", 400}}, {{"atMs", 700}}}}})));
  const std::pair<int32_t, bool> kTimes[] = {{0, false},   {99, false},  {100, true}, {399, true},
                                             {400, false}, {699, false}, {700, true}, {5000, true}};
  hid_device* first = nullptr;
  for (const auto& [at, present] : kTimes) {
    g_virtual.now = at;
    hid_device_info* list = hid_enumerate(0, 0);
    EXPECT_EQ(list != nullptr, present) << at;
    hid_free_enumeration(list);
    if (at == 100)
      first = hid_open_path("/dev/hidraw0");
  }
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(Send(first, {0x0A, 0x55}), -1);  // died at the pull and stays dead
  hid_close(first);
  hid_device* second = hid_open_path("/dev/hidraw0");
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(Send(second, {0x0A, 0x55}), 65);
  EXPECT_EQ(Read(second, 100), Padded({0x0A, 0x55}));
  hid_close(second);
  EXPECT_EQ(PresenceOf(Record()["devices"]["d"]),
            (std::vector<std::string>{"plug@100", "pull@400", "plug@700"}));
  EXPECT_TRUE(Record()["scenarioErrors"].empty());
}

// The next dongle in a port: plugged leftMs after the one before was pulled
// for good. With lowestFreeNodes it takes the lowest free hidraw node (the
// pulled one's), otherwise its own; either way the sysfs tree leads from its
// node to the port, and the pulled dongle's node entry went with it.
TEST_F(EnumerationTest, ADevicePluggedAfterAnotherTakesItsPort) {
  for (const bool lowestFree : {true, false}) {
    SCOPED_TRACE(lowestFree);
    LoadScenario(
        {{"lowestFreeNodes", lowestFree},
         {"devices",
          {Device(
               {{"name", "a"}, {"port", "1-3.1"}, {"plugs", {{{"atMs", 0}, {"pullAtMs", 300}}}}}),
           Device({{"name", "keyboard"}, {"path", "/dev/hidraw1"}, {"port", "1-4"}}),
           Device({{"name", "b"},
                   {"path", "/dev/hidraw5"},
                   {"serial", "QVB"},
                   {"port", "1-3.1"},
                   {"plugAfter", {{"device", "a"}, {"leftMs", 200}}}})}}});
    const std::string root = emu::SysfsRoot();
    const std::string node = lowestFree ? "/dev/hidraw0" : "/dev/hidraw5";
    const int32_t t0 = g_virtual.now;
    hid_device_info* list = hid_enumerate(0x248A, 0x8266);
    EXPECT_EQ(Paths(list).size(), 2u);
    hid_free_enumeration(list);
    g_virtual.now = t0 + 300;
    hid_free_enumeration(hid_enumerate(0, 0));
    EXPECT_EQ(Resolved(root + "/class/hidraw/hidraw0"), "");
    g_virtual.now = t0 + 499;
    list = hid_enumerate(0, 0);
    EXPECT_EQ(Paths(list), std::vector<std::string>{"/dev/hidraw1"});
    hid_free_enumeration(list);
    g_virtual.now = t0 + 500;
    list = hid_enumerate(0, 0);
    EXPECT_EQ(Paths(list), (std::vector<std::string>{"/dev/hidraw1", node}));
    ASSERT_NE(list->next, nullptr);
    EXPECT_EQ(std::wstring(list->next->serial_number), L"QVB");
    hid_free_enumeration(list);
    EXPECT_NE(Resolved(root + "/class/hidraw/" + node.substr(5)).find("/1-3.1/1-3.1:1.0/0003:"),
              std::string::npos);
    const json& rec = Record();
    EXPECT_EQ(PresenceOf(rec["devices"]["a"]), (std::vector<std::string>{"plug@0", "pull@300"}));
    EXPECT_EQ(PresenceOf(rec["devices"]["b"]), std::vector<std::string>{"plug@500"});
    EXPECT_TRUE(rec["devices"]["keyboard"]["presence"].empty());
    EXPECT_TRUE(rec["scenarioErrors"].empty()) << rec["scenarioErrors"].dump();
  }
}

// A device plugged into a port that another still holds cannot happen on a
// real hub: when the loader cannot tell beforehand, the record says so.
TEST_F(EnumerationTest, ADevicePluggedIntoATakenPortIsAScenarioError) {
  LoadScenario({{"devices",
                 {Device({{"name", "a"}, {"port", "1-3.1"}}),
                  Device({{"name", "c"}, {"path", "/dev/hidraw1"}, {"vanishAtMs", 100}}),
                  Device({{"name", "b"},
                          {"path", "/dev/hidraw2"},
                          {"port", "1-3.1"},
                          {"plugAfter", {{"device", "c"}, {"leftMs", 50}}}})}}});
  g_virtual.now = 149;
  EXPECT_TRUE(Record()["scenarioErrors"].empty());
  g_virtual.now = 150;
  EXPECT_EQ(Record()["scenarioErrors"],
            json::array({"150.0 ms: \"b\" plugged into port 1-3.1 while \"a\" is in it"}));
}

TEST_F(EnumerationTest, UnrelatedDeviceOpensButNeverAnswers) {
  LoadScenario({{"devices",
                 {Device({{"name", "keyboard"},
                          {"path", "/dev/hidraw0"},
                          {"vendorId", "0x046D"},
                          {"productId", "0xC31C"},
                          {"protocol", false}}),
                  Device({{"name", "mouse"}, {"path", "/dev/hidraw1"}})}}});
  hid_device* keyboard = hid_open_path("/dev/hidraw0");
  ASSERT_NE(keyboard, nullptr);
  for (const Bytes& request : {Bytes{0x0A, 0x55}, Bytes{0x0A, 0x00, 0x00}, Bytes{0x0A, 0x56}}) {
    EXPECT_EQ(Send(keyboard, request), 65);
    EXPECT_TRUE(Read(keyboard, 200).empty());
  }
  hid_close(keyboard);
  hid_device* mouse = hid_open_path("/dev/hidraw1");
  ASSERT_NE(mouse, nullptr);
  EXPECT_EQ(Send(mouse, {0x0A, 0x55}), 65);
  EXPECT_EQ(Read(mouse, 200), Padded({0x0A, 0x55}));
  hid_close(mouse);
  const json& rec = Record()["devices"];
  EXPECT_EQ(rec["keyboard"]["requests"].size(), 3u);
  EXPECT_EQ(rec["keyboard"]["requests"][0]["hex"], "0A55");
  EXPECT_TRUE(rec["keyboard"]["protocolErrors"].empty());
}

// Identical dongles told apart: the serial number in the enumeration record
// and from the open device; a boot loader that reports none; the record of
// who opened which device.
json DonglesWithSerials() {
  return {{"devices",
           {Device({{"name", "a"}, {"serial", "QV-00A1"}, {"port", "1-2.1"}}),
            Device({{"name", "b"},
                    {"path", "/dev/hidraw1"},
                    {"serial", "QV-00B2"},
                    {"reboot",
                     {{"leaveMs", 5},
                      {"awayMs", 100},
                      {"path", "/dev/hidraw9"},
                      {"productId", "0x8267"},
                      {"serial", nullptr}}}}),
            Device({{"name", "c"}, {"path", "/dev/hidraw2"}})}}};
}

TEST_F(EnumerationTest, SerialNumbersAndTheirAbsenceAfterARestart) {
  LoadScenario(DonglesWithSerials());
  hid_device_info* list = hid_enumerate(0, 0);
  ASSERT_EQ(Paths(list).size(), 3u);
  ASSERT_NE(list->serial_number, nullptr);
  EXPECT_EQ(std::wstring(list->serial_number), L"QV-00A1");
  EXPECT_EQ(std::wstring(list->next->serial_number), L"QV-00B2");
  EXPECT_EQ(list->next->next->serial_number, nullptr);
  hid_free_enumeration(list);

  hid_device* b = hid_open_path("/dev/hidraw1");
  ASSERT_NE(b, nullptr);
  wchar_t serial[16] = {};
  EXPECT_EQ(hid_get_serial_number_string(b, serial, 16), 0);
  EXPECT_EQ(std::wstring(serial), L"QV-00B2");
  EXPECT_EQ(hid_get_serial_number_string(b, serial, 4), 0);  // cut to fit
  EXPECT_EQ(std::wstring(serial), L"QV-");
  EXPECT_EQ(Send(b, {0x0A, 0x04, 0x00}), 65);
  g_virtual.now += 200;
  hid_close(b);
  hid_device_info* back = hid_enumerate(0x248A, 0x8267);
  ASSERT_NE(back, nullptr);
  EXPECT_STREQ(back->path, "/dev/hidraw9");
  EXPECT_EQ(back->serial_number, nullptr);
  hid_free_enumeration(back);

  const json& rec = Record()["devices"];
  EXPECT_EQ(rec["a"]["final"]["serial"], "QV-00A1");
  EXPECT_EQ(rec["a"]["final"]["port"], "1-2.1");
  EXPECT_TRUE(rec["a"]["opens"].empty());
  EXPECT_TRUE(rec["b"]["final"]["serial"].is_null());
  EXPECT_TRUE(rec["b"]["final"]["port"].is_null());
  ASSERT_EQ(rec["b"]["opens"].size(), 1u);
  EXPECT_EQ(rec["b"]["opens"][0]["path"], "/dev/hidraw1");
  EXPECT_EQ(rec["b"]["opens"][0]["pid"], static_cast<int>(getpid()));
}

// The sysfs tree above each hidraw node runs through the USB port chain, as
// on a Linux machine; a device that comes back under another node gets that
// node, at the same port.
TEST_F(EnumerationTest, SysfsTreeShowsThePortChainOfEachNode) {
  LoadScenario({{"devices",
                 {Device({{"name", "a"},
                          {"path", "/dev/hidraw3"},
                          {"interface", 1},
                          {"port", "1-2.3"},
                          {"reboot", {{"leaveMs", 5}, {"awayMs", 100}, {"path", "/dev/hidraw8"}}}}),
                  Device({{"name", "b"}, {"path", "/dev/hidraw4"}, {"port", "2-1"}}),
                  Device({{"name", "c"}, {"path", "/dev/hidraw5"}})}}});
  std::string root = emu::SysfsRoot();
  ASSERT_FALSE(root.empty());
  std::string a = Resolved(root + "/class/hidraw/hidraw3");
  std::string usb = Resolved(root) + "/devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2.3/1-2.3:1.1/";
  ASSERT_EQ(a.compare(0, usb.size(), usb), 0) << a;
  EXPECT_EQ(a.substr(usb.size(), 15), "0003:248A:8266.");
  EXPECT_EQ(a.substr(a.size() - 15), "/hidraw/hidraw3");
  // hidrawN/device is the HID device the node belongs to.
  EXPECT_EQ(Resolved(root + "/class/hidraw/hidraw3/device") + "/hidraw/hidraw3", a);
  EXPECT_NE(Resolved(root + "/class/hidraw/hidraw4").find("/usb2/2-1/2-1:1.0/"), std::string::npos);
  // Not on USB: a virtual device without a port in its path.
  std::string c = Resolved(root + "/class/hidraw/hidraw5");
  EXPECT_NE(c.find("/devices/virtual/"), std::string::npos) << c;
  EXPECT_EQ(Resolved(root + "/class/hidraw/hidraw8"), "");

  hid_device* dev = hid_open_path("/dev/hidraw3");
  ASSERT_NE(dev, nullptr);
  EXPECT_EQ(Send(dev, {0x0A, 0x04, 0x00}), 65);
  g_virtual.now += 200;
  hid_close(dev);
  hid_free_enumeration(hid_enumerate(0, 0));
  EXPECT_NE(Resolved(root + "/class/hidraw/hidraw8").find("/1-2.3/1-2.3:1.1/0003:248A:8266."),
            std::string::npos);

  emu::Reset();  // a tree the emulator made is removed with its devices
  EXPECT_EQ(Resolved(root), "");
  EXPECT_EQ(emu::SysfsRoot(), "");
}

}  // namespace
