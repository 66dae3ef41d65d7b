// One instance of the real program on a shared bus that holds a whole line
// of identical dongles and their neighbours: a command pinned to one dongle
// may open and send bytes to that dongle only, which the bus's record of
// every open and request proves.
#include <gtest/gtest.h>

#include "firmware_builder.h"
#include "support/device_record.h"
#include "support/dongle_line.h"
#include "support/e2e_runner.h"
#include "support/shared_bus.h"

namespace {

using Json = nlohmann::json;
using Names = std::set<std::string>;

// Each pin reaches the third dongle, whose serial differs from the first's
// only in case and in one digit.
TEST(SelectionLine, APinnedUpdateTouchesOnlyItsDongle) {
  struct Row {
    std::vector<std::string> pin;
  } rows[] = {{{"--port", "1-3.3"}}, {{"--serial", "qv24a03x"}}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.pin[0]);
    e2e::Workspace workspace;
    const std::string image = workspace.Write("fw.bin", fwbuild::BuildOnePartFile({}));
    e2e::SharedBus bus(workspace, e2e::LineOfDongles());
    ASSERT_TRUE(bus.started());
    e2e::RunOptions run;
    run.bus = bus.socket();
    run.args = {"248a", "8266", "-s", "4", "-d", image, "-c", "0"};
    run.args.insert(run.args.end(), row.pin.begin(), row.pin.end());
    e2e::RunResult result = e2e::Run(workspace, run);
    Json record = bus.Stop();
    EXPECT_EQ(result.exitStatus, 0) << result.Describe();
    EXPECT_EQ(e2e::TouchedDevices(record), Names{e2e::LineDongleName(3)}) << record.dump(1);
    EXPECT_EQ(e2e::DeviceRecord(record, "dongle3")["transfers"].size(), 1u);
  }
}

}  // namespace
