// Which devices --skip-current leaves alone: those whose reported versions
// the update's own check after the restart would accept for the image.
#include "console/skip_current.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

const uint8_t kControllerVersion[8] = {1, 2, 0, 0, 0x05, 0x01, 0, 0};  // 01-02-0000-00000105
const uint8_t kAppVersion[8] = {3, 4, 0, 0, 0x07, 0, 0, 0};            // 03-04-0000-00000007
const char kController[] = "01-02-0000-00000105";
const char kApp[] = "03-04-0000-00000007";
const char kOther[] = "01-00-0000-00000001";

LoadedProgram Program(bool twoPart) {
  LoadedProgram program;
  memcpy(program.header.version, kControllerVersion, 8);
  memcpy(program.appHeader.version, kAppVersion, 8);
  program.twoPart = twoPart;
  return program;
}

VersionTexts Reported(std::optional<std::string> controller, std::optional<std::string> app) {
  VersionTexts reported;
  reported.controller = controller;
  reported.app = app;
  return reported;
}

TEST(SkipCurrent, TheDeviceRunsTheImagesVersionAsTheCheckAfterARestartJudgesIt) {
  const std::optional<std::string> none;
  struct Row {
    const char* label;
    bool twoPart;
    VersionTexts reported;
    bool current;
  } rows[] = {
      {"one part, Controller", false, Reported(kController, kOther), true},
      {"one part, App", false, Reported(kOther, kController), true},
      {"one part, neither", false, Reported(kOther, kOther), false},
      {"one part, nothing read", false, Reported(none, none), false},
      {"one part, only the App read", false, Reported(none, kController), true},
      {"two parts, both", true, Reported(kController, kApp), true},
      {"two parts, Controller only", true, Reported(kController, kOther), false},
      {"two parts, App only", true, Reported(kOther, kApp), false},
      {"two parts, swapped", true, Reported(kApp, kController), false},
      {"two parts, App not read", true, Reported(kController, none), false},
  };
  for (const Row& row : rows)
    EXPECT_EQ(RunsImageVersion(Program(row.twoPart), row.reported), row.current) << row.label;
}

TEST(SkipCurrent, AppliesToUpdatesWithAProgramFileOnly) {
  const LoadedProgram program = Program(false);
  Command command;
  command.program = &program;
  command.settings.has_pg = true;
  EXPECT_FALSE(SkipCurrentApplies(command)) << "not asked for";
  command.settings.skipCurrent = true;
  EXPECT_TRUE(SkipCurrentApplies(command));
  command.control.reset = true;
  EXPECT_FALSE(SkipCurrentApplies(command)) << "a control command";
  command.control.reset = false;
  command.settings.has_pg = false;
  EXPECT_FALSE(SkipCurrentApplies(command)) << "a passthrough program alone has no version";
}

TEST(SkipCurrent, TheNoteNamesTheVersion) {
  EXPECT_EQ(CurrentDeviceNote(Program(false)),
            "quorvel-dfu: the device already runs 01-02-0000-00000105, the image's version; "
            "nothing was sent (--skip-current)");
}

}  // namespace
