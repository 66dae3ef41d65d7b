// The list operations that tell new interfaces from known ones: order,
// counts, deep copies, and how duplicates are treated.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "transport/transport_fixture.h"

namespace {

DeviceEntry Entry(const std::string& path, int32_t interfaceNumber = 0) {
  DeviceEntry entry;
  entry.hasPath = true;
  entry.path = path;
  entry.hasDisplayName = true;
  entry.displayName = "name of " + path;
  entry.vendorId = 0x248A;
  entry.productId = 0x8266;
  entry.interfaceNumber = interfaceNumber;
  return entry;
}

std::vector<std::string> Paths(const DeviceList& list) {
  std::vector<std::string> paths;
  for (const DeviceEntry& entry : list.entries)
    paths.push_back(entry.path);
  return paths;
}

void Fill(DeviceList* list, const std::vector<std::string>& paths) {
  for (const std::string& path : paths)
    AppendDevice(list, Entry(path));
}

using PathList = std::vector<std::string>;

class DeviceListTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetTransport(); }
  void TearDown() override { ResetTransport(); }
};

TEST_F(DeviceListTest, AppendKeepsOrderDuplicatesAndItsOwnCopy) {
  DeviceList list;
  DeviceEntry a = Entry("/dev/hidraw0", 2);
  a.hasManufacturer = true;
  a.manufacturer = "Quorvel";
  EXPECT_EQ(AppendDevice(&list, a), 1);
  EXPECT_EQ(AppendDevice(&list, Entry("/dev/hidraw1")), 1);
  EXPECT_EQ(AppendDevice(&list, a), 1);
  a.path = "/dev/changed";
  a.manufacturer = "changed";
  EXPECT_EQ(Paths(list), PathList({"/dev/hidraw0", "/dev/hidraw1", "/dev/hidraw0"}));
  EXPECT_EQ(list.entries.size(), 3u);
  const DeviceEntry& first = list.entries.front();
  EXPECT_EQ(first.manufacturer, "Quorvel");
  EXPECT_EQ(first.interfaceNumber, 2);
  EXPECT_EQ(first.displayName, "name of /dev/hidraw0");
}

TEST_F(DeviceListTest, AppendAddsOneEntryAtATime) {
  DeviceList list;
  AppendDevice(&list, Entry("/dev/hidraw0"));
  EXPECT_EQ(list.entries.size(), 1u);
  AppendDevice(&list, Entry("/dev/hidraw1"));
  EXPECT_EQ(list.entries.size(), 2u);
}

TEST_F(DeviceListTest, ClearEmptiesTheListButKeepsTheFilter) {
  DeviceList list;
  list.vendorId = 0x248A;
  list.productId = 0x8266;
  list.interfaceNumber = 1;
  Fill(&list, {"/dev/hidraw0", "/dev/hidraw1"});
  ClearDevices(&list);
  EXPECT_TRUE(list.entries.empty());
  EXPECT_EQ(list.entries.size(), 0u);
  EXPECT_EQ(list.vendorId, 0x248A);
  EXPECT_EQ(list.productId, 0x8266);
  EXPECT_EQ(list.interfaceNumber, 1);
}

TEST_F(DeviceListTest, RemoveByPathTakesTheFirstExactMatchOnly) {
  DeviceList list;
  Fill(&list, {"/dev/hidraw0", "/dev/hidraw1", "/dev/hidraw0"});
  RemoveDeviceByPath(&list, "/dev/hidraw0");
  EXPECT_EQ(Paths(list), PathList({"/dev/hidraw1", "/dev/hidraw0"}));
  EXPECT_EQ(list.entries.size(), 2u);

  RemoveDeviceByPath(&list, "/dev/HIDRAW1");  // letter case matters
  RemoveDeviceByPath(&list, "/dev/hidraw");   // so does every byte
  RemoveDeviceByPath(&list, nullptr);
  EXPECT_EQ(Paths(list), PathList({"/dev/hidraw1", "/dev/hidraw0"}));
  EXPECT_EQ(list.entries.size(), 2u);

  RemoveDeviceByPath(&list, "/dev/hidraw0");
  RemoveDeviceByPath(&list, "/dev/hidraw1");
  EXPECT_TRUE(list.entries.empty());
  EXPECT_EQ(list.entries.size(), 0u);
  RemoveDeviceByPath(&list, "/dev/hidraw1");
  EXPECT_EQ(list.entries.size(), 0u);
}

TEST_F(DeviceListTest, RemoveTakesTheOnlyEntry) {
  DeviceList list;
  Fill(&list, {"/dev/hidraw0"});
  RemoveDeviceByPath(&list, "/dev/hidraw0");
  EXPECT_TRUE(list.entries.empty());
  EXPECT_EQ(list.entries.size(), 0u);
}

TEST_F(DeviceListTest, EntryWithoutPathMatchesNoPath) {
  DeviceList list;
  DeviceEntry noPath;
  AppendDevice(&list, noPath);
  RemoveDeviceByPath(&list, "");
  EXPECT_EQ(list.entries.size(), 1u);
  EXPECT_EQ(list.entries.size(), 1u);
}

TEST_F(DeviceListTest, MergeAppendsCopiesOfCurrentWithoutCheckingForDuplicates) {
  Fill(&KnownDevices, {"/dev/hidraw9"});
  Fill(&CurrentDevices, {"/dev/hidraw0", "/dev/hidraw1"});
  MergeCurrentIntoKnown();
  MergeCurrentIntoKnown();
  EXPECT_EQ(Paths(KnownDevices), PathList({"/dev/hidraw9", "/dev/hidraw0", "/dev/hidraw1",
                                           "/dev/hidraw0", "/dev/hidraw1"}));
  EXPECT_EQ(KnownDevices.entries.size(), 5u);
  EXPECT_EQ(Paths(CurrentDevices), PathList({"/dev/hidraw0", "/dev/hidraw1"}));
  EXPECT_EQ(CurrentDevices.entries.size(), 2u);
}

TEST_F(DeviceListTest, DropRemovesOneCurrentEntryPerKnownOccurrence) {
  Fill(&KnownDevices, {"/dev/hidraw0", "/dev/hidraw0", "/dev/hidraw7"});
  Fill(&CurrentDevices, {"/dev/hidraw0", "/dev/hidraw1", "/dev/hidraw0", "/dev/hidraw0"});
  DropKnownFromCurrent();
  EXPECT_EQ(Paths(CurrentDevices), PathList({"/dev/hidraw1", "/dev/hidraw0"}));
  EXPECT_EQ(CurrentDevices.entries.size(), 2u);
  EXPECT_EQ(KnownDevices.entries.size(), 3u);
}

TEST_F(DeviceListTest, DropRemovesACurrentDuplicateOfOneKnownEntryOnce) {
  Fill(&KnownDevices, {"/dev/hidraw0"});
  Fill(&CurrentDevices, {"/dev/hidraw0", "/dev/hidraw0", "/dev/hidraw2"});
  DropKnownFromCurrent();
  EXPECT_EQ(Paths(CurrentDevices), PathList({"/dev/hidraw0", "/dev/hidraw2"}));
}

TEST_F(DeviceListTest, PruneForgetsOneVanishedKnownEntryPerCall) {
  Fill(&CurrentDevices, {"/dev/hidraw1"});
  Fill(&KnownDevices, {"/dev/hidraw0", "/dev/hidraw1", "/dev/hidraw2"});
  PruneVanishedKnown();
  EXPECT_EQ(Paths(KnownDevices), PathList({"/dev/hidraw1", "/dev/hidraw2"}));
  EXPECT_EQ(KnownDevices.entries.size(), 2u);
  PruneVanishedKnown();
  EXPECT_EQ(Paths(KnownDevices), PathList({"/dev/hidraw1"}));
  EXPECT_EQ(KnownDevices.entries.size(), 1u);
  PruneVanishedKnown();
  EXPECT_EQ(Paths(KnownDevices), PathList({"/dev/hidraw1"}));
  EXPECT_EQ(KnownDevices.entries.size(), 1u);
  EXPECT_EQ(Paths(CurrentDevices), PathList({"/dev/hidraw1"}));
}

TEST_F(DeviceListTest, PruneWithNothingCurrentForgetsTheFirstKnownEntry) {
  Fill(&KnownDevices, {"/dev/hidraw4", "/dev/hidraw5"});
  PruneVanishedKnown();
  EXPECT_EQ(Paths(KnownDevices), PathList({"/dev/hidraw5"}));
  EXPECT_EQ(KnownDevices.entries.size(), 1u);
}

TEST_F(DeviceListTest, PruneComparesPathsExactly) {
  Fill(&CurrentDevices, {"/dev/HIDRAW0"});
  Fill(&KnownDevices, {"/dev/hidraw0"});
  PruneVanishedKnown();
  EXPECT_TRUE(KnownDevices.entries.empty());
  EXPECT_EQ(KnownDevices.entries.size(), 0u);
}

// One pass of the wait for newly attached interfaces: only the interface
// that was not there before is left to try.
TEST_F(DeviceListTest, APassLeavesOnlyTheNewInterface) {
  Fill(&KnownDevices, {"/dev/hidraw0", "/dev/hidraw1", "/dev/hidraw2"});
  Fill(&CurrentDevices, {"/dev/hidraw0", "/dev/hidraw2", "/dev/hidraw3"});
  PruneVanishedKnown();
  DropKnownFromCurrent();
  MergeCurrentIntoKnown();
  EXPECT_EQ(Paths(CurrentDevices), PathList({"/dev/hidraw3"}));
  EXPECT_EQ(Paths(KnownDevices), PathList({"/dev/hidraw0", "/dev/hidraw2", "/dev/hidraw3"}));
}

}  // namespace
