// The lock a command with --port or --serial holds for its whole run: its
// names, safe for the system whatever the serial number holds, and the wait
// while another instance holds it.
#include "dfu/selection_lock.h"

#include <gtest/gtest.h>

#include "support/virtual_platform.h"

namespace {

using Names = std::vector<std::string>;

DeviceSelection Select(const std::string& serial, const std::string& port) {
  DeviceSelection selection;
  selection.serial = serial;
  selection.port = port;
  return selection;
}

TEST(SelectionLock, NamesCarryTheIdsAndEachGivenValue) {
  struct Row {
    DeviceSelection selection;
    Names names;
  } rows[] = {
      {Select("", ""), {}},
      {Select("", "1-3.2"), {"selection-248A-8266-port-1-3.2"}},
      {Select("QV24A02X", ""), {"selection-248A-8266-serial-qv24a02x"}},
      {Select("qv24a02x", ""), {"selection-248A-8266-serial-qv24a02x"}},
      {Select("QV24A02X", "1-3.2"),
       {"selection-248A-8266-port-1-3.2", "selection-248A-8266-serial-qv24a02x"}},
      {Select("a\\b/c d", ""), {"selection-248A-8266-serial-a%5Cb%2Fc%20d"}},
      {Select(std::string("\x01\xff%\0z", 5), ""), {"selection-248A-8266-serial-%01%FF%25%00z"}},
      {Select("", "Global\\x"), {"selection-248A-8266-port-Global%5Cx"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.selection.serial + "/" + row.selection.port);
    EXPECT_EQ(SelectionLockNames(0x248A, 0x8266, row.selection), row.names);
  }
  EXPECT_EQ(SelectionLockNames(0x1234, 0x00AB, Select("", "2-1")),
            Names{"selection-1234-00AB-port-2-1"});
}

// A long value is named by its hash: the name stays short enough for every
// system, and two serial numbers that differ only at their end still get
// locks of their own.
TEST(SelectionLock, LongValuesAreHashedAndStayApart) {
  const std::string forty(40, 'q');
  EXPECT_EQ(SelectionLockNames(1, 2, Select(forty, "")),
            Names{"selection-0001-0002-serial-" + forty});
  const std::string base(200, '\xe4');
  Names a = SelectionLockNames(1, 2, Select(base + "1", ""));
  Names b = SelectionLockNames(1, 2, Select(base + "2", ""));
  ASSERT_EQ(a.size(), 1u);
  ASSERT_EQ(b.size(), 1u);
  EXPECT_NE(a[0], b[0]);
  const std::string prefix = "selection-0001-0002-serial-#";
  for (const std::string& name : {a[0], b[0]}) {
    EXPECT_EQ(name.compare(0, prefix.size(), prefix), 0) << name;
    EXPECT_EQ(name.size(), prefix.size() + 16) << name;
    EXPECT_EQ(name.find_first_not_of("0123456789ABCDEF", prefix.size()), std::string::npos) << name;
  }
  // Fourteen spaces, each written out as three characters: over the limit.
  Names odd = SelectionLockNames(1, 2, Select(std::string(14, ' '), ""));
  ASSERT_EQ(odd.size(), 1u);
  EXPECT_EQ(odd[0].compare(0, prefix.size(), prefix), 0) << odd[0];
}

// The clock at which the other instance lets go of its lock.
int32_t g_freedAtMs = 0;
std::string g_heldName;
void (*g_plainSleep)(int32_t) = nullptr;

void SleepThenMaybeFree(int32_t ms) {
  g_plainSleep(ms);
  if (g_virtual.now >= g_freedAtMs)
    g_virtual.locksHeldElsewhere.erase(g_heldName);
}

// While another instance holds the selection, the command says so once and
// retries every 400 ms; it takes the lock as soon as it is free, and holds
// both of a port-and-serial selection until it lets go.
TEST(SelectionLock, AHeldSelectionIsWaitedForAndTold) {
  ScopedVirtualPlatform platform;
  const DeviceSelection selection = Select("QV24A02X", "1-3.2");
  const Names names = SelectionLockNames(0x248A, 0x8266, selection);
  g_heldName = names[1];
  g_freedAtMs = 1000;
  g_virtual.locksHeldElsewhere.insert(g_heldName);
  g_plainSleep = g_platform.sleepMs;
  g_platform.sleepMs = SleepThenMaybeFree;
  HoldSelection(0x248A, 0x8266, selection);
  EXPECT_EQ(g_virtual.sleeps, (std::vector<int32_t>{400, 400, 400}));
  EXPECT_EQ(TakeErrors(),
            "quorvel-dfu: device 248A:8266 with serial number QV24A02X at USB port 1-3.2 is held "
            "by another quorvel-dfu process; waiting until it lets go\n");
  EXPECT_EQ(g_virtual.locksHeldHere, (std::set<std::string>{names[0], names[1]}));
  ReleaseSelection();
  EXPECT_TRUE(g_virtual.locksHeldHere.empty());
  // Free at once: nothing to say, no pause.
  g_virtual.sleeps.clear();
  HoldSelection(0x248A, 0x8266, Select("", "1-3.2"));
  EXPECT_TRUE(g_virtual.sleeps.empty());
  EXPECT_EQ(TakeErrors(), "");
  EXPECT_EQ(g_virtual.locksHeldHere, (std::set<std::string>{names[0]}));
  ReleaseSelection();
  HoldSelection(0x248A, 0x8266, DeviceSelection());
  EXPECT_TRUE(g_virtual.locksHeldHere.empty());
}

}  // namespace
