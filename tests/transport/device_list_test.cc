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

// A known path is the same device only while its USB port and serial number
// stay as they were: a node that the system handed to another device after
// a restart is new, and the known entry under it has vanished.
TEST_F(DeviceListTest, AKnownPathIsTheSameDeviceOnlyWithTheSamePortAndSerial) {
  struct Side {
    std::string port;
    const char* serial;  // null: the device reports none
  };
  struct Row {
    const char* what;
    Side known;
    Side current;
    bool isNew;
  } rows[] = {
      {"same port and serial", {"1-3.1", "QV24A01X"}, {"1-3.1", "QV24A01X"}, false},
      {"same port, no serial on either", {"1-3.4", nullptr}, {"1-3.4", nullptr}, false},
      {"no port known on either", {"", "QV24A01X"}, {"", "QV24A01X"}, false},
      {"another port", {"1-3.1", "QV24A01X"}, {"1-3.2", "QV24A01X"}, true},
      {"another serial", {"1-3.1", "QV24A01X"}, {"1-3.1", "QV24A02X"}, true},
      {"serial differs in case", {"1-3.1", "QV24A03X"}, {"1-3.1", "qv24a03x"}, true},
      {"serial gone", {"1-3.1", "QV24A01X"}, {"1-3.1", nullptr}, true},
      {"serial appeared", {"1-3.4", nullptr}, {"1-3.4", "QV24A01X"}, true},
      {"port appeared", {"", nullptr}, {"1-3.4", nullptr}, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    ResetTransport();
    auto make = [](const Side& side) {
      DeviceEntry entry = Entry("/dev/hidraw0");
      entry.port = side.port;
      entry.hasSerial = side.serial != nullptr;
      entry.serial = side.serial != nullptr ? side.serial : "";
      return entry;
    };
    AppendDevice(&KnownDevices, make(row.known));
    AppendDevice(&CurrentDevices, make(row.current));
    EXPECT_EQ(SameDevice(make(row.known), make(row.current)), !row.isNew);
    PruneVanishedKnown();
    EXPECT_EQ(KnownDevices.entries.size(), row.isNew ? 0u : 1u);
    DropKnownFromCurrent();
    EXPECT_EQ(CurrentDevices.entries.size(), row.isNew ? 1u : 0u);
  }
}

// Four dongles restarted at once come back under each other's nodes: each
// wait's snapshot knows its sibling's old node, which now holds its own
// dongle, and that dongle must be a candidate.
TEST_F(DeviceListTest, ADongleBackUnderASiblingsOldNodeIsNew) {
  auto dongle = [](int node, int k) {
    DeviceEntry entry = Entry("/dev/hidraw" + std::to_string(node));
    entry.port = "1-3." + std::to_string(k);
    return entry;
  };
  // The wait of the dongle at 1-3.1 (hidraw0): it knows the other three.
  for (int k = 2; k <= 4; ++k)
    AppendDevice(&KnownDevices, dongle(k - 1, k));
  // They came back in the order 4, 3, 2, 1, each taking the lowest free node.
  for (int k = 4; k >= 1; --k)
    AppendDevice(&CurrentDevices, dongle(4 - k, k));
  PruneVanishedKnown();
  DropKnownFromCurrent();
  ASSERT_EQ(CurrentDevices.entries.size(), 4u);
  EXPECT_EQ(CurrentDevices.entries.back().path, "/dev/hidraw3");
  EXPECT_EQ(CurrentDevices.entries.back().port, "1-3.1");
}

}  // namespace
