// The --json line: one object per run, every member present in a fixed
// order, null where nothing is known, for each way a run can end.
#include "output/json_result.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

namespace {

using Json = nlohmann::json;

const char kNoVersions[] = R"({"controller":null,"app":null})";

JsonDevice Dongle() {
  JsonDevice device;
  device.vendorId = 0x248A;
  device.productId = 0x8266;
  device.serial = "QV24A01X";
  device.port = "1-3.1";
  device.path = "/dev/hidraw4";
  return device;
}

JsonCommandResult Update(JsonResultKind kind) {
  JsonCommandResult r;
  r.command = "dfu";
  r.kind = kind;
  r.device = Dongle();
  r.chipPlatform = 4;
  r.before = {"01-00-0000-00000001", "01-00-0000-00000001"};
  r.bytesSent = 4096;
  r.durationMs = 812;
  return r;
}

TEST(JsonResult, EveryKindOfEndIsOneLineWithEveryMemberInOrder) {
  JsonCommandResult success = Update(JsonResultKind::kSuccess);
  success.after = {"01-02-0000-00000105", "01-00-0000-00000001"};
  success.failedStep = "Restart the device";  // a tidy-up step noted, but the command succeeded
  JsonCommandResult failure = Update(JsonResultKind::kFailure);
  failure.failedStep = "Download firmware program";
  failure.deviceState = "the device may be left in its forced upgrade mode";
  failure.recovery = "quorvel-dfu 248a 8266 --port 1-3.1 -f 1";
  JsonCommandResult interrupted = Update(JsonResultKind::kInterrupted);
  interrupted.device.reset();  // stopped while waiting for the device
  interrupted.durationMs = 0;
  interrupted.bytesSent = 0;
  interrupted.before = {};
  interrupted.reason = "interrupted";
  // Left alone by --skip-current: nothing sent, nothing read after.
  JsonCommandResult current = Update(JsonResultKind::kCurrent);
  current.bytesSent = 0;
  current.failedStep = "Restart the device";  // never shown for a current device
  JsonCommandResult refused;
  refused.kind = JsonResultKind::kRefused;
  refused.reason = "not a number: -c 0x";
  const std::string device =
      R"({"vid":"248a","pid":"8266","serial":"QV24A01X","port":"1-3.1","path":"/dev/hidraw4"})";
  const std::string before = R"({"controller":"01-00-0000-00000001","app":"01-00-0000-00000001"})";
  struct Row {
    const JsonCommandResult& result;
    std::string line;
  } rows[] = {
      {success, R"({"command":"dfu","result":"success","device":)" + device +
                    R"(,"platform":4,"versionsBefore":)" + before +
                    R"(,"versionsAfter":{"controller":"01-02-0000-00000105",)"
                    R"("app":"01-00-0000-00000001"},"bytesSent":4096,"durationMs":812,)"
                    R"("failedStep":null,"reason":null,"deviceState":null,"recovery":null,)"
                    R"("passthrough":null})"},
      {failure, R"({"command":"dfu","result":"failure","device":)" + device +
                    R"(,"platform":4,"versionsBefore":)" + before + R"(,"versionsAfter":)" +
                    kNoVersions +
                    R"(,"bytesSent":4096,"durationMs":812,"failedStep":"Download firmware )"
                    R"(program","reason":null,"deviceState":"the device may be left in its )"
                    R"(forced upgrade mode","recovery":"quorvel-dfu 248a 8266 --port 1-3.1 -f 1",)"
                    R"("passthrough":null})"},
      {interrupted, R"({"command":"dfu","result":"interrupted","device":null,"platform":4,)"
                    R"("versionsBefore":)" +
                        std::string(kNoVersions) + R"(,"versionsAfter":)" + kNoVersions +
                        R"(,"bytesSent":0,"durationMs":0,"failedStep":null,)"
                        R"("reason":"interrupted","deviceState":null,"recovery":null,)"
                        R"("passthrough":null})"},
      {current, R"({"command":"dfu","result":"current","device":)" + device +
                    R"(,"platform":4,"versionsBefore":)" + before + R"(,"versionsAfter":)" +
                    kNoVersions +
                    R"(,"bytesSent":0,"durationMs":812,"failedStep":null,"reason":null,)"
                    R"("deviceState":null,"recovery":null,"passthrough":null})"},
      {refused, R"({"command":null,"result":"refused","device":null,"platform":null,)"
                R"("versionsBefore":)" +
                    std::string(kNoVersions) + R"(,"versionsAfter":)" + kNoVersions +
                    R"(,"bytesSent":0,"durationMs":0,"failedStep":null,)"
                    R"("reason":"not a number: -c 0x","deviceState":null,"recovery":null,)"
                    R"("passthrough":null})"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(JsonResultName(row.result.kind));
    EXPECT_EQ(FormatJsonCommandResult(row.result), row.line);
  }
}

TEST(JsonResult, ControlCommandAndUnknownIdentityAreNull) {
  JsonCommandResult r;
  r.command = "ctrl";
  r.kind = JsonResultKind::kSuccess;
  JsonDevice device;
  device.vendorId = 0x0a;
  device.productId = 0xBEEF;
  device.path = "/dev/hidraw0";
  r.device = device;
  Json line = Json::parse(FormatJsonCommandResult(r));
  EXPECT_EQ(line["device"], Json::parse(R"({"vid":"000a","pid":"beef","serial":null,"port":null,)"
                                        R"("path":"/dev/hidraw0"})"));
  EXPECT_TRUE(line["platform"].is_null());
  EXPECT_EQ(line["result"], "success");
}

TEST(JsonResult, PassthroughDeviceHasItsOwnResult) {
  struct Row {
    bool success;
    const char* result;
  } rows[] = {{true, "success"}, {false, "failure"}};
  for (const Row& row : rows) {
    JsonCommandResult r = Update(row.success ? JsonResultKind::kSuccess : JsonResultKind::kFailure);
    r.passthrough = JsonPassthrough{"mouse.bin", 3000, row.success};
    Json line = Json::parse(FormatJsonCommandResult(r));
    EXPECT_EQ(line["passthrough"],
              Json({{"program", "mouse.bin"}, {"bytesSent", 3000}, {"result", row.result}}));
  }
}

TEST(JsonResult, DeviceTextsThatAreNotUtf8StillMakeALine) {
  JsonCommandResult r = Update(JsonResultKind::kFailure);
  r.device->serial = std::string("QV\xB3\xC9", 4);  // GBK bytes
  r.failedStep = "Download firmware program";
  Json line = Json::parse(FormatJsonCommandResult(r));
  EXPECT_EQ(line["device"]["serial"], "QV\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(line["failedStep"], "Download firmware program");
}

}  // namespace
