// The bundled scenario files load and describe the buses their names
// promise, checked through raw hidapi calls.
#include <dirent.h>

#include "raw_host.h"
#include "support/emulated_device_fixture.h"

namespace {

using namespace rawhost;
using nlohmann::json;

class ScenarioFilesTest : public EmulatedDeviceTest {
 protected:
  void TearDown() override {
    if (dev_)
      hid_close(dev_);
    EmulatedDeviceTest::TearDown();
  }
  void Open(const std::string& path) {
    if (dev_)
      hid_close(dev_);
    dev_ = hid_open_path(path.c_str());
    ASSERT_NE(dev_, nullptr) << path;
  }
  Bytes Ask(const Bytes& request, bool collection = false) {
    EXPECT_GT(Send(dev_, request, collection), 0);
    return Read(dev_, 200);
  }
  std::vector<std::string> Paths(unsigned short vid = 0, unsigned short pid = 0) {
    std::vector<std::string> paths;
    hid_device_info* list = hid_enumerate(vid, pid);
    for (hid_device_info* i = list; i; i = i->next)
      paths.push_back(i->path);
    hid_free_enumeration(list);
    return paths;
  }

  hid_device* dev_ = nullptr;
};

TEST_F(ScenarioFilesTest, EveryBundledScenarioLoads) {
  std::string dir = std::string(QUORVEL_SOURCE_DIR) + "/tests/scenarios";
  DIR* d = opendir(dir.c_str());
  ASSERT_NE(d, nullptr);
  int count = 0;
  while (dirent* entry = readdir(d)) {
    std::string name = entry->d_name;
    if (name.size() < 5 || name.substr(name.size() - 5) != ".json")
      continue;
    std::string error;
    EXPECT_TRUE(emu::LoadScenarioFile(dir + "/" + name, &error)) << error;
    EXPECT_FALSE(Paths().empty()) << name;
    ++count;
  }
  closedir(d);
  EXPECT_GE(count, 6);
}

TEST_F(ScenarioFilesTest, DemoDongleHasAPassthroughDeviceNextToASilentKeyboard) {
  LoadScenarioFile("demo.json");
  EXPECT_EQ(Paths(0x248A, 0x8266), std::vector<std::string>{"/dev/hidraw1"});
  Open("/dev/hidraw0");
  EXPECT_TRUE(Ask({0x0A, 0x55}).empty());
  Open("/dev/hidraw1");
  EXPECT_EQ(Ask({0x0A, 0x55}), Padded({0x0A, 0x55}));
  EXPECT_EQ(Ask({0x0A, 0x56})[2], 0x10);
  EXPECT_EQ(Ask({0x0A, 0x06, 0x00}), Padded({0x0A, 0x06, 0x55, 0xAA, 0x00, 0xFF}));
  EXPECT_EQ(Ask({0x0A, 0x07, 0x00}), Padded({0x0A, 0x07, 0x00}));
}

TEST_F(ScenarioFilesTest, TwoPartDongleUsesCollectionReportsAndMovesOnRestart) {
  LoadScenarioFile("dongle_two_part.json");
  std::vector<std::string> before = Paths();
  ASSERT_EQ(before.size(), 1u);
  Open(before[0]);
  EXPECT_EQ(Send(dev_, {0x0A, 0x55}), -1);  // 65 bytes do not fit a collection
  EXPECT_EQ(Ask({0x0A, 0x04, 0x00}, true), Padded({0x0A, 0x04, 0x00}));
  g_virtual.now += 2000;
  std::vector<std::string> after = Paths(0x248A, 0x8266);
  ASSERT_EQ(after.size(), 1u);
  EXPECT_NE(after[0], before[0]);
  EXPECT_NE(after[0].find("col02"), std::string::npos);
}

TEST_F(ScenarioFilesTest, Platform3KeyboardRestartsIntoForcedModeWithoutAState) {
  LoadScenarioFile("platform3_state_none.json");
  Open("/dev/hidraw2");
  EXPECT_EQ(Ask({0x0A, 0x06, 0x00}), Padded({0x0A, 0x06}));
  g_virtual.now += 100;
  EXPECT_TRUE(Paths().empty());
  g_virtual.now += 2000;
  Open("/dev/hidraw2");
  EXPECT_EQ(Ask({0x0A, 0x55}), Padded({0x0A, 0x55}));
  EXPECT_EQ(Record()["devices"]["keyboard"]["final"]["forcedUpgradeMode"], true);
}

TEST_F(ScenarioFilesTest, OnlyTheProtocolInterfaceAnswers) {
  LoadScenarioFile("unrelated_and_protocol.json");
  EXPECT_EQ(Paths(0x248A, 0x8266), (std::vector<std::string>{"/dev/hidraw1", "/dev/hidraw2"}));
  std::vector<Bytes> answers;
  for (const std::string& path : Paths()) {
    Open(path);
    answers.push_back(Ask({0x0A, 0x55}));
  }
  ASSERT_EQ(answers.size(), 3u);
  EXPECT_TRUE(answers[0].empty());
  EXPECT_TRUE(answers[1].empty());
  EXPECT_EQ(answers[2], Padded({0x0A, 0x55}));
}

TEST_F(ScenarioFilesTest, MouseAndPassthroughDongleAnswerTheirQueries) {
  LoadScenarioFile("mouse.json");
  Open("/dev/hidraw3");
  EXPECT_EQ(Ask({0x0A, 0x00, 0x00}), Padded({0x0A, 0x00, 0x00, 1, 0, 0, 0, 1, 0, 0, 0}));
  LoadScenarioFile("passthrough.json");
  Open("/dev/hidraw4");
  EXPECT_EQ(Ask({0x0A, 0x07, 0x00}), Padded({0x0A, 0x07, 0x00}));
  EXPECT_EQ(Record()["devices"]["dongle"]["final"]["passthroughVersion"], "01-00-0000-00000001");
}

}  // namespace
