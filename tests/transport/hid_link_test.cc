// Opening and closing the link: lock names taken from device paths,
// collection mode, the device lock against other processes, and what a
// failed open leaves behind.
#include <set>

#include "transport/transport_fixture.h"

namespace {

const char kWindowsCollectionPath[] =
    "\\\\?\\hid#vid_248a&pid_8266&mi_01&col02#7&1b2c3d&0&0001#{4d1e55b2-f16f-11cf-88cb-"
    "001111000030}";
const char kWindowsCollectionLockName[] =
    "hid#vid_248a&pid_8266&mi_01&col02#7&1b2c3d&0&0001#{4d1e55b2-f16f-11cf-88cb-001111000030}";
const char kWindowsUpperPath[] =
    "\\\\?\\HID#VID_248A&PID_8266&MI_01&COL02#7&1B2C3D&0&0001#{4d1e55b2-f16f-11cf-88cb-"
    "001111000030}";
const char kWindowsUpperLockName[] =
    "HID#VID_248A&PID_8266&MI_01&COL02#7&1B2C3D&0&0001#{4d1e55b2-f16f-11cf-88cb-001111000030}";

class HidLinkTest : public TransportTest {};

TEST_F(HidLinkTest, LockNameStartsAtTheFirstHidInAnyCaseWithoutBackslashes) {
  struct Case {
    const char* path;
    const char* name;
  };
  const Case kCases[] = {
      {"/dev/hidraw3", "hidraw3"},
      {kWindowsCollectionPath, kWindowsCollectionLockName},
      {kWindowsUpperPath, kWindowsUpperLockName},
      {"\\\\?\\hId#a\\b\\c", "hId#abc"},
      {"/dev/usb/hiddev0/hidraw1", "hiddev0/hidraw1"},
      {"xxhIDyyhid", "hIDyyhid"},
      {"HID", "HID"},
  };
  for (const Case& c : kCases) {
    std::string name = "stale";
    EXPECT_TRUE(DeviceLockName(c.path, &name)) << c.path;
    EXPECT_EQ(name, c.name) << c.path;
  }
}

TEST_F(HidLinkTest, LockNamePathWithoutHidHasNoName) {
  for (const char* path : {"", "hi", "/dev/hi/draw0", "/dev/usb0", "h-i-d"}) {
    std::string name = "untouched";
    EXPECT_FALSE(DeviceLockName(path, &name)) << path;
    EXPECT_EQ(name, "untouched") << path;
  }
}

TEST_F(HidLinkTest, OpenTakesTheLockAndKeepsACopyOfThePath) {
  LoadDevices({DeviceJson("a", "/dev/hidraw3")});
  std::string path = "/dev/hidraw3";
  ASSERT_EQ(OpenLink(path.c_str()), 1);
  path[5] = 'X';  // the link must not share the caller's text
  EXPECT_NE(HidLink.device, nullptr);
  EXPECT_TRUE(HidLink.hasPath);
  EXPECT_EQ(HidLink.path, "/dev/hidraw3");
  EXPECT_TRUE(HidLink.hasDeviceLock);
  EXPECT_FALSE(HidLink.collectionMode);
  EXPECT_EQ(g_virtual.locksHeldHere, std::set<std::string>({"hidraw3"}));
}

TEST_F(HidLinkTest, CollectionModeFollowsLowerCaseColInTheLockName) {
  LoadDevices({DeviceJson("lower", kWindowsCollectionPath), DeviceJson("upper", kWindowsUpperPath),
               DeviceJson("colFirst", "/dev/col/hidraw0")});

  ASSERT_EQ(OpenLink(kWindowsCollectionPath), 1);
  EXPECT_TRUE(HidLink.collectionMode);
  EXPECT_EQ(g_virtual.locksHeldHere, std::set<std::string>({kWindowsCollectionLockName}));

  // "COL" in upper case only does not count.
  ASSERT_EQ(OpenLink(kWindowsUpperPath), 1);
  EXPECT_FALSE(HidLink.collectionMode);
  EXPECT_EQ(g_virtual.locksHeldHere, std::set<std::string>({kWindowsUpperLockName}));

  ASSERT_EQ(OpenLink(kWindowsCollectionPath), 1);
  ASSERT_TRUE(HidLink.collectionMode);
  // Only the lock name is looked at: "col" before the "hid" does not count.
  ASSERT_EQ(OpenLink("/dev/col/hidraw0"), 1);
  EXPECT_FALSE(HidLink.collectionMode);
  EXPECT_EQ(g_virtual.locksHeldHere, std::set<std::string>({"hidraw0"}));
}

TEST_F(HidLinkTest, PathWithoutHidLeavesTheOpenLinkUntouched) {
  LoadDevices({DeviceJson("col", kWindowsCollectionPath), DeviceJson("usb", "/dev/usb0")});
  ASSERT_EQ(OpenLink(kWindowsCollectionPath), 1);
  hid_device_* device = HidLink.device;
  intptr_t lock = HidLink.deviceLock;

  EXPECT_EQ(OpenLink("/dev/usb0"), 0);
  EXPECT_EQ(OpenLink(nullptr), 0);
  EXPECT_EQ(LockDevice(nullptr), 0);
  EXPECT_EQ(LockDevice("/dev/usb0"), 0);

  EXPECT_EQ(HidLink.device, device);
  EXPECT_TRUE(HidLink.hasDeviceLock);
  EXPECT_EQ(HidLink.deviceLock, lock);
  EXPECT_TRUE(HidLink.collectionMode);
  EXPECT_EQ(HidLink.path, kWindowsCollectionPath);
  EXPECT_EQ(g_virtual.locksHeldHere, std::set<std::string>({kWindowsCollectionLockName}));
  // The device is still usable.
  EXPECT_EQ(WriteReports(Pattern(4, 0x0A).data(), 4), 1);
  EXPECT_EQ(Writes("col").size(), 1u);
}

TEST_F(HidLinkTest, ReopeningTheInterfaceThisProcessHoldsSucceeds) {
  LoadDevices({DeviceJson("a", "/dev/hidraw0")});
  ASSERT_EQ(OpenLink("/dev/hidraw0"), 1);
  ASSERT_EQ(OpenLink("/dev/hidraw0"), 1);
  EXPECT_NE(HidLink.device, nullptr);
  EXPECT_TRUE(HidLink.hasDeviceLock);
  EXPECT_EQ(g_virtual.locksHeldHere, std::set<std::string>({"hidraw0"}));
  EXPECT_EQ(WriteReports(Pattern(2, 0x0A).data(), 2), 1);
}

TEST_F(HidLinkTest, InterfaceHeldByAnotherProcessIsNotOpened) {
  LoadDevices({DeviceJson("a", "/dev/hidraw0"), DeviceJson("b", "/dev/hidraw1")});
  ASSERT_EQ(OpenLink("/dev/hidraw0"), 1);
  hid_device_* device = HidLink.device;
  g_virtual.locksHeldElsewhere.insert("hidraw1");

  EXPECT_EQ(OpenLink("/dev/hidraw1"), 0);

  // The open device stays open, but its own lock was given up on the way.
  EXPECT_EQ(HidLink.device, device);
  EXPECT_EQ(HidLink.path, "/dev/hidraw0");
  EXPECT_FALSE(HidLink.hasDeviceLock);
  EXPECT_TRUE(g_virtual.locksHeldHere.empty());
  EXPECT_EQ(WriteReports(Pattern(2, 0x0A).data(), 2), 1);
  EXPECT_EQ(Writes("a").size(), 1u);
  EXPECT_EQ(Writes("b").size(), 0u);

  // Once the other process lets go, the interface opens.
  g_virtual.locksHeldElsewhere.clear();
  EXPECT_EQ(OpenLink("/dev/hidraw1"), 1);
  EXPECT_EQ(HidLink.path, "/dev/hidraw1");
}

TEST_F(HidLinkTest, FailedOpenKeepsTheNewLockUntilClose) {
  nlohmann::json busy = DeviceJson("busy", "/dev/hidraw5");
  busy["openError"] = "busy";
  LoadDevices({DeviceJson("a", "/dev/hidraw0"), busy});
  ASSERT_EQ(OpenLink("/dev/hidraw0"), 1);

  EXPECT_EQ(OpenLink("/dev/hidraw7"), 0);  // not attached
  EXPECT_EQ(HidLink.device, nullptr);
  EXPECT_TRUE(HidLink.hasDeviceLock);
  EXPECT_EQ(g_virtual.locksHeldHere, std::set<std::string>({"hidraw7"}));
  // The path is only replaced by a successful open.
  EXPECT_EQ(HidLink.path, "/dev/hidraw0");

  EXPECT_EQ(OpenLink("/dev/hidraw5"), 0);  // refuses to open
  EXPECT_EQ(HidLink.device, nullptr);
  EXPECT_EQ(g_virtual.locksHeldHere, std::set<std::string>({"hidraw5"}));

  CloseLink();
  EXPECT_FALSE(HidLink.hasDeviceLock);
  EXPECT_FALSE(HidLink.hasPath);
  EXPECT_TRUE(g_virtual.locksHeldHere.empty());
}

TEST_F(HidLinkTest, CloseReleasesEverythingButCollectionMode) {
  LoadDevices({DeviceJson("col", kWindowsCollectionPath)});
  ASSERT_EQ(OpenLink(kWindowsCollectionPath), 1);
  CloseLink();
  EXPECT_EQ(HidLink.device, nullptr);
  EXPECT_FALSE(HidLink.hasDeviceLock);
  EXPECT_FALSE(HidLink.hasPath);
  EXPECT_TRUE(HidLink.path.empty());
  EXPECT_TRUE(HidLink.collectionMode);
  // Another process can now take the interface.
  intptr_t handle = 0;
  EXPECT_EQ(g_platform.acquireDeviceLock(kWindowsCollectionLockName, &handle),
            DeviceLockResult::kTaken);
  g_platform.releaseDeviceLock(handle);
  // Closing a closed link changes nothing.
  CloseLink();
  EXPECT_EQ(HidLink.device, nullptr);
  EXPECT_EQ(WriteReports(Pattern(2, 0x0A).data(), 2), 0);
  EXPECT_EQ(Writes("col").size(), 0u);
}

DeviceLockResult FailingLock(const std::string&, intptr_t*) {
  return DeviceLockResult::kFailed;
}

TEST_F(HidLinkTest, LockThatCannotBeCreatedDoesNotPreventTheOpen) {
  LoadDevices({DeviceJson("a", "/dev/hidraw0")});
  g_platform.acquireDeviceLock = FailingLock;
  EXPECT_EQ(LockDevice("/dev/hidraw0"), 1);
  EXPECT_FALSE(HidLink.hasDeviceLock);
  ASSERT_EQ(OpenLink("/dev/hidraw0"), 1);
  EXPECT_NE(HidLink.device, nullptr);
  EXPECT_FALSE(HidLink.hasDeviceLock);
  EXPECT_EQ(HidLink.path, "/dev/hidraw0");
}

}  // namespace
